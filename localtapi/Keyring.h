// Keyring: secrets (a SIP line's password) in the desktop's keyring, through QtKeychain:
// the freedesktop Secret Service (GNOME Keyring, KeePassXC) or KDE Wallet.
//
// Each call waits for the keyring with the event loop running, so the windows stay live
// and a locked keyring's own prompt can be answered, for at most the limit given. A
// keyring that is absent, refuses or does not answer in time is Unavailable, with its
// words; an entry it does not hold is NotFound.
//
// What it does not do: it keeps no copy of a secret, never writes one to a file, a trace
// or a message, and never falls back to storing a secret unencrypted.
#pragma once

#include <chrono>
#include <string>

namespace localtapi {

// Where a secret is kept: the keyring shows `service` as the entry's name ("OrvoDial
// line0: orvodial@pbx.example.com"), so a user recognises it in the keyring's own tool.
struct KeyringEntry {
    std::string service;
    std::string account;
};

struct KeyringResult {
    enum class Outcome { Done, NotFound, Unavailable };
    Outcome outcome = Outcome::Unavailable;
    std::string secret; // what a read found
    std::string why;    // Unavailable: the keyring's words
};

// Long enough for a user to answer a locked keyring's prompt.
constexpr std::chrono::seconds kKeyringWait{60};

KeyringResult ReadSecret(const KeyringEntry& entry, std::chrono::milliseconds limit = kKeyringWait);
KeyringResult WriteSecret(const KeyringEntry& entry, const std::string& secret,
                          std::chrono::milliseconds limit = kKeyringWait);

} // namespace localtapi

// SipSettings: what a SIP line group configures, its table of settings, the rules drawn
// from them (where requests go first, the outbound proxy over TLS, the trust store) and
// the driver's entry for the registry. The keys, defaults and help texts are the table
// kSipSettings (SipSettings.cpp), written once. Nothing here talks to the network.
#pragma once

#include "localtapi/DriverSettings.h"
#include "localtapi/LineDriver.h"
#include "localtapi/drivers/DriverText.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace localtapi::sip {

struct SipSettings {
    std::string phone;  // the user's own phone, sip:201@pbx.example.com
    std::string domain; // the dialled number's host
    std::string proxy;  // outbound proxy, or empty
    std::string user;
    std::string password;  // a secret: never traced, shown or quoted
    bool keyring = false;  // the password is in the desktop's keyring (when not above)
    KeyringEntry secretEntry;
    std::string transport; // udp, tcp or tls
    bool autoanswer = false;
    std::chrono::seconds timeout{30}; // the phone's answer
    DeviceCaps caps;
};

std::optional<SipSettings> ReadSipSettings(const LineSettings& settings,
                                           std::vector<ConfigProblem>& problems);

// The keyring entry of a line's password: "OrvoDial line0: orvodial@pbx.example.com".
KeyringEntry SipPasswordEntry(const std::string& group, const std::string& user, const std::string& phoneHost);

// The host of a sip: or sips: URI, with its port when it has one; empty for anything else.
std::string HostOf(const std::string& uri);

// The proxy every request goes to: the configured one, or over TLS the phone's server,
// marked ;transport=tls so that nothing leaves unencrypted. Empty: none.
std::string OutboundProxy(const SipSettings& s);

// Where requests go first, host and port (the transport's usual port when the URI names
// none): the outbound proxy, or else the phone's server.
std::pair<std::string, std::string> NextHop(const SipSettings& s);

// The folder of certificates the system trusts, as OpenSSL keeps it (hashed names; on
// Debian the ca-certificates package's), or SSL_CERT_DIR's first folder.
std::string TrustStore();

// The driver's description and settings, for the registry.
DriverInfo SipDriverInfo();

} // namespace localtapi::sip

// DialString: builds the Hayes dial commands for one number.
//
// Keeps the characters a Hayes modem dials or acts on (digits, * # A-D, the pause ',',
// wait-for-dial-tone 'W', wait-for-quiet '@', hook flash '!', and the tone/pulse switches
// 'T' and 'P'), drops the formatting ones people write into numbers (space - ( ) . ;
// some modems reject them, and ';' would end the dial command early) and refuses
// anything else. The result is split into commands of at most kMaxCommandChars
// characters, each ending in ';' so that the modem stays in command mode after dialling:
// the first is ATDT/ATDP with the outside-line prefix, the rest ATD (the modem keeps the
// dial mode between pieces).
//
// A subaddress ('|...') or name ('^...') that a telephony address may carry is not dialled.
// It does no I/O and knows nothing about the modem's state.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace localtapi::modem {

enum class DialMode { Tone, Pulse };

// Longest dial command sent, counting "AT" and the closing ';' (not the CR). Many modems
// hold only 40 characters in their command buffer.
constexpr std::size_t kMaxCommandChars = 40;

// The dialable characters of `text`, upper-cased; nullopt if it holds a character that
// is neither dialable nor formatting.
std::optional<std::string> CleanDialString(std::string_view text);

// The dial commands for `number` (without CR). An empty number gives one command that
// takes the line off hook in command mode. nullopt if number or prefix is not dialable.
std::optional<std::vector<std::string>> BuildDialCommands(std::string_view number, std::string_view prefix,
                                                          DialMode mode);

} // namespace localtapi::modem

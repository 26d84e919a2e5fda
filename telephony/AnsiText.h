// Conversion of the program's texts (UTF-8) to and from the ANSI code page used at the
// telephony boundary. On Windows that is the system's ANSI code page; elsewhere it is
// Windows-1252. A character with no ANSI form becomes '?', as Windows does. Embedded NUL
// characters are kept in both directions. No other transformation (trimming, case,
// normalisation) is done.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mTAPIDecs {

// UTF-8 text to ANSI bytes. Malformed UTF-8 sequences become '?'.
std::string ToAnsi(std::string_view utf8);

// ANSI bytes (exactly `size` of them, NULs included) to UTF-8 text.
std::string FromAnsi(const char* bytes, std::size_t size);
inline std::string FromAnsi(std::string_view bytes) {
    return FromAnsi(bytes.data(), bytes.size());
}

} // namespace mTAPIDecs

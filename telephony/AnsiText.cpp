#include "telephony/AnsiText.h"

#include <array>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#endif

namespace mTAPIDecs {

namespace {

// Walks UTF-8 text: calls onCodePoint for each well-formed sequence and onMalformed once
// for each byte of a malformed one. Truncated sequences, stray continuation bytes,
// overlong forms, surrogates and values beyond U+10FFFF are malformed: accepting an
// overlong form would let "\xC0\x80" smuggle a NUL, or "\xE0\x80\xAF" a '/', past the
// checks of whoever reads the result. Both platforms decode with this one rule, so the
// same input gives the same number of '?' everywhere.
template <typename OnCodePoint, typename OnMalformed>
void DecodeUtf8(std::string_view utf8, OnCodePoint&& onCodePoint, OnMalformed&& onMalformed) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t len = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
        if (len == 0 || i + len > utf8.size()) {
            onMalformed();
            ++i;
            continue;
        }
        char32_t cp = len == 1 ? lead : len == 2 ? (lead & 0x1F) : len == 3 ? (lead & 0x0F) : (lead & 0x07);
        bool ok = true;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cont = static_cast<unsigned char>(utf8[i + k]);
            if ((cont & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cont & 0x3F);
        }
        constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kShortest[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
            ok = false;
        if (!ok) {
            onMalformed();
            ++i;
            continue;
        }
        onCodePoint(cp);
        i += len;
    }
}

} // namespace

#ifdef _WIN32

namespace {
std::wstring Widen(UINT codePage, const char* bytes, std::size_t size) {
    if (size == 0)
        return {};
    int n = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), wide.data(), n);
    return wide;
}

// The system's ANSI code page as a number rather than CP_ACP: the ANSI code page may be
// UTF-8, for which WideCharToMultiByte takes neither a default character nor
// WC_NO_BEST_FIT_CHARS, and Narrow can only tell that from the actual number.
UINT AnsiCodePage() {
    return GetACP();
}

std::string Narrow(UINT codePage, const std::wstring& wide) {
    if (wide.empty())
        return {};
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* defaultChar = codePage == CP_UTF8 ? nullptr : "?";
    int n = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                defaultChar, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        defaultChar, nullptr);
    return out;
}
} // namespace

std::string ToAnsi(std::string_view utf8) {
    // Decoded here rather than by MultiByteToWideChar, whose count of replacement
    // characters for malformed input differs between systems.
    std::wstring wide;
    wide.reserve(utf8.size());
    DecodeUtf8(
        utf8,
        [&](char32_t cp) {
            if (cp < 0x10000) {
                wide += static_cast<wchar_t>(cp);
            } else {
                wide += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
                wide += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            }
        },
        [&] { wide += L'?'; });
    return Narrow(AnsiCodePage(), wide);
}

std::string FromAnsi(const char* bytes, std::size_t size) {
    return Narrow(CP_UTF8, Widen(AnsiCodePage(), bytes, size));
}

#else

namespace {

// Code points of Windows-1252 bytes 0x80 to 0x9F. The five bytes the code page leaves
// unassigned map to the C1 control of the same value, as Windows converts them.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t DecodeByte(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F)
        return kHigh[b - 0x80];
    return b;
}

char EncodeCodePoint(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == cp)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::string ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    DecodeUtf8(
        utf8, [&](char32_t cp) { out += EncodeCodePoint(cp); }, [&] { out += '?'; });
    return out;
}

std::string FromAnsi(const char* bytes, std::size_t size) {
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        AppendUtf8(out, DecodeByte(static_cast<unsigned char>(bytes[i])));
    return out;
}

#endif

} // namespace mTAPIDecs

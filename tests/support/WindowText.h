// Window texts as plain ASCII for test messages and comparisons ('?' for anything else).
#pragma once

#include <windows.h>

#include <string>

inline std::string Ascii(const wchar_t* text) {
    std::string out;
    for (; *text != L'\0'; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

inline std::string Text(HWND window) {
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return Ascii(buffer);
}

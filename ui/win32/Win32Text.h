// Conversion between the program's UTF-8 texts and the UTF-16 texts of the Win32 API's
// wide functions. Invalid UTF-8 becomes U+FFFD, as MultiByteToWideChar makes it.
#pragma once

#include <string>
#include <string_view>

namespace ui::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

} // namespace ui::win32

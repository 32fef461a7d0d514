// Text crosses into Win32 as UTF-16; the library holds it as UTF-8.
#pragma once

#include <string>
#include <string_view>

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

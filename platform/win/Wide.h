// The edge between the program's UTF-8 strings and Windows' UTF-16 API.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace odomei::winapi {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
// The system's text for an error code, with its number, e.g. "Access is denied. (5)".
std::string ErrorText(DWORD error);
// A path for the API: forward slashes become backslashes.
std::wstring WidePath(const std::string& path);

}  // namespace odomei::winapi

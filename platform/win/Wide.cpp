#include "platform/win/Wide.h"

namespace odomei::winapi {

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::string ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    const std::string number = "(error " + std::to_string(error) + ")";
    return message.empty() ? number : Narrow(message) + " " + number;
}

std::wstring WidePath(const std::string& path) {
    std::wstring wide = Wide(path);
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return wide;
}

}  // namespace odomei::winapi

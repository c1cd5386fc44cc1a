// CP932 (Windows Shift-JIS) text: the one place where files' bytes and in-memory UTF-8 meet.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace odomei {

// text without the spaces and tabs at either end (as an INI value or a typed figure is read).
inline std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// UTF-8 to CP932. Empty result when a character has no CP932 form (or the input is not UTF-8).
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// CP932 to UTF-8. Empty result when the bytes are not valid CP932.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);

// CP932 bytes of a text the program itself defines; such texts always convert.
inline std::string Sjis(std::string_view utf8) {
    auto converted = Utf8ToCp932(utf8);
    if (!converted) throw std::logic_error("text without a CP932 form: " + std::string(utf8));
    return *converted;
}

// The Shift-JIS lead-byte test (0x81 to 0x9F and 0xE0 to 0xFC).
constexpr bool IsDbcsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

}  // namespace odomei

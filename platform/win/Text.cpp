#include "platform/Text.h"

#include <windows.h>

#include <utility>

namespace odomei {
namespace {

constexpr UINT kShiftJis = 932;

// Characters that code page 932 on Windows refuses (without best fit) but that the program has
// always written, with the bytes it writes for them; the same files come out on every system.
constexpr std::pair<wchar_t, const char*> kAlsoEncoded[] = {
    {L'\u00A2', "\x81\x91"}, {L'\u00A3', "\x81\x92"}, {L'\u00A5', "\x5C"},
    {L'\u00AC', "\x81\xCA"}, {L'\u2014', "\x81\x5C"}, {L'\u2016', "\x81\x61"},
    {L'\u203E', "\x7E"},     {L'\u2212', "\x81\x7C"}, {L'\u301C', "\x81\x60"},
};

// Windows' private mappings that the program has never accepted.
bool RefusedOnEveryRun(wchar_t c) { return c == L'\u0080' || (c >= L'\uF8F0' && c <= L'\uF8F3'); }

std::optional<std::wstring> FromCodePage(UINT codePage, std::string_view in) {
    if (in.empty()) return std::wstring();
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(),
                                      static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                        out.data(), n);
    return out;
}

std::optional<std::string> ToShiftJis(std::wstring_view run) {
    if (run.empty()) return std::string();
    BOOL defaulted = FALSE;
    const int n =
        WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, run.data(),
                            static_cast<int>(run.size()), nullptr, 0, nullptr, &defaulted);
    if (n <= 0 || defaulted) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, run.data(), static_cast<int>(run.size()),
                        out.data(), n, nullptr, &defaulted);
    if (defaulted) return std::nullopt;
    return out;
}

}  // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    const auto wide = FromCodePage(CP_UTF8, utf8);
    if (!wide) return std::nullopt;
    std::string out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= wide->size(); ++i) {
        const char* extra = nullptr;
        if (i < wide->size()) {
            const wchar_t c = (*wide)[i];
            if (RefusedOnEveryRun(c)) return std::nullopt;
            for (const auto& [from, bytes] : kAlsoEncoded) {
                if (from == c) extra = bytes;
            }
            if (extra == nullptr) continue;
        }
        const auto run = ToShiftJis(std::wstring_view(*wide).substr(start, i - start));
        if (!run) return std::nullopt;
        out += *run;
        if (extra != nullptr) out += extra;
        start = i + 1;
    }
    return out;
}

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        const auto b = static_cast<unsigned char>(cp932[i]);
        if (IsDbcsLeadByte(b)) {
            ++i;  // the pair is Windows' to check
            continue;
        }
        // Single bytes that Windows takes as characters and the program never has.
        if (b == 0x80 || b == 0xA0 || b >= 0xFD) return std::nullopt;
    }
    const auto wide = FromCodePage(kShiftJis, cp932);
    if (!wide) return std::nullopt;
    for (const wchar_t c : *wide) {
        if (RefusedOnEveryRun(c)) return std::nullopt;
    }
    std::string out;
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide->data(), static_cast<int>(wide->size()),
                                      nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, wide->data(), static_cast<int>(wide->size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

}  // namespace odomei

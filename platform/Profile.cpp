#include "platform/Profile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Text.h"

namespace odomei {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kCrLf = "\r\n";

struct Line {
    std::string raw;  // the bytes of the line, line end included
    std::string_view Body() const {
        std::string_view s = raw;
        if (!s.empty() && s.back() == '\n') s.remove_suffix(1);
        if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
        return s;
    }
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares two CP932 names, folding ASCII letters only; the trail byte of a double-byte
// character is compared as it is, even where it falls in the ASCII letter range.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (IsDbcsLeadByte(static_cast<unsigned char>(a[i]))) {
            if (a[i] != b[i] || (i + 1 < a.size() && a[i + 1] != b[i + 1])) return false;
            ++i;
            continue;
        }
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = (end == std::string::npos) ? text.size() : end + 1;
        lines.push_back({text.substr(start, end - start)});
        start = end;
    }
    return lines;
}

// The parsed meaning of one line.
struct Entry {
    enum Kind { kOther, kSection, kKey } kind = kOther;
    std::string_view name;
    std::string_view value;
};

Entry Parse(std::string_view body, bool first) {
    if (first && body.starts_with(kUtf8Bom)) body.remove_prefix(kUtf8Bom.size());
    body = Trim(body);
    if (body.starts_with('[')) {
        body.remove_prefix(1);
        const size_t close = body.find(']');
        return {Entry::kSection, Trim(body.substr(0, close)), {}};
    }
    if (body.starts_with(';')) return {};
    const size_t eq = body.find('=');
    if (eq == std::string_view::npos) return {};
    return {Entry::kKey, Trim(body.substr(0, eq)), Trim(body.substr(eq + 1))};
}

// Where section/key stand in the file: the index of the section header and of the key line.
struct Location {
    std::optional<size_t> section;
    std::optional<size_t> key;
    size_t lastInSection = 0;  // last non-blank line of the section (its header if none)
};

Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Location loc;
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Entry e = Parse(lines[i].Body(), i == 0);
        if (e.kind == Entry::kSection) {
            if (inside) break;  // the first matching section is the one that counts
            inside = SameName(e.name, section);
            if (inside) loc.section = loc.lastInSection = i;
            continue;
        }
        if (!inside) continue;
        if (!Trim(lines[i].Body()).empty()) loc.lastInSection = i;
        if (e.kind == Entry::kKey && SameName(e.name, key)) {
            loc.key = i;
            break;
        }
    }
    return loc;
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 &&
        ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\''))) {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

// The raw CP932 value of section/key, or nothing when the file, section or key is missing.
std::optional<std::string> RawValue(std::string_view section, std::string_view key,
                                    const std::string& path) {
    const auto sjSection = Utf8ToCp932(section);
    const auto sjKey = Utf8ToCp932(key);
    const auto text = ReadWholeFile(path);
    if (!sjSection || !sjKey || !text) return std::nullopt;
    const auto lines = SplitLines(*text);
    const Location loc = Find(lines, *sjSection, *sjKey);
    if (!loc.key) return std::nullopt;
    return std::string(Unquote(Parse(lines[*loc.key].Body(), *loc.key == 0).value));
}

}  // namespace

std::optional<std::string> ReadIniString(std::string_view section, std::string_view key,
                                                   const std::string& path) {
    const auto raw = RawValue(section, key, path);
    if (!raw) return std::nullopt;
    return Cp932ToUtf8(*raw);
}

std::vector<std::pair<std::string, std::string>> ReadIniSection(std::string_view section,
                                                                 const std::string& path) {
    std::vector<std::pair<std::string, std::string>> entries;
    const auto sjSection = Utf8ToCp932(section);
    const auto text = ReadWholeFile(path);
    if (!sjSection || !text) return entries;
    const auto lines = SplitLines(*text);
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Entry e = Parse(lines[i].Body(), i == 0);
        if (e.kind == Entry::kSection) {
            if (inside) break;
            inside = SameName(e.name, *sjSection);
        } else if (inside && e.kind == Entry::kKey) {
            auto key = Cp932ToUtf8(e.name);
            auto value = Cp932ToUtf8(Unquote(e.value));
            if (key && value) entries.emplace_back(std::move(*key), std::move(*value));
        }
    }
    return entries;
}

std::uint32_t ReadIniInt(std::string_view section, std::string_view key,
                                   std::int32_t defaultValue, const std::string& path) {
    const auto raw = RawValue(section, key, path);
    if (!raw) return static_cast<std::uint32_t>(defaultValue);
    std::string_view v = *raw;
    while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ') v.remove_prefix(1);
    bool negative = false;
    if (!v.empty() && (v.front() == '+' || v.front() == '-')) {
        negative = v.front() == '-';
        v.remove_prefix(1);
    }
    std::uint32_t result = 0;  // wraps at 32 bits, as the platform's reading does
    for (char c : v) {
        if (c < '0' || c > '9') break;
        result = result * 10u + static_cast<std::uint32_t>(c - '0');
    }
    return negative ? 0u - result : result;
}

bool WriteIniString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path) {
    const auto sjSection = Utf8ToCp932(section);
    const auto sjKey = Utf8ToCp932(key);
    const auto sjValue = Utf8ToCp932(value);
    if (!sjSection || !sjKey || !sjValue) return false;

    // A file that is there but cannot be read is left alone rather than replaced by a new one.
    const auto text = ReadWholeFile(path);
    std::error_code ec;
    if (!text && std::filesystem::exists(path, ec)) return false;
    std::vector<Line> lines = SplitLines(text.value_or(""));
    const std::string keyLine = *sjKey + "=" + *sjValue + std::string(kCrLf);
    const Location loc = Find(lines, *sjSection, *sjKey);
    // A last line without its line end gets one before anything is added after it.
    auto terminate = [&lines](size_t i) {
        if (!lines[i].raw.ends_with('\n')) lines[i].raw += kCrLf;
    };
    if (loc.key) {
        // The key's line is rewritten with the line end it had (CR LF, LF or none at the end).
        Line& line = lines[*loc.key];
        line.raw = *sjKey + "=" + *sjValue + line.raw.substr(line.Body().size());
    } else if (loc.section) {
        terminate(loc.lastInSection);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(loc.lastInSection) + 1,
                     Line{keyLine});
    } else {
        if (!lines.empty()) terminate(lines.size() - 1);
        lines.push_back({"[" + *sjSection + "]" + std::string(kCrLf)});
        lines.push_back({keyLine});
    }
    std::string content;
    for (const auto& l : lines) content += l.raw;
    return ReplaceFileAtomically(path, content) == ReplaceResult::kDone;
}

}  // namespace odomei

#include "platform/Profile.h"

#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Files.h"
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

// Far more than any settings file holds; a larger "INI file" is something else.
constexpr std::size_t kMaxIniBytes = 1 << 20;

struct IniFile {
    enum Status { kRead, kMissing, kUnusable } status = kMissing;
    std::string text;
};

// Only a regular file is read, and only up to the limit: a folder, a FIFO or a device (such as a
// link to /dev/zero) is unusable, and opening never waits (a FIFO without a writer).
IniFile ReadIniFile(const std::string& path) {
    IniFile file;
    switch (ReadRegularFile(path, kMaxIniBytes, &file.text)) {
        case ReadResult::kRead: file.status = IniFile::kRead; break;
        case ReadResult::kMissing: file.status = IniFile::kMissing; break;
        case ReadResult::kUnusable: file.status = IniFile::kUnusable; break;
    }
    return file;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    IniFile file = ReadIniFile(path);
    if (file.status != IniFile::kRead) return std::nullopt;
    return std::move(file.text);
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

// The line end the file uses: that of its first line, CR LF where it has none.
std::string LineEndOf(const std::string& text) {
    const auto lf = text.find('\n');
    if (lf == std::string::npos) return std::string(kCrLf);
    return lf > 0 && text[lf - 1] == '\r' ? std::string(kCrLf) : "\n";
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

// A file's lines with section/key as CP932, as the lookups need them; nothing when the file
// cannot be read or the names have no CP932 form.
struct Lookup {
    std::string section;
    std::string key;
    std::vector<Line> lines;
};
std::optional<Lookup> Load(std::string_view section, std::string_view key,
                           const std::string& path) {
    auto sjSection = Utf8ToCp932(section);
    auto sjKey = Utf8ToCp932(key);
    const auto text = ReadWholeFile(path);
    if (!sjSection || !sjKey || !text) return std::nullopt;
    return Lookup{std::move(*sjSection), std::move(*sjKey), SplitLines(*text)};
}

// The raw CP932 value of section/key, or nothing when the file, section or key is missing.
std::optional<std::string> RawValue(std::string_view section, std::string_view key,
                                    const std::string& path) {
    const auto ini = Load(section, key, path);
    if (!ini) return std::nullopt;
    const Location loc = Find(ini->lines, ini->section, ini->key);
    if (!loc.key) return std::nullopt;
    return std::string(Unquote(Parse(ini->lines[*loc.key].Body(), *loc.key == 0).value));
}

}  // namespace

std::optional<std::string> ReadIniString(std::string_view section, std::string_view key,
                                         const std::string& path) {
    const auto raw = RawValue(section, key, path);
    if (!raw) return std::nullopt;
    return Cp932ToUtf8(*raw);
}

std::vector<std::pair<std::string, std::optional<std::string>>> ReadIniSection(
    std::string_view section, const std::string& path) {
    std::vector<std::pair<std::string, std::optional<std::string>>> entries;
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
            if (key) entries.emplace_back(std::move(*key), Cp932ToUtf8(Unquote(e.value)));
        }
    }
    return entries;
}

std::uint32_t ReadIniInt(std::string_view section, std::string_view key, std::int32_t defaultValue,
                         const std::string& path) {
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

bool WriteIniString(std::string_view section, std::string_view key, std::string_view value,
                    const std::string& path) {
    const auto sjSection = Utf8ToCp932(section);
    const auto sjKey = Utf8ToCp932(key);
    const auto sjValue = Utf8ToCp932(value);
    if (!sjSection || !sjKey || !sjValue) return false;

    // A file that is there but cannot be read (or is no file) is left alone rather than replaced
    // by a new one.
    const IniFile file = ReadIniFile(path);
    if (file.status == IniFile::kUnusable) return false;
    std::vector<Line> lines = SplitLines(file.text);
    // Lines put in take the file's own line end; a new file gets CR LF.
    const std::string lineEnd = LineEndOf(file.text);
    const Location loc = Find(lines, *sjSection, *sjKey);
    // A line is put in after line i. When that is the last line and it has no line end, it gets
    // one and the new last line goes without, so the file still ends as it did.
    auto insertAfter = [&lines, &lineEnd](std::size_t i, std::vector<std::string> added) {
        const bool last = i + 1 == lines.size();
        const bool open = last && !lines[i].raw.ends_with('\n');
        // A last line that ends in a CR has half a line end already: it is completed, so that
        // the CR does not become part of the line.
        if (open) lines[i].raw += lines[i].raw.ends_with('\r') ? std::string("\n") : lineEnd;
        for (std::size_t k = 0; k < added.size(); ++k) {
            const bool newLast = open && k + 1 == added.size();
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i + 1 + k),
                         Line{added[k] + (newLast ? "" : lineEnd)});
        }
    };
    const std::string keyLine = *sjKey + "=" + *sjValue;
    if (loc.key) {
        // The key's line is rewritten with the line end it had (CR LF, LF or none at the end).
        Line& line = lines[*loc.key];
        line.raw = keyLine + line.raw.substr(line.Body().size());
    } else if (loc.section) {
        insertAfter(loc.lastInSection, {keyLine});
    } else if (lines.empty()) {
        lines.push_back({"[" + *sjSection + "]" + lineEnd});
        lines.push_back({keyLine + lineEnd});
    } else {
        insertAfter(lines.size() - 1, {"[" + *sjSection + "]", keyLine});
    }
    std::string content;
    for (const auto& l : lines) content += l.raw;
    return ReplaceFileAtomically(path, content) == ReplaceResult::kDone;
}

bool IniHasKey(std::string_view section, std::string_view key, const std::string& path) {
    return RawValue(section, key, path).has_value();
}

std::optional<std::string> FindUtf8Only(std::string_view section, std::string_view key,
                                        const std::string& path) {
    const auto ini = Load(section, key, path);
    if (!ini) return std::nullopt;
    const Location asCp932 = Find(ini->lines, ini->section, ini->key);
    if (asCp932.key) return std::nullopt;
    const Location asUtf8 = Find(ini->lines, section, key);
    if (asUtf8.key)
        return "the key " + std::string(key) + " of section [" + std::string(section) + "]";
    if (!asCp932.section && asUtf8.section) return "section [" + std::string(section) + "]";
    return std::nullopt;
}

}  // namespace odomei

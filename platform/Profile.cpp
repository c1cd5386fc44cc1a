#include "platform/Profile.h"

#include <algorithm>
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

// Compares two names in the file's encoding, folding ASCII letters only. In CP932 the trail byte
// of a double-byte character is compared as it is, even where it falls in the ASCII letter range;
// in UTF-8 every byte of a longer character is above ASCII, so folding bytes is safe.
bool SameName(std::string_view a, std::string_view b, IniEncoding encoding) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (encoding == IniEncoding::kCp932 && IsDbcsLeadByte(static_cast<unsigned char>(a[i]))) {
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
    std::string text;  // without the byte-order mark, if there was one
    IniEncoding encoding = IniEncoding::kCp932;
    bool bom = false;
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
    file.encoding = IniEncodingOf(file.text);
    file.bom = file.text.starts_with(kUtf8Bom);
    if (file.bom) file.text.erase(0, kUtf8Bom.size());
    return file;
}

// A name or value of the program (UTF-8) as the file's bytes; nothing where it has no form there.
std::optional<std::string> ToFile(std::string_view utf8, IniEncoding encoding) {
    if (encoding == IniEncoding::kCp932) return Utf8ToCp932(utf8);
    if (!IsValidUtf8(utf8)) return std::nullopt;
    return std::string(utf8);
}

// The file's bytes as UTF-8; nothing where they are not valid text of the file's encoding (a file
// with a byte-order mark may still hold bytes that are no UTF-8).
std::optional<std::string> FromFile(std::string_view bytes, IniEncoding encoding) {
    if (encoding == IniEncoding::kCp932) return Cp932ToUtf8(bytes);
    if (!IsValidUtf8(bytes)) return std::nullopt;
    return std::string(bytes);
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

Entry Parse(std::string_view body) {
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

Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key,
              IniEncoding encoding) {
    Location loc;
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Entry e = Parse(lines[i].Body());
        if (e.kind == Entry::kSection) {
            if (inside) break;  // the first matching section is the one that counts
            inside = SameName(e.name, section, encoding);
            if (inside) loc.section = loc.lastInSection = i;
            continue;
        }
        if (!inside) continue;
        if (!Trim(lines[i].Body()).empty()) loc.lastInSection = i;
        if (e.kind == Entry::kKey && SameName(e.name, key, encoding)) {
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

// The raw value of section/key in the file's encoding, or nothing when the file, section or key
// is missing (or the names have no form in the file's encoding).
struct RawSetting {
    std::string value;
    IniEncoding encoding;
};
std::optional<RawSetting> RawValue(std::string_view section, std::string_view key,
                                   const std::string& path) {
    const IniFile file = ReadIniFile(path);
    if (file.status != IniFile::kRead) return std::nullopt;
    const auto fileSection = ToFile(section, file.encoding);
    const auto fileKey = ToFile(key, file.encoding);
    if (!fileSection || !fileKey) return std::nullopt;
    const auto lines = SplitLines(file.text);
    const Location loc = Find(lines, *fileSection, *fileKey, file.encoding);
    if (!loc.key) return std::nullopt;
    return RawSetting{std::string(Unquote(Parse(lines[*loc.key].Body()).value)), file.encoding};
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // the range of the byte after the first
        if (c < 0x80) {
            length = 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;   // no overlong form
            if (c == 0xED) high = 0x9F;  // no surrogate
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;   // no overlong form
            if (c == 0xF4) high = 0x8F;  // nothing above U+10FFFF
        } else {
            return false;
        }
        if (i + length > s.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

IniEncoding IniEncodingOf(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom)) return IniEncoding::kUtf8;
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return !ascii && IsValidUtf8(bytes) ? IniEncoding::kUtf8 : IniEncoding::kCp932;
}

std::optional<std::string> ReadIniString(std::string_view section, std::string_view key,
                                         const std::string& path) {
    const auto raw = RawValue(section, key, path);
    if (!raw) return std::nullopt;
    return FromFile(raw->value, raw->encoding);
}

std::vector<std::pair<std::string, std::optional<std::string>>> ReadIniSection(
    std::string_view section, const std::string& path) {
    std::vector<std::pair<std::string, std::optional<std::string>>> entries;
    const IniFile file = ReadIniFile(path);
    if (file.status != IniFile::kRead) return entries;
    const auto fileSection = ToFile(section, file.encoding);
    if (!fileSection) return entries;
    bool inside = false;
    for (const Line& line : SplitLines(file.text)) {
        const Entry e = Parse(line.Body());
        if (e.kind == Entry::kSection) {
            if (inside) break;
            inside = SameName(e.name, *fileSection, file.encoding);
        } else if (inside && e.kind == Entry::kKey) {
            auto key = FromFile(e.name, file.encoding);
            if (key)
                entries.emplace_back(std::move(*key), FromFile(Unquote(e.value), file.encoding));
        }
    }
    return entries;
}

std::uint32_t ReadIniInt(std::string_view section, std::string_view key, std::int32_t defaultValue,
                         const std::string& path) {
    const auto raw = RawValue(section, key, path);
    if (!raw) return static_cast<std::uint32_t>(defaultValue);
    std::string_view v = raw->value;
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
    // A file that is there but cannot be read (or is no file) is left alone rather than replaced
    // by a new one.
    const IniFile file = ReadIniFile(path);
    if (file.status == IniFile::kUnusable) return false;
    // Written in the file's own encoding, so that a file is never mixed; a new file is CP932.
    const auto fileSection = ToFile(section, file.encoding);
    const auto fileKey = ToFile(key, file.encoding);
    const auto fileValue = ToFile(value, file.encoding);
    if (!fileSection || !fileKey || !fileValue) return false;
    std::vector<Line> lines = SplitLines(file.text);
    // Lines put in take the file's own line end; a new file gets CR LF.
    const std::string lineEnd = LineEndOf(file.text);
    const Location loc = Find(lines, *fileSection, *fileKey, file.encoding);
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
    const std::string keyLine = *fileKey + "=" + *fileValue;
    if (loc.key) {
        // The key's line is rewritten with the line end it had (CR LF, LF or none at the end).
        Line& line = lines[*loc.key];
        line.raw = keyLine + line.raw.substr(line.Body().size());
    } else if (loc.section) {
        insertAfter(loc.lastInSection, {keyLine});
    } else if (lines.empty()) {
        lines.push_back({"[" + *fileSection + "]" + lineEnd});
        lines.push_back({keyLine + lineEnd});
    } else {
        insertAfter(lines.size() - 1, {"[" + *fileSection + "]", keyLine});
    }
    std::string content(file.bom ? kUtf8Bom : std::string_view());
    for (const auto& l : lines) content += l.raw;
    return ReplaceFileAtomically(path, content) == ReplaceResult::kDone;
}

bool IniHasKey(std::string_view section, std::string_view key, const std::string& path) {
    return RawValue(section, key, path).has_value();
}

}  // namespace odomei

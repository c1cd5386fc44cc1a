#include "platform/Profile.h"

#include <algorithm>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace odomei {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr std::string_view kCrLf = "\r\n";

// A line ends at CR LF, at LF or at a lone CR (old Mac line ends, or a hand edit).
struct Line {
    std::string raw;  // the bytes of the line, line end included
    std::string_view Body() const {
        std::string_view s = raw;
        if (!s.empty() && s.back() == '\n') s.remove_suffix(1);
        if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
        return s;
    }
    bool Ended() const { return !raw.empty() && (raw.back() == '\n' || raw.back() == '\r'); }
};

// CP932 files, and files of unknown encoding read as far as they go, compare CP932's way.
bool Cp932Bytes(IniEncoding encoding) {
    return encoding == IniEncoding::kCp932 || encoding == IniEncoding::kUnknown;
}

bool IsUtf16(IniEncoding encoding) {
    return encoding == IniEncoding::kUtf16Le || encoding == IniEncoding::kUtf16Be;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares two names in the file's encoding, folding ASCII letters only. In CP932 the trail byte
// of a double-byte character is compared as it is, even where it falls in the ASCII letter range;
// in UTF-8 every byte of a longer character is above ASCII, so folding bytes is safe.
bool SameName(std::string_view a, std::string_view b, IniEncoding encoding) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Cp932Bytes(encoding) && IsDbcsLeadByte(static_cast<unsigned char>(a[i]))) {
            if (a[i] != b[i] || (i + 1 < a.size() && a[i + 1] != b[i + 1])) return false;
            ++i;
            continue;
        }
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

struct IniFile {
    enum Status { kRead, kMissing, kUnusable } status = kMissing;
    // Without the byte-order mark, if there was one; a UTF-16 file's text as UTF-8.
    std::string text;
    IniEncoding encoding = IniEncoding::kCp932;
    bool bom = false;
};

// UTF-8 (valid, as every text put together here is) as UTF-16 code units in the order given.
std::string Utf8ToUtf16(std::string_view utf8, bool bigEndian) {
    std::string out;
    out.reserve(utf8.size() * 2);
    auto unit = [&out, bigEndian](std::uint32_t u) {
        const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        std::uint32_t cp = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 | (cp >> 10));
            unit(0xDC00 | (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

// Appends code point cp to out as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

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
    if (IsUtf16(file.encoding)) {
        file.bom = true;
        file.text = *Utf16ToUtf8(std::string_view(file.text).substr(kUtf16LeBom.size()),
                                 file.encoding == IniEncoding::kUtf16Be);
        return file;
    }
    file.bom = file.encoding == IniEncoding::kUtf8 && file.text.starts_with(kUtf8Bom);
    if (file.bom) file.text.erase(0, kUtf8Bom.size());
    return file;
}

// A name or value of the program (UTF-8) as the file's bytes; nothing where it has no form there.
std::optional<std::string> ToFile(std::string_view utf8, IniEncoding encoding) {
    if (Cp932Bytes(encoding)) return Utf8ToCp932(utf8);
    if (!IsValidUtf8(utf8)) return std::nullopt;
    return std::string(utf8);
}

// The file's bytes as UTF-8; nothing where they are not valid text of the file's encoding (a file
// with a byte-order mark may still hold bytes that are no UTF-8).
std::optional<std::string> FromFile(std::string_view bytes, IniEncoding encoding) {
    if (Cp932Bytes(encoding)) return Cp932ToUtf8(bytes);
    if (!IsValidUtf8(bytes)) return std::nullopt;
    return std::string(bytes);
}

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        } else {
            end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
        }
        lines.push_back({text.substr(start, end - start)});
        start = end;
    }
    return lines;
}

// The line end the file uses: that of its first line, CR LF where it has none.
std::string LineEndOf(const std::string& text) {
    const auto end = text.find_first_of("\r\n");
    if (end == std::string::npos) return std::string(kCrLf);
    if (text[end] == '\n') return "\n";
    return end + 1 < text.size() && text[end + 1] == '\n' ? std::string(kCrLf) : "\r";
}

// The parsed meaning of one line.
struct Entry {
    enum Kind { kOther, kSection, kKey } kind = kOther;
    std::string_view name;
    std::string_view value;
};

Entry Parse(std::string_view body) {
    body = TrimBlanks(body);
    if (body.starts_with('[')) {
        body.remove_prefix(1);
        const size_t close = body.find(']');
        return {Entry::kSection, TrimBlanks(body.substr(0, close)), {}};
    }
    if (body.starts_with(';')) return {};
    const size_t eq = body.find('=');
    if (eq == std::string_view::npos) return {};
    return {Entry::kKey, TrimBlanks(body.substr(0, eq)), TrimBlanks(body.substr(eq + 1))};
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
        if (!TrimBlanks(lines[i].Body()).empty()) loc.lastInSection = i;
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

std::optional<std::string> Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(bytes.size());
    auto unit = [bytes, bigEndian](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? std::uint32_t(first << 8 | second) : std::uint32_t(second << 8 | first);
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        std::uint32_t cp = unit(i);
        if (cp == 0 || (cp >= 0xDC00 && cp <= 0xDFFF)) return std::nullopt;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 2 >= bytes.size()) return std::nullopt;
            const std::uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

IniEncoding IniEncodingOf(std::string_view bytes) {
    for (const bool bigEndian : {false, true}) {
        if (!bytes.starts_with(bigEndian ? kUtf16BeBom : kUtf16LeBom)) continue;
        return Utf16ToUtf8(bytes.substr(kUtf16LeBom.size()), bigEndian)
                   ? (bigEndian ? IniEncoding::kUtf16Be : IniEncoding::kUtf16Le)
                   : IniEncoding::kUnknown;
    }
    if (bytes.starts_with(kUtf8Bom)) return IniEncoding::kUtf8;
    if (bytes.find('\0') != std::string_view::npos) return IniEncoding::kUnknown;
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return IniEncoding::kCp932;
    if (IsValidUtf8(bytes)) return IniEncoding::kUtf8;
    return Cp932ToUtf8(bytes) ? IniEncoding::kCp932 : IniEncoding::kUnknown;
}

std::string DescribeIniEncoding(std::string_view bytes) {
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    switch (IniEncodingOf(bytes)) {
        case IniEncoding::kCp932: return ascii ? "ASCII" : "CP932";
        case IniEncoding::kUtf8:
            return bytes.starts_with(kUtf8Bom) ? "UTF-8 with BOM" : "UTF-8 without BOM";
        case IniEncoding::kUtf16Le: return "UTF-16 LE with BOM";
        case IniEncoding::kUtf16Be: return "UTF-16 BE with BOM";
        case IniEncoding::kUnknown: break;
    }
    const char* what = bytes.starts_with(kUtf16LeBom) || bytes.starts_with(kUtf16BeBom)
                           ? "a UTF-16 byte-order mark, but no valid UTF-16 after it"
                       : bytes.find('\0') != std::string_view::npos
                           ? "NUL bytes (UTF-16 or UTF-32 without a byte-order mark?)"
                           : "bytes that are neither CP932 nor UTF-8";
    return std::string("unknown encoding: ") + what +
           "; save it as CP932, UTF-8 or UTF-16 with a byte-order mark";
}

std::optional<std::string> IniEncodingProblem(const std::string& path) {
    std::string bytes;
    if (ReadRegularFile(path, kMaxIniBytes, &bytes) != ReadResult::kRead ||
        IniEncodingOf(bytes) != IniEncoding::kUnknown) {
        return std::nullopt;
    }
    return path +
           " is read only as far as it goes and is never written: " + DescribeIniEncoding(bytes);
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
                         const std::string& path, bool* fits) {
    if (fits) *fits = true;
    const auto raw = RawValue(section, key, path);
    if (!raw) return static_cast<std::uint32_t>(defaultValue);
    std::string_view v = raw->value;
    while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ') v.remove_prefix(1);
    bool negative = false;
    if (!v.empty() && (v.front() == '+' || v.front() == '-')) {
        negative = v.front() == '-';
        v.remove_prefix(1);
    }
    // The magnitude, held up to just past the 32-bit range: a longer number reads as its end.
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 31;  // |INT32_MIN|
    std::uint64_t magnitude = 0;
    for (char c : v) {
        if (c < '0' || c > '9') break;
        magnitude = std::min(magnitude * 10 + static_cast<std::uint64_t>(c - '0'), kLimit + 1);
    }
    const std::uint64_t most = negative ? kLimit : kLimit - 1;
    if (magnitude > most) {
        if (fits) *fits = false;
        magnitude = most;
    }
    const auto result = static_cast<std::uint32_t>(magnitude);
    return negative ? 0u - result : result;
}

bool WriteIniString(std::string_view section, std::string_view key, std::string_view value,
                    const std::string& path) {
    // A file that is there but cannot be read (or is no file) is left alone rather than replaced
    // by a new one.
    const IniFile file = ReadIniFile(path);
    if (file.status == IniFile::kUnusable || file.encoding == IniEncoding::kUnknown) return false;
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
        const bool open = last && !lines[i].Ended();
        if (open) lines[i].raw += lineEnd;
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
    std::string content;
    for (const auto& l : lines) content += l.raw;
    if (IsUtf16(file.encoding)) {
        const bool bigEndian = file.encoding == IniEncoding::kUtf16Be;
        content =
            std::string(bigEndian ? kUtf16BeBom : kUtf16LeBom) + Utf8ToUtf16(content, bigEndian);
    } else if (file.bom) {
        content.insert(0, kUtf8Bom);
    }
    return ReplaceFileAtomically(path, content) == ReplaceResult::kDone;
}

bool IniHasKey(std::string_view section, std::string_view key, const std::string& path) {
    return RawValue(section, key, path).has_value();
}

}  // namespace odomei

// Private-profile (INI) access on a CP932, UTF-8 or UTF-16 file, with the semantics of the Windows
// profile calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace odomei {

// The encoding of a settings file. Windows programs write CP932, and so does this one in a new
// file; an editor may save the file as UTF-8 (Notepad with a byte-order mark or without, Linux
// editors without) or as UTF-16 with a byte-order mark (Notepad's "Unicode", little-endian, and
// "Unicode big endian"), which Windows' own profile calls read too. kUnknown is a file that is
// none of these: it is read as far as it goes as CP932, and never written.
enum class IniEncoding { kCp932, kUtf8, kUtf16Le, kUtf16Be, kUnknown };

// How a file's bytes are read: UTF-16 when they start with its byte-order mark (FF FE or FE FF)
// and are valid UTF-16 after it; UTF-8 when they start with its byte-order mark, or when they
// are valid UTF-8 throughout and at least one byte is not ASCII; CP932 when they are valid CP932
// (a new, empty or ASCII-only file too). Anything else, and any file holding a NUL character (as
// UTF-16 without a byte-order mark does), is unknown. CP932 Japanese text is practically never
// valid UTF-8: its half-width katakana (A1-DF) and the lead bytes 81-9F of kana and most kanji
// are UTF-8 continuation bytes, which cannot start a character, so the section and key this
// program writes in CP932 make any file holding them CP932.
IniEncoding IniEncodingOf(std::string_view bytes);

// The encoding of a settings file's bytes in words, for diagnostics: "CP932", "ASCII",
// "UTF-8 with BOM", "UTF-8 without BOM", "UTF-16 LE with BOM", "UTF-16 BE with BOM", or, for a
// file of none of them, what is wrong with it.
std::string DescribeIniEncoding(std::string_view bytes);

// Why the settings file at path is read only as far as it goes and never written (its encoding
// is unknown), or nothing when it is an ordinary settings file or is not there.
std::optional<std::string> IniEncodingProblem(const std::string& path);

// UTF-16 code units (two bytes each, in the order given, no byte-order mark) as UTF-8; nothing
// when the bytes are no valid UTF-16 (an odd count, a surrogate without its pair, a NUL).
std::optional<std::string> Utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Far more than any settings file holds; a larger "INI file" is something else.
constexpr std::size_t kMaxIniBytes = 1 << 20;

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// Sections and keys are given in UTF-8 and matched against the file's bytes in its encoding,
// ignoring the case of ASCII letters. Values are returned and written in UTF-8. Only a regular
// file of at most 1 MiB is read: anything else reads as a missing file.

// The value of section/key (blanks around it and one pair of enclosing quotes removed), or
// nothing when the file, the section or the key is missing or the value is not valid text in the
// file's encoding.
std::optional<std::string> ReadIniString(std::string_view section, std::string_view key,
                                         const std::string& path);

// Every key=value line of the first section of that name, in file order, as UTF-8 (values
// unquoted as above): the value is nothing where it is not valid text in the file's encoding, and
// a line whose key is not is left out.
std::vector<std::pair<std::string, std::optional<std::string>>> ReadIniSection(
    std::string_view section, const std::string& path);

// The integer reading of section/key as Windows does it: leading blanks, an optional sign, then
// decimal digits up to the first non-digit. An empty or non-numeric value reads as 0; the default
// is used only when the file, the section or the key is missing. A number beyond the 32-bit range
// reads as the nearest end of it (INT32_MAX or INT32_MIN), never as another number that fits (as
// Windows' wrapping would make 4294967299 port 3), and *fits says false for it.
std::uint32_t ReadIniInt(std::string_view section, std::string_view key, std::int32_t defaultValue,
                         const std::string& path, bool* fits = nullptr);

// Whether a key=value line for section/key stands in the file, whatever its value.
bool IniHasKey(std::string_view section, std::string_view key, const std::string& path);

// Sets section/key to value, creating the file, the section and the key as needed, in the file's
// encoding (CP932 for a new file; a byte-order mark stays). Lines end at CR LF, LF or a lone CR.
// Every other line keeps its bytes; lines put in take the file's own line end, and a file that ends
// without a line end still does. The file is replaced atomically (a temporary file beside it, then
// a rename). Returns false when the file could not be written, or is no regular file, or is larger
// than any settings file (1 MiB), or its encoding is unknown, or a text has no form in the file's
// encoding; nothing is changed then.
bool WriteIniString(std::string_view section, std::string_view key, std::string_view value,
                    const std::string& path);

}  // namespace odomei

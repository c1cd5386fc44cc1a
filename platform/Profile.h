// Private-profile (INI) access on a CP932 file, with the semantics of the Windows profile calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace odomei {

// Sections and keys are given in UTF-8 and matched against the file's CP932 bytes, ignoring the
// case of ASCII letters. Values are returned and written in UTF-8. Only a regular file of at most
// 1 MiB is read: anything else reads as a missing file.

// The value of section/key (blanks around it and one pair of enclosing quotes removed), or
// nothing when the file, the section or the key is missing or the value is not valid CP932.
std::optional<std::string> ReadIniString(std::string_view section, std::string_view key,
                                         const std::string& path);

// Every key=value line of the first section of that name, in file order, as UTF-8 (values
// unquoted as above): the value is nothing where it is not valid CP932, and a line whose key is
// not valid CP932 is left out.
std::vector<std::pair<std::string, std::optional<std::string>>> ReadIniSection(
    std::string_view section, const std::string& path);

// The integer reading of section/key as Windows does it: leading blanks, an optional sign, then
// decimal digits up to the first non-digit, wrapping at 32 bits. An empty or non-numeric value
// reads as 0; the default is used only when the file, the section or the key is missing.
std::uint32_t ReadIniInt(std::string_view section, std::string_view key, std::int32_t defaultValue,
                         const std::string& path);

// Whether a key=value line for section/key stands in the file, whatever its value.
bool IniHasKey(std::string_view section, std::string_view key, const std::string& path);

// When section/key is missing as CP932 but stands in the file as UTF-8 (an editor saved it so),
// what was found ("section [...]" or "the key ... of section [...]"); nothing otherwise.
std::optional<std::string> FindUtf8Only(std::string_view section, std::string_view key,
                                        const std::string& path);

// Sets section/key to value, creating the file, the section and the key as needed. Every other
// line keeps its bytes; lines put in take the file's own line end, and a file that ends without
// a line end still does. The file is replaced atomically (a temporary file beside it, then a
// rename). Returns false when the file could not be written, or is no regular file, or is larger
// than any settings file (1 MiB); nothing is changed then.
bool WriteIniString(std::string_view section, std::string_view key, std::string_view value,
                    const std::string& path);

}  // namespace odomei

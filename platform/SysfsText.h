// Reading the kernel's one-line attribute files (sysfs, /proc) as the port lister and the port
// facts both do.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace odomei {

// The file's first line without its line end and trailing blanks; empty when it cannot be read.
std::string FirstLine(const std::filesystem::path& file);

// A USB vendor or product id as sysfs writes it (four hex digits), or nothing.
std::optional<std::uint16_t> HexId(const std::string& text);

}  // namespace odomei

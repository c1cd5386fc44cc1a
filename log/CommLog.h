// The communication log: time-stamped labels and hexadecimal dumps of what passes on the line.
#pragma once

#include <cstdint>
#include <string>

namespace odomei {

// The file every entry goes to ("KORVANA.log" in the working directory); set once at start-up.
void SetCommLogPath(std::string path);
const std::string& CommLogPath();

// mode 't' or 'T': data is a zero-terminated UTF-8 text, written as one time-stamped CP932 line
// (count is not read). Any other mode: a dump of count bytes from data. Each call opens, locks,
// writes and closes the file; the first entry of a new day empties it first. Failures are shown
// in a message box and the caller carries on.
void WriteCommLog(const void* data, int count, char mode);

// The dump lines of a byte range, exactly as they go into the file.
std::string CommLogDump(const std::uint8_t* data, int count);

}  // namespace odomei

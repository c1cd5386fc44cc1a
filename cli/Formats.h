// The reading as odomei-cli writes it: the window's CSV, JSON with typed values, or an aligned
// table for a terminal.
#pragma once

#include <string>

#include "data/Decoder.h"

namespace odomei::cli {

// The bytes the window saves (CP932), or the same text in UTF-8.
std::string FormatCsv(const MeterReading& reading, bool utf8);

// One object: the firmware version and the records with their figures as numbers carrying
// exactly the list's two decimals.
std::string FormatJson(const MeterReading& reading);

// The version line and the list's seven columns, aligned for a terminal (UTF-8).
std::string FormatTable(const MeterReading& reading);

// How many terminal columns a UTF-8 text takes: two for wide (CJK, full-width) characters, one
// for the others, half-width katakana included.
int DisplayWidth(const std::string& utf8);

}  // namespace odomei::cli

// Reading back a CSV file the window saved, also as a spreadsheet saves it again: every field is
// held to the texts the decoder writes, so whatever is taken in can be written out as it came.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/RecordTable.h"
#include "platform/Failure.h"

namespace odomei {

// The largest file an import reads: many years of saved lists, and little memory.
constexpr std::size_t kMaxImportBytes = std::size_t{16} << 20;

// A figure as the list writes it ("12.34", "-0.05", "-0.00") as hundredths; nothing for any
// other text ("012.34", "1.5", "+1.00", more than twelve digits before the point).
std::optional<std::int64_t> ParseHundredths(std::string_view text);

// True for "-" and for every date text the decoder writes ("2007年15月09日" among them).
bool IsDecoderDate(std::string_view text);

// The rows of a CSV file the window saved: CP932, or UTF-8 with or without a byte-order mark;
// fields plain or in standard CSV quotes; header line first; blank lines skipped. Nothing, with
// the line that is wrong in problem's English, when any line is not such a row.
std::optional<std::vector<RecordRow>> ParseSavedCsv(std::string_view bytes, Reason* problem);

}  // namespace odomei

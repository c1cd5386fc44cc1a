// The held records as the CSV file the window saves (CP932), and the save's failure texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/RecordSheet.h"
#include "data/RecordTable.h"

namespace odomei {

enum class CsvResult {
    kSaved,
    kOpenFailed,   // the file (or the temporary file beside it) could not be created
    kWriteFailed,  // writing, flushing, closing or the final rename failed; nothing was changed
};

// The header line's text (without its line end).
inline constexpr const char* kCsvHeader = "日付,走行距離,消費燃料,使用補正値,実給油量,測定誤差";

// The file's text in UTF-8: the header and rows 1 to m_nRecordCount, CR LF line ends.
std::string CsvText(const RecordTable& table);

// The same for any number of rows (the logbook's), and for the records of a sheet chosen (their
// places in it, in its order).
std::string CsvText(const std::vector<RecordRow>& rows);
std::string CsvText(const RecordSheet& sheet, const std::vector<std::uint32_t>& chosen);

// The file's bytes: that text in CP932.
std::string CsvContent(const RecordTable& table);

// The message for a save that failed (empty for success).
const char* CsvFailureText(CsvResult result);

}  // namespace odomei

// What both history windows show of the logbook: the table's captions and texts, the summary.
#pragma once

#include <string>
#include <vector>

#include "data/Logbook.h"
#include "data/LogbookStats.h"
#include "data/TextsJa.h"

namespace odomei {

inline constexpr const char* kKmPerLitreUnit = "km/L";
inline constexpr const char* kLitresPer100KmUnit = "L/100km";
constexpr int kHistoryColumnCount = 9;

// The table's nine captions: number, the list's six, and economy as refilled and as measured.
std::vector<std::string> HistoryCaptions(bool per100km);
// A record's nine texts; number counts from the oldest shown.
std::vector<std::string> HistoryRowTexts(const LogbookRecord& r, int number, bool per100km);
// The nine texts of the row that marks a gap: the marker in the date's column, the rest empty.
std::vector<std::string> HistoryGapRowTexts();
// Records, totals, economy, the meter's error and the suggested correction, in three lines; then
// how many gaps the records hold, and a line for each stretch of one correction factor.
std::string LogbookSummaryText(const LogbookSummary& s, bool per100km);
// What a history window says under its table: why the logbook could not be read (failure), that
// it holds no record yet, or the summary of the records shown.
std::string HistoryStatusText(const LogbookSummary& shown, bool per100km, bool logbookEmpty,
                              const std::string& failure);

}  // namespace odomei

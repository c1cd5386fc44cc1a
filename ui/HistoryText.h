// What both history windows show of the logbook: the table's captions and texts, the summary.
#pragma once

#include <string>
#include <vector>

#include "data/Logbook.h"
#include "data/LogbookStats.h"

namespace odomei {

inline constexpr const char* kHistoryTitle = "履歴";
inline constexpr const char* kKmPerLitreUnit = "km/L";
inline constexpr const char* kLitresPer100KmUnit = "L/100km";
constexpr int kHistoryColumnCount = 9;

// The table's nine captions: number, the list's six, and economy as refilled and as measured.
std::vector<std::string> HistoryCaptions(bool per100km);
// A record's nine texts; number counts from the oldest shown.
std::vector<std::string> HistoryRowTexts(const LogbookRecord& r, int number, bool per100km);
// Records, totals, economy, the meter's error and the suggested correction, in three lines.
std::string LogbookSummaryText(const LogbookSummary& s, bool per100km);

}  // namespace odomei

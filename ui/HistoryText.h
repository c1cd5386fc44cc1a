// What both history windows show of the logbook: the table's captions and texts, the summary.
#pragma once

#include <string>
#include <vector>

#include "data/Logbook.h"
#include "data/LogbookStats.h"
#include "data/Prices.h"
#include "data/TextsJa.h"

namespace odomei {

inline constexpr const char* kKmPerLitreUnit = "km/L";
inline constexpr const char* kLitresPer100KmUnit = "L/100km";
constexpr int kHistoryColumnCount = 12;
// The columns a user may type into (HistoryPresenter::OnEdit): the price of a litre, the total
// paid, and the odometer.
constexpr int kPricePerLitreColumn = 9;
// The columns of the meter's figures' texts: distance, fuel, correction, refuel and error.
constexpr int kFirstFigureTextColumn = 2;
constexpr int kLastFigureTextColumn = 6;
constexpr int kCostColumn = 10;
constexpr int kOdometerColumn = 11;

// The table's twelve captions: number, the list's six, economy as refilled and as measured, then
// the price of a litre and the total paid in the vehicle's currency, and the odometer.
std::vector<std::string> HistoryCaptions(bool per100km,
                                         const std::string& currency = kDefaultCurrency);
// The text of column (0 to kHistoryColumnCount - 1) of record i of a sheet; number counts from
// the oldest shown. The price columns are empty where the record has no price (or no fuel
// refilled for the one not entered), the odometer's where it is not known; the odometer in whole
// km. Only the cell asked for is formatted.
std::string HistoryCellText(const RecordSheet& sheet, std::size_t i, int column, int number,
                            bool per100km);
// The twelve texts of the row that marks a gap: the marker in the date's column, the rest empty.
std::vector<std::string> HistoryGapRowTexts();
// Records, totals, economy, the meter's error and the suggested correction, in three lines; what
// the refuels cost (or that none has a price yet); then how many gaps the records hold, and a line
// for each stretch of one correction factor.
std::string LogbookSummaryText(const LogbookSummary& s, bool per100km,
                               const std::string& currency = kDefaultCurrency);
// What a history window says under its table: why the logbook could not be read (failure), that
// it holds no record yet, or the summary of the records shown, with a line for the records whose
// odometer is not known where others' is (those after a gap).
// odometerUnknown of the shown records have no odometer known.
std::string HistoryStatusText(const LogbookSummary& shown, bool per100km, bool logbookEmpty,
                              const std::string& failure, int odometerUnknown = 0,
                              const std::string& currency = kDefaultCurrency);

}  // namespace odomei

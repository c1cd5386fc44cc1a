// The reading as odomei-cli writes it: the window's CSV, JSON with typed values, or an aligned
// table for a terminal.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/Decoder.h"
#include "data/Logbook.h"
#include "data/LogbookStats.h"

namespace odomei::cli {

// The bytes the window saves (CP932), or the same text in UTF-8.
std::string FormatCsv(const MeterReading& reading, bool utf8);

// One object: the vehicle the read was kept with (null: kept nowhere), the firmware version and
// the records with their figures as numbers carrying exactly the list's two decimals.
std::string FormatJson(const MeterReading& reading, const std::optional<std::string>& vehicle);

// The version line and the list's seven columns, aligned for a terminal (UTF-8).
std::string FormatTable(const MeterReading& reading);

// Where a long output goes, a piece at a time: false where it could not take it (the output then
// ends there).
using OutputSink = std::function<bool(const std::string& piece)>;

// The logbook's records: the list's seven columns and the economy by the refuel and by the
// meter (km/L, or L/100 km with per100km), aligned for a terminal.
// Where any record has a price or an odometer reading, the price of a litre, the cost (in
// currency) and the odometer follow. Written to sink as it is made; false where it refused.
bool WriteHistoryTable(const RecordSheet& sheet, bool per100km, const std::string& currency,
                       const OutputSink& sink);
// The same as JSON: the list's figures, the date, the economies, whether imported, when read
// (reads: the time of each), the price, cost and odometer (null where none). The vehicle they are
// and its currency, at the top.
bool WriteHistoryJson(const RecordSheet& sheet, const ReadTimes& reads, const std::string& vehicle,
                      const std::string& currency, const OutputSink& sink);
// The summary figures, as lines for a person or one JSON object; the costs in currency.
std::string FormatStatsTable(const LogbookSummary& s, bool per100km,
                             const std::string& currency = kDefaultCurrency);
std::string FormatStatsJson(const LogbookSummary& s, const std::string& vehicle,
                            const std::string& currency = kDefaultCurrency);

// The logbook's vehicles: name, note, records, first and last date, last read, currency and the
// odometer readings given (given[i]: vehicle i's records whose reading was given); the selected
// one marked, aligned for a terminal; or {"vehicles": [...]} with ISO dates and null where none.
std::string FormatVehiclesTable(const std::vector<Vehicle>& vehicles,
                                const std::vector<std::vector<LogbookRecord>>& given,
                                const std::string& selected);
std::string FormatVehiclesJson(const std::vector<Vehicle>& vehicles,
                               const std::vector<std::vector<LogbookRecord>>& given);

// How many terminal columns a UTF-8 text takes: two for wide (CJK, full-width) characters, one
// for the others, half-width katakana included.
int DisplayWidth(const std::string& utf8);

}  // namespace odomei::cli

// What the stored records say about the car and the meter: distance, fuel, economy, the meter's
// error and the correction factor that would have made it right.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/Logbook.h"

namespace odomei {

// The records of one stretch in which the meter's correction factor stayed the same, and what they
// alone say of the meter: its error over their sums and the factor they suggest.
struct FactorPeriod {
    std::int64_t correction = 0;  // hundredths of a percent, as in force for the whole stretch
    std::string firstDate;        // the first and last record's dates, as the list shows them
    std::string lastDate;
    std::optional<std::string> firstIsoDate;  // "YYYY-MM-DD" where those are real dates
    std::optional<std::string> lastIsoDate;
    int records = 0;  // all records of the stretch
    int counted = 0;  // those the ratios rest on
    std::optional<double> errorPercent;
    std::optional<double> suggestedCorrection;  // hundredths of a percent
};

struct LogbookSummary {
    int records = 0;            // all records looked at
    int withoutRefuel = 0;      // refuel 0: left out of every ratio
    int withoutFuel = 0;        // a refuel but no fuel measured (0 or less): left out as well
    int counted = 0;            // the records the ratios rest on: refuel and fuel both above 0
    std::int64_t distance = 0;  // hundredths of a km, all records
    std::int64_t refuel = 0;    // hundredths of a litre, all records
    std::int64_t fuel = 0;      // hundredths of a litre as the meter measured, all records
    // Over the counted records: total distance / total refuel (never a mean of ratios).
    std::optional<double> kmPerLitre;
    std::optional<double> kmPerLitreByMeter;  // total distance / total fuel measured
    // The meter's error over the sums, as for one record: (refuel - fuel) / refuel * 100.
    std::optional<double> errorPercent;
    // The spread of the records' own errors around it: the standard deviation weighted by refuel.
    std::optional<double> errorSpread;
    // The factor that would have made the meter's total equal the total refilled,
    // sum(refuel) / sum(fuel / correction), in hundredths of a percent as the meter takes it.
    std::optional<double> suggestedCorrection;
    int correctionRecords = 0;  // the counted records with a correction above 0
    // Oldest first, one for each run of consecutive records with the same correction factor.
    std::vector<FactorPeriod> periods;
    // The records after which refuels may have been lost (a gap changes no figure).
    int gaps = 0;
    // What the refuels cost, over the records with a price and fuel refilled ("priced"): the total
    // (hundredths of the currency), per km over their distance, per month over the calendar months
    // from the first priced record's to the last's (both counted; pricedMonths, 0 where no priced
    // record has a date), and the average price of a litre (total cost / total refilled). All in
    // hundredths of the vehicle's currency; nothing where there is nothing to divide by.
    int priced = 0;
    std::int64_t cost = 0;
    std::optional<double> costPerKm;
    std::optional<double> costPerMonth;
    std::optional<double> pricePerLitre;
    int pricedMonths = 0;
};

// The summary of records given oldest first: those of a sheet chosen (their places in it, in its
// order), all of a sheet, or LogbookRecords.
LogbookSummary Summarize(const RecordSheet& sheet, const std::vector<std::uint32_t>& chosen);
LogbookSummary Summarize(const RecordSheet& sheet);
LogbookSummary Summarize(const std::vector<LogbookRecord>& records);

// One record's own figures; nothing where it has no refuel, and for the meter's economy and its
// error also nothing where the meter measured no fuel.
std::optional<double> KmPerLitre(const RecordFigures& r);
std::optional<double> KmPerLitreByMeter(const RecordFigures& r);
std::optional<double> ErrorPercent(const RecordFigures& r);
inline std::optional<double> KmPerLitre(const LogbookRecord& r) { return KmPerLitre(FiguresOf(r)); }
inline std::optional<double> KmPerLitreByMeter(const LogbookRecord& r) {
    return KmPerLitreByMeter(FiguresOf(r));
}
inline std::optional<double> ErrorPercent(const LogbookRecord& r) {
    return ErrorPercent(FiguresOf(r));
}

// An economy in km/L, or turned into L/100 km, with two decimals as the list shows figures; "-"
// where there is none.
std::string EconomyText(std::optional<double> kmPerLitre, bool per100km);

}  // namespace odomei

#include "data/LogbookStats.h"

#include <cmath>

#include "data/Decoder.h"

namespace odomei {
namespace {

constexpr double kPercent = 100.0;
constexpr double kFullCorrection = 10000.0;  // 100.00 % in the meter's hundredths

// A record the ratios rest on. One where the meter measured no fuel though fuel was refilled says
// nothing about the car or the meter (the meter itself shows no economy for it), so every ratio
// leaves it out, as it leaves out one without a refuel.
bool Counted(const LogbookRecord& r) { return r.refuel > 0 && r.fuel > 0; }

}  // namespace

std::optional<double> KmPerLitre(const LogbookRecord& r) {
    if (r.refuel <= 0) return std::nullopt;
    return static_cast<double>(r.distance) / static_cast<double>(r.refuel);
}

std::optional<double> KmPerLitreByMeter(const LogbookRecord& r) {
    if (!Counted(r)) return std::nullopt;
    return static_cast<double>(r.distance) / static_cast<double>(r.fuel);
}

std::optional<double> ErrorPercent(const LogbookRecord& r) {
    if (!Counted(r)) return std::nullopt;
    return static_cast<double>(r.refuel - r.fuel) / static_cast<double>(r.refuel) * kPercent;
}

std::string EconomyText(std::optional<double> kmPerLitre, bool per100km) {
    if (!kmPerLitre || *kmPerLitre <= 0) return "-";
    return FormatFixed2(per100km ? 100.0 / *kmPerLitre : *kmPerLitre);
}

LogbookSummary Summarize(const std::vector<LogbookRecord>& records) {
    LogbookSummary s;
    std::int64_t distance = 0, refuel = 0, fuel = 0;  // of the counted records
    double uncorrected = 0;                           // sum of fuel / correction
    std::int64_t correctedRefuel = 0;
    for (const LogbookRecord& r : records) {
        ++s.records;
        s.distance += r.distance;
        s.refuel += r.refuel;
        s.fuel += r.fuel;
        if (r.refuel <= 0) {
            ++s.withoutRefuel;
            continue;
        }
        if (!Counted(r)) {
            ++s.withoutFuel;
            continue;
        }
        ++s.counted;
        distance += r.distance;
        refuel += r.refuel;
        fuel += r.fuel;
        if (r.correction > 0) {
            ++s.correctionRecords;
            correctedRefuel += r.refuel;
            uncorrected +=
                static_cast<double>(r.fuel) * kFullCorrection / static_cast<double>(r.correction);
        }
    }
    if (refuel > 0) {
        s.kmPerLitre = static_cast<double>(distance) / static_cast<double>(refuel);
        s.kmPerLitreByMeter = static_cast<double>(distance) / static_cast<double>(fuel);
        s.errorPercent =
            static_cast<double>(refuel - fuel) / static_cast<double>(refuel) * kPercent;
        // Weighted by refuel, the records' errors average to the error over the sums.
        double squares = 0;
        for (const LogbookRecord& r : records) {
            if (const auto e = ErrorPercent(r)) {
                squares +=
                    static_cast<double>(r.refuel) * (*e - *s.errorPercent) * (*e - *s.errorPercent);
            }
        }
        s.errorSpread = std::sqrt(squares / static_cast<double>(refuel));
    }
    if (uncorrected > 0) {
        s.suggestedCorrection =
            static_cast<double>(correctedRefuel) / uncorrected * kFullCorrection;
    }
    return s;
}

}  // namespace odomei

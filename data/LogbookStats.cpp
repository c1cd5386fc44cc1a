#include "data/LogbookStats.h"

#include <cmath>

#include "data/Decoder.h"
#include "platform/Dates.h"

namespace odomei {
namespace {

constexpr double kPercent = 100.0;
constexpr double kHundredths = 100.0;        // a km or a litre in the data's units
constexpr double kFullCorrection = 10000.0;  // 100.00 % in the meter's hundredths

// A record the ratios rest on. One where the meter measured no fuel though fuel was refilled says
// nothing about the car or the meter (the meter itself shows no economy for it), so every ratio
// leaves it out, as it leaves out one without a refuel.
bool Counted(const RecordFigures& r) { return r.refuel > 0 && r.fuel > 0; }

}  // namespace

std::optional<double> KmPerLitre(const RecordFigures& r) {
    if (r.refuel <= 0) return std::nullopt;
    return static_cast<double>(r.distance) / static_cast<double>(r.refuel);
}

std::optional<double> KmPerLitreByMeter(const RecordFigures& r) {
    if (!Counted(r)) return std::nullopt;
    return static_cast<double>(r.distance) / static_cast<double>(r.fuel);
}

std::optional<double> ErrorPercent(const RecordFigures& r) {
    if (!Counted(r)) return std::nullopt;
    return static_cast<double>(r.refuel - r.fuel) / static_cast<double>(r.refuel) * kPercent;
}

std::string EconomyText(std::optional<double> kmPerLitre, bool per100km) {
    if (!kmPerLitre || *kmPerLitre <= 0) return "-";
    return FormatFixed2(per100km ? 100.0 / *kmPerLitre : *kmPerLitre);
}

namespace {

// The records a summary is made of: the sheet's chosen, oldest first.
struct Chosen {
    const RecordSheet& sheet;
    const std::vector<std::uint32_t>& places;
    const RecordFigures& operator[](std::size_t i) const { return sheet[places[i]]; }
    std::size_t Size() const { return places.size(); }
};

// The ratios over chosen records [begin, end): the economies, the error and its spread, the
// factor. The records' counts and totals are the caller's.
void Ratios(const Chosen& records, std::size_t begin, std::size_t end, LogbookSummary& s) {
    std::int64_t distance = 0, refuel = 0, fuel = 0;  // of the counted records
    double uncorrected = 0;                           // sum of fuel / correction
    std::int64_t correctedRefuel = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const RecordFigures& r = records[i];
        if (!Counted(r)) continue;
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
        for (std::size_t i = begin; i < end; ++i) {
            const RecordFigures& r = records[i];
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
}

// A month as a number that counts on across years.
std::int64_t MonthNumber(std::int64_t day) {
    const CivilDate date = CivilFromDays(day);
    return date.year * 12 + (date.month - 1);
}

// What the priced records cost: a price and fuel refilled.
void Costs(const Chosen& records, LogbookSummary& s) {
    std::int64_t distance = 0, refuel = 0;
    std::optional<std::int64_t> first, last;  // the priced records' oldest and newest days
    for (std::size_t i = 0; i < records.Size(); ++i) {
        const RecordFigures& r = records[i];
        const auto cost = CostOf(r);
        if (!cost || r.refuel <= 0) continue;
        ++s.priced;
        s.cost += *cost;
        distance += r.distance;
        refuel += r.refuel;
        if (r.Dated()) {
            if (!first || r.day < *first) first = r.day;
            if (!last || r.day > *last) last = r.day;
        }
    }
    if (s.priced == 0) return;
    const auto cost = static_cast<double>(s.cost);
    if (distance > 0) s.costPerKm = cost * kHundredths / static_cast<double>(distance);
    s.pricePerLitre = cost * kHundredths / static_cast<double>(refuel);
    if (first) {
        s.pricedMonths = static_cast<int>(MonthNumber(*last) - MonthNumber(*first) + 1);
        s.costPerMonth = cost / s.pricedMonths;
    }
}

}  // namespace

LogbookSummary Summarize(const RecordSheet& sheet, const std::vector<std::uint32_t>& chosen) {
    const Chosen records{sheet, chosen};
    LogbookSummary s;
    for (std::size_t i = 0; i < records.Size(); ++i) {
        const RecordFigures& r = records[i];
        ++s.records;
        s.distance += r.distance;
        s.refuel += r.refuel;
        s.fuel += r.fuel;
        if (r.refuel <= 0) {
            ++s.withoutRefuel;
        } else if (!Counted(r)) {
            ++s.withoutFuel;
        }
        if (r.GapBefore()) ++s.gaps;
    }
    Ratios(records, 0, records.Size(), s);
    Costs(records, s);
    // Each stretch of one factor on its own, by the same rules.
    for (std::size_t first = 0; first < records.Size();) {
        std::size_t end = first;
        while (end < records.Size() && records[end].correction == records[first].correction) ++end;
        LogbookSummary alone;
        Ratios(records, first, end, alone);
        FactorPeriod p;
        p.correction = records[first].correction;
        p.firstDate = sheet.Text(chosen[first], RecordText::kDate);
        p.lastDate = sheet.Text(chosen[end - 1], RecordText::kDate);
        p.firstIsoDate = sheet.IsoDate(chosen[first]);
        p.lastIsoDate = sheet.IsoDate(chosen[end - 1]);
        p.records = static_cast<int>(end - first);
        p.counted = alone.counted;
        p.errorPercent = alone.errorPercent;
        p.suggestedCorrection = alone.suggestedCorrection;
        s.periods.push_back(std::move(p));
        first = end;
    }
    return s;
}

LogbookSummary Summarize(const RecordSheet& sheet) { return Summarize(sheet, AllOf(sheet)); }

LogbookSummary Summarize(const std::vector<LogbookRecord>& records) {
    return Summarize(RecordSheet::FromRecords(records));
}

}  // namespace odomei

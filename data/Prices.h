// What a refuel cost and where the odometer stood: the price a driver enters for a refuel (per
// litre or the total paid, in the vehicle's currency) and the odometer reading one refuel is
// given, from which the others follow by the distances the meter measured.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Failure.h"

namespace odomei {

struct LogbookRecord;
struct RecordFigures;

// A vehicle's currency unless one is set: an ISO 4217 code.
inline constexpr const char* kDefaultCurrency = "JPY";

enum class PriceKind { kPerLitre, kTotal };

// A refuel's price as entered: per litre of fuel refilled, or the total paid. amount in hundredths
// of the currency's unit (16850: 168.50 per litre; 543200: 5432 paid).
struct Price {
    PriceKind kind = PriceKind::kPerLitre;
    std::int64_t amount = 0;
    bool operator==(const Price&) const = default;
};

// The largest amount a price may have (hundredths): ten million units paid or per litre.
constexpr std::int64_t kMaxPriceAmount = 1'000'000'000;
// The largest odometer reading (km) a vehicle may be given.
constexpr std::int64_t kMaxOdometerKm = 100'000'000;

// A price as a user types it: digits with at most two decimals after a point or a comma
// ("168.5", "168,50", "5432"), spaces around it allowed; no sign, no thousands separator. Above
// 0 and at most kMaxPriceAmount. Nothing, with why set (both languages), when it is not one.
std::optional<std::int64_t> ParsePriceAmount(const std::string& text, Reason* why = nullptr);
// An odometer reading in whole km as a user types it ("48210", "48 210", spaces between groups of
// three allowed), 0 to kMaxOdometerKm: in hundredths of a km (as the meter's distances are).
std::optional<std::int64_t> ParseOdometer(const std::string& text, Reason* why = nullptr);
// An odometer reading (hundredths of a km) in whole km, to the nearest, as every list and file
// writes it: "48210".
std::string OdometerKmText(std::int64_t hundredths);
// An amount (hundredths) as the window and the outputs write it: "168.50", "5432.00" (point,
// no separators, two decimals).
std::string AmountText(std::int64_t hundredths);

// What a refuel cost and what a litre of it cost, from its price and the fuel refilled (its
// refuel, hundredths of a litre), in hundredths of the currency, rounded half away from zero.
// Nothing where the record has no price, or (for the other kind) no fuel refilled.
std::optional<std::int64_t> CostOf(const RecordFigures& r);
std::optional<std::int64_t> PricePerLitreOf(const RecordFigures& r);
std::optional<std::int64_t> CostOf(const LogbookRecord& r);
std::optional<std::int64_t> PricePerLitreOf(const LogbookRecord& r);

// A card statement: lines "YYYY-MM-DD,price" (a header line of text, blank lines, a UTF-8 byte
// order mark and CRLF ends allowed; the price as ParsePriceAmount takes it, in double quotes or
// not). Nothing, with why set naming the line number, when a line is neither.
struct StatementLine {
    int line = 0;  // 1-based, in the file
    std::string isoDate;
    std::int64_t amount = 0;
};
std::optional<std::vector<StatementLine>> ParsePriceStatement(const std::string& text, Reason* why);

}  // namespace odomei

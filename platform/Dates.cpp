#include "platform/Dates.h"

#include <algorithm>
#include <cstdio>

namespace odomei {
namespace {

// The most digits a field of a date text is read with: a year's four, more than any month or day
// of the meter's texts have.
constexpr std::size_t kMaxFieldDigits = 4;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number written with at least width digits, zeros first, as printf's "%0*lld" writes it; the
// history writes three of them for each of a million records, so not through printf itself.
void AppendPadded(std::string& text, std::int64_t value, int width) {
    if (value < 0) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(value));
        text += buf;
        return;
    }
    char digits[24];
    int n = 0;
    auto rest = static_cast<std::uint64_t>(value);
    do {
        digits[n++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    text.append(static_cast<std::size_t>(std::max(0, width - n)), '0');
    while (n > 0) text += digits[--n];
}

// The meter's date text with the units given.
std::string DateTextIn(const CivilDate& date, const DateUnits& units) {
    std::string text;
    AppendPadded(text, date.year, 4);
    text.append(units.year);
    AppendPadded(text, date.month, 2);
    text.append(units.month);
    AppendPadded(text, date.day, 2);
    text.append(units.day);
    return text;
}

}  // namespace

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(std::int64_t year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsRealDate(const CivilDate& date) {
    return date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= DaysInMonth(date.year, date.month);
}

// H. Hinnant's algorithms, counting in eras of 400 years (146097 days) from 0000-03-01.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

std::string IsoDateText(const CivilDate& date) {
    std::string text;
    AppendPadded(text, date.year, 4);
    text += '-';
    AppendPadded(text, date.month, 2);
    text += '-';
    AppendPadded(text, date.day, 2);
    return text;
}

std::optional<CivilDate> ParseIsoDate(std::string_view text) {
    constexpr std::size_t kLength = 10, kFirstHyphen = 4, kSecondHyphen = 7;
    if (text.size() != kLength) return std::nullopt;
    int fields[3] = {0, 0, 0};
    int field = 0;
    for (std::size_t i = 0; i < kLength; ++i) {
        if (i == kFirstHyphen || i == kSecondHyphen) {
            if (text[i] != '-') return std::nullopt;
            ++field;
        } else if (IsDigit(text[i])) {
            fields[field] = fields[field] * 10 + (text[i] - '0');
        } else {
            return std::nullopt;
        }
    }
    const CivilDate date{fields[0], fields[1], fields[2]};
    if (!IsRealDate(date)) return std::nullopt;
    return date;
}

std::optional<std::int64_t> DayNumber(std::string_view isoDate) {
    const auto date = ParseIsoDate(isoDate);
    if (!date) return std::nullopt;
    return DaysFromCivil(date->year, date->month, date->day);
}

std::string IsoDate(std::int64_t day) { return IsoDateText(CivilFromDays(day)); }

std::string MeterDateText(const CivilDate& date) { return DateTextIn(date, kMeterDateUnits); }

std::optional<CivilDate> ParseMeterDateText(std::string_view text, const DateUnits& units) {
    std::size_t i = 0;
    // Digits up to the unit that ends them: nothing where there are none, too many, or no unit.
    auto number = [&](std::string_view unit) -> std::optional<int> {
        int value = 0;
        const std::size_t start = i;
        while (i < text.size() && IsDigit(text[i]) && i - start < kMaxFieldDigits) {
            value = value * 10 + (text[i++] - '0');
        }
        if (i == start || text.substr(i, unit.size()) != unit) return std::nullopt;
        i += unit.size();
        return value;
    };
    const auto year = number(units.year);
    if (!year) return std::nullopt;
    const auto month = number(units.month);
    if (!month) return std::nullopt;
    const auto day = number(units.day);
    if (!day || i != text.size()) return std::nullopt;
    const CivilDate date{*year, *month, *day};
    // Only the digits MeterDateText writes: no leading zero more, none less.
    if (DateTextIn(date, units) != text) return std::nullopt;
    return date;
}

}  // namespace odomei

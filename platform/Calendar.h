// The proleptic Gregorian calendar: leap years, month lengths, and dates as day numbers (days
// since 1970-01-01) and back. Plain arithmetic without time zone or daylight saving time, for
// every layer: the clock, the decoder, the logbook, the charts and the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace odomei {

bool IsLeapYear(std::int64_t year);

// Days of month 1 to 12 of a year.
int DaysInMonth(std::int64_t year, int month);

// The day number of a date (month 1 to 12, day 1 to 31), and the date of a day number.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};
CivilDate CivilFromDays(std::int64_t days);

// A day that exists, written exactly as YYYY-MM-DD (ten characters, digits and two hyphens: no
// blanks, no signs); nothing otherwise.
std::optional<CivilDate> ParseIsoDate(std::string_view text);

}  // namespace odomei

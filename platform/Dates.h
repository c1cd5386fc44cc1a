// Dates, once for every layer (the clock, the decoder, the logbook, the charts and the command
// line): the proleptic Gregorian calendar, dates as day numbers (days since 1970-01-01) and back,
// ISO dates ("YYYY-MM-DD") and the meter's date text ("2015年01月09日") both ways. Plain
// arithmetic without time zone or daylight saving time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace odomei {

bool IsLeapYear(std::int64_t year);

// Days of month 1 to 12 of a year.
int DaysInMonth(std::int64_t year, int month);

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};

// True for a month of 1 to 12 and a day that month has.
bool IsRealDate(const CivilDate& date);

// The day number of a date (month 1 to 12, day 1 to 31), and the date of a day number.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);
CivilDate CivilFromDays(std::int64_t days);

// A date as "YYYY-MM-DD" (the year of at least four digits), as it is given for any date.
std::string IsoDateText(const CivilDate& date);

// A day that exists, written exactly as YYYY-MM-DD (ten characters, digits and two hyphens: no
// blanks, no signs); nothing otherwise.
std::optional<CivilDate> ParseIsoDate(std::string_view text);

// The day number of such an ISO date, and the ISO date of a day number.
std::optional<std::int64_t> DayNumber(std::string_view isoDate);
std::string IsoDate(std::int64_t day);

// The three units of the meter's date text, in the encoding of the text they are read from.
struct DateUnits {
    std::string_view year, month, day;
};
// As the program holds texts in memory: UTF-8.
inline constexpr DateUnits kMeterDateUnits{"年", "月", "日"};

// The meter's date text: "2015年01月09日", the year of at least four digits, the month and day of
// at least two; the fields as they are (nothing is checked of them).
std::string MeterDateText(const CivilDate& date);

// The fields of a date text written exactly as MeterDateText writes it (digit for digit:
// "2015年1月09日" is none), with the units given; nothing for any other text. The fields are
// not checked: "2015年15月100日" gives month 15, day 100.
std::optional<CivilDate> ParseMeterDateText(std::string_view text,
                                            const DateUnits& units = kMeterDateUnits);

}  // namespace odomei

// The clock every part of the program asks, and the hook through which tests replace it; the
// system's own clock is SystemLocalTime, one for each system.
#include "platform/Clock.h"

#include <ctime>

namespace odomei {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// A clock set by a test, and where it stood against the system clock when it was set: files
// written meanwhile carry the system's times, and are seen on the test's clock through that pair.
struct TestClock {
    std::function<LocalTime()> now;
    std::int64_t civilMsAtSet = 0;
    std::int64_t systemMsAtSet = 0;
};

TestClock& Override() {
    static TestClock clock;
    return clock;
}

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar, and back (H. Hinnant's
// algorithms); plain calendar arithmetic, without time zone or daylight saving time.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

LocalTime CivilFromMs(std::int64_t ms) {
    std::int64_t days = ms / kMsPerDay;
    std::int64_t inDay = ms % kMsPerDay;
    if (inDay < 0) {
        inDay += kMsPerDay;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
    const auto part = [inDay](std::int64_t unit, std::int64_t range) {
        return static_cast<int>(inDay / unit % range);
    };
    return LocalTime{static_cast<int>(y), static_cast<int>(m), static_cast<int>(d),
                     part(3'600'000, 24), part(60'000, 60),    part(1000, 60),
                     part(1, 1000)};
}

std::int64_t CivilMs(const LocalTime& t) {
    return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) *
               kMsPerDay +
           ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

}  // namespace

LocalTime GetLocalTime() { return Override().now ? Override().now() : SystemLocalTime(); }

void SetClock(std::function<LocalTime()> clock) {
    TestClock& c = Override();
    c.now = std::move(clock);
    if (c.now) {
        c.civilMsAtSet = CivilMs(c.now());
        c.systemMsAtSet = SystemMillis();
    }
}

LocalTime FileLocalTime(std::int64_t seconds, long nanoseconds) {
    const TestClock& c = Override();
    if (!c.now) return LocalTimeOf(seconds, nanoseconds);
    const std::int64_t ms = seconds * 1000 + nanoseconds / 1'000'000;
    return CivilFromMs(c.civilMsAtSet + (ms - c.systemMsAtSet));
}

std::int64_t FileMillisFor(const LocalTime& t) {
    const TestClock& c = Override();
    if (c.now) return c.systemMsAtSet + (CivilMs(t) - c.civilMsAtSet);
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm)) * 1000 + t.millisecond;
}

}  // namespace odomei

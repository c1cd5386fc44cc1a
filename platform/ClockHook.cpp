// The clock every part of the program asks, and the hook through which tests replace it; the
// system's own clock is SystemLocalTime, one for each system.
#include "platform/Clock.h"

#include <ctime>

#include "platform/Dates.h"

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

// A date and time as milliseconds since 1970-01-01 00:00, and back, by the calendar alone.
LocalTime CivilFromMs(std::int64_t ms) {
    std::int64_t days = ms / kMsPerDay;
    std::int64_t inDay = ms % kMsPerDay;
    if (inDay < 0) {
        inDay += kMsPerDay;
        --days;
    }
    const CivilDate date = CivilFromDays(days);
    const auto part = [inDay](std::int64_t unit, std::int64_t range) {
        return static_cast<int>(inDay / unit % range);
    };
    return LocalTime{static_cast<int>(date.year),
                     date.month,
                     date.day,
                     part(3'600'000, 24),
                     part(60'000, 60),
                     part(1000, 60),
                     part(1, 1000)};
}

std::int64_t CivilMs(const LocalTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * kMsPerDay +
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

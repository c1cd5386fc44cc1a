// Local time with milliseconds (settable by tests), files' last-write times in local time, and
// the monotonic clock and sleeps that every wait of the program is measured with.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace odomei {

struct LocalTime {
    int year = 0;   // e.g. 2026
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;   // 0 to 23
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The current local time, or the test clock's time when one is set.
LocalTime GetLocalTime();

// Replaces the clock (tests); an empty function restores the system clock. Files' times follow
// the clock set: see FileLocalTime.
void SetClock(std::function<LocalTime()> clock);

// A file's last-write time (the system clock's seconds and nanoseconds since 1970) in local time,
// on the same clock as GetLocalTime. Under a test clock a file is as old as it really is, counted
// from the test clock's time when it was set: one written during the test is seen on the test's
// date, whatever the real date, time zone or hour (a test ends long before its fixed time of day
// could reach midnight).
LocalTime FileLocalTime(std::int64_t seconds, long nanoseconds);

// The last-write time (milliseconds since 1970) that FileLocalTime sees as `t`: how a test gives
// a file a date on its own clock.
std::int64_t FileMillisFor(const LocalTime& t);

// The system's own local time, whatever clock the tests set (each system's Clock.cpp).
LocalTime SystemLocalTime();

// The system clock in milliseconds since 1970 (UTC).
std::int64_t SystemMillis();

// A time of the system clock (seconds and nanoseconds since 1970) in local time.
LocalTime LocalTimeOf(std::int64_t seconds, long nanoseconds);

// Milliseconds and microseconds of a clock that never jumps (for deadlines).
std::int64_t MonotonicMs();
std::int64_t MonotonicMicros();

// Sleeps the whole time, whatever signals arrive meanwhile.
void SleepMs(int ms);
void SleepMicros(long us);

}  // namespace odomei

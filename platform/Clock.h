// Local time with milliseconds, settable by tests, and files' last-write times in local time.
#pragma once

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

// Replaces the clock (tests); an empty function restores the system clock.
void SetClock(std::function<LocalTime()> clock);

// The last-write time of a file in local time (milliseconds included); nothing, with errno set,
// if it cannot be had.
std::optional<LocalTime> GetFileLastWriteTime(const std::string& path);

}  // namespace odomei

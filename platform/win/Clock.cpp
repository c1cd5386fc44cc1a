#include "platform/Clock.h"

#include <windows.h>
// timeBeginPeriod
#include <timeapi.h>

#include "platform/win/FileTime.h"

namespace odomei {
namespace {

LocalTime FromSystemTime(const SYSTEMTIME& t) {
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::int64_t Counter(std::int64_t perSecond) {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        // Sleeps and time-outs to the millisecond, as the pauses of an exchange need.
        timeBeginPeriod(1);
        return static_cast<std::int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const std::int64_t ticks = now.QuadPart;
    return ticks / frequency * perSecond + ticks % frequency * perSecond / frequency;
}

}  // namespace

LocalTime SystemLocalTime() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return FromSystemTime(t);
}

std::int64_t SystemMillis() {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    return winapi::TicksSince1970(ft) / (winapi::kFileTicksPerSecond / 1000);
}

// In Windows' own time zone (as Explorer shows a file's time), not the C library's TZ.
LocalTime LocalTimeOf(std::int64_t seconds, long nanoseconds) {
    const auto ticks = static_cast<std::uint64_t>(seconds * winapi::kFileTicksPerSecond +
                                                  nanoseconds / 100 + winapi::kFileTimeAt1970);
    const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME system{};
    SYSTEMTIME local{};
    FileTimeToSystemTime(&utc, &system);
    SystemTimeToTzSpecificLocalTime(nullptr, &system, &local);
    return FromSystemTime(local);
}

std::int64_t MonotonicMs() { return Counter(1000); }

std::int64_t MonotonicMicros() { return Counter(1000000); }

void SleepMs(int ms) {
    Counter(1);  // the timer's resolution is set before the first sleep
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

void SleepMicros(long us) {
    const std::int64_t end = MonotonicMicros() + us;
    if (us >= 1000) SleepMs(static_cast<int>(us / 1000));
    while (MonotonicMicros() < end) Sleep(0);
}

}  // namespace odomei

// Windows' FILETIME (100-nanosecond units since 1601-01-01, UTC) against the 1970-based count of
// the system clock that the rest of the program uses.
#pragma once

#include <windows.h>

#include <cstdint>

namespace odomei::winapi {

inline constexpr std::int64_t kFileTimeAt1970 = 116444736000000000LL;
inline constexpr std::int64_t kFileTicksPerSecond = 10000000;

// 100-nanosecond units since 1970-01-01.
inline std::int64_t TicksSince1970(const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                     t.dwLowDateTime) -
           kFileTimeAt1970;
}

}  // namespace odomei::winapi

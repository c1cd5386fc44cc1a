// The communication log a test expects, built from labels and byte ranges at a fixed time.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "log/CommLog.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace odomei::test {

using Bytes = std::vector<std::uint8_t>;

// Every entry is stamped 10:00:00.000 while one of these lives, on a date that is never the
// machine's: a log written meanwhile is appended to only because its file's time follows the
// clock.
class FixedClock {
public:
    FixedClock() {
        SetClock([] { return LocalTime{2001, 2, 3, 10, 0, 0, 0}; });
    }
    ~FixedClock() { SetClock({}); }
    static std::string Stamp() { return Sjis("10時00分00秒000："); }
};

inline std::string ExpectLog(std::initializer_list<std::pair<const char*, Bytes>> entries) {
    std::string log;
    for (const auto& [label, bytes] : entries) {
        log += FixedClock::Stamp() + Sjis(label) + "\r\n";
        log += CommLogDump(bytes.data(), static_cast<int>(bytes.size()));
    }
    return log;
}

}  // namespace odomei::test

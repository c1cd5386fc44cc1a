#include "log/CommLog.h"

#include <cstdio>

#include "data/TextsJa.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace odomei {
namespace {

constexpr const char* kLineEnd = "\r\n";

std::string TimeStamp(const LocalTime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d時%02d分%02d秒%03d：", t.hour, t.minute, t.second,
                  t.millisecond);
    return Sjis(buf);
}

bool SameDate(const LocalTime& a, const LocalTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

}  // namespace

void CommLog::Report(const char* text, Failure failure) const {
    failure.reason.ja = text;
    if (m_reporter) m_reporter(failure);
}

void CommLog::WriteCommLog(const void* data, int count, char mode) const {
    if (m_path.empty()) return;
    const LocalTime now = GetLocalTime();
    if (m_held) {
        const bool text = mode == 't' || mode == 'T';
        const char* bytes = static_cast<const char*>(data);
        m_held->push_back(
            {now, mode,
             text ? std::string(bytes) : std::string(bytes, static_cast<std::size_t>(count))});
        return;
    }
    Write(now, now, data, count, mode);
}

CommLog CommLog::Holding() const {
    CommLog held(m_path);
    if (!m_path.empty()) held.m_held = std::make_shared<std::vector<HeldEntry>>();
    return held;
}

void CommLog::WriteHeld(const CommLog& held) const {
    if (!held.m_held || m_path.empty()) return;
    const LocalTime now = GetLocalTime();
    for (const HeldEntry& e : *held.m_held) {
        Write(e.when, now, e.data.c_str(), static_cast<int>(e.data.size()), e.mode);
    }
    held.m_held->clear();
}

void CommLog::Write(const LocalTime& when, const LocalTime& now, const void* data, int count,
                    char mode) const {
    std::string entry;
    if (mode == 't' || mode == 'T') {
        const std::string text(static_cast<const char*>(data));
        entry = TimeStamp(when) + Utf8ToCp932(text).value_or(text) + kLineEnd;
    } else {
        entry = CommLogDump(static_cast<const std::uint8_t*>(data), count);
    }

    Failure why;
    // A file last written on another date than today's is started afresh (whenever a held entry
    // was made); otherwise the entry is appended.
    const auto otherDate = [&now](const LocalTime& written) { return !SameDate(written, now); };
    switch (AppendLocked(m_path, entry, otherDate, &why)) {
        case AppendResult::kDone: break;
        case AppendResult::kOpenFailed: Report(kCommLogOpenErrorText, why); break;
        case AppendResult::kTimeFailed: Report(kCommLogTimeErrorText, why); break;
        case AppendResult::kWriteFailed: Report(kCommLogWriteErrorText, why); break;
    }
}

}  // namespace odomei

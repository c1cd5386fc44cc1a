// The communication log: time-stamped labels and hexadecimal dumps of what passes on the line.
// The log writes; whoever owns it decides how a failure reaches the user.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Failure.h"

namespace odomei {

// A failed entry: the log file as the subject, the program's message (UTF-8) as the Japanese
// reason and the system's words behind it as the English one.
using CommLogReporter = std::function<void(const Failure&)>;

class CommLog {
public:
    // A log that writes nothing until it is given a path.
    CommLog() = default;
    explicit CommLog(std::string path, CommLogReporter reporter = {})
        : m_path(std::move(path)), m_reporter(std::move(reporter)) {}

    // The file every entry goes to; empty turns the log off.
    void SetPath(std::string path) { m_path = std::move(path); }
    const std::string& Path() const { return m_path; }
    // Receives every failure; the caller carries on either way.
    void SetReporter(CommLogReporter reporter) { m_reporter = std::move(reporter); }

    // mode 't' or 'T': data is a zero-terminated UTF-8 text, written as one time-stamped CP932
    // line (count is not read). Any other mode: a dump of count bytes from data. Each call opens,
    // locks, writes and closes the file; the first entry of a new day empties it first.
    void WriteCommLog(const void* data, int count, char mode) const;

    // A log for work that runs beside other work on this log's file (a search asks every port at
    // once): it holds its entries in memory, each with the time it was made, until WriteHeld
    // writes them here in one piece. It holds nothing when this log writes nothing. A holding log
    // is used by one thread at a time.
    CommLog Holding() const;
    // Writes what held holds, each entry with its own time stamp, and empties it.
    void WriteHeld(const CommLog& held) const;

private:
    struct HeldEntry {
        LocalTime when;
        char mode = 't';
        std::string data;  // the text, or the bytes to dump
    };

    // An entry stamped when, written now (the date that decides whether the file starts afresh).
    void Write(const LocalTime& when, const LocalTime& now, const void* data, int count,
               char mode) const;
    void Report(const char* text, Failure failure) const;

    std::string m_path;
    CommLogReporter m_reporter;
    std::shared_ptr<std::vector<HeldEntry>> m_held;  // set: entries are held, not written
};

// The dump lines of a byte range, exactly as they go into the file.
std::string CommLogDump(const std::uint8_t* data, int count);

}  // namespace odomei

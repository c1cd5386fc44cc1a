// Telling a logbook file from any other, and making one or bringing it to today's layout. What a
// file holds is told before SQLite is let near it, and again once SQLite has opened it; a file
// that is not an ODOMEI logbook is refused and never changed. Private to data/Logbook.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Failure.h"

struct sqlite3;

namespace odomei {

// The layout's version, in SQLite's user_version. Version 1 holds reads and records; version 2
// adds the gaps found between reads; version 3 the vehicles, each read and record one vehicle's,
// and the meter moves the user declared between them; version 4 the prices of refuels, the
// odometer readings the user gave and each vehicle's currency. A logbook of an earlier version is
// still looked at as it is, and brought to today's layout when it is next written.
constexpr int kFirstSchemaVersion = 1;
constexpr int kGapsVersion = 2;
constexpr int kVehiclesVersion = 3;
constexpr int kPricesVersion = 4;
constexpr int kSchemaVersion = kPricesVersion;

// What becomes of a file the logbook is asked to open.
enum class FileVerdict {
    kUse,      // open it (before SQLite has opened it) or use it (after)
    kNothing,  // a look finds no logbook there yet: a missing or empty file, an empty database
    kRefused,  // not to be used, for the reason given
};

// What the file at path is, told before SQLite opens it (SQLite would take a device, and root
// may write a file whose permissions say read-only). kRefused with why set.
FileVerdict LookBeforeOpening(const std::string& path, bool write, Failure* why);

// What a failed step of SQLite on the file says, worded at once: a rollback after it would
// change SQLite's words.
using SqliteFailure = std::function<Failure(const char* doing)>;

struct FileState {
    FileVerdict verdict = FileVerdict::kRefused;
    std::int64_t version = 0;  // for kUse: the layout's version (user_version)
};

// The file SQLite opened as db, told again by SQLite's own reading; to write, a logbook is made
// where there is none, marked where it was made before the id was set and brought to today's
// layout, in one transaction. kRefused with why set.
FileState ReadyFile(sqlite3* db, const std::string& path, bool write, const SqliteFailure& failure,
                    Failure* why);

}  // namespace odomei

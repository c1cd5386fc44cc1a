// The logbook: every record the meter ever gave, kept in an SQLite file across reads (the meter
// itself forgets its oldest record at each refuel), with each read's block and time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/CsvImport.h"
#include "data/Decoder.h"
#include "data/RecordTable.h"
#include "data/TextsJa.h"
#include "platform/Clock.h"
#include "platform/Failure.h"

struct sqlite3;

namespace odomei {

// One stored record: its six texts as the list shows them, and the figures they stand for.
struct LogbookRecord {
    std::int64_t id = 0;  // the order in which records were first stored
    RecordRow texts;
    std::optional<std::string> isoDate;  // "YYYY-MM-DD" where the record has a real date
    std::int64_t distance = 0;           // hundredths of a km
    std::int64_t fuel = 0;               // hundredths of a litre, as the meter measured (corrected)
    std::int64_t correction = 0;         // hundredths of a percent
    std::int64_t refuel = 0;             // hundredths of a litre, as refilled
    bool imported = false;               // from a CSV file: its bytes are not known
    std::string firstRead;  // local time of the read that brought it, "YYYY-MM-DD HH:MM:SS"
    // Refuels may have been lost just before this record: the time of the read that found it.
    // Only while nothing stored since lies between the gap's two records (see Records).
    std::optional<std::string> gapBefore;
};

// Refuels that may have been lost between two reads: the meter keeps only its last fifteen, and
// a read gave all fifteen, none of them known, each newer than the logbook's newest record.
struct LogbookGap {
    std::int64_t beforeId = 0;  // the logbook's newest record before that read
    std::int64_t afterId = 0;   // the read's oldest record
    std::string beforeDate;     // their dates as the list shows them
    std::string afterDate;
    std::string foundAt;      // the read's time, "YYYY-MM-DD HH:MM:SS"
    std::int64_t readId = 0;  // that read
};

struct MergeCounts {
    int added = 0;     // records not stored before
    int known = 0;     // records already stored
    int upgraded = 0;  // imported records now also read from the meter (their bytes added)
    std::optional<LogbookGap> gap;  // this read found refuels that may have been lost
};

// One CSV file to import: its name, and the rows ParseSavedCsv found in it.
struct ImportFile {
    std::string origin;
    std::vector<RecordRow> rows;
};

// The logbook's file name beside KORVANA.ini, and how long a merge waits for another program
// merging at the same time.
inline constexpr const char* kLogbookFileName = "odomei-logbook.sqlite3";
constexpr int kLogbookBusyMs = 5000;

// SQLite's application id of a logbook ("ODMI"): it tells our files from other programs'.
constexpr std::int32_t kLogbookApplicationId = 0x4F444D49;

// Looking never creates or changes a file; writing creates a logbook where there is none (a
// missing or empty file), marks a logbook made before the id was set and brings one of an
// earlier version to today's layout.
enum class LogbookAccess { kLook, kWrite };

class Logbook {
public:
    ~Logbook();
    Logbook(const Logbook&) = delete;
    Logbook& operator=(const Logbook&) = delete;

    // Opens the logbook at path. A file that is not an ODOMEI logbook is refused and never
    // changed. Nothing, with error set (the path its subject), when it cannot be used; an empty
    // path (no working directory to keep it in) is refused. Looking at a missing or empty file
    // gives a logbook without records (Exists() false). busyMs: how long a write waits for another
    // program's transaction; an interrupt (Ctrl+C, SIGTERM) ends the wait.
    static std::unique_ptr<Logbook> Open(const std::string& path, Failure* error,
                                         LogbookAccess access = LogbookAccess::kLook,
                                         int busyMs = kLogbookBusyMs);

    // False where a look found no logbook yet (nothing was ever read into it).
    bool Exists() const { return m_db != nullptr; }
    const std::string& Path() const { return m_path; }

    // Stores a verified read: the block and its time, and each record not stored before (the
    // same 14 bytes are the same refuel). One transaction: all of it or nothing.
    std::optional<MergeCounts> Merge(const MeterReading& reading, const LocalTime& at,
                                     Failure* error);

    // Stores the rows of CSV files the window saved: matched to stored records by their six
    // texts, marked as imported. All files in one transaction: every one of them or none. The
    // counts of each file, in order.
    std::optional<std::vector<MergeCounts>> Import(const std::vector<ImportFile>& files,
                                                   const LocalTime& at, Failure* error);
    // The same for one file.
    std::optional<MergeCounts> Import(const std::vector<RecordRow>& rows, const std::string& origin,
                                      const LocalTime& at, Failure* error);

    // The stored records, oldest first: by date, and a record without a date where it was first
    // read among the others. from/to ("YYYY-MM-DD", inclusive) keep only dated records in range.
    // When the file cannot be read: none at all, and error set (never a part of them).
    // A gap marks the first record of the read that found it, just after the record it was found
    // after; records stored later that come between those two (an import of the missing
    // refuels) close it: no record carries it then.
    std::vector<LogbookRecord> Records(const std::string& from = {}, const std::string& to = {},
                                       Failure* error = nullptr) const;

    // How many reads and records are stored.
    std::int64_t CountReads() const;
    std::int64_t CountRecords() const;
    // The gaps found, in the order found, closed ones too; none in a logbook of a version that
    // kept none.
    std::vector<LogbookGap> Gaps(Failure* error = nullptr) const;

private:
    // How a wait for another program's lock goes: until busyMs have passed or an interrupt came.
    struct BusyWait {
        int ms = 0;
        std::int64_t since = 0;
        bool interrupted = false;
    };
    static int WaitWhileBusy(void* wait, int count);

    Logbook(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}
    // The gap a stored read leaves, if any: readId's records are the ones it added.
    bool FindGap(std::int64_t readId, const std::vector<std::int64_t>& addedIds,
                 const std::vector<MeasurementRecord>& measured, const LocalTime& at,
                 std::optional<LogbookGap>* gap);
    // A read of the meter, or the rows of one CSV file, stored inside the open transaction; a
    // failure rolls the transaction back.
    std::optional<MergeCounts> StoreRead(const MeterReading& reading, const LocalTime& at,
                                         Failure* error);
    std::optional<MergeCounts> StoreImport(const ImportFile& file, const LocalTime& at,
                                           Failure* error);
    // What both store first: the row of the reads table.
    struct ReadRow {
        const char* source;                   // "meter" or "import"
        const char* storing;                  // what a failure to store it says was being done
        std::string origin;                   // the CSV file's name; empty (NULL) for the meter
        std::optional<std::string> firmware;  // the meter's version text
        std::vector<std::uint8_t> block;      // the block read; empty (NULL) for an import
    };
    std::optional<std::int64_t> AddRead(const ReadRow& read, const LocalTime& at, Failure* error);
    // Says what failed and rolls the open transaction back.
    std::nullopt_t Undo(const char* doing, Failure* error);
    // What failed while doing something to the file, in SQLite's words.
    Failure Failed(const char* doing) const;
    bool Begin(Failure* error);
    bool Commit(Failure* error);

    sqlite3* m_db;
    std::string m_path;
    BusyWait m_busy;
    std::int64_t m_version = 0;  // the layout's version (user_version)
};

// Opens the logbook at path and stores a verified read in it: what every front end does after
// a read. Nothing, with error set, when either fails.
std::optional<MergeCounts> MergeRead(const std::string& path, const MeterReading& reading,
                                     const LocalTime& at, Failure* error);

}  // namespace odomei

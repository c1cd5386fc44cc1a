// The logbook: every record the meter ever gave, kept in an SQLite file across reads (the meter
// itself forgets its oldest record at each refuel), with each read's block and time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data/CsvImport.h"
#include "data/Decoder.h"
#include "data/Prices.h"
#include "data/RecordSheet.h"
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
    std::optional<Price> price;  // as the user entered it (SetPrice, SetPrices)
    // The odometer at this refuel, in hundredths of a km, where known: given here (odometerGiven),
    // or following from the reading given at another refuel of its stretch by the distances in
    // between (a stretch: the records between two open gaps; a refuel after a gap has none until
    // one is given in its own stretch). Never below 0: a reading that would be is none.
    std::optional<std::int64_t> odometer;
    bool odometerGiven = false;
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

// When each read was made ("YYYY-MM-DD HH:MM:SS"), by the read's id, as a record's firstRead.
struct ReadTimes {
    std::vector<std::pair<std::int64_t, std::string>> byId;  // in id order
    // The time of read id; empty where the logbook holds no such read.
    const std::string& Of(std::int64_t id) const;
};

// One car of the logbook: its records and reads are its own. A refuel is the same refuel when
// its fourteen bytes are the same within one vehicle.
struct Vehicle {
    std::int64_t id = 0;  // the order in which vehicles were made
    std::string name;     // unique in the logbook; any text with a CP932 form (VehicleNameProblem)
    std::string note;     // plate, model: anything, or empty
    std::int64_t records = 0;
    std::optional<std::string> firstDate;  // "YYYY-MM-DD" of its oldest and newest dated records
    std::optional<std::string> lastDate;
    std::optional<std::string> lastRead;      // "YYYY-MM-DD HH:MM:SS" of its newest read of a meter
    std::string currency = kDefaultCurrency;  // its prices' currency, an ISO 4217 code
};

// What setting prices from a card statement did (Logbook::SetPrices).
struct StatementResult {
    int set = 0;  // refuels given a price
    // Lines whose date has no refuel of the vehicle, and dates with more refuels than lines (or
    // more lines than refuels): none of those refuels is given a price from them.
    std::vector<StatementLine> unmatched;
    std::vector<StatementLine> ambiguous;
};

// Why a text cannot be a currency code: not three letters A to Z. Nothing when it can be.
std::optional<Reason> CurrencyProblem(const std::string& code);

// Where a read of the meter is to be kept. The meter sends no serial number: its records are its
// fingerprint, and a read whose records overlap one vehicle's is that vehicle's.
// A move the user declared (meterMoved, leaving records in the vehicle the meter came from) is
// kept, and the meter's later reads follow it: the records a vehicle holds lead, through the first
// move out of it after they were stored (and on through the moves after that one), to the vehicle
// the meter now sits in. A read overlapping several vehicles is that vehicle's when the records of
// every one of them lead there and the records it holds itself are the newest of the read (block
// order); one overlapping another vehicle only is the moved meter's before its new vehicle stored
// anything of its own, and is the new vehicle's when it brings new records (with none, it stays
// where its records are). Such a read is kept as if meterMoved: the records others hold stay
// theirs (MergeCounts::elsewhere). Named for another vehicle than that one: kOtherVehicle.
struct ReadTarget {
    std::string vehicle;      // the vehicle selected (or named); empty: the logbook's first
    bool named = false;       // named for this read (--vehicle, a choice in the window's question):
                              // the read goes to that vehicle or nowhere
    bool meterMoved = false;  // the meter now sits in `vehicle`: records another vehicle holds stay
                              // that vehicle's (never copied), the read and its new records go to
                              // `vehicle`; implies named
};

// Why a read is kept nowhere (nothing of it is stored).
enum class ReadConflict {
    kNone,
    kUnknownVehicle,   // the target names no vehicle of the logbook
    kNotThisVehicle,   // it overlaps no vehicle, and its records cannot be the target's: dated
                       // inside the span the target covers, or older than its oldest while it
                       // has records read from a meter
    kOtherVehicle,     // named, without meterMoved, and it overlaps another vehicle's records
                       // (or is the read of a meter moved into another vehicle: ReadTarget)
    kSeveralVehicles,  // it overlaps the records of two or more vehicles (an earlier mistake),
                       // and no declared move makes it one of theirs (ReadTarget)
};

// Where a read would go, told before anything is stored (Logbook::Place) and again by Merge
// inside its transaction.
struct ReadPlace {
    ReadConflict conflict = ReadConflict::kNone;
    std::string vehicle;                   // kNone: the vehicle it is (or would be) kept with
    std::vector<std::string> overlapping;  // the vehicles whose records it overlaps, by name
    int unknown = 0;                       // its records that no vehicle holds
    Reason why;  // for a conflict: what is wrong, naming the vehicles and dates
};

struct MergeCounts {
    int added = 0;     // records not stored before
    int known = 0;     // records already stored
    int upgraded = 0;  // imported records now also read from the meter (their bytes added)
    std::optional<LogbookGap> gap;  // this read found refuels that may have been lost
    // Where the read went; with a conflict, nothing was stored and the counts are all 0.
    ReadPlace place;
    // Records the read holds that stay another vehicle's (meterMoved): counted neither as added
    // nor as known.
    int elsewhere = 0;
};

// What merging a whole logbook into another did.
struct LogbookMergeCounts {
    std::string vehicle;  // the vehicle it became (made, or already there from an earlier merge)
    bool madeVehicle = false;
    int reads = 0;     // reads added (a read already there is not added again)
    int records = 0;   // records added
    int known = 0;     // records already there
    int gaps = 0;      // gaps added
    int prices = 0;    // prices added (a record of ours keeps the price it has)
    int readings = 0;  // odometer readings given there, added (the same)
};

// Why a name cannot be a vehicle's: empty, only spaces, a line break or other control character,
// spaces at either end, or a text without a CP932 form (KORVANA.ini keeps the selected one). The
// reason in both languages; nothing when it can be.
std::optional<Reason> VehicleNameProblem(const std::string& name);

// The name of a logbook's first vehicle: the one a new logbook is given, and the one all records of
// an older layout become.
inline constexpr const char* kFirstVehicleName = kFirstVehicleNameJa;

// Which records to give: one vehicle's (empty: the first vehicle's), dated from..to
// ("YYYY-MM-DD", inclusive; empty: no bound).
// (Each with its initializer, so that {vehicle} alone passes -Wmissing-field-initializers.)
struct RecordQuery {
    std::string vehicle{};
    std::string from{};
    std::string to{};
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
    // The read goes to the vehicle its records overlap, else to target's (ReadTarget,
    // ReadConflict). A conflict is no failure: counts with place.conflict set, and nothing stored.
    std::optional<MergeCounts> Merge(const MeterReading& reading, const LocalTime& at,
                                     const ReadTarget& target, Failure* error);
    // Where Merge would keep the read, told without storing anything (for a window to ask first).
    std::optional<ReadPlace> Place(const MeterReading& reading, const ReadTarget& target,
                                   Failure* error) const;

    // The vehicles, oldest first. A logbook of an older layout has one, kFirstVehicleName, with
    // all its records; a look at no logbook yet has none.
    std::vector<Vehicle> Vehicles(Failure* error = nullptr) const;
    // Each true (or the count) when done; false with error set when the name is taken, unknown
    // or cannot be a vehicle's (VehicleNameProblem), or the file cannot be written.
    bool AddVehicle(const std::string& name, const std::string& note, Failure* error);
    bool RenameVehicle(const std::string& from, const std::string& to, Failure* error);
    bool SetVehicleNote(const std::string& name, const std::string& note, Failure* error);
    // Removes a vehicle with all its records, reads, gaps and the meter moves into or out of it:
    // how many records went. The last vehicle of a logbook is never removed (it can be renamed).
    std::optional<std::int64_t> RemoveVehicle(const std::string& name, Failure* error);
    // A whole other logbook (of any layout ODOMEI made: a "folder per car") becomes one vehicle,
    // named as (empty: the name of the folder the file is in). Its reads with their blocks, its
    // records and gaps are kept; into a vehicle of that name that exists already, what it holds
    // is not added again, so a second run adds nothing. A logbook of several vehicles is refused
    // (so it brings no meter moves).
    std::optional<LogbookMergeCounts> MergeLogbook(const std::string& path, const std::string& as,
                                                   Failure* error);

    // Stores the rows of CSV files the window saved: matched to stored records by their six
    // texts, marked as imported. All files in one transaction: every one of them or none. The
    // counts of each file, in order.
    // Into one vehicle (empty: the first); an unknown vehicle fails.
    std::optional<std::vector<MergeCounts>> Import(const std::vector<ImportFile>& files,
                                                   const std::string& vehicle, const LocalTime& at,
                                                   Failure* error);
    // The same for one file.
    std::optional<MergeCounts> Import(const std::vector<RecordRow>& rows, const std::string& origin,
                                      const std::string& vehicle, const LocalTime& at,
                                      Failure* error);

    // The stored records, oldest first: by date, and a record without a date where it was first
    // read among the others. from/to ("YYYY-MM-DD", inclusive) keep only dated records in range.
    // When the file cannot be read: none at all, and error set (never a part of them).
    // A gap marks the first record of the read that found it, just after the record it was found
    // after; records stored later that come between those two (an import of the missing
    // refuels) close it: no record carries it then.
    // One vehicle's records only (RecordQuery); an unknown vehicle gives none, with error set.
    std::vector<LogbookRecord> Records(const RecordQuery& query = {},
                                       Failure* error = nullptr) const;
    // The same records as a sheet of figures (no read times): what the history window, its
    // summary and its charts are made of at any size. Without the figures' texts (kDates: the
    // dates' alone), in half the time; TextsOf gives them for the records shown.
    enum class SheetTexts { kAll, kDates };
    RecordSheet Figures(const RecordQuery& query = {}, Failure* error = nullptr,
                        SheetTexts texts = SheetTexts::kAll) const;
    // The six texts of vehicle's records with these ids (from Figures), in their order; an empty
    // row for an id the vehicle has no record of. None, with error set, when the file cannot be
    // read.
    std::vector<RecordRow> TextsOf(const std::string& vehicle, const std::vector<std::int64_t>& ids,
                                   Failure* error = nullptr) const;
    // The times of every read, for the sheet's records (RecordFigures::readId). None, with error
    // set, when the file cannot be read.
    ReadTimes TimesOfReads(Failure* error = nullptr) const;

    // A refuel's price: record (its id, from Records) of vehicle (empty: the first); nothing clears
    // it. A later read of the same refuel keeps it. False, with error set, where the vehicle holds
    // no such record or the file cannot be written.
    bool SetPrice(const std::string& vehicle, std::int64_t record,
                  const std::optional<Price>& price, Failure* error);
    // Prices from a card statement (ParsePriceStatement), each line's amount of the given kind,
    // matched to the vehicle's refuel of its date: a date with as many lines as refuels gives them
    // in order (oldest first); otherwise its lines are ambiguous. One transaction.
    std::optional<StatementResult> SetPrices(const std::string& vehicle,
                                             const std::vector<StatementLine>& lines,
                                             PriceKind kind, Failure* error);
    // The odometer read reading (hundredths of a km) at record of vehicle: the other refuels of its
    // stretch follow from it (LogbookRecord::odometer). A reading given at another refuel of the
    // same stretch is replaced. Nothing clears it.
    bool SetOdometer(const std::string& vehicle, std::int64_t record,
                     std::optional<std::int64_t> reading, Failure* error);
    // The vehicle's currency (CurrencyProblem).
    bool SetCurrency(const std::string& vehicle, const std::string& code, Failure* error);

    // How many reads and records are stored.
    std::int64_t CountReads() const;
    std::int64_t CountRecords() const;
    // One vehicle's gaps (empty: the first vehicle's), in the order found, closed ones too; none in
    // a logbook of a version that kept none.
    std::vector<LogbookGap> Gaps(const std::string& vehicle = {}, Failure* error = nullptr) const;

private:
    // How a wait for another program's lock goes: until busyMs have passed or an interrupt came.
    struct BusyWait {
        int ms = 0;
        std::int64_t since = 0;
        bool interrupted = false;
    };
    static int WaitWhileBusy(void* wait, int count);

    Logbook(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}
    // False, with error set, where this logbook cannot be written: none yet, or a look at an
    // earlier layout (what a look at today's cannot write, SQLite refuses).
    bool Writable(Failure* error) const;
    // A vehicle's id by its name (empty: the first vehicle); nothing, with error set, when the
    // logbook has no such vehicle. 0 for a look at no logbook yet (its first is still to be made).
    // missing, where given, tells a name the logbook lacks from a file that cannot be read.
    std::optional<std::int64_t> VehicleId(const std::string& name, Failure* error,
                                          bool* missing = nullptr) const;
    // Inside the open transaction: the id of the vehicle holding record; nothing, with error set
    // and the transaction rolled back, where it holds none.
    std::optional<std::int64_t> RecordOf(const std::string& vehicle, std::int64_t record,
                                         Failure* error);
    // The same for a name that must be given (empty: no vehicle).
    std::optional<std::int64_t> NamedVehicleId(const std::string& name, Failure* error) const;
    // True where name can be a new vehicle's: a valid name no vehicle has; else error set.
    bool NameFree(const std::string& name, Failure* error);
    // Rolls the open transaction back: false.
    bool Abandon();
    // Where a read goes (Place), and the id of that vehicle.
    std::optional<ReadPlace> Plan(const MeterReading& reading, const ReadTarget& target,
                                  std::int64_t* vehicleId, Failure* error) const;
    // The gap a stored read leaves, if any: readId's records are the ones it added.
    bool FindGap(std::int64_t vehicleId, std::int64_t readId,
                 const std::vector<std::int64_t>& addedIds,
                 const std::vector<MeasurementRecord>& measured, const LocalTime& at,
                 std::optional<LogbookGap>* gap);
    // A read of the meter, or the rows of one CSV file, stored inside the open transaction as
    // records of a vehicle; a failure rolls the transaction back. meterMoved: the move from each
    // vehicle keeping records of the read is stored with it.
    std::optional<MergeCounts> StoreRead(const MeterReading& reading, const LocalTime& at,
                                         std::int64_t vehicleId, bool meterMoved, Failure* error);
    std::optional<MergeCounts> StoreImport(const ImportFile& file, const LocalTime& at,
                                           std::int64_t vehicleId, Failure* error);
    // What both store first: the row of the reads table.
    struct ReadRow {
        const char* source;                   // "meter" or "import"
        const char* storing;                  // what a failure to store it says was being done
        std::string origin;                   // the CSV file's name; empty (NULL) for the meter
        std::optional<std::string> firmware;  // the meter's version text
        std::vector<std::uint8_t> block;      // the block read; empty (NULL) for an import
    };
    std::optional<std::int64_t> AddRead(const ReadRow& read, const std::string& readAt,
                                        std::int64_t vehicleId, Failure* error);
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
    bool m_write = false;        // opened to write (kWrite)
};

// Opens the logbook at path and stores a verified read in it: what every front end does after
// a read. Nothing, with error set, when either fails.
std::optional<MergeCounts> MergeRead(const std::string& path, const MeterReading& reading,
                                     const LocalTime& at, const ReadTarget& target, Failure* error);

// The vehicle of vehicles called wanted, else the first; empty where there are none.
std::string VehicleOrFirst(const std::vector<Vehicle>& vehicles, const std::string& wanted);

}  // namespace odomei

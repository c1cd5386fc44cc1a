// odomei-cli's subcommands: what each does once its options are parsed.
#pragma once

#include <string>
#include <vector>

namespace odomei::cli {

// Exit statuses: each failure a script may want to tell apart has its own.
enum ExitStatus {
    kExitOk = 0,
    kExitUsage = 2,          // bad options or values
    kExitPortFailed = 3,     // the port cannot be opened
    kExitTimedOut = 4,       // no complete answer in about ten seconds, or the device went away
    kExitBadBlock = 5,       // the block's check byte was wrong three times
    kExitSendFailed = 6,     // STX, NAK or ACK could not be sent
    kExitNoRecord = 7,       // the block held no valid record
    kExitOutputFailed = 8,   // the output could not be written
    kExitLogbookFailed = 9,  // the logbook cannot be opened or written (read: --require-logbook)
    kExitBadImport = 10,     // a file to import is not a CSV file ODOMEI saved
    // A read kept in no vehicle (ReadConflict): its records cannot be the vehicle's it was meant
    // for, they are another vehicle's, or they overlap several. Its output was written all the
    // same; nothing of it is in the logbook.
    kExitNotThisVehicle = 11,
    kExitInternal = 1,  // a fault of the program itself: nothing else was meant to happen
};

enum class Format { kAuto, kCsv, kJson, kTable };

struct ReadOptions {
    std::string port;  // "COMn", a device or "auto" (the meter searched for); empty: the setting
    bool allPorts = false;  // with "auto": hardware ports are tried too, not only USB adapters
    Format format = Format::kAuto;
    std::string output;   // empty or "-": standard output
    bool utf8 = false;    // CSV in UTF-8 instead of CP932
    std::string logFile;  // empty: KORVANA.log in the working directory
    bool noLog = false;
    bool quiet = false;
    std::string logbook;  // empty: as KORVANA.ini says, else beside it
    bool noLogbook = false;
    bool requireLogbook = false;
    std::string vehicle;      // --vehicle: the read goes to it or nowhere; empty: the INI's
    bool meterMoved = false;  // the meter now sits in `vehicle` (ReadTarget::meterMoved)
};

enum class Units { kDefault, kKmPerLitre, kLitresPer100Km };

struct LogbookOptions {
    std::string logbook;
    Format format = Format::kAuto;
    std::string from, to;  // "YYYY-MM-DD", inclusive
    bool utf8 = false;     // history as CSV in UTF-8
    Units units = Units::kDefault;
    std::vector<std::string> files;  // import
    std::string vehicle;             // empty: the one KORVANA.ini selects, else the first
};

enum class VehicleAction { kList, kAdd, kRename, kNote, kRemove, kSelect, kMergeLogbook, kSet };

// What `vehicles` does, and to which vehicle.
struct VehicleOptions {
    VehicleAction action = VehicleAction::kList;
    std::string logbook;
    Format format = Format::kAuto;  // list: table or json
    std::string name;               // the vehicle acted on (rename: its name now)
    std::string newName;            // rename
    std::string note;               // add --note, note
    std::string file;               // merge-logbook: the other logbook
    std::string as;                 // merge-logbook --as
    bool yes = false;               // remove without asking
    // set: the odometer (km, as typed) at the refuel of day `at` (the no-th of that day, 1-based
    // in list order; 0: the only one), and the currency's code; empty: left as they are.
    std::string odometer;
    std::string at;
    int no = 0;
    std::string currency;
};

// What `price` sets: the price of one refuel (the no-th of that day where it has several), or
// the prices of a card statement's lines.
struct PriceOptions {
    std::string logbook;
    std::string vehicle;   // empty: the one KORVANA.ini selects, else the first
    std::string date;      // "YYYY-MM-DD": the refuel's day
    int no = 0;            // 1-based among that day's refuels, in list order; 0: the only one
    bool perLitre = true;  // the amount's kind (a statement's: perLitre unless --total)
    std::string amount;    // as typed; empty with clear
    bool clear = false;
    std::string statement;  // --from-csv: the card statement's file
};

// What `export` writes: one vehicle's records in a range, as the app imports them.
struct ExportOptions {
    std::string app;  // "lubelogger", "spritmonitor", "fuelio"
    LogbookOptions book;
    std::string output;  // "-": standard output
};

// What chart draws: which charts (both, stacked, when neither is chosen), their size, and where
// the SVG goes.
struct ChartOptions {
    bool economy = true;
    bool error = true;
    int width = 800;     // pixels
    int height = 320;    // pixels, each chart
    std::string output;  // empty or "-": standard output
};

struct DoctorOptions {
    std::string port;  // "COMn", a device or "auto" (the meter searched for); empty: the setting
    bool allPorts = false;  // with "auto": hardware ports are tried too, not only USB adapters
    bool json = false;
};

int RunRead(const ReadOptions& options);
// Looks at everything a read needs and says what stands in the way: 0 when a read could start
// now, kExitPortFailed when not.
int RunDoctor(const DoctorOptions& options);
int RunPorts();
int RunHistory(const LogbookOptions& options);
int RunStats(const LogbookOptions& options);
int RunImport(const LogbookOptions& options);
int RunChart(const LogbookOptions& options, const ChartOptions& chart);
int RunVehicles(const VehicleOptions& options);
int RunPrice(const PriceOptions& options);
int RunExport(const ExportOptions& options);

}  // namespace odomei::cli

#include "data/LogbookFile.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "data/Logbook.h"
#include "data/SqliteStatement.h"
#include "platform/Files.h"

namespace odomei {
namespace {

constexpr const char* kFirstSchema = R"sql(
CREATE TABLE IF NOT EXISTS reads (
    id INTEGER PRIMARY KEY,
    read_at TEXT NOT NULL,
    source TEXT NOT NULL,
    origin TEXT,
    firmware TEXT,
    block BLOB
);
CREATE TABLE IF NOT EXISTS records (
    id INTEGER PRIMARY KEY,
    raw BLOB UNIQUE,
    read_id INTEGER NOT NULL REFERENCES reads(id),
    date_text TEXT NOT NULL,
    distance_text TEXT NOT NULL,
    fuel_text TEXT NOT NULL,
    correction_text TEXT NOT NULL,
    refuel_text TEXT NOT NULL,
    error_text TEXT NOT NULL,
    iso_date TEXT,
    distance INTEGER NOT NULL,
    fuel INTEGER NOT NULL,
    correction INTEGER NOT NULL,
    refuel INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS records_by_texts
    ON records(date_text, distance_text, fuel_text, correction_text, refuel_text, error_text);
)sql";
// What version 2 adds: between which two records refuels may have been lost, found at which read.
constexpr const char* kGapsSchema = R"sql(
CREATE TABLE IF NOT EXISTS gaps (
    id INTEGER PRIMARY KEY,
    before_id INTEGER NOT NULL REFERENCES records(id),
    after_id INTEGER NOT NULL REFERENCES records(id),
    read_id INTEGER NOT NULL REFERENCES reads(id)
);
)sql";

// What version 3 has: vehicles, each read and record one vehicle's, and a record the same refuel
// when its bytes are the same within one vehicle. The records' table, under a name of its own
// (the table an upgrade builds beside the old one); the key is (raw, vehicle_id) rather than the
// other way round so that it also finds the vehicles holding a record's bytes.
constexpr const char* kVehicleRecordsTable = R"sql(
CREATE TABLE %s (
    id INTEGER PRIMARY KEY,
    raw BLOB,
    read_id INTEGER NOT NULL REFERENCES reads(id),
    date_text TEXT NOT NULL,
    distance_text TEXT NOT NULL,
    fuel_text TEXT NOT NULL,
    correction_text TEXT NOT NULL,
    refuel_text TEXT NOT NULL,
    error_text TEXT NOT NULL,
    iso_date TEXT,
    distance INTEGER NOT NULL,
    fuel INTEGER NOT NULL,
    correction INTEGER NOT NULL,
    refuel INTEGER NOT NULL,
    vehicle_id INTEGER NOT NULL REFERENCES vehicles(id),
    UNIQUE(raw, vehicle_id)
);
)sql";
// The vehicles of version 3; version 4 adds the currency, as the last column (where an upgrade's
// ALTER TABLE puts it).
constexpr const char* kVehiclesTable = R"sql(
CREATE TABLE vehicles (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    note TEXT NOT NULL DEFAULT ''%s
);
)sql";
// A fresh logbook's reads; an upgraded one's get the column added (the same name, type and place).
constexpr const char* kVehicleReadsTable = R"sql(
CREATE TABLE reads (
    id INTEGER PRIMARY KEY,
    read_at TEXT NOT NULL,
    source TEXT NOT NULL,
    origin TEXT,
    firmware TEXT,
    block BLOB,
    vehicle_id INTEGER NOT NULL REFERENCES vehicles(id)
);
)sql";
// The meter moved from one vehicle into another, as the user said at a read (meterMoved) that left
// records in the vehicle it came from: later reads of that meter overlap both, and are the new
// vehicle's (see ReadTarget).
constexpr const char* kMovesTable = R"sql(
CREATE TABLE moves (
    id INTEGER PRIMARY KEY,
    vehicle_id INTEGER NOT NULL REFERENCES vehicles(id),
    from_id INTEGER NOT NULL REFERENCES vehicles(id),
    read_id INTEGER NOT NULL REFERENCES reads(id)
);
)sql";
constexpr const char* kVehicleIndexes = R"sql(
CREATE INDEX records_by_texts ON records(date_text, distance_text, fuel_text, correction_text,
                                         refuel_text, error_text, vehicle_id);
CREATE INDEX records_by_vehicle ON records(vehicle_id, iso_date);
CREATE INDEX reads_by_vehicle ON reads(vehicle_id);
)sql";

// What version 4 adds: a refuel's price as the user entered it ('litre': per litre, 'total': the
// total paid; in hundredths of the vehicle's currency) and the odometer readings the user gave
// (hundredths of a km), each a record's.
constexpr const char* kPricesSchema = R"sql(
CREATE TABLE prices (
    record_id INTEGER PRIMARY KEY REFERENCES records(id),
    kind TEXT NOT NULL CHECK(kind IN ('litre', 'total')),
    amount INTEGER NOT NULL CHECK(amount > 0)
);
CREATE TABLE odometer (
    record_id INTEGER PRIMARY KEY REFERENCES records(id),
    reading INTEGER NOT NULL CHECK(reading >= 0)
);
)sql";

std::string CurrencyColumn() {
    return std::string("currency TEXT NOT NULL DEFAULT '") + kDefaultCurrency + "'";
}

// The vehicles' table of a version (3 or later).
std::string VehiclesTable(std::int64_t version) {
    const std::string currency = version >= kPricesVersion ? ",\n    " + CurrencyColumn() : "";
    char sql[512];
    std::snprintf(sql, sizeof sql, kVehiclesTable, currency.c_str());
    return sql;
}

std::string RecordsTable(const char* name) {
    char sql[1024];
    std::snprintf(sql, sizeof sql, kVehicleRecordsTable, name);
    return sql;
}

std::string FirstVehicle() {
    return std::string("INSERT INTO vehicles(id, name) VALUES(1, '") + kFirstVehicleName + "');";
}

// The statements that make a logbook of a version, from nothing.
std::string SchemaOf(std::int64_t version) {
    if (version >= kVehiclesVersion) {
        return VehiclesTable(version) + kVehicleReadsTable + RecordsTable("records") + kGapsSchema +
               kMovesTable + kVehicleIndexes + (version >= kPricesVersion ? kPricesSchema : "");
    }
    return std::string(kFirstSchema) + (version >= kGapsVersion ? kGapsSchema : "");
}

// What brings a logbook of an earlier version to today's layout, in the transaction that checked
// it. Before version 3 its records and reads all become the first vehicle's: SQLite cannot drop
// the records' UNIQUE(raw), so the table is built anew beside the old one, filled, and takes its
// name (ids kept: the gaps still point at the same records). Version 4 adds tables and a column.
std::string UpgradeFrom(std::int64_t version) {
    const std::string prices = kPricesSchema;
    if (version >= kVehiclesVersion) {
        return "ALTER TABLE vehicles ADD COLUMN " + CurrencyColumn() + ";" + prices;
    }
    constexpr const char* kColumns =
        "id, raw, read_id, date_text, distance_text, fuel_text, correction_text, refuel_text, "
        "error_text, iso_date, distance, fuel, correction, refuel";
    std::string sql = version < kGapsVersion ? kGapsSchema : "";
    sql += VehiclesTable(kSchemaVersion) + FirstVehicle();
    sql +=
        "ALTER TABLE reads ADD COLUMN vehicle_id INTEGER NOT NULL DEFAULT 1 "
        "REFERENCES vehicles(id);";
    sql += RecordsTable("records_v3");
    sql += std::string("INSERT INTO records_v3(") + kColumns + ", vehicle_id) SELECT " + kColumns +
           ", 1 FROM records ORDER BY id;";
    sql += "DROP TABLE records; ALTER TABLE records_v3 RENAME TO records;";
    sql += kMovesTable;
    sql += kVehicleIndexes;
    sql += prices;
    return sql;
}

// What a database file holds, as far as telling a logbook goes.
enum class Kind {
    kEmpty,     // nothing at all: a logbook may be made in it
    kLogbook,   // ours, marked with our application id
    kUnmarked,  // our tables and columns exactly, made before the id was set
    kNewer,     // ours, of a later layout
    kForeign,   // anything else
};

struct Finding {
    Kind kind = Kind::kForeign;
    std::int64_t version = 0;
    std::string why;  // for kForeign: what tells it from a logbook
};

// Each table's columns (name, type, NOT NULL, primary key), one line per column.
using Layout = std::map<std::string, std::vector<std::string>>;

std::optional<Layout> LayoutOf(sqlite3* db) {
    Statement columns(db,
                      "SELECT m.name, p.name, p.type, p.\"notnull\", p.pk FROM sqlite_master m "
                      "JOIN pragma_table_info(m.name) p WHERE m.type = 'table' AND "
                      "m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY m.name, p.cid");
    if (!columns.Ok()) return std::nullopt;
    Layout layout;
    int step;
    while ((step = columns.Step()) == SQLITE_ROW) {
        layout[columns.Text(0)].push_back(columns.Text(1) + " " + columns.Text(2) + " " +
                                          std::to_string(columns.Int(3)) + " " +
                                          std::to_string(columns.Int(4)));
    }
    if (step != SQLITE_DONE) return std::nullopt;
    return layout;
}

// The layout a logbook of a version has, as SQLite reports it for the tables this file creates;
// nothing for a version that is none of ours.
const Layout* LayoutFor(std::int64_t version) {
    static const std::vector<Layout> layouts = [] {
        std::vector<Layout> made;
        for (int v = kFirstSchemaVersion; v <= kSchemaVersion; ++v) {
            sqlite3* db = nullptr;
            if (sqlite3_open(":memory:", &db) == SQLITE_OK &&
                sqlite3_exec(db, SchemaOf(v).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) {
                made.push_back(LayoutOf(db).value_or(Layout{}));
            } else {
                made.emplace_back();
            }
            sqlite3_close(db);
        }
        return made;
    }();
    if (version < kFirstSchemaVersion || version > kSchemaVersion) return nullptr;
    return &layouts[static_cast<std::size_t>(version - kFirstSchemaVersion)];
}

// What keeps a layout from being the one expected; empty when it is that one.
std::string LayoutDifference(const Layout& found, const Layout& ours) {
    for (const auto& [table, columns] : found) {
        if (ours.count(table) == 0) return "it holds a table " + table + " of its own";
    }
    for (const auto& [table, columns] : ours) {
        const auto it = found.find(table);
        if (it == found.end()) return "it has no table " + table;
        if (it->second != columns) return "its table " + table + " has other columns";
    }
    return {};
}

std::string ForeignId(std::int64_t app) {
    char text[64];
    std::snprintf(text, sizeof text, "another program's application id 0x%08llX",
                  static_cast<unsigned long long>(static_cast<std::uint32_t>(app)));
    return text;
}

std::optional<Finding> Classify(sqlite3* db) {
    Statement id(db, "PRAGMA application_id");
    Statement version(db, "PRAGMA user_version");
    Statement objects(db, "SELECT count(*) FROM sqlite_master");
    if (!id.Ok() || !version.Ok() || !objects.Ok() || id.Step() != SQLITE_ROW ||
        version.Step() != SQLITE_ROW || objects.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    Finding f;
    f.version = version.Int(0);
    const std::int64_t app = id.Int(0);
    if (app == 0 && f.version == 0 && objects.Int(0) == 0) {
        f.kind = Kind::kEmpty;
        return f;
    }
    if (app != 0 && app != kLogbookApplicationId) {
        f.why = ForeignId(app);
        return f;
    }
    if (app == kLogbookApplicationId && f.version > kSchemaVersion) {
        f.kind = Kind::kNewer;
        return f;
    }
    const auto layout = LayoutOf(db);
    if (!layout) return std::nullopt;
    const std::string number = std::to_string(f.version);
    if (const Layout* expected = LayoutFor(f.version)) {
        f.why = LayoutDifference(*layout, *expected);
    } else {
        // Told by the layout a logbook of its kind would have (without the id: the first), unless
        // it has one of ours under a number that is none of ours.
        f.why =
            LayoutDifference(*layout, *LayoutFor(app == 0 ? kFirstSchemaVersion : kSchemaVersion));
        for (int v = kFirstSchemaVersion; v <= kSchemaVersion; ++v) {
            if (LayoutDifference(*layout, *LayoutFor(v)).empty()) {
                f.why = "its version " + number + " is none of ODOMEI's";
            }
        }
    }
    // Only logbooks of the first version were ever made without the id.
    if (f.why.empty() && app == 0 && f.version != kFirstSchemaVersion) {
        f.why = "version " + number + " without ODOMEI's application id";
    }
    if (f.why.empty()) f.kind = app == 0 ? Kind::kUnmarked : Kind::kLogbook;
    return f;
}

// Why a file cannot be used as a logbook, in plain words.
Failure Refusal(const std::string& path, const Finding& f) {
    if (f.kind == Kind::kNewer) {
        return FailureOf(path, "made by a newer version of ODOMEI (logbook version " +
                                   std::to_string(f.version) + ")");
    }
    return FailureOf(path, "not an ODOMEI logbook (" + f.why + ")");
}

// SQLite's file header: its first 100 bytes, the same in every database file. Its magic text,
// and two big-endian 32-bit numbers in it: the user version (the layout's version) and the
// application id.
constexpr std::size_t kHeaderSize = 100;
constexpr char kHeaderMagic[] = "SQLite format 3";  // with its terminating zero: 16 bytes
constexpr std::size_t kUserVersionAt = 60;
constexpr std::size_t kApplicationIdAt = 68;

std::int64_t HeaderNumber(const std::string& header, std::size_t at) {
    std::uint32_t n = 0;
    for (std::size_t i = at; i < at + 4; ++i) n = n << 8 | static_cast<unsigned char>(header[i]);
    return static_cast<std::int32_t>(n);  // as SQLite's pragmas give them: signed
}

// What the header alone tells. SQLite opening a file does more than read it: a database in WAL
// mode gets a -shm and a -wal file beside it (even for a read-only look), and a journal left by
// a program that stopped mid-transaction is rolled back into the file. For another program's
// database neither is ours to do, so the header decides before SQLite is let near the file.
enum class Header {
    kOurs,      // our application id: SQLite opens it
    kUnmarked,  // no application id: only its tables can tell (an unmarked logbook, an empty one)
    kRefused,   // no database, another program's, or a newer ODOMEI's: never opened
};

Header LookAtHeader(const std::string& path, Failure* refusal) {
    std::string header;
    Failure problem;
    if (ReadFileStart(path, kHeaderSize, &header, &problem) != ReadResult::kRead) {
        *refusal = FailureOf(path, "open: " + problem.reason.en);
        return Header::kRefused;
    }
    if (header.size() < kHeaderSize ||
        header.compare(0, sizeof kHeaderMagic, kHeaderMagic, sizeof kHeaderMagic) != 0) {
        *refusal = FailureOf(path, "read: file is not a database");  // as SQLite says it
        return Header::kRefused;
    }
    Finding f;
    f.version = HeaderNumber(header, kUserVersionAt);
    const std::int64_t app = HeaderNumber(header, kApplicationIdAt);
    if (app == 0) return Header::kUnmarked;
    if (app == kLogbookApplicationId && f.version <= kSchemaVersion) return Header::kOurs;
    f.kind = app == kLogbookApplicationId ? Kind::kNewer : Kind::kForeign;
    if (f.kind == Kind::kForeign) f.why = ForeignId(app);
    *refusal = Refusal(path, f);
    return Header::kRefused;
}

// path as an SQLite URI, for the parameters only a URI can give. Every byte but letters, digits
// and "-._~/" is escaped, so that '?', '#' and '%' and a Windows path's ':' and '\' stay part of
// the name; an absolute path gets an empty authority ("file:///...") so that one beginning with
// "//" is not taken for a host.
std::string UriOf(const std::string& path) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = !path.empty() && path.front() == '/' ? "file://" : "file:";
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            std::strchr("-._~/", c) != nullptr) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[u >> 4];
            uri += kHex[u & 0x0F];
        }
    }
    return uri;
}

// What a file without an application id holds, told from its tables without a trace: SQLite
// reads it as on read-only media ("immutable"), so it takes no lock, makes no file beside it and
// rolls no journal back. Nothing, with why, when it cannot be read.
std::optional<Finding> LookInside(const std::string& path, Failure* why) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2((UriOf(path) + "?mode=ro&immutable=1").c_str(), &db,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    std::optional<Finding> found;
    if (opened == SQLITE_OK) found = Classify(db);
    if (!found) {
        *why = FailureOf(
            path, std::string(opened == SQLITE_OK ? "read: " : "open: ") + sqlite3_errmsg(db));
    }
    sqlite3_close(db);
    return found;
}

}  // namespace

FileVerdict LookBeforeOpening(const std::string& path, bool write, Failure* why) {
    auto refuse = [why](Failure said) {
        *why = std::move(said);
        return FileVerdict::kRefused;
    };
    const FileFacts file = LookAtFile(path);
    if (file.exists && !file.regular) return refuse(FailureOf(path, "not a regular file"));
    if (!write && (!file.exists || file.size == 0)) return FileVerdict::kNothing;
    if (write && file.exists && !file.writable) return refuse(FailureOf(path, "read-only file"));
    // Another program's database is told before SQLite opens it (see LookAtHeader).
    if (file.exists && file.size > 0) {
        const Header header = LookAtHeader(path, why);
        if (header == Header::kRefused) return FileVerdict::kRefused;
        if (header == Header::kUnmarked) {
            const auto inside = LookInside(path, why);
            if (!inside) return FileVerdict::kRefused;
            if (inside->kind != Kind::kEmpty && inside->kind != Kind::kUnmarked) {
                return refuse(Refusal(path, *inside));
            }
            if (inside->kind == Kind::kEmpty && !write) return FileVerdict::kNothing;
        }
    }
    return FileVerdict::kUse;
}

FileState ReadyFile(sqlite3* db, const std::string& path, bool write, const SqliteFailure& failure,
                    Failure* why) {
    auto refuse = [why](Failure said) {
        *why = std::move(said);
        return FileState{};
    };
    // Told again by SQLite's own reading: a file damaged past its header fails here, before
    // anything is written to it.
    auto found = Classify(db);
    if (!found) return refuse(failure("read"));
    const FileState use{FileVerdict::kUse, found->version};
    switch (found->kind) {
        case Kind::kLogbook:
            if (!write || found->version == kSchemaVersion) return use;
            break;
        case Kind::kUnmarked:
            if (!write) return use;
            break;
        case Kind::kEmpty:
            if (!write) return FileState{FileVerdict::kNothing};
            break;
        case Kind::kNewer:
        case Kind::kForeign: return refuse(Refusal(path, *found));
    }
    // Made or marked in one transaction, looked at again under the write lock: another program
    // may have done it meanwhile.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return refuse(failure("begin"));
    }
    auto undo = [&](Failure said) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return refuse(std::move(said));
    };
    found = Classify(db);
    if (!found) return undo(failure("read"));
    std::string sql;
    const char* doing = "mark it as a logbook";
    if (found->kind == Kind::kEmpty) {
        sql = SchemaOf(kSchemaVersion) + FirstVehicle();
        doing = "create the tables";
    } else if (found->kind != Kind::kUnmarked && found->kind != Kind::kLogbook) {
        return undo(Refusal(path, *found));
    } else if (found->version < kSchemaVersion) {
        sql = UpgradeFrom(found->version);
        doing = "bring it to today's layout";
    }
    if (found->kind != Kind::kLogbook || found->version != kSchemaVersion) {
        sql += "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    }
    if (found->kind != Kind::kLogbook) {
        sql += "PRAGMA application_id = " + std::to_string(kLogbookApplicationId) + ";";
    }
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        return undo(failure(doing));  // the reason is read before the rollback
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return undo(failure("commit"));
    }
    return FileState{FileVerdict::kUse, kSchemaVersion};
}

}  // namespace odomei

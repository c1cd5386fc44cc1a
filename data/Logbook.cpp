#include "data/Logbook.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/Dates.h"
#include "platform/Files.h"
#include "platform/Interrupt.h"
#include "platform/Text.h"

namespace odomei {
namespace {

// The layout's version, in SQLite's user_version. Version 1 holds reads and records; version 2
// adds the gaps found between reads. A logbook of version 1 is still looked at as it is, and
// brought to today's layout when it is next written.
constexpr int kFirstSchemaVersion = 1;
constexpr int kGapsVersion = 2;
constexpr int kSchemaVersion = kGapsVersion;
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

// The statements that make a logbook of a version, from nothing.
std::string SchemaOf(std::int64_t version) {
    return std::string(kFirstSchema) + (version >= kGapsVersion ? kGapsSchema : "");
}

// How often a wait for another program's lock looks at the interrupt.
constexpr int kBusyStepMs = 10;

// One prepared statement, finalised at the end of its scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool Ok() const { return m_stmt != nullptr; }
    Statement& Bind(int i, const std::string& text) {
        sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int i, std::int64_t n) {
        sqlite3_bind_int64(m_stmt, i, n);
        return *this;
    }
    Statement& BindBlob(int i, const void* data, std::size_t n) {
        sqlite3_bind_blob(m_stmt, i, data, static_cast<int>(n), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& BindNull(int i) {
        sqlite3_bind_null(m_stmt, i);
        return *this;
    }
    int Step() { return sqlite3_step(m_stmt); }
    void Reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    std::string Text(int column) const {
        const auto* p = sqlite3_column_text(m_stmt, column);
        return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p));
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
    bool Null(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

std::string Stamp(const LocalTime& t) {
    char time[32];
    std::snprintf(time, sizeof time, " %02d:%02d:%02d", t.hour, t.minute, t.second);
    return IsoDateText({t.year, t.month, t.day}) + time;
}

// A date text as "YYYY-MM-DD" where it is a real date; the texts of imported records have no
// bytes to take the date from. Read in CP932, where the date text has the same bytes for every
// date of four, two and two digits.
std::optional<std::string> IsoFromText(const std::string& text) {
    static const std::string year = Sjis(kMeterDateUnits.year), month = Sjis(kMeterDateUnits.month),
                             day = Sjis(kMeterDateUnits.day);
    const auto sj = Utf8ToCp932(text);
    if (!sj) return std::nullopt;
    const auto date = ParseMeterDateText(*sj, DateUnits{year, month, day});
    if (!date || !IsRealDate(*date)) return std::nullopt;
    return IsoDateText(*date);
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
std::string Refusal(const std::string& path, const Finding& f) {
    if (f.kind == Kind::kNewer) {
        return path + ": made by a newer version of ODOMEI (logbook version " +
               std::to_string(f.version) + ")";
    }
    return path + ": not an ODOMEI logbook (" + f.why + ")";
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

Header LookAtHeader(const std::string& path, std::string* refusal) {
    std::string header, problem;
    if (ReadFileStart(path, kHeaderSize, &header, &problem) != ReadResult::kRead) {
        *refusal = path + ": open: " + problem;
        return Header::kRefused;
    }
    if (header.size() < kHeaderSize ||
        header.compare(0, sizeof kHeaderMagic, kHeaderMagic, sizeof kHeaderMagic) != 0) {
        *refusal = path + ": read: file is not a database";  // as SQLite says it
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
std::optional<Finding> LookInside(const std::string& path, std::string* why) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2((UriOf(path) + "?mode=ro&immutable=1").c_str(), &db,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    std::optional<Finding> found;
    if (opened == SQLITE_OK) found = Classify(db);
    if (!found) *why = path + (opened == SQLITE_OK ? ": read: " : ": open: ") + sqlite3_errmsg(db);
    sqlite3_close(db);
    return found;
}

}  // namespace

Logbook::~Logbook() { sqlite3_close(m_db); }

std::string Logbook::Failure(const char* doing) const {
    if (m_db == nullptr) return m_path + ": " + doing + ": there is no logbook yet";
    if (m_busy.interrupted && sqlite3_errcode(m_db) == SQLITE_BUSY) {
        return m_path + ": " + doing + ": interrupted while another program held the logbook";
    }
    return m_path + ": " + doing + ": " + sqlite3_errmsg(m_db);
}

int Logbook::WaitWhileBusy(void* state, int count) {
    auto* wait = static_cast<BusyWait*>(state);
    const std::int64_t now = MonotonicMs();
    if (count == 0) {
        wait->since = now;
        wait->interrupted = false;
    }
    if (InterruptSignal() != 0) {
        wait->interrupted = true;
        return 0;
    }
    if (now - wait->since >= wait->ms) return 0;
    sqlite3_sleep(kBusyStepMs);
    return 1;
}

std::unique_ptr<Logbook> Logbook::Open(const std::string& path, LogbookError* error,
                                       LogbookAccess access, int busyMs) {
    auto refuse = [error](const std::string& why) -> std::unique_ptr<Logbook> {
        if (error) error->what = why;
        return nullptr;
    };
    if (path.empty()) return refuse("no working directory to keep the logbook in");
    const bool write = access == LogbookAccess::kWrite;
    // Looked at before SQLite opens it: SQLite would take a device, and root may write a file
    // whose permissions say read-only.
    const FileFacts file = LookAtFile(path);
    if (file.exists && !file.regular) return refuse(path + ": not a regular file");
    auto none = [&path] { return std::unique_ptr<Logbook>(new Logbook(nullptr, path)); };
    if (!write && (!file.exists || file.size == 0)) return none();
    if (write && file.exists && !file.writable) return refuse(path + ": read-only file");
    // Another program's database is told before SQLite opens it (see LookAtHeader).
    if (file.exists && file.size > 0) {
        std::string why;
        const Header header = LookAtHeader(path, &why);
        if (header == Header::kRefused) return refuse(why);
        if (header == Header::kUnmarked) {
            const auto inside = LookInside(path, &why);
            if (!inside) return refuse(why);
            if (inside->kind != Kind::kEmpty && inside->kind != Kind::kUnmarked) {
                return refuse(Refusal(path, *inside));
            }
            if (inside->kind == Kind::kEmpty && !write) return none();
        }
    }

    sqlite3* db = nullptr;
    const int flags = (write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
                      SQLITE_OPEN_FULLMUTEX;
    const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    std::unique_ptr<Logbook> book(new Logbook(db, path));
    if (opened != SQLITE_OK) return refuse(book->Failure("open"));
    // Two programs merging at once (the window and a scheduled odomei-cli): one waits.
    book->m_busy.ms = busyMs;
    sqlite3_busy_handler(db, &Logbook::WaitWhileBusy, &book->m_busy);

    // Told again by SQLite's own reading: a file damaged past its header fails here, before
    // anything is written to it.
    auto found = Classify(db);
    if (!found) return refuse(book->Failure("read"));
    book->m_version = found->version;
    switch (found->kind) {
        case Kind::kLogbook:
            if (!write || found->version == kSchemaVersion) return book;
            break;
        case Kind::kUnmarked:
            if (!write) return book;
            break;
        case Kind::kEmpty:
            if (!write) return none();
            break;
        case Kind::kNewer:
        case Kind::kForeign: return refuse(Refusal(path, *found));
    }
    // Made or marked in one transaction, looked at again under the write lock: another program
    // may have done it meanwhile.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return refuse(book->Failure("begin"));
    }
    auto undo = [&](const std::string& why) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return refuse(why);
    };
    found = Classify(db);
    if (!found) return undo(book->Failure("read"));
    std::string sql;
    const char* doing = "mark it as a logbook";
    if (found->kind == Kind::kEmpty) {
        sql = SchemaOf(kSchemaVersion);
        doing = "create the tables";
    } else if (found->kind != Kind::kUnmarked && found->kind != Kind::kLogbook) {
        return undo(Refusal(path, *found));
    } else if (found->version < kGapsVersion) {
        // Brought to today's layout: the gaps' table added, nothing else changed.
        sql = kGapsSchema;
        doing = "bring it to today's layout";
    }
    if (found->kind != Kind::kLogbook || found->version != kSchemaVersion) {
        sql += "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    }
    if (found->kind != Kind::kLogbook) {
        sql += "PRAGMA application_id = " + std::to_string(kLogbookApplicationId) + ";";
    }
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        return undo(book->Failure(doing));  // the reason is read before the rollback
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return undo(book->Failure("commit"));
    }
    book->m_version = kSchemaVersion;
    return book;
}

std::optional<MergeCounts> MergeRead(const std::string& path, const MeterReading& reading,
                                     const LocalTime& at, LogbookError* error) {
    const auto book = Logbook::Open(path, error, LogbookAccess::kWrite);
    return book ? book->Merge(reading, at, error) : std::nullopt;
}

bool Logbook::Begin(LogbookError* error) {
    if (m_db == nullptr) {
        if (error) error->what = Failure("store");
        return false;
    }
    // IMMEDIATE: the write lock is taken (or waited for) before anything is read.
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    if (error) error->what = Failure("begin");
    return false;
}

bool Logbook::Commit(LogbookError* error) {
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    if (error) error->what = Failure("commit");
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

std::optional<MergeCounts> Logbook::Merge(const MeterReading& reading, const LocalTime& at,
                                          LogbookError* error) {
    std::vector<RecordRow> rows;
    for (const auto& r : reading.records) rows.push_back(RowOf(r));
    if (!Begin(error)) return std::nullopt;
    const auto counts =
        Store(&reading.records, rows, "meter", {}, reading.version,
              std::vector<std::uint8_t>(reading.block.begin(), reading.block.end()), at, error);
    return counts && Commit(error) ? counts : std::nullopt;
}

std::optional<std::vector<MergeCounts>> Logbook::Import(const std::vector<ImportFile>& files,
                                                        const LocalTime& at, LogbookError* error) {
    if (!Begin(error)) return std::nullopt;
    std::vector<MergeCounts> counts;
    for (const ImportFile& file : files) {
        const auto stored = Store(nullptr, file.rows, "import", file.origin, {}, {}, at, error);
        if (!stored) return std::nullopt;
        counts.push_back(*stored);
    }
    if (!Commit(error)) return std::nullopt;
    return counts;
}

std::optional<MergeCounts> Logbook::Import(const std::vector<RecordRow>& rows,
                                           const std::string& origin, const LocalTime& at,
                                           LogbookError* error) {
    const auto counts = Import({ImportFile{origin, rows}}, at, error);
    return counts ? std::optional<MergeCounts>(counts->front()) : std::nullopt;
}

std::optional<MergeCounts> Logbook::Store(const std::vector<MeasurementRecord>* measured,
                                          const std::vector<RecordRow>& rows, const char* source,
                                          const std::string& origin, const std::string& firmware,
                                          const std::vector<std::uint8_t>& block,
                                          const LocalTime& at, LogbookError* error) {
    auto fail = [&](const char* doing) -> std::optional<MergeCounts> {
        if (error) error->what = Failure(doing);
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return std::nullopt;
    };
    Statement read(m_db,
                   "INSERT INTO reads(read_at, source, origin, firmware, block) VALUES(?,?,?,?,?)");
    if (!read.Ok()) return fail("prepare");
    read.Bind(1, Stamp(at)).Bind(2, std::string(source));
    origin.empty() ? read.BindNull(3) : read.Bind(3, origin);
    measured == nullptr ? read.BindNull(4) : read.Bind(4, firmware);
    block.empty() ? read.BindNull(5) : read.BindBlob(5, block.data(), block.size());
    if (read.Step() != SQLITE_DONE) return fail(measured ? "store the read" : "store the import");
    const std::int64_t readId = sqlite3_last_insert_rowid(m_db);

    Statement byBytes(m_db, "SELECT id FROM records WHERE raw = ?");
    Statement byTexts(
        m_db,
        "SELECT id, raw IS NULL FROM records WHERE date_text=? AND distance_text=? AND "
        "fuel_text=? AND correction_text=? AND refuel_text=? AND error_text=? "
        "ORDER BY raw IS NULL DESC, id LIMIT 1");
    Statement upgrade(m_db, "UPDATE records SET raw = ? WHERE id = ?");
    Statement insert(m_db,
                     "INSERT INTO records(raw, read_id, date_text, distance_text, fuel_text, "
                     "correction_text, refuel_text, error_text, iso_date, distance, fuel, "
                     "correction, refuel) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)");
    if (!byBytes.Ok() || !byTexts.Ok() || !upgrade.Ok() || !insert.Ok()) return fail("prepare");

    MergeCounts counts;
    std::vector<std::int64_t> addedIds;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RecordRow& row = rows[i];
        const MeasurementRecord* m = measured ? &(*measured)[i] : nullptr;
        if (m != nullptr) {
            byBytes.Reset();
            byBytes.BindBlob(1, m->raw.data(), m->raw.size());
            const int found = byBytes.Step();
            if (found == SQLITE_ROW) {
                ++counts.known;
                continue;
            }
            if (found != SQLITE_DONE) return fail("look the record up");
        }
        // By its texts: an imported record the meter now gives again, or a row imported twice.
        byTexts.Reset();
        byTexts.Bind(1, row.m_strDate).Bind(2, row.m_strDistance).Bind(3, row.m_strFuel);
        byTexts.Bind(4, row.m_strCorrection).Bind(5, row.m_strRefuel).Bind(6, row.m_strError);
        const int same = byTexts.Step();
        if (same != SQLITE_ROW && same != SQLITE_DONE) return fail("look the record up");
        if (same == SQLITE_ROW && (m == nullptr || byTexts.Int(1) != 0)) {
            if (m != nullptr) {
                upgrade.Reset();
                upgrade.BindBlob(1, m->raw.data(), m->raw.size()).Bind(2, byTexts.Int(0));
                if (upgrade.Step() != SQLITE_DONE) return fail("store the record");
                ++counts.upgraded;
            } else {
                ++counts.known;
            }
            continue;
        }
        insert.Reset();
        m ? insert.BindBlob(1, m->raw.data(), m->raw.size()) : insert.BindNull(1);
        insert.Bind(2, readId).Bind(3, row.m_strDate).Bind(4, row.m_strDistance);
        insert.Bind(5, row.m_strFuel).Bind(6, row.m_strCorrection).Bind(7, row.m_strRefuel);
        insert.Bind(8, row.m_strError);
        const auto iso = m ? IsoDate(*m) : IsoFromText(row.m_strDate);
        iso ? insert.Bind(9, *iso) : insert.BindNull(9);
        insert.Bind(10, ParseHundredths(row.m_strDistance).value_or(0));
        insert.Bind(11, ParseHundredths(row.m_strFuel).value_or(0));
        insert.Bind(12, ParseHundredths(row.m_strCorrection).value_or(0));
        insert.Bind(13, ParseHundredths(row.m_strRefuel).value_or(0));
        if (insert.Step() != SQLITE_DONE) return fail("store the record");
        addedIds.push_back(sqlite3_last_insert_rowid(m_db));
        ++counts.added;
    }
    if (measured != nullptr && !FindGap(readId, addedIds, *measured, at, &counts.gap)) {
        return fail("look for lost refuels");
    }
    return counts;
}

bool Logbook::FindGap(std::int64_t readId, const std::vector<std::int64_t>& addedIds,
                      const std::vector<MeasurementRecord>& measured, const LocalTime& at,
                      std::optional<LogbookGap>* gap) {
    // A meter holding fewer than it can keep has dropped none; one known record overlaps.
    if (m_version < kGapsVersion || measured.size() != static_cast<std::size_t>(kMaxRecords) ||
        addedIds.size() != measured.size()) {
        return true;
    }
    // The logbook must hold refuels read from a meter before: imported rows say nothing of
    // when the meter was last read.
    Statement fromMeter(
        m_db, "SELECT EXISTS(SELECT 1 FROM records WHERE raw IS NOT NULL AND read_id <> ?)");
    Statement newest(m_db,
                     "SELECT id, date_text, iso_date FROM records WHERE iso_date IS NOT NULL AND "
                     "read_id <> ? ORDER BY iso_date DESC, id DESC LIMIT 1");
    if (!fromMeter.Ok() || !newest.Ok()) return false;
    fromMeter.Bind(1, readId);
    if (fromMeter.Step() != SQLITE_ROW) return false;
    if (fromMeter.Int(0) == 0) return true;
    newest.Bind(1, readId);
    const int step = newest.Step();
    if (step == SQLITE_DONE) return true;
    if (step != SQLITE_ROW) return false;
    // The read's oldest dated record, which must be newer than the logbook's newest.
    std::optional<std::size_t> oldest;
    std::string oldestDate;
    for (std::size_t i = 0; i < measured.size(); ++i) {
        const auto iso = IsoDate(measured[i]);
        if (iso && (!oldest || *iso < oldestDate)) {
            oldest = i;
            oldestDate = *iso;
        }
    }
    if (!oldest || oldestDate <= newest.Text(2)) return true;
    LogbookGap found{newest.Int(0),  addedIds[*oldest],
                     newest.Text(1), RowOf(measured[*oldest]).m_strDate,
                     Stamp(at),      readId};
    Statement store(m_db, "INSERT INTO gaps(before_id, after_id, read_id) VALUES(?,?,?)");
    if (!store.Ok()) return false;
    store.Bind(1, found.beforeId).Bind(2, found.afterId).Bind(3, readId);
    if (store.Step() != SQLITE_DONE) return false;
    *gap = std::move(found);
    return true;
}

std::vector<LogbookGap> Logbook::Gaps(LogbookError* error) const {
    std::vector<LogbookGap> gaps;
    if (m_db == nullptr || m_version < kGapsVersion) return gaps;
    Statement all(m_db,
                  "SELECT g.before_id, g.after_id, b.date_text, a.date_text, reads.read_at, "
                  "g.read_id "
                  "FROM gaps g JOIN records b ON b.id = g.before_id "
                  "JOIN records a ON a.id = g.after_id JOIN reads ON reads.id = g.read_id "
                  "ORDER BY g.id");
    int step = SQLITE_ERROR;
    while (all.Ok() && (step = all.Step()) == SQLITE_ROW) {
        gaps.push_back({all.Int(0), all.Int(1), all.Text(2), all.Text(3), all.Text(4), all.Int(5)});
    }
    if (step != SQLITE_DONE) {
        if (error) error->what = Failure("read");
        return {};
    }
    return gaps;
}

std::vector<LogbookRecord> Logbook::Records(const std::string& from, const std::string& to,
                                            LogbookError* error) const {
    std::vector<LogbookRecord> records;
    if (m_db == nullptr) return records;
    Statement all(m_db,
                  "SELECT r.id, date_text, distance_text, fuel_text, correction_text, refuel_text, "
                  "error_text, iso_date, distance, fuel, correction, r.refuel, raw IS NULL, "
                  "reads.read_at, r.read_id FROM records r JOIN reads ON reads.id = r.read_id "
                  "ORDER BY r.id");
    if (!all.Ok()) {
        if (error) error->what = Failure("read");
        return records;
    }
    std::vector<std::int64_t> readIds;  // each record's read, for the gaps
    int step;
    while ((step = all.Step()) == SQLITE_ROW) {
        readIds.push_back(all.Int(14));
        LogbookRecord r;
        r.id = all.Int(0);
        r.texts = {all.Text(1), all.Text(2), all.Text(3), all.Text(4), all.Text(5), all.Text(6)};
        if (!all.Null(7)) r.isoDate = all.Text(7);
        r.distance = all.Int(8);
        r.fuel = all.Int(9);
        r.correction = all.Int(10);
        r.refuel = all.Int(11);
        r.imported = all.Int(12) != 0;
        r.firstRead = all.Text(13);
        records.push_back(std::move(r));
    }
    if (step != SQLITE_DONE) {
        if (error) error->what = Failure("read");
        return {};
    }
    LogbookError gapsError;
    const auto gaps = Gaps(&gapsError);
    if (!gapsError.what.empty()) {
        if (error) *error = gapsError;
        return {};
    }
    // A record without a date takes the place of the dated record read before it.
    std::vector<std::pair<std::string, std::size_t>> keys;
    std::string last;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].isoDate) last = *records[i].isoDate;
        keys.emplace_back(last, i);
    }
    std::stable_sort(keys.begin(), keys.end());
    if (!gaps.empty()) {
        // Where each gap shows, in the whole logbook's order (a range only leaves records out).
        std::map<std::int64_t, std::size_t> place;  // a record's id: its place in that order
        for (std::size_t p = 0; p < keys.size(); ++p) place.emplace(records[keys[p].second].id, p);
        for (const LogbookGap& g : gaps) {
            const auto before = place.find(g.beforeId), after = place.find(g.afterId);
            if (before == place.end() || after == place.end() || before->second >= after->second) {
                continue;
            }
            // Between the two records may come the read's own (one without a date before its
            // oldest dated one) and older ones (one without a date after the record before): the
            // gap shows before the first of the read's. A record stored after that read fills
            // it: a refuel of its time the logbook did not have when the read found the gap.
            std::optional<std::size_t> first;  // the read's first record there
            bool filled = false;
            for (std::size_t p = before->second + 1; p <= after->second && !filled; ++p) {
                const std::int64_t read = readIds[keys[p].second];
                filled = read > g.readId;
                if (read == g.readId && !first) first = p;
            }
            if (filled || !first) continue;
            LogbookRecord& r = records[keys[*first].second];
            if (!r.gapBefore) r.gapBefore = g.foundAt;
        }
    }
    std::vector<LogbookRecord> ordered;
    ordered.reserve(records.size());
    for (const auto& [date, i] : keys) {
        auto& r = records[i];
        if (!from.empty() && (!r.isoDate || *r.isoDate < from)) continue;
        if (!to.empty() && (!r.isoDate || *r.isoDate > to)) continue;
        ordered.push_back(std::move(r));  // each record is taken once
    }
    return ordered;
}

std::int64_t Logbook::CountReads() const {
    if (m_db == nullptr) return 0;
    Statement count(m_db, "SELECT count(*) FROM reads");
    return count.Ok() && count.Step() == SQLITE_ROW ? count.Int(0) : 0;
}

std::int64_t Logbook::CountRecords() const {
    if (m_db == nullptr) return 0;
    Statement count(m_db, "SELECT count(*) FROM records");
    return count.Ok() && count.Step() == SQLITE_ROW ? count.Int(0) : 0;
}

}  // namespace odomei

#include "data/Logbook.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <span>

#include "data/LogbookFile.h"
#include "data/SqliteStatement.h"
#include "platform/Dates.h"
#include "platform/Interrupt.h"
#include "platform/Text.h"

namespace odomei {
namespace {

// How often a wait for another program's lock looks at the interrupt.
constexpr int kBusyStepMs = 10;

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

// The statements that match a row to the stored records by its six texts and store a new one.
class RecordWriter {
public:
    RecordWriter(sqlite3* db, std::int64_t vehicleId)
        : m_vehicleId(vehicleId),
          m_byTexts(db,
                    "SELECT id, raw IS NULL FROM records WHERE date_text=? AND distance_text=? AND "
                    "fuel_text=? AND correction_text=? AND refuel_text=? AND error_text=? AND "
                    "vehicle_id=? ORDER BY raw IS NULL DESC, id LIMIT 1"),
          m_insert(db,
                   "INSERT INTO records(raw, read_id, date_text, distance_text, fuel_text, "
                   "correction_text, refuel_text, error_text, iso_date, distance, fuel, "
                   "correction, refuel, vehicle_id) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)") {}
    bool Ok() const { return m_byTexts.Ok() && m_insert.Ok(); }

    // Looks for a stored record with the row's texts, an imported one first, then the oldest:
    // SQLITE_ROW when there is one (FoundId, FoundImported), SQLITE_DONE when there is none.
    int FindByTexts(const RecordRow& row) {
        m_byTexts.Reset();
        m_byTexts.Bind(1, row.m_strDate).Bind(2, row.m_strDistance).Bind(3, row.m_strFuel);
        m_byTexts.Bind(4, row.m_strCorrection).Bind(5, row.m_strRefuel).Bind(6, row.m_strError);
        m_byTexts.Bind(7, m_vehicleId);
        return m_byTexts.Step();
    }
    std::int64_t FoundId() const { return m_byTexts.Int(0); }
    bool FoundImported() const { return m_byTexts.Int(1) != 0; }

    // Stores the row as a record of the read; raw empty where its bytes are not known.
    bool Add(std::int64_t readId, const RecordRow& row, std::span<const std::uint8_t> raw,
             const std::optional<std::string>& iso) {
        m_insert.Reset();
        raw.empty() ? m_insert.BindNull(1) : m_insert.BindBlob(1, raw.data(), raw.size());
        m_insert.Bind(2, readId).Bind(3, row.m_strDate).Bind(4, row.m_strDistance);
        m_insert.Bind(5, row.m_strFuel).Bind(6, row.m_strCorrection).Bind(7, row.m_strRefuel);
        m_insert.Bind(8, row.m_strError);
        iso ? m_insert.Bind(9, *iso) : m_insert.BindNull(9);
        m_insert.Bind(10, ParseHundredths(row.m_strDistance).value_or(0));
        m_insert.Bind(11, ParseHundredths(row.m_strFuel).value_or(0));
        m_insert.Bind(12, ParseHundredths(row.m_strCorrection).value_or(0));
        m_insert.Bind(13, ParseHundredths(row.m_strRefuel).value_or(0));
        m_insert.Bind(14, m_vehicleId);
        return m_insert.Step() == SQLITE_DONE;
    }

private:
    std::int64_t m_vehicleId;
    Statement m_byTexts;
    Statement m_insert;
};

// The vehicles holding a record read from the meter: by its bytes, or an imported record (whose
// bytes are not known) with its six texts.
class Holders {
public:
    explicit Holders(sqlite3* db)
        : m_byBytes(db, "SELECT vehicle_id, read_id FROM records WHERE raw = ?"),
          m_byTexts(db,
                    "SELECT vehicle_id, read_id FROM records WHERE raw IS NULL AND date_text=? "
                    "AND distance_text=? AND fuel_text=? AND correction_text=? AND "
                    "refuel_text=? AND error_text=?") {}
    bool Ok() const { return m_byBytes.Ok() && m_byTexts.Ok(); }

    // False when the file cannot be read. readIds, where given: for each holder, the read that
    // stored its record.
    bool Of(const MeasurementRecord& m, std::set<std::int64_t>* holders,
            std::map<std::int64_t, std::int64_t>* readIds = nullptr) {
        holders->clear();
        if (readIds) readIds->clear();
        auto take = [&](const Statement& found) {
            holders->insert(found.Int(0));
            if (readIds) {
                auto& read = (*readIds)[found.Int(0)];
                read = std::max(read, found.Int(1));
            }
        };
        m_byBytes.Reset();
        m_byBytes.BindBlob(1, m.raw.data(), m.raw.size());
        int step;
        while ((step = m_byBytes.Step()) == SQLITE_ROW) take(m_byBytes);
        if (step != SQLITE_DONE) return false;
        const RecordRow row = RowOf(m);
        m_byTexts.Reset();
        m_byTexts.Bind(1, row.m_strDate).Bind(2, row.m_strDistance).Bind(3, row.m_strFuel);
        m_byTexts.Bind(4, row.m_strCorrection).Bind(5, row.m_strRefuel).Bind(6, row.m_strError);
        while ((step = m_byTexts.Step()) == SQLITE_ROW) take(m_byTexts);
        return step == SQLITE_DONE;
    }

private:
    Statement m_byBytes;
    Statement m_byTexts;
};

// What a read overlaps of one vehicle: where its records of the vehicle lie in the block, and the
// newest read that stored one of them.
struct Overlap {
    std::size_t first = 0;
    std::size_t last = 0;
    std::int64_t newestRead = 0;
};

// Where the meter that gave a read overlapping these vehicles sits now, by the moves the user
// declared (ReadTarget): the vehicle the records of every one of them lead to, through the first
// move out of a vehicle after its records were stored and on through the moves after that. 0 when
// they lead to different vehicles. False when the file cannot be read.
bool MovedTo(sqlite3* db, const std::map<std::int64_t, Overlap>& overlap, std::int64_t* to) {
    *to = 0;
    Statement next(db,
                   "SELECT vehicle_id, read_id FROM moves WHERE from_id = ? AND read_id > ? "
                   "ORDER BY read_id LIMIT 1");
    if (!next.Ok()) return false;
    for (const auto& [vehicle, held] : overlap) {
        std::int64_t at = vehicle, after = held.newestRead;
        for (;;) {  // each move later than the one before: the walk ends
            next.Reset();
            next.Bind(1, at).Bind(2, after);
            const int step = next.Step();
            if (step == SQLITE_DONE) break;
            if (step != SQLITE_ROW) return false;
            at = next.Int(0);
            after = next.Int(1);
        }
        if (*to != 0 && *to != at) {
            *to = 0;
            return true;
        }
        *to = at;
    }
    return true;
}

// A vehicle's name as the reasons quote it.
std::string Quoted(const std::string& name) { return "「" + name + "」"; }

std::string Joined(const std::vector<std::string>& names, const char* between) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : between) + name;
    return text;
}

// A logbook of an earlier layout, looked at as today's: before version 3 every read and record
// the first vehicle's; before version 4 every vehicle's currency the default and no prices or
// odometer readings. Views of the connection's own (TEMP), which SQLite finds before the file's
// tables of the same names; nothing of them reaches the file. Empty for today's layout.
std::string EarlierLayoutViews(std::int64_t version) {
    std::string views;
    const std::string currency = std::string("'") + kDefaultCurrency + "' AS currency";
    if (version < kVehiclesVersion) {
        views += "CREATE TEMP VIEW vehicles AS SELECT 1 AS id, '" + std::string(kFirstVehicleName) +
                 "' AS name, '' AS note, " + currency + ";";
        views +=
            "CREATE TEMP VIEW reads AS SELECT *, 1 AS vehicle_id FROM main.reads;"
            "CREATE TEMP VIEW records AS SELECT *, 1 AS vehicle_id FROM main.records;"
            "CREATE TEMP VIEW moves AS SELECT 0 AS id, 0 AS vehicle_id, 0 AS from_id, 0 AS "
            "read_id WHERE 0;";
    } else if (version < kPricesVersion) {
        views += "CREATE TEMP VIEW vehicles AS SELECT *, " + currency + " FROM main.vehicles;";
    }
    if (version < kPricesVersion) {
        views +=
            "CREATE TEMP VIEW prices AS SELECT 0 AS record_id, '' AS kind, 0 AS amount WHERE 0;"
            "CREATE TEMP VIEW odometer AS SELECT 0 AS record_id, 0 AS reading WHERE 0;";
    }
    return views;
}

// The name of the folder a file is in ("" where the path names none).
std::string FolderOf(const std::string& path) {
    const auto end = path.find_last_of("/\\");
    if (end == std::string::npos || end == 0) return {};
    const auto start = path.find_last_of("/\\", end - 1);
    return path.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1));
}

// A file's name without its folder and its last extension.
std::string StemOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

// A price's kind as the prices table keeps it (its CHECK names the same two).
const char* KindText(PriceKind kind) { return kind == PriceKind::kTotal ? "total" : "litre"; }
PriceKind KindOf(const std::string& text) {
    return text == "total" ? PriceKind::kTotal : PriceKind::kPerLitre;
}

// The odometer at each record of count in the list's order (at(p): the p-th), from the readings
// given (odometerGiven, odometer set): in each stretch, which an open gap ends, forward from a
// given reading by each later record's distance, and backward from the stretch's first given
// reading by each record's own distance. A stretch without one has none; below 0 is none.
template <typename At>
void FollowOdometer(std::size_t count, const At& at) {
    auto set = [](RecordFigures& r, std::int64_t reading) {
        r.odometer = reading >= 0 ? reading : RecordFigures::kNoOdometer;
    };
    for (std::size_t start = 0, end = 0; start < count; start = end) {
        end = start + 1;
        while (end < count && !at(end).GapBefore()) ++end;
        std::size_t given = start;
        while (given < end && !at(given).odometerGiven) ++given;
        if (given == end) continue;
        std::int64_t reading = at(given).odometer;
        for (std::size_t p = given; p > start; --p) {
            reading -= at(p).distance;
            set(at(p - 1), reading);
        }
        reading = at(given).odometer;
        for (std::size_t p = given + 1; p < end; ++p) {
            RecordFigures& r = at(p);
            if (r.odometerGiven) {
                reading = r.odometer;  // a second one, as a merge may bring: the later rules
                continue;
            }
            reading += r.distance;
            set(r, reading);
        }
    }
}

// Why an amount cannot be a price.
Reason AmountProblem() {
    const std::string most = AmountText(kMaxPriceAmount);
    return {"a price must be above 0 and at most " + most,
            "価格は0より大きく" + most + "以下にしてください"};
}

}  // namespace

std::optional<Reason> VehicleNameProblem(const std::string& name) {
    auto problem = [](const char* en, const char* ja) {
        return std::optional<Reason>(Reason{en, ja});
    };
    if (name.empty()) return problem("a vehicle's name cannot be empty", "車両の名前が空です");
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return problem("a vehicle's name cannot hold a line break or other control character",
                           "車両の名前に改行などの制御文字は使えません");
        }
    }
    // An ASCII or an ideographic space at either end (a name of only spaces has them too).
    static const std::string wide = "\u3000";
    auto spaced = [&name](const std::string& space, bool atStart) {
        if (name.size() < space.size()) return false;
        return name.compare(atStart ? 0 : name.size() - space.size(), space.size(), space) == 0;
    };
    if (spaced(" ", true) || spaced(" ", false) || spaced(wide, true) || spaced(wide, false)) {
        return problem("a vehicle's name cannot begin or end with a space",
                       "車両の名前の前後に空白は使えません");
    }
    if (!Utf8ToCp932(name)) {
        return problem("a vehicle's name must be text that can be written in CP932",
                       "車両の名前に使えない文字が含まれています");
    }
    return std::nullopt;
}

std::string VehicleOrFirst(const std::vector<Vehicle>& vehicles, const std::string& wanted) {
    for (const Vehicle& v : vehicles) {
        if (v.name == wanted) return v.name;
    }
    return vehicles.empty() ? std::string() : vehicles.front().name;
}

std::optional<Reason> CurrencyProblem(const std::string& code) {
    const bool letters = code.size() == 3 && std::all_of(code.begin(), code.end(), [](char c) {
                             return c >= 'A' && c <= 'Z';
                         });
    if (letters) return std::nullopt;
    return Reason{"\"" + code + "\" is no currency: a code of three letters A to Z (JPY, EUR, USD)",
                  "「" + code + "」は通貨ではありません（A～Zの3文字のコード: JPY、EUR、USD）"};
}

Logbook::~Logbook() { sqlite3_close(m_db); }

Failure Logbook::Failed(const char* doing) const {
    const std::string what = std::string(doing) + ": ";
    if (m_db == nullptr) return FailureOf(m_path, what + "there is no logbook yet");
    if (m_busy.interrupted && sqlite3_errcode(m_db) == SQLITE_BUSY) {
        return FailureOf(m_path, what + "interrupted while another program held the logbook");
    }
    return FailureOf(m_path, what + sqlite3_errmsg(m_db));
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

std::unique_ptr<Logbook> Logbook::Open(const std::string& path, Failure* error,
                                       LogbookAccess access, int busyMs) {
    auto refuse = [error](Failure why) -> std::unique_ptr<Logbook> {
        if (error) *error = std::move(why);
        return nullptr;
    };
    if (path.empty()) return refuse(FailureOf(path, "no working directory to keep the logbook in"));
    const bool write = access == LogbookAccess::kWrite;
    auto none = [&path] { return std::unique_ptr<Logbook>(new Logbook(nullptr, path)); };
    Failure why;
    switch (LookBeforeOpening(path, write, &why)) {
        case FileVerdict::kRefused: return refuse(why);
        case FileVerdict::kNothing: return none();
        case FileVerdict::kUse: break;
    }

    sqlite3* db = nullptr;
    // A logbook is used by one thread at a time, so SQLite need not lock around every call (a
    // seventh of the time a million records take to read).
    const int flags = (write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
                      SQLITE_OPEN_NOMUTEX;
    const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    std::unique_ptr<Logbook> book(new Logbook(db, path));
    if (opened != SQLITE_OK) return refuse(book->Failed("open"));
    // Two programs merging at once (the window and a scheduled odomei-cli): one waits.
    book->m_busy.ms = busyMs;
    sqlite3_busy_handler(db, &Logbook::WaitWhileBusy, &book->m_busy);

    const FileState state = ReadyFile(
        db, path, write, [&book](const char* doing) { return book->Failed(doing); }, &why);
    if (state.verdict == FileVerdict::kRefused) return refuse(why);
    if (state.verdict == FileVerdict::kNothing) return none();
    book->m_version = state.version;
    book->m_write = write;
    const std::string views = EarlierLayoutViews(state.version);
    if (!views.empty() && sqlite3_exec(db, views.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        return refuse(book->Failed("read"));
    }
    return book;
}

std::optional<MergeCounts> MergeRead(const std::string& path, const MeterReading& reading,
                                     const LocalTime& at, const ReadTarget& target,
                                     Failure* error) {
    const auto book = Logbook::Open(path, error, LogbookAccess::kWrite);
    return book ? book->Merge(reading, at, target, error) : std::nullopt;
}

bool Logbook::Writable(Failure* error) const {
    // A look at today's layout is left to SQLite to refuse (a read-only file says so); one at an
    // earlier layout sees it through the views, which take nothing.
    if (m_db != nullptr && (m_write || m_version == kSchemaVersion)) return true;
    if (error) {
        *error = m_db == nullptr ? Failed("store")
                                 : FailureOf(m_path,
                                             "store: the logbook was opened only to look "
                                             "at it in its earlier layout");
    }
    return false;
}

bool Logbook::Begin(Failure* error) {
    if (!Writable(error)) return false;
    // IMMEDIATE: the write lock is taken (or waited for) before anything is read.
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    if (error) *error = Failed("begin");
    return false;
}

bool Logbook::Commit(Failure* error) {
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    if (error) *error = Failed("commit");
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

std::optional<std::int64_t> Logbook::VehicleId(const std::string& name, Failure* error,
                                               bool* missing) const {
    auto none = [&] {
        if (missing) *missing = true;
        if (error) *error = FailureOf(m_path, "no vehicle " + name + " in the logbook");
        return std::nullopt;
    };
    if (missing) *missing = false;
    if (m_db == nullptr) {
        if (name.empty() || name == kFirstVehicleName) return 0;
        return none();
    }
    Statement find(m_db, name.empty() ? "SELECT id FROM vehicles ORDER BY id LIMIT 1"
                                      : "SELECT id FROM vehicles WHERE name = ?");
    if (!find.Ok()) {
        if (error) *error = Failed("read");
        return std::nullopt;
    }
    if (!name.empty()) find.Bind(1, name);
    const int step = find.Step();
    if (step == SQLITE_ROW) return find.Int(0);
    if (step == SQLITE_DONE) return none();
    if (error) *error = Failed("read");
    return std::nullopt;
}

std::optional<std::int64_t> Logbook::NamedVehicleId(const std::string& name, Failure* error) const {
    if (name.empty()) {
        if (error) *error = FailureOf(m_path, "no vehicle named");
        return std::nullopt;
    }
    return VehicleId(name, error);
}

std::optional<ReadPlace> Logbook::Plan(const MeterReading& reading, const ReadTarget& target,
                                       std::int64_t* vehicleId, Failure* error) const {
    ReadPlace place;
    auto conflict = [&place](ReadConflict kind, std::string en, std::string ja) {
        place.conflict = kind;
        place.vehicle.clear();
        place.why = Reason{std::move(en), std::move(ja)};
        return place;
    };
    bool missing = false;
    Failure lookup;
    const auto targetId = VehicleId(target.vehicle, &lookup, &missing);
    if (!targetId) {
        if (!missing) {
            if (error) *error = lookup;
            return std::nullopt;
        }
        return conflict(ReadConflict::kUnknownVehicle,
                        "the logbook has no vehicle " + target.vehicle,
                        "履歴に車両" + Quoted(target.vehicle) + "はありません");
    }
    *vehicleId = *targetId;
    if (m_db == nullptr) {  // nothing to overlap yet: the first vehicle to be made takes it
        place.vehicle = kFirstVehicleName;
        place.unknown = static_cast<int>(reading.records.size());
        return place;
    }
    auto fail = [&]() -> std::optional<ReadPlace> {
        if (error) *error = Failed("read");
        return std::nullopt;
    };
    Holders holders(m_db);
    if (!holders.Ok()) return fail();
    std::set<std::int64_t> overlap, held;
    std::map<std::int64_t, Overlap> overlaps;
    std::map<std::int64_t, std::int64_t> readIds;
    std::vector<const MeasurementRecord*> unknownRecords;
    for (std::size_t i = 0; i < reading.records.size(); ++i) {
        const MeasurementRecord& m = reading.records[i];
        if (!holders.Of(m, &held, &readIds)) return fail();
        if (held.empty()) unknownRecords.push_back(&m);
        overlap.insert(held.begin(), held.end());
        for (const auto& [vehicle, read] : readIds) {
            const auto [it, first] = overlaps.try_emplace(vehicle, Overlap{i, i, read});
            it->second.last = i;
            if (!first) it->second.newestRead = std::max(it->second.newestRead, read);
        }
    }
    place.unknown = static_cast<int>(unknownRecords.size());
    // The vehicles by name, in the order they were made.
    std::map<std::int64_t, std::string> names;
    {
        Statement all(m_db, "SELECT id, name FROM vehicles ORDER BY id");
        if (!all.Ok()) return fail();
        int step;
        while ((step = all.Step()) == SQLITE_ROW) names.emplace(all.Int(0), all.Text(1));
        if (step != SQLITE_DONE) return fail();
    }
    for (const std::int64_t id : overlap) place.overlapping.push_back(names[id]);
    const std::string& chosen = names[*targetId];

    if (target.meterMoved) {
        place.vehicle = chosen;
        return place;
    }
    // A meter the user said was moved: its later reads follow it (ReadTarget).
    std::int64_t movedTo = 0;
    if (!overlap.empty() && !MovedTo(m_db, overlaps, &movedTo)) return fail();
    if (movedTo != 0) {
        const auto own = overlaps.find(movedTo);
        bool follows;
        if (own == overlaps.end()) {
            // Before the vehicle stored anything of its own: new records are its.
            follows = !unknownRecords.empty() || (target.named && movedTo == *targetId);
        } else {
            follows = overlaps.size() >= 2;
            for (const auto& [vehicle, o] : overlaps) {
                if (vehicle != movedTo && o.last >= own->second.first) follows = false;
            }
        }
        if (follows) {
            if (target.named && movedTo != *targetId) {
                return conflict(
                    ReadConflict::kOtherVehicle,
                    "its meter was moved into " + names[movedTo] + ": its records are " +
                        names[movedTo] + "'s, not " + chosen + "'s",
                    "このメーターは車両" + Quoted(names[movedTo]) + "に移されています（車両" +
                        Quoted(chosen) + "の記録ではありません）");
            }
            place.vehicle = names[movedTo];
            *vehicleId = movedTo;
            return place;
        }
    }
    if (overlap.size() >= 2) {
        return conflict(ReadConflict::kSeveralVehicles,
                        "its records overlap the records of several vehicles: " +
                            Joined(place.overlapping, ", "),
                        "読み出した記録は複数の車両（" + Joined(place.overlapping, "、") +
                            "）の記録と重なっています");
    }
    if (overlap.size() == 1) {
        const std::int64_t owner = *overlap.begin();
        if (owner == *targetId || !target.named) {
            place.vehicle = names[owner];
            *vehicleId = owner;
            return place;
        }
        return conflict(ReadConflict::kOtherVehicle,
                        "its records are " + names[owner] + "'s, not " + chosen + "'s",
                        "読み出した記録は車両" + Quoted(names[owner]) +
                            "の記録と重なっています（車両" + Quoted(chosen) +
                            "の記録ではありません）");
    }
    // Overlapping none: the chosen vehicle's unless its dates say it cannot be. A refuel dated on
    // the vehicle's newest day may be a second one that day.
    Statement span(m_db,
                   "SELECT min(iso_date), max(iso_date), EXISTS(SELECT 1 FROM records WHERE "
                   "vehicle_id = ?1 AND raw IS NOT NULL) FROM records WHERE vehicle_id = ?1");
    if (!span.Ok()) return fail();
    span.Bind(1, *targetId);
    if (span.Step() != SQLITE_ROW) return fail();
    place.vehicle = chosen;
    if (span.Null(0)) return place;  // no dated records: it takes anything
    const std::string oldest = span.Text(0), newest = span.Text(1);
    const bool fromMeter = span.Int(2) != 0;
    // The oldest record inside the span, else the oldest before it, tells why.
    std::optional<std::string> inside, before;
    for (const MeasurementRecord* m : unknownRecords) {
        const auto d = IsoDate(*m);
        if (!d || *d >= newest) continue;
        auto& oldestSoFar = *d >= oldest ? inside : before;
        if (*d >= oldest || fromMeter) {
            if (!oldestSoFar || *d < *oldestSoFar) oldestSoFar = d;
        }
    }
    const std::string range = oldest + " to " + newest, rangeJa = oldest + "～" + newest;
    if (inside) {
        return conflict(
            ReadConflict::kNotThisVehicle,
            "its records of " + *inside + " lie inside " + chosen + "'s records (" + range + ")",
            "読み出した" + *inside + "の記録は車両" + Quoted(chosen) + "の記録（" + rangeJa +
                "）の期間の中にあります");
    }
    if (before) {
        return conflict(ReadConflict::kNotThisVehicle,
                        "its records of " + *before + " are older than " + chosen +
                            "'s records read from its meter (" + range + ")",
                        "読み出した" + *before + "の記録は車両" + Quoted(chosen) + "の記録（" +
                            rangeJa + "）より古い日付です");
    }
    return place;
}

std::optional<ReadPlace> Logbook::Place(const MeterReading& reading, const ReadTarget& target,
                                        Failure* error) const {
    std::int64_t vehicleId = 0;
    return Plan(reading, target, &vehicleId, error);
}

std::optional<MergeCounts> Logbook::Merge(const MeterReading& reading, const LocalTime& at,
                                          const ReadTarget& target, Failure* error) {
    if (!Begin(error)) return std::nullopt;
    // Told again under the write lock: another program may have stored a read meanwhile.
    std::int64_t vehicleId = 0;
    auto place = Plan(reading, target, &vehicleId, error);
    if (!place) return Undo("read", error);
    if (place->conflict != ReadConflict::kNone) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        MergeCounts nothing;
        nothing.place = std::move(*place);
        return nothing;
    }
    auto counts = StoreRead(reading, at, vehicleId, target.meterMoved, error);
    if (!counts || !Commit(error)) return std::nullopt;
    counts->place = std::move(*place);
    return counts;
}

std::optional<std::vector<MergeCounts>> Logbook::Import(const std::vector<ImportFile>& files,
                                                        const std::string& vehicle,
                                                        const LocalTime& at, Failure* error) {
    if (!Begin(error)) return std::nullopt;
    const auto vehicleId = VehicleId(vehicle, error);
    if (!vehicleId) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return std::nullopt;
    }
    std::vector<MergeCounts> counts;
    for (const ImportFile& file : files) {
        const auto stored = StoreImport(file, at, *vehicleId, error);
        if (!stored) return std::nullopt;
        counts.push_back(*stored);
    }
    if (!Commit(error)) return std::nullopt;
    return counts;
}

std::optional<MergeCounts> Logbook::Import(const std::vector<RecordRow>& rows,
                                           const std::string& origin, const std::string& vehicle,
                                           const LocalTime& at, Failure* error) {
    const auto counts = Import({ImportFile{origin, rows}}, vehicle, at, error);
    return counts ? std::optional<MergeCounts>(counts->front()) : std::nullopt;
}

std::optional<std::int64_t> Logbook::AddRead(const ReadRow& read, const std::string& readAt,
                                             std::int64_t vehicleId, Failure* error) {
    Statement add(m_db,
                  "INSERT INTO reads(read_at, source, origin, firmware, block, vehicle_id) "
                  "VALUES(?,?,?,?,?,?)");
    if (!add.Ok()) return Undo("prepare", error);
    add.Bind(1, readAt).Bind(2, std::string(read.source));
    read.origin.empty() ? add.BindNull(3) : add.Bind(3, read.origin);
    read.firmware ? add.Bind(4, *read.firmware) : add.BindNull(4);
    read.block.empty() ? add.BindNull(5) : add.BindBlob(5, read.block.data(), read.block.size());
    add.Bind(6, vehicleId);
    if (add.Step() != SQLITE_DONE) return Undo(read.storing, error);
    return sqlite3_last_insert_rowid(m_db);
}

std::optional<MergeCounts> Logbook::StoreRead(const MeterReading& reading, const LocalTime& at,
                                              std::int64_t vehicleId, bool meterMoved,
                                              Failure* error) {
    auto fail = [&](const char* doing) -> std::optional<MergeCounts> { return Undo(doing, error); };
    const ReadRow read{"meter",
                       "store the read",
                       {},
                       reading.version,
                       std::vector<std::uint8_t>(reading.block.begin(), reading.block.end())};
    const auto readId = AddRead(read, Stamp(at), vehicleId, error);
    if (!readId) return std::nullopt;
    Statement byBytes(m_db, "SELECT id FROM records WHERE raw = ? AND vehicle_id = ?");
    Statement upgrade(m_db, "UPDATE records SET raw = ? WHERE id = ?");
    RecordWriter writer(m_db, vehicleId);
    Holders holders(m_db);
    if (!byBytes.Ok() || !upgrade.Ok() || !writer.Ok() || !holders.Ok()) return fail("prepare");

    MergeCounts counts;
    std::vector<std::int64_t> addedIds;
    std::set<std::int64_t> held, left;  // left: the vehicles that keep records of the read
    for (const MeasurementRecord& m : reading.records) {
        byBytes.Reset();
        byBytes.BindBlob(1, m.raw.data(), m.raw.size()).Bind(2, vehicleId);
        const int found = byBytes.Step();
        if (found == SQLITE_ROW) {
            ++counts.known;
            continue;
        }
        if (found != SQLITE_DONE) return fail("look the record up");
        // By its texts: an imported record the meter now gives again.
        const RecordRow row = RowOf(m);
        const int same = writer.FindByTexts(row);
        if (same != SQLITE_ROW && same != SQLITE_DONE) return fail("look the record up");
        if (same == SQLITE_ROW && writer.FoundImported()) {
            upgrade.Reset();
            upgrade.BindBlob(1, m.raw.data(), m.raw.size()).Bind(2, writer.FoundId());
            if (upgrade.Step() != SQLITE_DONE) return fail("store the record");
            ++counts.upgraded;
            continue;
        }
        // Another vehicle's (the meter was moved): it stays that vehicle's, never copied.
        if (!holders.Of(m, &held)) return fail("look the record up");
        if (!held.empty()) {
            left.insert(held.begin(), held.end());
            ++counts.elsewhere;
            continue;
        }
        if (!writer.Add(*readId, row, m.raw, IsoDate(m))) return fail("store the record");
        addedIds.push_back(sqlite3_last_insert_rowid(m_db));
        ++counts.added;
    }
    if (!FindGap(vehicleId, *readId, addedIds, reading.records, at, &counts.gap)) {
        return fail("look for lost refuels");
    }
    // The move the user declared, from each vehicle that keeps records of the meter: its later
    // reads overlap those vehicles too, and follow the move (ReadTarget).
    if (meterMoved) {
        Statement move(m_db, "INSERT INTO moves(vehicle_id, from_id, read_id) VALUES(?,?,?)");
        if (!move.Ok()) return fail("prepare");
        for (const std::int64_t from : left) {
            if (from == vehicleId) continue;
            move.Reset();
            move.Bind(1, vehicleId).Bind(2, from).Bind(3, *readId);
            if (move.Step() != SQLITE_DONE) return fail("store the meter's move");
        }
    }
    return counts;
}

std::optional<MergeCounts> Logbook::StoreImport(const ImportFile& file, const LocalTime& at,
                                                std::int64_t vehicleId, Failure* error) {
    auto fail = [&](const char* doing) -> std::optional<MergeCounts> { return Undo(doing, error); };
    const auto readId = AddRead({"import", "store the import", file.origin, std::nullopt, {}},
                                Stamp(at), vehicleId, error);
    if (!readId) return std::nullopt;
    RecordWriter writer(m_db, vehicleId);
    if (!writer.Ok()) return fail("prepare");

    MergeCounts counts;
    for (const RecordRow& row : file.rows) {
        // A row imported before, or a record read from the meter with the same texts.
        const int same = writer.FindByTexts(row);
        if (same != SQLITE_ROW && same != SQLITE_DONE) return fail("look the record up");
        if (same == SQLITE_ROW) {
            ++counts.known;
            continue;
        }
        if (!writer.Add(*readId, row, {}, IsoFromText(row.m_strDate))) {
            return fail("store the record");
        }
        ++counts.added;
    }
    return counts;
}

std::nullopt_t Logbook::Undo(const char* doing, Failure* error) {
    if (error) *error = Failed(doing);
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return std::nullopt;
}

bool Logbook::FindGap(std::int64_t vehicleId, std::int64_t readId,
                      const std::vector<std::int64_t>& addedIds,
                      const std::vector<MeasurementRecord>& measured, const LocalTime& at,
                      std::optional<LogbookGap>* gap) {
    // A meter holding fewer than it can keep has dropped none; one known record overlaps.
    if (m_version < kGapsVersion || measured.size() != static_cast<std::size_t>(kMaxRecords) ||
        addedIds.size() != measured.size()) {
        return true;
    }
    // The vehicle must hold refuels read from a meter before: imported rows say nothing of
    // when the meter was last read.
    Statement fromMeter(
        m_db,
        "SELECT EXISTS(SELECT 1 FROM records WHERE raw IS NOT NULL AND read_id <> ? "
        "AND vehicle_id = ?)");
    Statement newest(m_db,
                     "SELECT id, date_text, iso_date FROM records WHERE vehicle_id = ? AND "
                     "iso_date IS NOT NULL AND read_id <> ? ORDER BY iso_date DESC, id DESC "
                     "LIMIT 1");
    if (!fromMeter.Ok() || !newest.Ok()) return false;
    fromMeter.Bind(1, readId).Bind(2, vehicleId);
    if (fromMeter.Step() != SQLITE_ROW) return false;
    if (fromMeter.Int(0) == 0) return true;
    newest.Bind(1, vehicleId).Bind(2, readId);
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

std::vector<LogbookGap> Logbook::Gaps(const std::string& vehicle, Failure* error) const {
    std::vector<LogbookGap> gaps;
    if (m_db == nullptr || m_version < kGapsVersion) return gaps;
    const auto vehicleId = VehicleId(vehicle, error);
    if (!vehicleId) return gaps;
    Statement all(m_db,
                  "SELECT g.before_id, g.after_id, b.date_text, a.date_text, reads.read_at, "
                  "g.read_id "
                  "FROM gaps g JOIN records b ON b.id = g.before_id "
                  "JOIN records a ON a.id = g.after_id JOIN reads ON reads.id = g.read_id "
                  "WHERE reads.vehicle_id = ? ORDER BY g.id");
    int step = SQLITE_ERROR;
    if (all.Ok()) all.Bind(1, *vehicleId);
    while (all.Ok() && (step = all.Step()) == SQLITE_ROW) {
        gaps.push_back({all.Int(0), all.Int(1), all.Text(2), all.Text(3), all.Text(4), all.Int(5)});
    }
    if (step != SQLITE_DONE) {
        if (error) *error = Failed("read");
        return {};
    }
    return gaps;
}

std::vector<Vehicle> Logbook::Vehicles(Failure* error) const {
    std::vector<Vehicle> vehicles;
    if (m_db == nullptr) return vehicles;
    Statement all(m_db,
                  "SELECT v.id, v.name, v.note, v.currency, "
                  "(SELECT count(*) FROM records r WHERE r.vehicle_id = v.id), "
                  "(SELECT min(iso_date) FROM records r WHERE r.vehicle_id = v.id), "
                  "(SELECT max(iso_date) FROM records r WHERE r.vehicle_id = v.id), "
                  "(SELECT max(read_at) FROM reads WHERE reads.vehicle_id = v.id AND "
                  "source = 'meter') FROM vehicles v ORDER BY v.id");
    int step = SQLITE_ERROR;
    while (all.Ok() && (step = all.Step()) == SQLITE_ROW) {
        Vehicle v;
        v.id = all.Int(0);
        v.name = all.Text(1);
        v.note = all.Text(2);
        v.currency = all.Text(3);
        v.records = all.Int(4);
        if (!all.Null(5)) v.firstDate = all.Text(5);
        if (!all.Null(6)) v.lastDate = all.Text(6);
        if (!all.Null(7)) v.lastRead = all.Text(7);
        vehicles.push_back(std::move(v));
    }
    if (step != SQLITE_DONE) {
        if (error) *error = Failed("read");
        return {};
    }
    return vehicles;
}

bool Logbook::NameFree(const std::string& name, Failure* error) {
    if (const auto problem = VehicleNameProblem(name)) {
        if (error) *error = Failure{m_path, *problem};
        return false;
    }
    bool missing = false;
    Failure lookup;
    if (VehicleId(name, &lookup, &missing)) {
        if (error) {
            *error = Failure{
                m_path, Reason{"there is a vehicle " + name + " already", kVehicleNameTakenText}};
        }
        return false;
    }
    if (!missing && error) *error = lookup;
    return missing;
}

bool Logbook::Abandon() {
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool Logbook::AddVehicle(const std::string& name, const std::string& note, Failure* error) {
    if (!Begin(error)) return false;
    if (!NameFree(name, error)) return Abandon();
    Statement add(m_db, "INSERT INTO vehicles(name, note) VALUES(?, ?)");
    if (!add.Ok()) return Undo("prepare", error), false;
    add.Bind(1, name).Bind(2, note);
    if (add.Step() != SQLITE_DONE) return Undo("store the vehicle", error), false;
    return Commit(error);
}

bool Logbook::RenameVehicle(const std::string& from, const std::string& to, Failure* error) {
    if (!Begin(error)) return false;
    const auto id = NamedVehicleId(from, error);
    if (!id) return Abandon();
    if (to != from && !NameFree(to, error)) return Abandon();
    Statement rename(m_db, "UPDATE vehicles SET name = ? WHERE id = ?");
    if (!rename.Ok()) return Undo("prepare", error), false;
    rename.Bind(1, to).Bind(2, *id);
    if (rename.Step() != SQLITE_DONE) return Undo("rename the vehicle", error), false;
    return Commit(error);
}

bool Logbook::SetVehicleNote(const std::string& name, const std::string& note, Failure* error) {
    if (!Begin(error)) return false;
    const auto id = NamedVehicleId(name, error);
    if (!id) return Abandon();
    Statement set(m_db, "UPDATE vehicles SET note = ? WHERE id = ?");
    if (!set.Ok()) return Undo("prepare", error), false;
    set.Bind(1, note).Bind(2, *id);
    if (set.Step() != SQLITE_DONE) return Undo("store the note", error), false;
    return Commit(error);
}

namespace {

// Whether the vehicle holds the record: SQLITE_ROW when it does, SQLITE_DONE when not.
int HoldsRecord(sqlite3* db, std::int64_t vehicleId, std::int64_t record) {
    Statement find(db, "SELECT 1 FROM records WHERE id = ? AND vehicle_id = ?");
    if (!find.Ok()) return SQLITE_ERROR;
    find.Bind(1, record).Bind(2, vehicleId);
    return find.Step();
}

}  // namespace

std::optional<std::int64_t> Logbook::RecordOf(const std::string& vehicle, std::int64_t record,
                                              Failure* error) {
    const auto vehicleId = VehicleId(vehicle, error);
    if (!vehicleId) return Abandon(), std::nullopt;
    const int held = HoldsRecord(m_db, *vehicleId, record);
    if (held == SQLITE_ROW) return vehicleId;
    if (held != SQLITE_DONE) return Undo("read", error);
    if (error) {
        const std::string id = std::to_string(record);
        *error = Failure{m_path, Reason{"the vehicle holds no record " + id,
                                        "車両にこの記録（" + id + "）はありません"}};
    }
    return Abandon(), std::nullopt;
}

bool Logbook::SetPrice(const std::string& vehicle, std::int64_t record,
                       const std::optional<Price>& price, Failure* error) {
    if (price && (price->amount <= 0 || price->amount > kMaxPriceAmount)) {
        if (error) *error = Failure{m_path, AmountProblem()};
        return false;
    }
    if (!Begin(error)) return false;
    if (!RecordOf(vehicle, record, error)) return false;
    Statement set(m_db, price ? "INSERT OR REPLACE INTO prices(record_id, kind, amount) "
                                "VALUES(?, ?, ?)"
                              : "DELETE FROM prices WHERE record_id = ?");
    if (!set.Ok()) return Undo("prepare", error), false;
    set.Bind(1, record);
    if (price) set.Bind(2, std::string(KindText(price->kind))).Bind(3, price->amount);
    if (set.Step() != SQLITE_DONE) return Undo("store the price", error), false;
    return Commit(error);
}

std::optional<StatementResult> Logbook::SetPrices(const std::string& vehicle,
                                                  const std::vector<StatementLine>& lines,
                                                  PriceKind kind, Failure* error) {
    for (const StatementLine& line : lines) {
        if (line.amount <= 0 || line.amount > kMaxPriceAmount) {
            const Reason why = AmountProblem();
            const std::string at = std::to_string(line.line);
            if (error) {
                *error = Failure{m_path, {"line " + at + ": " + why.en, at + "行目: " + why.ja}};
            }
            return std::nullopt;
        }
    }
    if (!Begin(error)) return std::nullopt;
    const auto vehicleId = VehicleId(vehicle, error);
    if (!vehicleId) return Abandon(), std::nullopt;
    // Each date's lines in the statement's order, and its refuels oldest first (the list's order
    // within one day).
    std::map<std::string, std::vector<const StatementLine*>> byDate;
    for (const StatementLine& line : lines) byDate[line.isoDate].push_back(&line);
    Statement refuels(m_db,
                      "SELECT id FROM records WHERE vehicle_id = ? AND iso_date = ? ORDER BY id");
    Statement set(m_db, "INSERT OR REPLACE INTO prices(record_id, kind, amount) VALUES(?, ?, ?)");
    if (!refuels.Ok() || !set.Ok()) return Undo("prepare", error);
    StatementResult result;
    for (const auto& [date, dated] : byDate) {
        refuels.Reset();
        refuels.Bind(1, *vehicleId).Bind(2, date);
        std::vector<std::int64_t> ids;
        int step;
        while ((step = refuels.Step()) == SQLITE_ROW) ids.push_back(refuels.Int(0));
        if (step != SQLITE_DONE) return Undo("read", error);
        if (ids.size() != dated.size()) {
            auto& into = ids.empty() ? result.unmatched : result.ambiguous;
            for (const StatementLine* line : dated) into.push_back(*line);
            continue;
        }
        for (std::size_t i = 0; i < ids.size(); ++i) {
            set.Reset();
            set.Bind(1, ids[i]).Bind(2, std::string(KindText(kind))).Bind(3, dated[i]->amount);
            if (set.Step() != SQLITE_DONE) return Undo("store the price", error);
            ++result.set;
        }
    }
    // In the statement's order.
    auto byLine = [](const StatementLine& a, const StatementLine& b) { return a.line < b.line; };
    std::sort(result.unmatched.begin(), result.unmatched.end(), byLine);
    std::sort(result.ambiguous.begin(), result.ambiguous.end(), byLine);
    if (!Commit(error)) return std::nullopt;
    return result;
}

bool Logbook::SetOdometer(const std::string& vehicle, std::int64_t record,
                          std::optional<std::int64_t> reading, Failure* error) {
    if (reading && (*reading < 0 || *reading > kMaxOdometerKm * 100)) {
        if (error) {
            const std::string most = std::to_string(kMaxOdometerKm);
            *error = Failure{m_path,
                             {"an odometer reading must be 0 to " + most + " km",
                              "走行距離計の値は0～" + most + " kmにしてください"}};
        }
        return false;
    }
    if (!Begin(error)) return false;
    if (!RecordOf(vehicle, record, error)) return false;
    // The readings given at the other refuels of its stretch give way to this one.
    std::vector<std::int64_t> replaced;
    if (reading) {
        Failure readError;
        const auto all = Records({vehicle}, &readError);
        if (!readError.Empty()) {
            if (error) *error = readError;
            return Abandon();
        }
        const auto at = std::find_if(all.begin(), all.end(),
                                     [record](const LogbookRecord& r) { return r.id == record; });
        if (at != all.end()) {
            auto start = at, end = at + 1;
            while (start != all.begin() && !start->gapBefore) --start;
            while (end != all.end() && !end->gapBefore) ++end;
            for (auto r = start; r != end; ++r) {
                if (r->odometerGiven && r->id != record) replaced.push_back(r->id);
            }
        }
    }
    Statement drop(m_db, "DELETE FROM odometer WHERE record_id = ?");
    Statement set(m_db, "INSERT OR REPLACE INTO odometer(record_id, reading) VALUES(?, ?)");
    if (!drop.Ok() || !set.Ok()) return Undo("prepare", error), false;
    replaced.push_back(record);
    for (const std::int64_t id : replaced) {
        drop.Reset();
        drop.Bind(1, id);
        if (drop.Step() != SQLITE_DONE) return Undo("store the odometer reading", error), false;
    }
    if (reading) {
        set.Bind(1, record).Bind(2, *reading);
        if (set.Step() != SQLITE_DONE) return Undo("store the odometer reading", error), false;
    }
    return Commit(error);
}

bool Logbook::SetCurrency(const std::string& vehicle, const std::string& code, Failure* error) {
    if (const auto problem = CurrencyProblem(code)) {
        if (error) *error = Failure{m_path, *problem};
        return false;
    }
    if (!Begin(error)) return false;
    const auto id = VehicleId(vehicle, error);
    if (!id) return Abandon();
    Statement set(m_db, "UPDATE vehicles SET currency = ? WHERE id = ?");
    if (!set.Ok()) return Undo("prepare", error), false;
    set.Bind(1, code).Bind(2, *id);
    if (set.Step() != SQLITE_DONE) return Undo("store the currency", error), false;
    return Commit(error);
}

std::optional<std::int64_t> Logbook::RemoveVehicle(const std::string& name, Failure* error) {
    if (!Begin(error)) return std::nullopt;
    const auto id = NamedVehicleId(name, error);
    if (!id) return Abandon(), std::nullopt;
    Statement count(m_db,
                    "SELECT (SELECT count(*) FROM vehicles), "
                    "(SELECT count(*) FROM records WHERE vehicle_id = ?)");
    if (!count.Ok()) return Undo("prepare", error);
    count.Bind(1, *id);
    if (count.Step() != SQLITE_ROW) return Undo("read", error);
    if (count.Int(0) < 2) {
        if (error) {
            *error = Failure{m_path, Reason{"the last vehicle of a logbook cannot be removed (it "
                                            "can be renamed)",
                                            kLastVehicleText}};
        }
        return Abandon(), std::nullopt;
    }
    const std::int64_t records = count.Int(1);
    // Its moves, gaps, prices and readings go first, while its reads and records still tell which
    // are its.
    const char* const steps[] = {
        "DELETE FROM moves WHERE vehicle_id = ?1 OR from_id = ?1 OR "
        "read_id IN (SELECT id FROM reads WHERE vehicle_id = ?1)",
        "DELETE FROM gaps WHERE read_id IN (SELECT id FROM reads WHERE vehicle_id = ?1) OR "
        "before_id IN (SELECT id FROM records WHERE vehicle_id = ?1) OR "
        "after_id IN (SELECT id FROM records WHERE vehicle_id = ?1)",
        "DELETE FROM prices WHERE record_id IN (SELECT id FROM records WHERE vehicle_id = ?1)",
        "DELETE FROM odometer WHERE record_id IN (SELECT id FROM records WHERE vehicle_id = ?1)",
        "DELETE FROM records WHERE vehicle_id = ?1",
        "DELETE FROM reads WHERE vehicle_id = ?1",
        "DELETE FROM vehicles WHERE id = ?1",
    };
    for (const char* sql : steps) {
        Statement step(m_db, sql);
        if (!step.Ok()) return Undo("prepare", error);
        step.Bind(1, *id);
        if (step.Step() != SQLITE_DONE) return Undo("remove the vehicle", error);
    }
    if (!Commit(error)) return std::nullopt;
    return records;
}

std::optional<LogbookMergeCounts> Logbook::MergeLogbook(const std::string& path,
                                                        const std::string& as, Failure* error) {
    if (!Writable(error)) return std::nullopt;
    auto refuse = [&](std::string en, std::string ja) -> std::optional<LogbookMergeCounts> {
        if (error) *error = Failure{path, Reason{std::move(en), std::move(ja)}};
        return std::nullopt;
    };
    Failure opening;
    const auto other = Open(path, &opening, LogbookAccess::kLook);
    if (!other) {
        if (error) *error = opening;
        return std::nullopt;
    }
    if (!other->Exists()) {
        return refuse("there is no logbook to merge", "統合する履歴がありません");
    }
    const char* mine = sqlite3_db_filename(m_db, "main");
    const char* theirs = sqlite3_db_filename(other->m_db, "main");
    if (mine != nullptr && theirs != nullptr && std::string(mine) == theirs) {
        return refuse("a logbook cannot be merged into itself", "同じ履歴は統合できません");
    }
    Failure reading;
    const auto vehicles = other->Vehicles(&reading);
    if (!reading.Empty()) {
        if (error) *error = reading;
        return std::nullopt;
    }
    if (vehicles.size() != 1) {
        return refuse("it holds several vehicles: only a logbook of one car can become a vehicle",
                      "複数の車両を含む履歴は統合できません");
    }
    // The vehicle's name: as given, else the folder's (the "folder per car"), else the file's.
    LogbookMergeCounts counts;
    counts.vehicle = as;
    if (counts.vehicle.empty()) {
        const std::string folder = FolderOf(theirs != nullptr && *theirs ? theirs : path);
        counts.vehicle = VehicleNameProblem(folder) ? StemOf(path) : folder;
    }
    if (const auto problem = VehicleNameProblem(counts.vehicle)) {
        if (error) *error = Failure{path, *problem};
        return std::nullopt;
    }

    if (!Begin(error)) return std::nullopt;
    auto fail = [&](const char* doing) -> std::optional<LogbookMergeCounts> {
        return Undo(doing, error);
    };
    bool missing = false;
    auto vehicleId = VehicleId(counts.vehicle, error, &missing);
    if (!vehicleId && !missing) return Abandon(), std::nullopt;
    const std::string& currency = vehicles.front().currency;
    if (!vehicleId) {
        Statement add(m_db, "INSERT INTO vehicles(name, note, currency) VALUES(?, ?, ?)");
        if (!add.Ok()) return fail("prepare");
        add.Bind(1, counts.vehicle).Bind(2, vehicles.front().note).Bind(3, currency);
        if (add.Step() != SQLITE_DONE) return fail("store the vehicle");
        vehicleId = sqlite3_last_insert_rowid(m_db);
        counts.madeVehicle = true;
    } else {
        // Its prices are in its currency: into a vehicle keeping another they would be wrong.
        Statement ours(m_db, "SELECT currency FROM vehicles WHERE id = ?");
        Statement theirPrices(other->m_db, "SELECT count(*) FROM prices");
        if (!ours.Ok() || !theirPrices.Ok()) return fail("prepare");
        ours.Bind(1, *vehicleId);
        if (ours.Step() != SQLITE_ROW || theirPrices.Step() != SQLITE_ROW) return fail("read");
        if (ours.Text(0) != currency && theirPrices.Int(0) > 0) {
            Abandon();
            return refuse("its prices are in " + currency + ", the vehicle " + counts.vehicle +
                              "'s in " + ours.Text(0) + " (set the vehicle's currency first)",
                          "統合する履歴の価格の通貨は" + currency + "、車両" +
                              Quoted(counts.vehicle) + "の通貨は" + ours.Text(0) +
                              "です（先に車両の通貨を設定してください）");
        }
    }

    // Its reads: one already there (the same time, source, origin, version and block) is that
    // one.
    std::map<std::int64_t, std::int64_t> readIds;  // theirs: ours
    {
        Statement theirReads(other->m_db,
                             "SELECT id, read_at, source, origin, firmware, block FROM reads "
                             "ORDER BY id");
        Statement same(m_db,
                       "SELECT id FROM reads WHERE vehicle_id = ? AND read_at = ? AND source = ? "
                       "AND origin IS ? AND firmware IS ? AND block IS ?");
        Statement add(m_db,
                      "INSERT INTO reads(read_at, source, origin, firmware, block, vehicle_id) "
                      "VALUES(?,?,?,?,?,?)");
        if (!theirReads.Ok() || !same.Ok() || !add.Ok()) return fail("prepare");
        auto bindRead = [&theirReads](Statement& to, int first) {
            to.Bind(first, theirReads.Text(1)).Bind(first + 1, theirReads.Text(2));
            theirReads.Null(3) ? to.BindNull(first + 2) : to.Bind(first + 2, theirReads.Text(3));
            theirReads.Null(4) ? to.BindNull(first + 3) : to.Bind(first + 3, theirReads.Text(4));
            theirReads.Null(5) ? to.BindNull(first + 4)
                               : to.BindBlob(first + 4, theirReads.Blob(5), theirReads.Bytes(5));
        };
        int step;
        while ((step = theirReads.Step()) == SQLITE_ROW) {
            same.Reset();
            same.Bind(1, *vehicleId);
            bindRead(same, 2);
            add.Reset();
            bindRead(add, 1);
            add.Bind(6, *vehicleId);
            const int found = same.Step();
            if (found == SQLITE_ROW) {
                readIds[theirReads.Int(0)] = same.Int(0);
                continue;
            }
            if (found != SQLITE_DONE) return fail("look the read up");
            if (add.Step() != SQLITE_DONE) return fail("store the read");
            readIds[theirReads.Int(0)] = sqlite3_last_insert_rowid(m_db);
            ++counts.reads;
        }
        if (step != SQLITE_DONE) return fail("read the other logbook");
    }

    // Its records: by their bytes, or an imported one by its texts, as a merge matches them.
    std::map<std::int64_t, std::int64_t> recordIds;  // theirs: ours
    {
        Statement theirRecords(other->m_db,
                               "SELECT id, raw, read_id, date_text, distance_text, fuel_text, "
                               "correction_text, refuel_text, error_text, iso_date, distance, "
                               "fuel, correction, refuel FROM records ORDER BY id");
        Statement byBytes(m_db, "SELECT id FROM records WHERE raw = ? AND vehicle_id = ?");
        Statement upgrade(m_db, "UPDATE records SET raw = ? WHERE id = ?");
        Statement add(m_db,
                      "INSERT INTO records(raw, read_id, date_text, distance_text, fuel_text, "
                      "correction_text, refuel_text, error_text, iso_date, distance, fuel, "
                      "correction, refuel, vehicle_id) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        RecordWriter writer(m_db, *vehicleId);
        if (!theirRecords.Ok() || !byBytes.Ok() || !upgrade.Ok() || !add.Ok() || !writer.Ok()) {
            return fail("prepare");
        }
        int step;
        while ((step = theirRecords.Step()) == SQLITE_ROW) {
            const std::int64_t theirId = theirRecords.Int(0);
            const bool imported = theirRecords.Null(1);
            if (!imported) {
                byBytes.Reset();
                byBytes.BindBlob(1, theirRecords.Blob(1), theirRecords.Bytes(1));
                byBytes.Bind(2, *vehicleId);
                const int found = byBytes.Step();
                if (found == SQLITE_ROW) {
                    recordIds[theirId] = byBytes.Int(0);
                    ++counts.known;
                    continue;
                }
                if (found != SQLITE_DONE) return fail("look the record up");
            }
            const RecordRow row{theirRecords.Text(3), theirRecords.Text(4), theirRecords.Text(5),
                                theirRecords.Text(6), theirRecords.Text(7), theirRecords.Text(8)};
            const int same = writer.FindByTexts(row);
            if (same != SQLITE_ROW && same != SQLITE_DONE) return fail("look the record up");
            // An imported record of theirs is any record with its texts; one of their meter's is
            // an imported one of ours, its bytes now known.
            if (same == SQLITE_ROW && (imported || writer.FoundImported())) {
                if (!imported) {
                    upgrade.Reset();
                    upgrade.BindBlob(1, theirRecords.Blob(1), theirRecords.Bytes(1));
                    upgrade.Bind(2, writer.FoundId());
                    if (upgrade.Step() != SQLITE_DONE) return fail("store the record");
                }
                recordIds[theirId] = writer.FoundId();
                ++counts.known;
                continue;
            }
            const auto read = readIds.find(theirRecords.Int(2));
            if (read == readIds.end()) return fail("find the record's read");
            add.Reset();
            imported ? add.BindNull(1)
                     : add.BindBlob(1, theirRecords.Blob(1), theirRecords.Bytes(1));
            add.Bind(2, read->second);
            for (int c = 3; c <= 8; ++c) add.Bind(c, theirRecords.Text(c));
            theirRecords.Null(9) ? add.BindNull(9) : add.Bind(9, theirRecords.Text(9));
            for (int c = 10; c <= 13; ++c) add.Bind(c, theirRecords.Int(c));
            add.Bind(14, *vehicleId);
            if (add.Step() != SQLITE_DONE) return fail("store the record");
            recordIds[theirId] = sqlite3_last_insert_rowid(m_db);
            ++counts.records;
        }
        if (step != SQLITE_DONE) return fail("read the other logbook");
    }

    // Its gaps, between the same two records.
    if (other->m_version >= kGapsVersion) {
        Statement theirGaps(other->m_db,
                            "SELECT before_id, after_id, read_id FROM gaps ORDER BY id");
        Statement same(m_db,
                       "SELECT EXISTS(SELECT 1 FROM gaps WHERE before_id = ? AND after_id = ?)");
        Statement add(m_db, "INSERT INTO gaps(before_id, after_id, read_id) VALUES(?,?,?)");
        if (!theirGaps.Ok() || !same.Ok() || !add.Ok()) return fail("prepare");
        int step;
        while ((step = theirGaps.Step()) == SQLITE_ROW) {
            const auto before = recordIds.find(theirGaps.Int(0));
            const auto after = recordIds.find(theirGaps.Int(1));
            const auto read = readIds.find(theirGaps.Int(2));
            if (before == recordIds.end() || after == recordIds.end() || read == readIds.end()) {
                continue;  // a gap whose records are gone says nothing any more
            }
            same.Reset();
            same.Bind(1, before->second).Bind(2, after->second);
            if (same.Step() != SQLITE_ROW) return fail("look the gap up");
            if (same.Int(0) != 0) continue;
            add.Reset();
            add.Bind(1, before->second).Bind(2, after->second).Bind(3, read->second);
            if (add.Step() != SQLITE_DONE) return fail("store the gap");
            ++counts.gaps;
        }
        if (step != SQLITE_DONE) return fail("read the other logbook");
    }

    // Its prices and the odometer readings given there, each of the same record; where ours has
    // one already, ours is kept (none of them is ever doubled).
    const struct {
        const char* read;
        const char* add;
        int* added;
    } entered[] = {
        {"SELECT record_id, kind, amount FROM prices ORDER BY record_id",
         "INSERT OR IGNORE INTO prices(record_id, kind, amount) VALUES(?, ?, ?)", &counts.prices},
        {"SELECT record_id, reading FROM odometer ORDER BY record_id",
         "INSERT OR IGNORE INTO odometer(record_id, reading) VALUES(?, ?)", &counts.readings},
    };
    for (const auto& e : entered) {
        Statement given(other->m_db, e.read);
        Statement add(m_db, e.add);
        if (!given.Ok() || !add.Ok()) return fail("prepare");
        const bool isPrice = e.added == &counts.prices;
        int step;
        while ((step = given.Step()) == SQLITE_ROW) {
            const auto record = recordIds.find(given.Int(0));
            if (record == recordIds.end()) continue;
            add.Reset();
            add.Bind(1, record->second);
            isPrice ? add.Bind(2, given.Text(1)).Bind(3, given.Int(2)) : add.Bind(2, given.Int(1));
            if (add.Step() != SQLITE_DONE) return fail("store what was entered");
            *e.added += sqlite3_changes(m_db);
        }
        if (step != SQLITE_DONE) return fail("read the other logbook");
    }
    if (!Commit(error)) return std::nullopt;
    return counts;
}

RecordSheet Logbook::Figures(const RecordQuery& query, Failure* error, SheetTexts texts) const {
    RecordSheet sheet;
    if (m_db == nullptr) return sheet;
    const auto vehicleId = VehicleId(query.vehicle, error);
    if (!vehicleId) return sheet;
    auto failed = [this, error] {
        if (error) *error = Failed("read");
        return RecordSheet();
    };
    // Read in the table's own order: through the vehicles' index SQLite would sort them by id
    // afterwards, about half as fast again for a vehicle of 100 000 records ('+' keeps it off).
    // The date's text only where there is no real date to make it from (each text asked of SQLite
    // costs about as much as SQLite takes to read it); the figures' texts where they are wanted.
    const bool withTexts = texts == SheetTexts::kAll;
    Statement all(m_db, std::string("SELECT id, iso_date, CASE WHEN iso_date IS NULL THEN "
                                    "date_text END, distance, fuel, correction, refuel, "
                                    "raw IS NULL, read_id") +
                            (withTexts ? ", distance_text, fuel_text, correction_text, "
                                         "refuel_text, error_text"
                                       : "") +
                            " FROM records WHERE +vehicle_id = ? ORDER BY id");
    if (!all.Ok()) return failed();
    all.Bind(1, *vehicleId);
    Statement count(m_db, "SELECT count(*) FROM records WHERE vehicle_id = ?");
    if (count.Ok() && count.Bind(1, *vehicleId).Step() == SQLITE_ROW) {
        const auto records = static_cast<std::size_t>(count.Int(0));
        sheet.Reserve(records, withTexts ? records * kRecordTextBytes : 0);
    }
    constexpr int kFirstText = 9;  // the figures' texts' first column
    int step;
    while ((step = all.Step()) == SQLITE_ROW) {
        RecordFigures f;
        f.id = all.Int(0);
        if (const auto day = DayNumber(all.TextView(1))) f.day = static_cast<std::int32_t>(*day);
        f.distance = all.Int(3);
        f.fuel = all.Int(4);
        f.correction = all.Int(5);
        f.refuel = all.Int(6);
        f.imported = all.Int(7) != 0;
        f.readId = all.Int(8);
        if (!withTexts) {
            sheet.Add(f, all.TextView(2));
            continue;
        }
        const std::string_view figureTexts[kFigureTextCount] = {
            all.TextView(kFirstText), all.TextView(kFirstText + 1), all.TextView(kFirstText + 2),
            all.TextView(kFirstText + 3), all.TextView(kFirstText + 4)};
        sheet.Add(f, all.TextView(2), figureTexts);
    }
    if (step != SQLITE_DONE) return failed();
    std::vector<RecordFigures>& records = sheet.Figures();
    // The record with that id (they are in id order here), or none.
    auto withId = [&records](std::int64_t id) -> RecordFigures* {
        const auto it = std::lower_bound(
            records.begin(), records.end(), id,
            [](const RecordFigures& r, std::int64_t wanted) { return r.id < wanted; });
        return it != records.end() && it->id == id ? &*it : nullptr;
    };
    // The prices and the readings given, few beside the records: each found by its record's id
    // (another vehicle's find none). Joined with the records, SQLite would look up each of the
    // vehicle's records in them instead.
    Statement prices(m_db, "SELECT record_id, kind, amount FROM prices");
    Statement readings(m_db, "SELECT record_id, reading FROM odometer");
    if (!prices.Ok() || !readings.Ok()) return failed();
    while ((step = prices.Step()) == SQLITE_ROW) {
        if (RecordFigures* r = withId(prices.Int(0))) {
            r->hasPrice = true;
            r->priceKind = KindOf(prices.Text(1));
            r->priceAmount = prices.Int(2);
        }
    }
    if (step == SQLITE_DONE) {
        while ((step = readings.Step()) == SQLITE_ROW) {
            if (RecordFigures* r = withId(readings.Int(0))) {
                r->odometer = readings.Int(1);
                r->odometerGiven = true;
            }
        }
    }
    if (step != SQLITE_DONE) return failed();
    Failure gapsError;
    const auto gaps = Gaps(query.vehicle, &gapsError);
    if (!gapsError.Empty()) {
        if (error) *error = gapsError;
        return {};
    }
    // A record without a date takes the place of the dated record read before it: each record's
    // place is its date's (that one's), then its id. The logbook mostly holds them so already.
    std::vector<std::pair<std::int32_t, std::uint32_t>> keys;  // the date, the record (id order)
    keys.reserve(records.size());
    std::int32_t last = RecordFigures::kNoDay;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].Dated()) last = records[i].day;
        keys.emplace_back(last, static_cast<std::uint32_t>(i));
    }
    const bool inOrder = std::is_sorted(keys.begin(), keys.end());
    if (!inOrder) std::sort(keys.begin(), keys.end());
    if (!gaps.empty()) {
        // Where each gap shows, in the whole logbook's order (a range only leaves records out).
        std::vector<std::uint32_t> place(keys.size());  // a record's place in that order
        for (std::size_t p = 0; p < keys.size(); ++p) {
            place[keys[p].second] = static_cast<std::uint32_t>(p);
        }
        for (const LogbookGap& g : gaps) {
            const RecordFigures* before = withId(g.beforeId);
            const RecordFigures* after = withId(g.afterId);
            if (before == nullptr || after == nullptr) continue;
            const std::size_t from = place[static_cast<std::size_t>(before - records.data())];
            const std::size_t to = place[static_cast<std::size_t>(after - records.data())];
            if (from >= to) continue;
            // Between the two records may come the read's own (one without a date before its
            // oldest dated one) and older ones (one without a date after the record before): the
            // gap shows before the first of the read's. A record stored after that read fills
            // it: a refuel of its time the logbook did not have when the read found the gap.
            std::optional<std::size_t> first;  // the read's first record there
            bool filled = false;
            for (std::size_t p = from + 1; p <= to && !filled; ++p) {
                const std::int64_t read = records[keys[p].second].readId;
                filled = read > g.readId;
                if (read == g.readId && !first) first = p;
            }
            if (filled || !first) continue;
            RecordFigures& r = records[keys[*first].second];
            if (!r.GapBefore()) r.gap = sheet.AddGap(g.foundAt);
        }
    }
    // Over the whole order: a range may leave out the refuel a reading was given at.
    FollowOdometer(keys.size(),
                   [&](std::size_t p) -> RecordFigures& { return records[keys[p].second]; });
    // Into that order, the range's records alone: in place where they are in it already (a
    // million records' copy saved).
    const DateRange range(query.from, query.to);
    if (inOrder) {
        records.erase(std::remove_if(records.begin(), records.end(),
                                     [&range](const RecordFigures& r) { return !range.Holds(r); }),
                      records.end());
        return sheet;
    }
    std::vector<RecordFigures> ordered;
    ordered.reserve(records.size());
    for (const auto& [date, i] : keys) {
        if (range.Holds(records[i])) ordered.push_back(records[i]);
    }
    records = std::move(ordered);
    return sheet;
}

std::vector<LogbookRecord> Logbook::Records(const RecordQuery& query, Failure* error) const {
    Failure failure;
    const RecordSheet sheet = Figures(query, &failure);
    if (!failure.Empty()) {
        if (error) *error = failure;
        return {};
    }
    const ReadTimes reads = TimesOfReads(&failure);
    if (!failure.Empty()) {
        if (error) *error = failure;
        return {};
    }
    std::vector<LogbookRecord> records;
    records.reserve(sheet.Size());
    for (std::size_t i = 0; i < sheet.Size(); ++i) {
        records.push_back(sheet.Record(i, reads.Of(sheet[i].readId)));
    }
    return records;
}

std::vector<RecordRow> Logbook::TextsOf(const std::string& vehicle,
                                        const std::vector<std::int64_t>& ids,
                                        Failure* error) const {
    std::vector<RecordRow> rows(ids.size());
    if (m_db == nullptr || ids.empty()) return rows;
    auto failed = [&] {
        if (error) *error = Failed("read");
        return std::vector<RecordRow>();
    };
    auto rowOf = [](const Statement& s, int first) {
        return RecordRow{s.Text(first),     s.Text(first + 1), s.Text(first + 2),
                         s.Text(first + 3), s.Text(first + 4), s.Text(first + 5)};
    };
    constexpr const char* kTexts =
        "date_text, distance_text, fuel_text, correction_text, refuel_text, error_text";
    // Many records: the vehicle's read through once, in id order as the ids are; a few: each
    // looked up.
    constexpr std::size_t kLookUpsAtMost = 4096;
    if (ids.size() > kLookUpsAtMost && std::is_sorted(ids.begin(), ids.end())) {
        const auto vehicleId = VehicleId(vehicle, error);
        if (!vehicleId) return {};
        Statement all(m_db, std::string("SELECT id, ") + kTexts +
                                " FROM records WHERE +vehicle_id = ? ORDER BY id");
        if (!all.Ok()) return failed();
        all.Bind(1, *vehicleId);
        std::size_t next = 0;
        int step;
        while (next < ids.size() && (step = all.Step()) == SQLITE_ROW) {
            const std::int64_t id = all.Int(0);
            while (next < ids.size() && ids[next] < id) ++next;
            if (next < ids.size() && ids[next] == id) rows[next++] = rowOf(all, 1);
        }
        if (next < ids.size() && step != SQLITE_DONE) return failed();
        return rows;
    }
    Statement one(m_db, std::string("SELECT ") + kTexts + " FROM records WHERE id = ?");
    if (!one.Ok()) return failed();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        one.Reset();
        const int step = one.Bind(1, ids[i]).Step();
        if (step == SQLITE_ROW) {
            rows[i] = rowOf(one, 0);
        } else if (step != SQLITE_DONE) {
            return failed();
        }
    }
    return rows;
}

const std::string& ReadTimes::Of(std::int64_t id) const {
    static const std::string kNone;
    const auto read =
        std::lower_bound(byId.begin(), byId.end(), id,
                         [](const auto& r, std::int64_t wanted) { return r.first < wanted; });
    return read != byId.end() && read->first == id ? read->second : kNone;
}

ReadTimes Logbook::TimesOfReads(Failure* error) const {
    ReadTimes reads;
    if (m_db == nullptr) return reads;
    Statement times(m_db, "SELECT id, read_at FROM reads ORDER BY id");
    int step = SQLITE_ERROR;
    while (times.Ok() && (step = times.Step()) == SQLITE_ROW) {
        reads.byId.emplace_back(times.Int(0), times.Text(1));
    }
    if (step != SQLITE_DONE) {
        if (error) *error = Failed("read");
        return {};
    }
    return reads;
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

#include "data/Logbook.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <map>
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
    explicit RecordWriter(sqlite3* db)
        : m_byTexts(db,
                    "SELECT id, raw IS NULL FROM records WHERE date_text=? AND distance_text=? AND "
                    "fuel_text=? AND correction_text=? AND refuel_text=? AND error_text=? "
                    "ORDER BY raw IS NULL DESC, id LIMIT 1"),
          m_insert(db,
                   "INSERT INTO records(raw, read_id, date_text, distance_text, fuel_text, "
                   "correction_text, refuel_text, error_text, iso_date, distance, fuel, "
                   "correction, refuel) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)") {}
    bool Ok() const { return m_byTexts.Ok() && m_insert.Ok(); }

    // Looks for a stored record with the row's texts, an imported one first, then the oldest:
    // SQLITE_ROW when there is one (FoundId, FoundImported), SQLITE_DONE when there is none.
    int FindByTexts(const RecordRow& row) {
        m_byTexts.Reset();
        m_byTexts.Bind(1, row.m_strDate).Bind(2, row.m_strDistance).Bind(3, row.m_strFuel);
        m_byTexts.Bind(4, row.m_strCorrection).Bind(5, row.m_strRefuel).Bind(6, row.m_strError);
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
        return m_insert.Step() == SQLITE_DONE;
    }

private:
    Statement m_byTexts;
    Statement m_insert;
};

}  // namespace

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
    const int flags = (write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
                      SQLITE_OPEN_FULLMUTEX;
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
    return book;
}

std::optional<MergeCounts> MergeRead(const std::string& path, const MeterReading& reading,
                                     const LocalTime& at, Failure* error) {
    const auto book = Logbook::Open(path, error, LogbookAccess::kWrite);
    return book ? book->Merge(reading, at, error) : std::nullopt;
}

bool Logbook::Begin(Failure* error) {
    if (m_db == nullptr) {
        if (error) *error = Failed("store");
        return false;
    }
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

std::optional<MergeCounts> Logbook::Merge(const MeterReading& reading, const LocalTime& at,
                                          Failure* error) {
    if (!Begin(error)) return std::nullopt;
    const auto counts = StoreRead(reading, at, error);
    return counts && Commit(error) ? counts : std::nullopt;
}

std::optional<std::vector<MergeCounts>> Logbook::Import(const std::vector<ImportFile>& files,
                                                        const LocalTime& at, Failure* error) {
    if (!Begin(error)) return std::nullopt;
    std::vector<MergeCounts> counts;
    for (const ImportFile& file : files) {
        const auto stored = StoreImport(file, at, error);
        if (!stored) return std::nullopt;
        counts.push_back(*stored);
    }
    if (!Commit(error)) return std::nullopt;
    return counts;
}

std::optional<MergeCounts> Logbook::Import(const std::vector<RecordRow>& rows,
                                           const std::string& origin, const LocalTime& at,
                                           Failure* error) {
    const auto counts = Import({ImportFile{origin, rows}}, at, error);
    return counts ? std::optional<MergeCounts>(counts->front()) : std::nullopt;
}

std::optional<std::int64_t> Logbook::AddRead(const ReadRow& read, const LocalTime& at,
                                             Failure* error) {
    Statement add(m_db,
                  "INSERT INTO reads(read_at, source, origin, firmware, block) VALUES(?,?,?,?,?)");
    if (!add.Ok()) return Undo("prepare", error);
    add.Bind(1, Stamp(at)).Bind(2, std::string(read.source));
    read.origin.empty() ? add.BindNull(3) : add.Bind(3, read.origin);
    read.firmware ? add.Bind(4, *read.firmware) : add.BindNull(4);
    read.block.empty() ? add.BindNull(5) : add.BindBlob(5, read.block.data(), read.block.size());
    if (add.Step() != SQLITE_DONE) return Undo(read.storing, error);
    return sqlite3_last_insert_rowid(m_db);
}

std::optional<MergeCounts> Logbook::StoreRead(const MeterReading& reading, const LocalTime& at,
                                              Failure* error) {
    auto fail = [&](const char* doing) -> std::optional<MergeCounts> { return Undo(doing, error); };
    const ReadRow read{"meter",
                       "store the read",
                       {},
                       reading.version,
                       std::vector<std::uint8_t>(reading.block.begin(), reading.block.end())};
    const auto readId = AddRead(read, at, error);
    if (!readId) return std::nullopt;
    Statement byBytes(m_db, "SELECT id FROM records WHERE raw = ?");
    Statement upgrade(m_db, "UPDATE records SET raw = ? WHERE id = ?");
    RecordWriter writer(m_db);
    if (!byBytes.Ok() || !upgrade.Ok() || !writer.Ok()) return fail("prepare");

    MergeCounts counts;
    std::vector<std::int64_t> addedIds;
    for (const MeasurementRecord& m : reading.records) {
        byBytes.Reset();
        byBytes.BindBlob(1, m.raw.data(), m.raw.size());
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
        if (!writer.Add(*readId, row, m.raw, IsoDate(m))) return fail("store the record");
        addedIds.push_back(sqlite3_last_insert_rowid(m_db));
        ++counts.added;
    }
    if (!FindGap(*readId, addedIds, reading.records, at, &counts.gap)) {
        return fail("look for lost refuels");
    }
    return counts;
}

std::optional<MergeCounts> Logbook::StoreImport(const ImportFile& file, const LocalTime& at,
                                                Failure* error) {
    auto fail = [&](const char* doing) -> std::optional<MergeCounts> { return Undo(doing, error); };
    const auto readId =
        AddRead({"import", "store the import", file.origin, std::nullopt, {}}, at, error);
    if (!readId) return std::nullopt;
    RecordWriter writer(m_db);
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

std::vector<LogbookGap> Logbook::Gaps(Failure* error) const {
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
        if (error) *error = Failed("read");
        return {};
    }
    return gaps;
}

std::vector<LogbookRecord> Logbook::Records(const std::string& from, const std::string& to,
                                            Failure* error) const {
    std::vector<LogbookRecord> records;
    if (m_db == nullptr) return records;
    Statement all(m_db,
                  "SELECT r.id, date_text, distance_text, fuel_text, correction_text, refuel_text, "
                  "error_text, iso_date, distance, fuel, correction, r.refuel, raw IS NULL, "
                  "reads.read_at, r.read_id FROM records r JOIN reads ON reads.id = r.read_id "
                  "ORDER BY r.id");
    if (!all.Ok()) {
        if (error) *error = Failed("read");
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
        if (error) *error = Failed("read");
        return {};
    }
    Failure gapsError;
    const auto gaps = Gaps(&gapsError);
    if (!gapsError.Empty()) {
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

// Several cars in one logbook, on real SQLite files: where a read goes, what is refused and why,
// each vehicle's figures as a logbook of its own would give them, the upgrade of an older logbook
// (also when killed half-way), two programs reading two cars at once, a "folder per car" logbook
// merged in, and the names a vehicle may have.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "data/Logbook.h"
#include "data/LogbookStats.h"
#include "link/FilePaths.h"
#include "platform/Text.h"
#include "tests/LogbookSupport.h"
#include "tests/TestSupport.h"
#include "tools/metersim/MeterSim.h"

namespace odomei {
namespace {

using Block = std::array<std::uint8_t, kBlockSize>;

void PutLe(std::uint8_t* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A second car's meter, worked out by hand: every refuel 471.00 km (1 200 000 steps of
// 0.0003925 km) on 30.00 L, which the meter measures as 29.40 L at 100.00 %: 15.70 km/L, and a
// factor of 30 / 29.4 = 102.04 % would have made it right. Refuel n is dated in month 1 + n / 3
// of year on day 3, 12 or 21, between the first car's refuels (every eleventh day from January
// 5th); read `read` holds refuels 3 * read to 3 * read + 14, as the simulated meter's reads do.
Block OtherCarBlock(int read, int year = 2013) {
    Block block{};
    block[0] = 0x01;
    for (int k = 0; k < 15; ++k) {
        const int n = read * 3 + k;
        std::uint8_t* r = &block[1 + 14 * k];
        PutLe(r, 294000000, 4);  // 29.40 L in ten-millionths
        PutLe(r + 4, 1200000, 4);
        PutLe(r + 8, 10000, 2);
        PutLe(r + 10, 3000, 2);
        r[12] = static_cast<std::uint8_t>(3 + 9 * (n % 3));
        r[13] = static_cast<std::uint8_t>((year - 2000) << 4 | (1 + n / 3));
    }
    block[211] = '3';
    block[212] = '0';
    block[213] = '1';
    block[214] = '0';
    return block;
}

MeterReading CarA(int read) { return ReadingOf(metersim::SequenceBlock(read)); }
MeterReading CarB(int read, int year = 2013) { return ReadingOf(OtherCarBlock(read, year)); }

const std::string kVan = "配達用バン";

// What SQLite's own check says of the file ("ok" when it is sound).
std::string Integrity(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);  // read-write: a journal left by a killed program rolls back
    sqlite3_stmt* st = nullptr;
    std::string said = "no answer";
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        said = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return said;
}

// A logbook of today's layout taken back to version 3, as ODOMEI stored it before prices: the
// same vehicles, reads, records, gaps and moves, without the prices, the odometer readings and
// the vehicles' currency.
void ToThirdVersion(const std::string& path) {
    test::MakeDatabase(path, R"sql(
DROP TABLE prices;
DROP TABLE odometer;
ALTER TABLE vehicles DROP COLUMN currency;
PRAGMA user_version = 3;
)sql");
}

// Taken back to version 2, as ODOMEI stored it before vehicles: the same reads, records and gaps,
// without the vehicles' table and columns.
void ToSecondVersion(const std::string& path) {
    ToThirdVersion(path);
    test::MakeDatabase(path, R"sql(
CREATE TABLE old_records (
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
INSERT INTO old_records SELECT id, raw, read_id, date_text, distance_text, fuel_text,
    correction_text, refuel_text, error_text, iso_date, distance, fuel, correction, refuel
    FROM records;
DROP TABLE records;
ALTER TABLE old_records RENAME TO records;
CREATE INDEX records_by_texts
    ON records(date_text, distance_text, fuel_text, correction_text, refuel_text, error_text);
DROP INDEX reads_by_vehicle;
ALTER TABLE reads DROP COLUMN vehicle_id;
DROP TABLE moves;
DROP TABLE vehicles;
PRAGMA user_version = 2;
)sql");
}

// What a logbook holds apart from the vehicles: every read (its block in hex), record and gap.
std::string Content(const std::string& path) {
    return test::QueryRows(path,
                           "SELECT id, read_at, source, origin, firmware, hex(block) FROM reads") +
           test::QueryRows(
               path,
               "SELECT id, hex(raw), read_id, date_text, distance_text, fuel_text, "
               "correction_text, refuel_text, error_text, iso_date, distance, fuel, correction, "
               "refuel FROM records") +
           test::QueryRows(path, "SELECT * FROM gaps");
}

// Two summaries, field for field.
void ExpectSameSummary(const LogbookSummary& a, const LogbookSummary& b) {
    EXPECT_EQ(a.records, b.records);
    EXPECT_EQ(a.withoutRefuel, b.withoutRefuel);
    EXPECT_EQ(a.withoutFuel, b.withoutFuel);
    EXPECT_EQ(a.counted, b.counted);
    EXPECT_EQ(a.distance, b.distance);
    EXPECT_EQ(a.refuel, b.refuel);
    EXPECT_EQ(a.fuel, b.fuel);
    EXPECT_EQ(a.kmPerLitre, b.kmPerLitre);
    EXPECT_EQ(a.kmPerLitreByMeter, b.kmPerLitreByMeter);
    EXPECT_EQ(a.errorPercent, b.errorPercent);
    EXPECT_EQ(a.errorSpread, b.errorSpread);
    EXPECT_EQ(a.suggestedCorrection, b.suggestedCorrection);
    EXPECT_EQ(a.correctionRecords, b.correctionRecords);
    EXPECT_EQ(a.gaps, b.gaps);
    ASSERT_EQ(a.periods.size(), b.periods.size());
    for (std::size_t i = 0; i < a.periods.size(); ++i) {
        const FactorPeriod &p = a.periods[i], &q = b.periods[i];
        EXPECT_EQ(p.correction, q.correction);
        EXPECT_EQ(p.firstDate, q.firstDate);
        EXPECT_EQ(p.lastDate, q.lastDate);
        EXPECT_EQ(p.records, q.records);
        EXPECT_EQ(p.counted, q.counted);
        EXPECT_EQ(p.errorPercent, q.errorPercent);
        EXPECT_EQ(p.suggestedCorrection, q.suggestedCorrection);
    }
}

// The records as the list shows them, with their gaps.
std::vector<std::string> Shown(const std::vector<LogbookRecord>& records) {
    std::vector<std::string> rows;
    for (const LogbookRecord& r : records) {
        rows.push_back(r.texts.m_strDate + " " + r.texts.m_strDistance + " " + r.texts.m_strFuel +
                       (r.imported ? " imported" : "") + (r.gapBefore ? " gap" : ""));
    }
    return rows;
}

class Vehicles : public LogbookFile {
protected:
    ReadPlace PlaceOf(const MeterReading& reading, const ReadTarget& target) {
        Failure error;
        const auto book = Logbook::Open(path, &error);
        EXPECT_NE(book, nullptr) << FailureLine(error);
        const auto place = book ? book->Place(reading, target, &error) : std::nullopt;
        EXPECT_TRUE(place) << FailureLine(error);
        return place.value_or(ReadPlace{});
    }
    std::int64_t RecordsOf(Logbook& book, const std::string& vehicle) {
        Failure error;
        const auto records = book.Records({vehicle}, &error);
        EXPECT_TRUE(error.Empty()) << FailureLine(error);
        return static_cast<std::int64_t>(records.size());
    }
};

TEST_F(Vehicles, AReadGoesToTheVehicleItsRecordsOverlapWhicheverIsSelected) {
    auto book = OpenBook();
    Failure error;
    ASSERT_TRUE(book->AddVehicle(kVan, "品川 400 あ 12-34", &error)) << FailureLine(error);
    EXPECT_EQ(Merge(*book, CarA(0)).place.vehicle, kFirstVehicleName);
    EXPECT_EQ(Merge(*book, CarB(0), {kVan}).added, 15);  // the van has none yet: it takes it
    // Each car's next read goes to its own vehicle, whichever is selected.
    const MergeCounts a1 = Merge(*book, CarA(1), {kVan});
    EXPECT_EQ(a1.place.vehicle, kFirstVehicleName);
    EXPECT_EQ(a1.place.overlapping, std::vector<std::string>{kFirstVehicleName});
    EXPECT_EQ(a1.added, 3);
    EXPECT_EQ(a1.known, 12);
    EXPECT_EQ(Merge(*book, CarB(1), {}).place.vehicle, kVan);
    EXPECT_EQ(RecordsOf(*book, kFirstVehicleName), 18);
    EXPECT_EQ(RecordsOf(*book, kVan), 18);

    // Named for another vehicle than its own: kept nowhere, not even the read, and the reason
    // names both. Place tells the same without a write.
    const std::string before = test::ReadBytes(path);
    const ReadTarget named{kVan, true, false};
    EXPECT_EQ(PlaceOf(CarA(2), named).conflict, ReadConflict::kOtherVehicle);
    const MergeCounts refused = Merge(*book, CarA(2), named);
    EXPECT_EQ(refused.place.conflict, ReadConflict::kOtherVehicle);
    EXPECT_EQ(refused.place.why.en,
              "its records are " + std::string(kFirstVehicleName) + "'s, not " + kVan + "'s");
    EXPECT_FALSE(refused.place.why.ja.empty());
    EXPECT_EQ(refused.added + refused.known + refused.upgraded, 0);
    EXPECT_EQ(test::ReadBytes(path), before);
    EXPECT_EQ(book->CountReads(), 4);
    // An unknown vehicle takes nothing either.
    EXPECT_EQ(Merge(*book, CarA(2), {"無い車"}).place.conflict, ReadConflict::kUnknownVehicle);

    // The meter moved into the van: the refuels the first car holds stay its own (never
    // copied), the read and its new ones are the van's.
    const MergeCounts moved = Merge(*book, CarA(3), {kVan, true, true});
    EXPECT_EQ(moved.place.vehicle, kVan);
    EXPECT_EQ(moved.elsewhere, 9);  // refuels 9 to 17
    EXPECT_EQ(moved.added, 6);      // refuels 18 to 23
    EXPECT_EQ(moved.known, 0);
    EXPECT_EQ(RecordsOf(*book, kFirstVehicleName), 18);
    EXPECT_EQ(RecordsOf(*book, kVan), 24);
    // Its next read overlaps both now, and follows the move with nothing asked.
    const MergeCounts next = Merge(*book, CarA(4), {});
    EXPECT_EQ(next.place.conflict, ReadConflict::kNone);
    EXPECT_EQ(next.place.vehicle, kVan);
    EXPECT_EQ(next.place.overlapping, (std::vector<std::string>{kFirstVehicleName, kVan}));
    EXPECT_EQ(next.known, 6);
    EXPECT_EQ(next.elsewhere, 6);
    EXPECT_EQ(next.added, 3);

    // The vehicles' figures.
    const auto vehicles = book->Vehicles(&error);
    ASSERT_EQ(vehicles.size(), 2u) << FailureLine(error);
    EXPECT_EQ(vehicles[0].name, kFirstVehicleName);
    EXPECT_EQ(vehicles[0].records, 18);
    EXPECT_EQ(vehicles[0].firstDate, "2013-01-05");
    EXPECT_EQ(vehicles[1].note, "品川 400 あ 12-34");
    EXPECT_EQ(vehicles[1].records, 27);
    EXPECT_EQ(vehicles[1].firstDate, "2013-01-03");
    EXPECT_EQ(vehicles[1].lastRead, "2026-12-07 10:00:00");
    EXPECT_EQ(VehicleOrFirst(vehicles, kVan), kVan);
    EXPECT_EQ(VehicleOrFirst(vehicles, "removed long ago"), kFirstVehicleName);
    EXPECT_EQ(VehicleOrFirst({}, kVan), "");
}

TEST_F(Vehicles, AMeterMovedIntoAnotherVehicleTakesItsLaterReadsThereAndLeavesTheOldOnesBehind) {
    auto book = OpenBook();
    Failure error;
    ASSERT_TRUE(book->AddVehicle(kVan, "", &error));
    ASSERT_TRUE(book->AddVehicle("軽トラ", "", &error));
    // A logbook of the first car's reads before the move, and one of the refuels since: the
    // reads after it as a meter holding nothing older would give them.
    auto before = Logbook::Open(dir.File("before.sqlite3"), &error, LogbookAccess::kWrite);
    auto since = Logbook::Open(dir.File("since.sqlite3"), &error, LogbookAccess::kWrite);
    ASSERT_TRUE(before && since) << FailureLine(error);
    constexpr int kFirstSince = 18;  // the first refuel after the move
    auto sinceOnly = [](int read) {
        Block block = metersim::SequenceBlock(read);
        for (int k = 0; k < 15 && read * 3 + k < kFirstSince; ++k) {
            std::fill_n(&block[1 + 14 * k], 14, std::uint8_t{0});
        }
        return ReadingOf(block);
    };
    for (int read = 0; read < 2; ++read) {
        Merge(*book, CarA(read));
        Merge(*before, CarA(read));
    }
    const auto carBefore = Shown(book->Records({kFirstVehicleName}));

    // Moved into the van at read 2 (refuels 6 to 20): twelve of them stay the first car's.
    const MergeCounts moved = Merge(*book, CarA(2), {kVan, true, true});
    EXPECT_EQ(moved.elsewhere, 12);
    EXPECT_EQ(moved.added, 3);
    Merge(*since, sinceOnly(2));
    EXPECT_EQ(test::QueryRows(path, "SELECT vehicle_id, from_id FROM moves"), "2|1\n");
    // Three more reads, each overlapping the first car's last refuels and the van's: the van's,
    // with nothing asked, the first car selected or the van named.
    for (int read = 3; read <= 5; ++read) {
        SCOPED_TRACE(read);
        const ReadTarget target{read == 4 ? kVan : std::string(), read == 4, false};
        // Named for the first car, it is refused: its meter sits in the van.
        const ReadPlace refused = PlaceOf(CarA(read), {kFirstVehicleName, true, false});
        EXPECT_EQ(refused.conflict, ReadConflict::kOtherVehicle);
        EXPECT_NE(refused.why.en.find("moved into " + kVan), std::string::npos) << refused.why.en;
        EXPECT_EQ(PlaceOf(CarA(read), target).vehicle, kVan);
        const MergeCounts counts = Merge(*book, CarA(read), target);
        EXPECT_EQ(counts.place.conflict, ReadConflict::kNone);
        EXPECT_EQ(counts.place.vehicle, kVan);
        EXPECT_EQ(counts.place.overlapping, (std::vector<std::string>{kFirstVehicleName, kVan}));
        EXPECT_EQ(counts.elsewhere, kFirstSince - 3 * read);
        EXPECT_EQ(counts.added, 3);
        Merge(*since, sinceOnly(read));
    }
    EXPECT_EQ(Shown(book->Records({kFirstVehicleName})), carBefore);
    // Each vehicle's figures are those of its own logbook.
    const auto car = book->Records({kFirstVehicleName}), van = book->Records({kVan});
    EXPECT_EQ(Shown(car), Shown(before->Records()));
    EXPECT_EQ(Shown(van), Shown(since->Records()));
    EXPECT_EQ(van.size(), 12u);
    ExpectSameSummary(Summarize(car), Summarize(before->Records()));
    ExpectSameSummary(Summarize(van), Summarize(since->Records()));
    // A meter whose records lead to no vehicle taking it from the others stays a question: the
    // pickup's imported refuels 30 to 32 beside the van's, with no move declared between them.
    const MeterReading sixth = CarA(6);
    ASSERT_TRUE(
        book->Import({RowOf(sixth.records[12]), RowOf(sixth.records[13]), RowOf(sixth.records[14])},
                     "pickup.csv", "軽トラ", kAt, &error));
    const MergeCounts several = Merge(*book, sixth, {});
    EXPECT_EQ(several.place.conflict, ReadConflict::kSeveralVehicles);
    EXPECT_EQ(several.place.overlapping, (std::vector<std::string>{kVan, "軽トラ"}));
    EXPECT_EQ(Merge(*book, sixth, {kVan, true, false}).place.conflict,
              ReadConflict::kSeveralVehicles);

    // Removing a vehicle removes its moves; the first car's reads are still its own.
    ASSERT_TRUE(book->RemoveVehicle(kVan, &error)) << FailureLine(error);
    EXPECT_EQ(test::QueryRows(path, "SELECT count(*) FROM moves"), "0\n");
    EXPECT_EQ(Merge(*book, CarA(1)).place.vehicle, kFirstVehicleName);
}

TEST_F(Vehicles, AMeterMovedBeforeItsNewVehicleHadARefuelTakesItsNextNewRecordsThere) {
    auto book = OpenBook();
    Failure error;
    ASSERT_TRUE(book->AddVehicle(kVan, "", &error));
    Merge(*book, CarA(0));
    Merge(*book, CarA(1));
    // Moved into the van right away: all fifteen refuels stay the first car's, the van has none.
    const MergeCounts moved = Merge(*book, CarA(1), {kVan, true, true});
    EXPECT_EQ(moved.elsewhere, 15);
    EXPECT_EQ(moved.added, 0);
    // The same records again bring nothing new: the first car's, as they are.
    EXPECT_EQ(PlaceOf(CarA(1), {}).vehicle, kFirstVehicleName);
    // The meter's next refuels overlap only the first car's records, and go to the van.
    const MergeCounts next = Merge(*book, CarA(2), {});
    EXPECT_EQ(next.place.vehicle, kVan);
    EXPECT_EQ(next.elsewhere, 12);
    EXPECT_EQ(next.added, 3);
    EXPECT_EQ(RecordsOf(*book, kFirstVehicleName), 18);
    EXPECT_EQ(RecordsOf(*book, kVan), 3);
    // Refuels stored in the first car after the move are another meter's: its reads stay there.
    const MeterReading other = CarB(0, 2014);
    EXPECT_EQ(Merge(*book, other, {kFirstVehicleName, true, true}).added, 15);
    EXPECT_EQ(Merge(*book, CarB(1, 2014), {}).place.vehicle, kFirstVehicleName);
}

TEST_F(Vehicles, AReadWhoseDatesCannotBeTheSelectedVehiclesIsAskedAbout) {
    auto book = OpenBook();
    for (int read = 0; read < 3; ++read) Merge(*book, CarA(read));  // 2013-01-05 to 2013-08-13
    // Another car's refuels between the first car's: not the first car's.
    const MergeCounts inside = Merge(*book, CarB(0));
    EXPECT_EQ(inside.place.conflict, ReadConflict::kNotThisVehicle);
    EXPECT_EQ(inside.place.unknown, 15);
    EXPECT_EQ(inside.place.why.en, "its records of 2013-01-12 lie inside " +
                                       std::string(kFirstVehicleName) +
                                       "'s records (2013-01-05 to 2013-08-13)");
    // Older than its oldest, while it holds refuels read from its meter.
    const MergeCounts older = Merge(*book, CarB(0, 2012));
    EXPECT_EQ(older.place.conflict, ReadConflict::kNotThisVehicle);
    EXPECT_NE(older.place.why.en.find("2012-01-03"), std::string::npos) << older.place.why.en;
    EXPECT_EQ(book->CountReads(), 3);
    EXPECT_EQ(book->CountRecords(), 21);
    // The user's word that the meter moved overrides the dates.
    EXPECT_EQ(Merge(*book, CarB(0), {kFirstVehicleName, true, true}).added, 15);

    // A vehicle with only imported records takes older refuels (an import says nothing of
    // which meter), not ones inside its span.
    Failure error;
    ASSERT_TRUE(book->AddVehicle(kVan, "", &error));
    ASSERT_TRUE(book->Import(RowsOf(CarB(4)), "van.csv", kVan, kAt, &error)) << FailureLine(error);
    EXPECT_EQ(Merge(*book, CarB(0, 2012), {kVan}).added, 15);
    // Newer refuels and a second refuel on its newest day are the vehicle's; one day before the
    // newest is not.
    Block sameDay = metersim::SequenceBlock(2);
    sameDay[1 + 14 * 14 + 4] ^= 0x55;  // the newest record's distance changed: another refuel
    Block dayBefore = sameDay;
    dayBefore[1 + 14 * 14 + 12] -= 1;
    for (int k = 0; k < 14; ++k) {  // the rest from the far future, overlapping nothing
        sameDay[1 + 14 * k + 13] = dayBefore[1 + 14 * k + 13] = 0xF1;
    }
    EXPECT_EQ(PlaceOf(ReadingOf(dayBefore), {}).conflict, ReadConflict::kNotThisVehicle);
    EXPECT_EQ(Merge(*book, ReadingOf(sameDay)).added, 15);
}

TEST_F(Vehicles, TheSameBytesInTwoVehiclesAreTwoRecordsAndImportsMatchWithinTheirVehicle) {
    auto book = OpenBook();
    Failure error;
    ASSERT_TRUE(book->AddVehicle(kVan, "", &error));
    // The van's history imported from a CSV file, then the first car's meter gives refuels with
    // the same texts: they stay the van's imported records and are read into the first car.
    ASSERT_TRUE(book->Import(RowsOf(CarA(0)), "van.csv", kVan, kAt, &error));
    ASSERT_TRUE(book->Import(RowsOf(CarA(0)), "again.csv", {}, kAt, &error));
    const MergeCounts read = Merge(*book, CarA(0), {kFirstVehicleName, true, true});
    EXPECT_EQ(read.upgraded, 15);  // the first car's own imports got their bytes
    EXPECT_EQ(read.elsewhere, 0);
    for (const auto& r : book->Records({kVan})) EXPECT_TRUE(r.imported);
    for (const auto& r : book->Records({})) EXPECT_FALSE(r.imported);
    // The van's read of the same bytes: its own records, beside the first car's.
    EXPECT_EQ(Merge(*book, CarA(0), {kVan, true, true}).upgraded, 15);
    EXPECT_EQ(book->CountRecords(), 30);
    EXPECT_EQ(test::QueryRows(path, "SELECT count(DISTINCT raw) FROM records"), "15\n");
    EXPECT_EQ(book->Import(RowsOf(CarA(0)), "x.csv", "無い車", kAt, &error), std::nullopt);
    EXPECT_NE(FailureLine(error).find("無い車"), std::string::npos);
}

TEST_F(Vehicles, EachVehiclesFiguresAreThoseOfALogbookHoldingOnlyItsReads) {
    auto book = OpenBook();
    Failure error;
    ASSERT_TRUE(book->AddVehicle(kVan, "", &error));
    auto aOnly = Logbook::Open(dir.File("a.sqlite3"), &error, LogbookAccess::kWrite);
    auto bOnly = Logbook::Open(dir.File("b.sqlite3"), &error, LogbookAccess::kWrite);
    ASSERT_TRUE(aOnly && bOnly);
    // Reads taken in turns; the van's meter is not read between its read 1 and read 6, so
    // refuels may have been lost there (a gap); the first car's factor changes at refuel 30.
    const int vanReads[] = {0, 1, 6, 7};
    for (int turn = 0; turn < 12; ++turn) {
        const LocalTime at{2026, 1 + turn, 10, 8, 0, 0, 0};
        const auto a = CarA(turn);
        ASSERT_TRUE(book->Merge(a, at, {}, &error));
        ASSERT_TRUE(aOnly->Merge(a, at, {}, &error));
        if (turn < 4) {
            const auto b = CarB(vanReads[turn]);
            ASSERT_EQ(book->Merge(b, at, {kVan}, &error)->place.vehicle, kVan);
            ASSERT_TRUE(bOnly->Merge(b, at, {}, &error));
        }
    }
    const auto carRecords = book->Records({kFirstVehicleName}), vanRecords = book->Records({kVan});
    EXPECT_EQ(Shown(carRecords), Shown(aOnly->Records()));
    EXPECT_EQ(Shown(vanRecords), Shown(bOnly->Records()));
    const LogbookSummary car = Summarize(carRecords), van = Summarize(vanRecords);
    ExpectSameSummary(car, Summarize(aOnly->Records()));
    ExpectSameSummary(van, Summarize(bOnly->Records()));
    EXPECT_EQ(car.periods.size(), 2u);
    EXPECT_EQ(book->Gaps(kVan).size(), 1u);
    EXPECT_TRUE(book->Gaps({}).empty());
    // The van as worked out by hand: 471 km on 30 L, measured as 29.4 L.
    EXPECT_EQ(van.records, 36);
    EXPECT_EQ(van.gaps, 1);
    EXPECT_NEAR(*van.kmPerLitre, 471.0 / 30.0, 1e-9);
    EXPECT_NEAR(*van.suggestedCorrection, 30.0 / 29.4 * 10000, 1e-6);
    // A range keeps to the vehicle too; an unknown one gives nothing, and says so.
    EXPECT_EQ(book->Records({kVan, "2013-01-01", "2013-01-31"}).size(), 3u);
    EXPECT_TRUE(book->Records({"無い車"}, &error).empty());
    EXPECT_FALSE(error.Empty());
}

TEST_F(Vehicles, TwoProgramsReadingTwoCarsIntoOneNewLogbookAtOnceBothSucceed) {
    auto reader = [this](bool van) {
        Failure error;
        auto book = Logbook::Open(path, &error, LogbookAccess::kWrite);
        if (!book) return 1;
        if (van && !book->AddVehicle(kVan, "", &error)) return 2;
        for (int read = 0; read < 10; ++read) {
            const ReadTarget target{van ? kVan : std::string(), van, false};
            const auto counts = book->Merge(van ? CarB(read % 8) : CarA(read), kAt, target, &error);
            if (!counts || counts->place.conflict != ReadConflict::kNone) return 3;
        }
        return 0;
    };
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        if (children[i] == 0) {
            alarm(60);
            _exit(reader(i == 1));
        }
    }
    for (const pid_t child : children) {
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    auto book = OpenBook();
    EXPECT_EQ(RecordsOf(*book, kFirstVehicleName), 15 + 9 * 3);
    EXPECT_EQ(RecordsOf(*book, kVan), 15 + 7 * 3);
    EXPECT_EQ(Integrity(path), "ok");
}

// Each table's columns, as SQLite reports them, the vehicles' defaults too.
std::string Columns(const std::string& path) {
    return test::QueryRows(
               path,
               "SELECT m.name, p.name, p.type, p.\"notnull\", p.pk FROM sqlite_master m "
               "JOIN pragma_table_info(m.name) p WHERE m.type = 'table' ORDER BY "
               "m.name, p.cid") +
           test::QueryRows(path, "SELECT dflt_value FROM pragma_table_info('vehicles')");
}

// A logbook of version 2 or 3, as ODOMEI made it: the layout taken back from today's.
void ToVersion(int version, const std::string& path) {
    version == 2 ? ToSecondVersion(path) : ToThirdVersion(path);
}

TEST_F(Vehicles, AnEarlierVersionLogbookIsLookedAtAsItIsAndUpgradedWithEverythingKept) {
    const std::string fresh = dir.File("fresh.sqlite3");
    ASSERT_NE(Logbook::Open(fresh, nullptr, LogbookAccess::kWrite), nullptr);
    for (const int version : {2, 3}) {
        SCOPED_TRACE("version " + std::to_string(version));
        std::remove(path.c_str());
        {
            auto book = OpenBook();
            Merge(*book, CarA(0));
            Merge(*book, CarA(6));  // refuels 15 to 17 may have been lost: a gap
            Merge(*book, CarA(7));
            Failure error;
            ASSERT_TRUE(book->Import(RowsOf(CarA(20)), "old.csv", {}, kAt, &error));
        }
        ToVersion(version, path);
        const std::string before = test::ReadBytes(path), content = Content(path);
        ASSERT_NE(test::QueryRows(path, "SELECT * FROM gaps"), "");
        Failure error;
        auto look = Logbook::Open(path, &error);
        ASSERT_NE(look, nullptr) << FailureLine(error);
        const auto vehicles = look->Vehicles(&error);
        ASSERT_EQ(vehicles.size(), 1u) << FailureLine(error);
        EXPECT_EQ(vehicles[0].name, kFirstVehicleName);
        EXPECT_EQ(vehicles[0].records, 48);
        EXPECT_EQ(vehicles[0].currency, "JPY");
        const auto records = look->Records({}, &error);
        const auto shown = Shown(records);
        EXPECT_EQ(shown.size(), 48u);
        EXPECT_TRUE(std::none_of(records.begin(), records.end(),
                                 [](const LogbookRecord& r) { return r.price || r.odometer; }));
        EXPECT_EQ(Shown(look->Records({kFirstVehicleName})), shown);
        EXPECT_EQ(look->Gaps(kFirstVehicleName).size(), 1u);
        EXPECT_EQ(look->Place(CarA(8), {}, &error)->overlapping,
                  std::vector<std::string>{kFirstVehicleName});
        EXPECT_FALSE(look->AddVehicle(kVan, "", &error));  // only looked at
        EXPECT_FALSE(look->SetPrice({}, records[0].id, Price{PriceKind::kTotal, 1}, &error));
        look.reset();
        EXPECT_EQ(test::ReadBytes(path), before);

        auto book = OpenBook();
        ASSERT_NE(book, nullptr);
        EXPECT_EQ(Content(path), content);
        EXPECT_EQ(Columns(path), Columns(fresh));
        EXPECT_EQ(test::QueryRows(path,
                                  "SELECT DISTINCT vehicle_id FROM records UNION ALL SELECT "
                                  "DISTINCT vehicle_id FROM reads"),
                  "1\n1\n");
        EXPECT_EQ(Shown(book->Records()), shown);
        // Priced once it is today's, and kept.
        ASSERT_TRUE(book->SetPrice({}, records[0].id, Price{PriceKind::kTotal, 1}, &error));
        EXPECT_EQ(Integrity(path), "ok");
        book.reset();
        const auto again = Logbook::Open(path, &error);  // today's layout
        ASSERT_NE(again, nullptr) << FailureLine(error);
        EXPECT_EQ(again->Records()[0].price, (Price{PriceKind::kTotal, 1}));
    }
    // Version 3's tables under version 4's number are no logbook.
    std::remove(path.c_str());
    Merge(*OpenBook(), CarA(0));
    ToThirdVersion(path);
    test::MakeDatabase(path, "PRAGMA user_version = 4");
    Failure error;
    EXPECT_EQ(Logbook::Open(path, &error), nullptr);
    EXPECT_EQ(FailureLine(error), path + ": not an ODOMEI logbook (it has no table odometer)");
}

TEST_F(Vehicles, AnUpgradeKilledAtAnyMomentLeavesTheWholeOldLogbookOrTheWholeNewOne) {
    // A logbook large enough that its upgrade takes a while: a few thousand records.
    {
        auto book = OpenBook();
        Merge(*book, CarA(0));
    }
    test::MakeDatabase(path, R"sql(
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 6000)
INSERT INTO records(raw, read_id, date_text, distance_text, fuel_text, correction_text,
    refuel_text, error_text, iso_date, distance, fuel, correction, refuel, vehicle_id)
SELECT randomblob(14), 1, '2012年01月01日', i || '.00', '30.00', '100.00', '30.00', '0.00',
    '2012-01-01', i * 100, 3000, 10000, 3000, 1 FROM n;
)sql");
    const std::string today = test::ReadBytes(path);
    // Every version's records, without the vehicle (none before version 3).
    const std::string kRecords =
        "SELECT id, raw, read_id, date_text, distance_text, fuel_text, correction_text, "
        "refuel_text, error_text, iso_date, distance, fuel, correction, refuel FROM records";
    for (const int version : {2, 3}) {
        SCOPED_TRACE("version " + std::to_string(version));
        test::WriteBytes(path, today);
        ToVersion(version, path);
        const std::string original = test::ReadBytes(path);
        const std::string records = test::QueryRows(path, kRecords);
        const std::string schema =
            test::QueryRows(path, "SELECT type, name, sql FROM sqlite_master ORDER BY name");
        const std::string copy = dir.File("copy.sqlite3");
        test::WriteBytes(copy, original);
        const auto started = std::chrono::steady_clock::now();
        ASSERT_NE(Logbook::Open(copy, nullptr, LogbookAccess::kWrite), nullptr);
        const auto upgradeUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now() - started)
                                   .count();

        int old = 0, upgraded = 0;
        constexpr int kKills = 24;
        for (int k = 0; k <= kKills; ++k) {
            SCOPED_TRACE("killed after " + std::to_string(k) + "/" + std::to_string(kKills));
            test::WriteBytes(path, original);
            std::remove((path + "-journal").c_str());
            const pid_t child = fork();
            if (child == 0) {
                alarm(30);
                Logbook::Open(path, nullptr, LogbookAccess::kWrite);
                pause();  // killed, never ending on its own
                _exit(0);
            }
            // From at once to well beyond the time the upgrade takes (the child's start included).
            const long delayUs = static_cast<long>(upgradeUs * 2 * k / kKills);
            const timespec delay{delayUs / 1000000, delayUs % 1000000 * 1000};
            nanosleep(&delay, nullptr);
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            ASSERT_EQ(Integrity(path), "ok");
            const std::string found = test::QueryRows(path, "PRAGMA user_version");
            if (found == std::to_string(version) + "\n") {
                ++old;
                EXPECT_EQ(test::QueryRows(
                              path, "SELECT type, name, sql FROM sqlite_master ORDER BY name"),
                          schema);
                EXPECT_EQ(test::QueryRows(path, kRecords), records);
            } else {
                ++upgraded;
                ASSERT_EQ(found, "4\n");
                EXPECT_EQ(test::QueryRows(path, kRecords), records);
                EXPECT_EQ(
                    test::QueryRows(path, "SELECT count(*) FROM records WHERE vehicle_id <> 1"),
                    "0\n");
                EXPECT_EQ(test::QueryRows(path, "SELECT * FROM vehicles"),
                          "1|" + std::string(kFirstVehicleName) + "||JPY\n");
            }
            // The next open completes what the killed one did not.
            auto book = OpenBook();
            ASSERT_NE(book, nullptr);
            EXPECT_EQ(book->CountRecords(), 6015);
            book.reset();
            EXPECT_EQ(test::QueryRows(path, "PRAGMA user_version"), "4\n");
        }
        std::printf(
            "upgrade of version %d took %lld us; killed %d times before it ended, %d after\n",
            version, static_cast<long long>(upgradeUs), old, upgraded);
    }
}

TEST_F(Vehicles, ALogbookOfOneCarBecomesAVehicleOnceAndNothingIsDoubledTheSecondTime) {
    // The "folder per car" logbook: the van's reads (with a gap) and an import, in version 2.
    std::filesystem::create_directory(dir.File("CarB"));
    const std::string carB = dir.File("CarB/" + std::string(kLogbookFileName));
    {
        Failure error;
        auto other = Logbook::Open(carB, &error, LogbookAccess::kWrite);
        ASSERT_NE(other, nullptr) << FailureLine(error);
        for (const int read : {0, 1, 6}) Merge(*other, CarB(read));
        ASSERT_TRUE(other->Import(RowsOf(CarB(7)), "old.csv", {}, kAt, &error));
        ASSERT_TRUE(other->Gaps().size() == 1u);
    }
    ToSecondVersion(carB);
    const std::string carBBytes = test::ReadBytes(carB);
    auto book = OpenBook();
    Merge(*book, CarA(0));
    Merge(*book, CarB(0));  // not the first car's: refused and kept nowhere
    Failure error;
    const auto merged = book->MergeLogbook(carB, {}, &error);
    ASSERT_TRUE(merged) << FailureLine(error);
    EXPECT_EQ(merged->vehicle, "CarB");
    EXPECT_TRUE(merged->madeVehicle);
    EXPECT_EQ(merged->reads, 4);
    EXPECT_EQ(merged->records, 36);
    EXPECT_EQ(merged->gaps, 1);
    EXPECT_EQ(test::ReadBytes(carB), carBBytes);  // only looked at
    auto look = Logbook::Open(carB, &error);
    EXPECT_EQ(Shown(book->Records({"CarB"})), Shown(look->Records()));
    EXPECT_EQ(
        test::QueryRows(path, "SELECT hex(block) FROM reads WHERE vehicle_id = 2 ORDER BY id"),
        test::QueryRows(carB, "SELECT hex(block) FROM reads ORDER BY id"));
    // Again: nothing new. And the next read of the van's meter goes to the van.
    const auto again = book->MergeLogbook(carB, "CarB", &error);
    ASSERT_TRUE(again) << FailureLine(error);
    EXPECT_FALSE(again->madeVehicle);
    EXPECT_EQ(again->reads + again->records + again->gaps, 0);
    EXPECT_EQ(again->known, 36);
    EXPECT_EQ(book->CountRecords(), 15 + 36);
    EXPECT_EQ(Merge(*book, CarB(7)).place.vehicle, "CarB");

    // Under another name, a vehicle of its own.
    EXPECT_EQ(book->MergeLogbook(carB, "バン2", &error)->records, 36);
    // Refused, each file left as it was: itself, another program's database, a logbook of
    // several vehicles.
    const std::string foreign = dir.File("notes.sqlite3");
    test::MakeDatabase(foreign, "CREATE TABLE notes(text TEXT);");
    const std::string foreignBytes = test::ReadBytes(foreign), mine = test::ReadBytes(path);
    EXPECT_FALSE(book->MergeLogbook(path, "x", &error));
    EXPECT_NE(FailureLine(error).find("itself"), std::string::npos) << FailureLine(error);
    EXPECT_FALSE(book->MergeLogbook(foreign, "x", &error));
    EXPECT_NE(FailureLine(error).find("not an ODOMEI logbook"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(foreign), foreignBytes);
    auto several = Logbook::Open(dir.File("several.sqlite3"), &error, LogbookAccess::kWrite);
    ASSERT_TRUE(several->AddVehicle(kVan, "", &error));
    EXPECT_FALSE(book->MergeLogbook(dir.File("several.sqlite3"), "x", &error));
    EXPECT_EQ(test::ReadBytes(path), mine);
}

TEST_F(Vehicles, ANameMustBeTextAVehicleCanBeKeptUnder) {
    for (const std::string name : {"車両2", "ﾜｺﾞﾝ", "Car B", "社用車（営業）"}) {
        EXPECT_FALSE(VehicleNameProblem(name)) << name;
    }
    for (const std::string name : {"", " ", "　", "a\nb", "a\tb", " x", "x ", "　車", "🚗"}) {
        const auto problem = VehicleNameProblem(name);
        ASSERT_TRUE(problem) << name;
        EXPECT_FALSE(problem->en.empty() || problem->ja.empty());
    }
    auto book = OpenBook();
    Merge(*book, CarA(0));
    Failure error;
    EXPECT_FALSE(book->AddVehicle("a\nb", "", &error));
    EXPECT_FALSE(book->AddVehicle(kFirstVehicleName, "", &error));  // taken
    EXPECT_EQ(error.reason.ja, kVehicleNameTakenText);
    ASSERT_TRUE(book->AddVehicle(kVan, "", &error));
    Merge(*book, CarB(0), {kVan});
    EXPECT_FALSE(book->RenameVehicle(kVan, kFirstVehicleName, &error));
    EXPECT_FALSE(book->RenameVehicle("無い車", "別の名前", &error));
    EXPECT_FALSE(book->RenameVehicle(kVan, "🚗", &error));
    ASSERT_TRUE(book->RenameVehicle(kVan, "バン", &error)) << FailureLine(error);
    EXPECT_EQ(RecordsOf(*book, "バン"), 15);
    ASSERT_TRUE(book->SetVehicleNote("バン", "練馬 480", &error));
    EXPECT_EQ(book->Vehicles()[1].note, "練馬 480");
    EXPECT_TRUE(book->RenameVehicle(kFirstVehicleName, kFirstVehicleName, &error));

    // Removing takes its records, reads and gaps along; never the last vehicle.
    EXPECT_EQ(book->RemoveVehicle(kFirstVehicleName, &error), 15);
    EXPECT_EQ(book->CountRecords(), 15);
    EXPECT_EQ(book->CountReads(), 1);
    EXPECT_EQ(book->RemoveVehicle("バン", &error), std::nullopt);
    EXPECT_EQ(error.reason.ja, kLastVehicleText);
    EXPECT_EQ(book->Vehicles().size(), 1u);
    // The first vehicle is the oldest left.
    EXPECT_EQ(book->Records({}).size(), 15u);
}

TEST(VehicleSetting, IsKeptInTheIniFileInItsEncoding) {
    test::TempDir dir;
    FilePaths paths;
    paths.strCurDir = dir.Path();
    paths.strIniDir = dir.Path() + "/";
    paths.strIniFile = "KORVANA.ini";
    EXPECT_EQ(VehicleSetting(paths), "");
    ASSERT_TRUE(WriteVehicleSetting(paths, "配達用バン"));
    EXPECT_EQ(VehicleSetting(paths), "配達用バン");
    EXPECT_EQ(test::ReadBytes(paths.IniPath()),
              "[Logbook]\r\nVehicle=" + Sjis("配達用バン") + "\r\n");
}

}  // namespace
}  // namespace odomei

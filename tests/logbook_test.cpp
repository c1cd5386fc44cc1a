// The logbook on a real SQLite file: reads merged without doubles, the order of the records, the
// gaps, the summary figures worked out by hand, and files that cannot be used. The import of
// saved CSV files is tested in csv_import_test.cpp.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

#include "data/CsvExport.h"
#include "data/Logbook.h"
#include "data/LogbookStats.h"
#include "platform/Dates.h"
#include "platform/Interrupt.h"
#include "platform/Text.h"
#include "tests/LogbookSupport.h"
#include "tests/TestSupport.h"
#include "tools/metersim/MeterSim.h"

namespace odomei {
namespace {

TEST_F(LogbookFile, OverlappingReadsKeepEachRefuelOnce) {
    auto book = OpenBook();
    const MergeCounts first = Merge(*book, ReadingOf(metersim::SequenceBlock(0)));
    EXPECT_EQ(first.added, 15);
    // Six refuels later: fifteen records of which six are new (three shifted out per read).
    const MergeCounts second = Merge(*book, ReadingOf(metersim::SequenceBlock(2)));
    EXPECT_EQ(second.added, 6);
    EXPECT_EQ(second.known, 9);
    EXPECT_EQ(book->CountRecords(), 21);
    // Fifteen with four new ones (the meter's records 5 to 15, then four refuels it had not
    // given before): nineteen of the first block's kind.
    {
        auto book2 = Logbook::Open(dir.File("second.sqlite3"), nullptr, LogbookAccess::kWrite);
        ASSERT_NE(book2, nullptr);
        const auto first2 = metersim::SequenceBlock(0);
        const auto later = metersim::SampleBlock();
        auto shifted = first2;
        std::copy(first2.begin() + 1 + 4 * 14, first2.begin() + 1 + 15 * 14, shifted.begin() + 1);
        std::copy(later.begin() + 1, later.begin() + 1 + 4 * 14, shifted.begin() + 1 + 11 * 14);
        Merge(*book2, ReadingOf(first2));
        const MergeCounts four = Merge(*book2, ReadingOf(shifted));
        EXPECT_EQ(four.added, 4);
        EXPECT_EQ(four.known, 11);
        EXPECT_EQ(book2->CountRecords(), 19);
    }
    // The same block again adds nothing, but the read itself is kept.
    EXPECT_EQ(Merge(*book, ReadingOf(metersim::SequenceBlock(2))).added, 0);
    EXPECT_EQ(book->CountRecords(), 21);
    EXPECT_EQ(book->CountReads(), 3);
    // A block with nothing in common adds all fifteen.
    EXPECT_EQ(Merge(*book, ReadingOf(metersim::SampleBlock())).added, 15);
    EXPECT_EQ(book->CountRecords(), 36);

    // Kept across opening again; the block of each read is stored as received.
    book.reset();
    book = OpenBook();
    EXPECT_EQ(book->CountRecords(), 36);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT block FROM reads WHERE id = 4", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const auto sample = metersim::SampleBlock();
    ASSERT_EQ(sqlite3_column_bytes(st, 0), 216);
    EXPECT_EQ(std::memcmp(sqlite3_column_blob(st, 0), sample.data(), 216), 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

TEST_F(LogbookFile, RecordsComeInDateOrderAndARangeKeepsItsDays) {
    auto book = OpenBook();
    for (int read = 5; read >= 0; --read) Merge(*book, ReadingOf(metersim::SequenceBlock(read)));
    const auto all = book->Records();
    ASSERT_EQ(all.size(), 30u);
    for (std::size_t i = 1; i < all.size(); ++i) EXPECT_LT(*all[i - 1].isoDate, *all[i].isoDate);
    const auto range = book->Records(RecordQuery{{}, "2013-03-01", "2013-03-31"});
    ASSERT_FALSE(range.empty());
    for (const auto& r : range) EXPECT_EQ(r.isoDate->substr(0, 7), "2013-03");
    // A record without a date stands where it was first read.
    std::array<std::uint8_t, kBlockSize> undated = metersim::SequenceBlock(6);
    undated[1 + 14 * 14 + 12] = 0;  // the last record's day and month ...
    undated[1 + 14 * 14 + 13] = 0;  // ... make its date "-"
    Merge(*book, ReadingOf(undated));
    const auto withUndated = book->Records();
    ASSERT_EQ(withUndated.size(), 33u);
    EXPECT_EQ(withUndated.back().texts.m_strDate, "-");
    EXPECT_TRUE(book->Records(RecordQuery{{}, "2000-01-01", "2099-12-31"}).size() == 32u);
}

LogbookRecord Figures(std::int64_t distance, std::int64_t refuel, std::int64_t fuel,
                      std::int64_t correction) {
    LogbookRecord r;
    r.distance = distance;
    r.refuel = refuel;
    r.fuel = fuel;
    r.correction = correction;
    return r;
}

TEST(LogbookSummary, FiguresOverTheSumsAsWorkedOutByHand) {
    // 400 km on 40 L (the meter said 39 L at 100.00 %), 100 km on 5 L (5.5 L at 110.00 %), a
    // record without a refuel, and 200 km on 15 L the meter measured no fuel for: both stay out
    // of every ratio (with the last, the economy would say 700 km / 60 L, the meter's
    // 700 km / 44.5 L, and the factor 60 / 44).
    const std::vector<LogbookRecord> records = {
        Figures(40000, 4000, 3900, 10000), Figures(10000, 500, 550, 11000),
        Figures(2500, 0, 200, 10000), Figures(20000, 1500, 0, 10000)};
    const LogbookSummary s = Summarize(records);
    EXPECT_EQ(s.records, 4);
    EXPECT_EQ(s.withoutRefuel, 1);
    EXPECT_EQ(s.withoutFuel, 1);
    EXPECT_EQ(s.counted, 2);
    EXPECT_EQ(s.distance, 72500);  // the totals keep every record
    EXPECT_EQ(s.refuel, 6000);
    EXPECT_FALSE(ErrorPercent(records[3]) || KmPerLitreByMeter(records[3]));
    // 500 km / 45 L = 11.11 km/L, where the mean of the two ratios (10 and 20) would say 15.
    EXPECT_NEAR(*s.kmPerLitre, 500.0 / 45.0, 1e-9);
    EXPECT_NEAR(*s.kmPerLitreByMeter, 500.0 / 44.5, 1e-9);
    // (45 - 44.5) / 45 = 1.11 %, over the sums as for one record.
    EXPECT_NEAR(*s.errorPercent, 0.5 / 45.0 * 100.0, 1e-9);
    // Errors 2.5 % and -10 % weighted 40 : 5 around 1.11 %.
    const double mean = 0.5 / 45.0 * 100.0;
    EXPECT_NEAR(
        *s.errorSpread,
        std::sqrt((40 * (2.5 - mean) * (2.5 - mean) + 5 * (-10 - mean) * (-10 - mean)) / 45), 1e-9);
    // 45 / (39 / 1.00 + 5.5 / 1.10) = 45 / 44 = 102.27 %, in the meter's hundredths.
    EXPECT_NEAR(*s.suggestedCorrection, 45.0 / 44.0 * 10000, 1e-6);
    EXPECT_EQ(s.correctionRecords, 2);

    const LogbookSummary none = Summarize({Figures(100, 0, 0, 10000)});
    EXPECT_FALSE(none.kmPerLitre || none.errorPercent || none.suggestedCorrection);
}

TEST(LogbookSummary, TheSequencesMeterWantsTheFactorItWasGivenLater) {
    // The simulated meter reads 1.5 % low at 100.00 % and is set to 101.50 % half-way: over all
    // its records the factor that would have been right is about 101.5 %.
    test::TempDir dir;
    Failure error;
    auto book = Logbook::Open(dir.File("x.sqlite3"), &error, LogbookAccess::kWrite);
    ASSERT_NE(book, nullptr) << FailureLine(error);
    for (int read = 0; read < 16; ++read) {
        ASSERT_TRUE(
            book->Merge(ReadingOf(metersim::SequenceBlock(read)), kAt, ReadTarget{}, &error));
    }
    const LogbookSummary s = Summarize(book->Records());
    EXPECT_EQ(s.records, 60);
    EXPECT_NEAR(*s.suggestedCorrection, 10152, 30);
}

TEST(LogbookSummary, EachStretchOfOneFactorHasItsOwnFiguresAndAGapChangesNone) {
    // Oldest first: 100.00 % for two records (one without a refuel), 105.00 % for two, 100.00 %
    // again for one, then 90.00 % for one without a refuel. Four stretches, not three factors.
    std::vector<LogbookRecord> records = {
        Figures(40000, 4000, 3900, 10000), Figures(10000, 0, 200, 10000),
        Figures(30000, 2000, 2100, 10500), Figures(20000, 1000, 1050, 10500),
        Figures(5000, 500, 480, 10000),    Figures(1000, 0, 100, 9000)};
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].texts.m_strDate = "2015年0" + std::to_string(i + 1) + "月01日";
        records[i].isoDate = "2015-0" + std::to_string(i + 1) + "-01";
    }
    const LogbookSummary plain = Summarize(records);
    records[3].gapBefore = "2026-12-07 10:00:00";  // inside the 105.00 % stretch
    const LogbookSummary s = Summarize(records);
    EXPECT_EQ(plain.gaps, 0);
    EXPECT_EQ(s.gaps, 1);
    ASSERT_EQ(s.periods.size(), 4u);
    const FactorPeriod& first = s.periods[0];
    EXPECT_EQ(first.correction, 10000);
    EXPECT_EQ(first.firstDate, "2015年01月01日");
    EXPECT_EQ(first.lastDate, "2015年02月01日");
    EXPECT_EQ(first.lastIsoDate, "2015-02-01");
    EXPECT_EQ(first.records, 2);
    EXPECT_EQ(first.counted, 1);
    // (40 - 39) / 40 = 2.5 %; 40 / (39 / 1.00) = 102.56 %.
    EXPECT_NEAR(*first.errorPercent, 1.0 / 40.0 * 100.0, 1e-9);
    EXPECT_NEAR(*first.suggestedCorrection, 40.0 / 39.0 * 10000, 1e-6);
    // The gap splits nothing: (30 - 31.5) / 30 = -5 %; 30 / (21 / 1.05 + 10.5 / 1.05) = 100 %.
    const FactorPeriod& second = s.periods[1];
    EXPECT_EQ(second.correction, 10500);
    EXPECT_EQ(second.firstDate, "2015年03月01日");
    EXPECT_EQ(second.lastDate, "2015年04月01日");
    EXPECT_EQ(second.records, 2);
    EXPECT_NEAR(*second.errorPercent, -1.5 / 30.0 * 100.0, 1e-9);
    EXPECT_NEAR(*second.suggestedCorrection, 30.0 / 30.0 * 10000, 1e-6);
    // 100.00 % again, on its own: (5 - 4.8) / 5 = 4 %; 5 / 4.8 = 104.17 %.
    EXPECT_EQ(s.periods[2].correction, 10000);
    EXPECT_EQ(s.periods[2].records, 1);
    EXPECT_NEAR(*s.periods[2].errorPercent, 0.2 / 5.0 * 100.0, 1e-9);
    EXPECT_NEAR(*s.periods[2].suggestedCorrection, 5.0 / 4.8 * 10000, 1e-6);
    // Without a refuel there is nothing to say of the meter.
    EXPECT_EQ(s.periods[3].counted, 0);
    EXPECT_FALSE(s.periods[3].errorPercent || s.periods[3].suggestedCorrection);
    // The whole: 75 / (39 + 30 + 4.8) = 75 / 73.8, untouched by the gap.
    EXPECT_NEAR(*s.suggestedCorrection, 75.0 / 73.8 * 10000, 1e-6);
    EXPECT_EQ(*s.suggestedCorrection, *plain.suggestedCorrection);
    EXPECT_EQ(*s.errorPercent, *plain.errorPercent);
    EXPECT_EQ(*s.kmPerLitre, *plain.kmPerLitre);
    EXPECT_EQ(s.distance, plain.distance);
    EXPECT_TRUE(Summarize(std::vector<LogbookRecord>{}).periods.empty());
}

// The date text of a reading's newest or oldest record.
std::string EdgeDate(const MeterReading& reading, bool newest) {
    const auto edge =
        std::minmax_element(reading.records.begin(), reading.records.end(),
                            [](const auto& a, const auto& b) { return *IsoDate(a) < *IsoDate(b); });
    return RowOf(newest ? *edge.second : *edge.first).m_strDate;
}

TEST_F(LogbookFile, AGapIsFoundOnlyWhereTheMeterMayHaveDroppedRefuelsUnread) {
    auto book = OpenBook();
    // The first read, the same read again, an overlapping one: nothing can have been lost.
    EXPECT_FALSE(Merge(*book, ReadingOf(metersim::SequenceBlock(0))).gap);
    EXPECT_FALSE(Merge(*book, ReadingOf(metersim::SequenceBlock(0))).gap);
    EXPECT_FALSE(Merge(*book, ReadingOf(metersim::SequenceBlock(2))).gap);
    // Fifteen refuels later: all fifteen new and newer, so any between may be gone.
    const MeterReading before = ReadingOf(metersim::SequenceBlock(2));
    const MeterReading after = ReadingOf(metersim::SequenceBlock(7));
    const LocalTime later{2026, 12, 8, 9, 30, 5, 0};
    Failure error;
    const auto counts = book->Merge(after, later, ReadTarget{}, &error);
    ASSERT_TRUE(counts) << FailureLine(error);
    ASSERT_TRUE(counts->gap);
    EXPECT_EQ(counts->gap->beforeDate, EdgeDate(before, true));
    EXPECT_EQ(counts->gap->afterDate, EdgeDate(after, false));
    EXPECT_EQ(counts->gap->foundAt, "2026-12-08 09:30:05");
    EXPECT_FALSE(Merge(*book, after).gap);  // that read again

    // Kept in the file; the record after it carries it, just after the record before it.
    book.reset();
    book = OpenBook();
    ASSERT_EQ(book->Gaps().size(), 1u);
    const auto records = book->Records();
    std::vector<std::size_t> marked;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].gapBefore) marked.push_back(i);
    }
    ASSERT_EQ(marked, std::vector<std::size_t>{21});  // refuels 0 to 20, then 21 to 35
    EXPECT_EQ(records[21].gapBefore, "2026-12-08 09:30:05");
    EXPECT_EQ(records[21].texts.m_strDate, counts->gap->afterDate);
    EXPECT_EQ(records[20].texts.m_strDate, counts->gap->beforeDate);
    EXPECT_EQ(records[21].id, book->Gaps()[0].afterId);

    // A meter holding fewer than fifteen has dropped none; an import never makes a gap.
    MeterReading fourteen = ReadingOf(metersim::SequenceBlock(12));
    fourteen.records.erase(fourteen.records.begin());
    EXPECT_FALSE(Merge(*book, fourteen).gap);
    EXPECT_FALSE(
        book->Import(RowsOf(ReadingOf(metersim::SequenceBlock(20))), "a.csv", {}, kAt, &error)
            ->gap);
    EXPECT_EQ(book->Gaps().size(), 1u);
}

// The places of the records that carry a gap.
std::vector<std::size_t> GapPlaces(const std::vector<LogbookRecord>& records) {
    std::vector<std::size_t> places;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].gapBefore) places.push_back(i);
    }
    return places;
}

TEST_F(LogbookFile, AGapStaysBetweenItsTwoRecordsUntilAnImportBringsRefuelsBetweenThem) {
    auto book = OpenBook();
    // Refuels 0 to 14, then 30 to 44: 15 to 29 were never read.
    Merge(*book, ReadingOf(metersim::SequenceBlock(0)));
    ASSERT_TRUE(Merge(*book, ReadingOf(metersim::SequenceBlock(10))).gap);
    // Rows that come elsewhere (newer refuels, and ones already kept) leave it where it was.
    Failure error;
    ASSERT_TRUE(
        book->Import(RowsOf(ReadingOf(metersim::SampleBlock())), "new.csv", {}, kAt, &error));
    ASSERT_TRUE(
        book->Import(RowsOf(ReadingOf(metersim::SequenceBlock(0))), "a.csv", {}, kAt, &error));
    auto records = book->Records();
    ASSERT_EQ(records.size(), 45u);
    EXPECT_EQ(GapPlaces(records), std::vector<std::size_t>{15});
    EXPECT_EQ(Summarize(records).gaps, 1);

    // The missing refuels, saved elsewhere: the records on both sides now follow each other.
    const auto counts =
        book->Import(RowsOf(ReadingOf(metersim::SequenceBlock(5))), "missing.csv", {}, kAt, &error);
    ASSERT_TRUE(counts) << FailureLine(error);
    EXPECT_EQ(counts->added, 15);
    book.reset();
    auto look = Logbook::Open(path, &error);
    ASSERT_NE(look, nullptr) << FailureLine(error);
    records = look->Records();
    ASSERT_EQ(records.size(), 60u);
    EXPECT_EQ(GapPlaces(records), std::vector<std::size_t>{});
    EXPECT_EQ(Summarize(records).gaps, 0);
    EXPECT_EQ(GapPlaces(look->Records(RecordQuery{{}, *records[10].isoDate, *records[40].isoDate})),
              std::vector<std::size_t>{});
    EXPECT_EQ(look->Gaps().size(), 1u);  // as it was found
    look.reset();

    // Some of them only: the two records no longer follow each other either, and nothing tells
    // how many more are missing (the meter numbers no refuel), so the gap is closed too.
    const std::string some = dir.File("some.sqlite3");
    {
        auto partly = Logbook::Open(some, &error, LogbookAccess::kWrite);
        ASSERT_NE(partly, nullptr) << FailureLine(error);
        Merge(*partly, ReadingOf(metersim::SequenceBlock(0)));
        Merge(*partly, ReadingOf(metersim::SequenceBlock(10)));
        auto rows = RowsOf(ReadingOf(metersim::SequenceBlock(5)));
        rows.resize(4);
        ASSERT_TRUE(partly->Import(rows, "some.csv", {}, kAt, &error));
        EXPECT_EQ(GapPlaces(partly->Records()), std::vector<std::size_t>{});
    }

    // A record without a date comes where it was read among the others: one the earlier read
    // gave last stays above the gap, one the gap's read gave first below it.
    for (const bool ofTheGapsRead : {false, true}) {
        SCOPED_TRACE(ofTheGapsRead ? "of the gap's read" : "of the earlier read");
        std::remove(some.c_str());
        auto undated = Logbook::Open(some, &error, LogbookAccess::kWrite);
        ASSERT_NE(undated, nullptr) << FailureLine(error);
        auto earlier = metersim::SequenceBlock(0), later = metersim::SequenceBlock(10);
        auto& block = ofTheGapsRead ? later : earlier;
        const std::size_t dateAt = 1 + 14 * (ofTheGapsRead ? 0 : 14) + 12;  // its day and month
        block[dateAt] = block[dateAt + 1] = 0;
        Merge(*undated, ReadingOf(earlier));
        ASSERT_TRUE(Merge(*undated, ReadingOf(later)).gap);
        records = undated->Records();
        ASSERT_EQ(GapPlaces(records), std::vector<std::size_t>{15});
        EXPECT_EQ(records[ofTheGapsRead ? 15 : 14].texts.m_strDate, "-");
    }
}

TEST_F(LogbookFile, NoGapWithoutAnEarlierReadOfTheMeterNorForOlderRefuels) {
    auto book = OpenBook();
    // Only imported records before: nothing says when the meter was last read.
    Failure error;
    ASSERT_TRUE(
        book->Import(RowsOf(ReadingOf(metersim::SequenceBlock(0))), "a.csv", {}, kAt, &error));
    EXPECT_FALSE(Merge(*book, ReadingOf(metersim::SequenceBlock(5))).gap);
    EXPECT_TRUE(Merge(*book, ReadingOf(metersim::SequenceBlock(10))).gap);  // now there was one
    // Older refuels with nothing in common (an old meter read again, say): none lost in between.
    auto other = Logbook::Open(dir.File("other.sqlite3"), &error, LogbookAccess::kWrite);
    ASSERT_NE(other, nullptr) << FailureLine(error);
    Merge(*other, ReadingOf(metersim::SequenceBlock(10)));
    EXPECT_FALSE(Merge(*other, ReadingOf(metersim::SequenceBlock(3))).gap);
    EXPECT_TRUE(other->Gaps().empty());
}

// What the history window reads (the figures, the dates' texts alone, then the texts of the rows
// it shows) is what Records gives whole, for every kind of record: undated ones, a date the meter
// cannot have, a gap, a price and an odometer reading, in a range too; a few texts are looked up
// one by one and many read in one pass, and both give the stored bytes.
TEST_F(LogbookFile, TheSheetAndItsTextsReadLaterAreTheRecordsWhole) {
    auto book = OpenBook();
    auto earlier = metersim::SequenceBlock(0);
    const std::size_t dateAt = 1 + 14 * 3 + 12;  // a record's month and day
    earlier[dateAt] = earlier[dateAt + 1] = 0;   // no date: "-"
    earlier[dateAt + 14] = 0x5D;                 // month 13 of its year: a text, no ISO date
    Merge(*book, ReadingOf(earlier));
    ASSERT_TRUE(Merge(*book, ReadingOf(metersim::SequenceBlock(10))).gap);
    Failure error;
    std::vector<RecordRow> many;
    for (int i = 0; i < 5000; ++i) {
        // Before the meter's refuels (from 2013), so that the gap stays open.
        many.push_back({MeterDateText({2000 + i / 500, 1 + i / 28 % 12, 1 + i % 28}),
                        std::to_string(300 + i) + ".00", "25.00", "100.00", "26.00", "-1.50"});
    }
    ASSERT_TRUE(book->Import(many, "many.csv", {}, kAt, &error)) << FailureLine(error);
    auto all = book->Records();
    ASSERT_EQ(all.size(), 5030u);
    ASSERT_TRUE(book->SetPrice({}, all[2].id, Price{PriceKind::kTotal, 543200}, &error));
    ASSERT_TRUE(book->SetOdometer({}, all[20].id, 4821000, &error));
    for (const RecordQuery& query : {RecordQuery{}, RecordQuery{{}, "2005-02-01", "2013-06-30"}}) {
        const auto records = book->Records(query, &error);
        const RecordSheet whole = book->Figures(query, &error);
        const RecordSheet sheet = book->Figures(query, &error, Logbook::SheetTexts::kDates);
        ASSERT_TRUE(error.Empty()) << FailureLine(error);
        ASSERT_EQ(sheet.Size(), records.size());
        std::vector<std::int64_t> ids;
        for (std::size_t i = 0; i < sheet.Size(); ++i) ids.push_back(sheet[i].id);
        const std::vector<std::int64_t> few(ids.begin(), ids.begin() + 40);
        std::sort(ids.begin(), ids.end());
        const auto texts = book->TextsOf({}, ids, &error);
        const auto fewTexts = book->TextsOf({}, few, &error);
        ASSERT_EQ(texts.size(), ids.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(whole.Row(i), records[i].texts);
            EXPECT_EQ(sheet.Text(i, RecordText::kDate), records[i].texts.m_strDate);
            EXPECT_FALSE(sheet.HasTexts(i));
            const auto at = std::lower_bound(ids.begin(), ids.end(), sheet[i].id) - ids.begin();
            EXPECT_EQ(texts[static_cast<std::size_t>(at)], records[i].texts);
            if (i < few.size()) {
                EXPECT_EQ(fewTexts[i], records[i].texts);
            }
            const LogbookRecord r = whole.Record(i, records[i].firstRead);
            EXPECT_EQ(r.isoDate, records[i].isoDate);
            EXPECT_EQ(r.gapBefore, records[i].gapBefore);
            EXPECT_EQ(r.price, records[i].price);
            EXPECT_EQ(r.odometer, records[i].odometer);
            EXPECT_EQ(r.odometerGiven, records[i].odometerGiven);
            EXPECT_EQ(r.imported, records[i].imported);
        }
    }
    // Undated records fall out of a range; in the whole logbook they and the gap are there.
    const auto undated =
        std::count_if(all.begin(), all.end(), [](const LogbookRecord& r) { return !r.isoDate; });
    EXPECT_EQ(undated, 2);
    EXPECT_EQ(GapPlaces(all).size(), 1u);
}

// A text of any length is kept whole (a length byte holds less than 255).
TEST(RecordSheet, ALongTextIsKeptWhole) {
    LogbookRecord r;
    r.texts = {std::string(300, 'd'), "1.00", std::string(255, 'f'), "100.00", "", "e"};
    const RecordSheet sheet = RecordSheet::FromRecords({r, r});
    EXPECT_EQ(sheet.Row(1), r.texts);
}

std::int64_t Pragma(const std::string& path, const char* name) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, (std::string("PRAGMA ") + name).c_str(), -1, &st, nullptr);
    const std::int64_t value = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
}

TEST_F(LogbookFile, AFileThatIsNoLogbookIsNeverChanged) {
    std::string noise(4096, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 7919 % 251);
    test::WriteBytes(path, noise);
    Failure error;
    EXPECT_EQ(Logbook::Open(path, &error, LogbookAccess::kWrite), nullptr);
    EXPECT_NE(FailureLine(error).find(path), std::string::npos);
    EXPECT_NE(FailureLine(error).find("not a database"), std::string::npos) << FailureLine(error);
    EXPECT_EQ(test::ReadBytes(path), noise);

    // Other programs' databases, and ours damaged: refused for what they are, left as they were.
    const std::string ours =
        "CREATE TABLE reads(id INTEGER PRIMARY KEY, read_at TEXT NOT NULL, "
        "source TEXT NOT NULL, origin TEXT, firmware TEXT, block BLOB);";
    const struct {
        const char* sql;
        const char* why;
    } foreign[] = {
        {"CREATE TABLE notes(id INTEGER PRIMARY KEY, text TEXT);",
         "it holds a table notes of its own"},
        {"CREATE TABLE records(id INTEGER PRIMARY KEY, text TEXT);",
         "its table records has other columns"},
        {"PRAGMA user_version = 1;", "it has no table records"},
        {"PRAGMA application_id = 305419896; CREATE TABLE t(x);",
         "another program's application id 0x12345678"},
    };
    for (const auto& f : foreign) {
        const std::string other = dir.File("other.sqlite3");
        std::remove(other.c_str());
        test::MakeDatabase(other, (ours + f.sql));
        const std::string before = test::ReadBytes(other);
        for (auto access : {LogbookAccess::kLook, LogbookAccess::kWrite}) {
            EXPECT_EQ(Logbook::Open(other, &error, access), nullptr) << f.sql;
            EXPECT_EQ(FailureLine(error), other + ": not an ODOMEI logbook (" + f.why + ")");
        }
        EXPECT_EQ(test::ReadBytes(other), before) << f.sql;
    }
    EXPECT_EQ(Logbook::Open("/dev/null", &error, LogbookAccess::kWrite), nullptr);
    EXPECT_EQ(FailureLine(error), "/dev/null: not a regular file");
}

// The names in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A database as a program leaves it that stopped in the middle of a transaction: sql committed,
// then more rows than SQLite's cache holds, so that changed pages went into the file and the
// journal beside it ("-journal") is what would undo them. False where that journal is not one
// SQLite would roll back (a copy of it, opened by SQLite, keeps it).
bool MakeInterrupted(const std::string& path, const std::string& sql) {
    const std::string live = path + ".live";
    test::MakeDatabase(live, sql + "; CREATE TABLE filler(b BLOB);");
    sqlite3* db = nullptr;
    sqlite3_open(live.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA cache_size = 2; BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                 "SELECT i + 1 FROM n WHERE i < 200) INSERT INTO filler SELECT randomblob(3000) "
                 "FROM n",
                 nullptr, nullptr, nullptr);
    for (const std::string& copy : {path, path + ".check"}) {
        test::WriteBytes(copy, test::ReadBytes(live));
        test::WriteBytes(copy + "-journal", test::ReadBytes(live + "-journal"));
    }
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::remove(live.c_str());
    // The check copy: SQLite itself rolls its journal back and removes it.
    const std::string check = path + ".check";
    sqlite3_open(check.c_str(), &db);
    sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const bool hot = test::Exists(path + "-journal") && !test::Exists(check + "-journal");
    std::remove(check.c_str());
    std::remove((check + "-journal").c_str());
    return hot;
}

TEST_F(LogbookFile, AnotherProgramsDatabaseIsNotOpenedSoNothingAppearsBesideItOrIsRolledBack) {
    // In WAL mode SQLite makes a -shm and a -wal file beside the database even to look at it;
    // a journal left by a transaction that never ended it rolls back into the file.
    // In a folder whose name holds what a URI would take for more than a name.
    const std::string folder = dir.File("a ?#%41 b");
    std::filesystem::create_directory(folder);
    const std::string other = folder + "/other.db";
    const std::string notes = "CREATE TABLE notes(text TEXT); INSERT INTO notes VALUES('kept')";
    const std::string marked = "PRAGMA application_id = 305419896; " + notes;
    const std::string byId =
        ": not an ODOMEI logbook (another program's application id 0x12345678)";
    const std::string byTables = ": not an ODOMEI logbook (it holds a table ";
    const struct {
        const char* name;
        bool wal;  // else: stopped mid-transaction
        std::string sql;
        std::string why;
    } cases[] = {
        {"WAL, another id", true, marked, byId},
        {"WAL, no id", true, notes, byTables + "notes of its own)"},
        {"journal, another id", false, marked, byId},
        {"journal, no id", false, notes, byTables + "filler of its own)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& f : FilesIn(folder)) std::remove((folder + "/" + f).c_str());
        if (c.wal) {
            test::MakeDatabase(other, "PRAGMA journal_mode = WAL; " + c.sql);
        } else {
            ASSERT_TRUE(MakeInterrupted(other, c.sql));
        }
        const auto files = FilesIn(folder);
        const std::string bytes = test::ReadBytes(other);
        const std::string journal = c.wal ? "" : test::ReadBytes(other + "-journal");
        auto untouched = [&](const char* after) {
            EXPECT_EQ(FilesIn(folder), files) << after;
            EXPECT_TRUE(test::ReadBytes(other) == bytes) << after << ": the database changed";
            EXPECT_TRUE(c.wal || test::ReadBytes(other + "-journal") == journal)
                << after << ": the journal changed";
        };
        Failure error;
        EXPECT_EQ(Logbook::Open(other, &error), nullptr);
        EXPECT_EQ(FailureLine(error), other + c.why);
        untouched("a look");
        EXPECT_EQ(Logbook::Open(other, &error, LogbookAccess::kWrite), nullptr);
        EXPECT_EQ(FailureLine(error), other + c.why);
        untouched("an open to write");
        EXPECT_FALSE(
            MergeRead(other, ReadingOf(metersim::SampleBlock()), kAt, ReadTarget{}, &error));
        untouched("a read stored");
    }

    // Ours in WAL mode opens as ever, with what is still in its -wal file.
    Merge(*OpenBook(), ReadingOf(metersim::SampleBlock()));
    test::MakeDatabase(path, "PRAGMA journal_mode = WAL");
    auto writer = OpenBook();
    Merge(*writer, ReadingOf(metersim::SequenceBlock(0)), kAnyMeter);
    EXPECT_TRUE(test::Exists(path + "-wal"));
    Failure error;
    const auto look = Logbook::Open(path, &error);
    ASSERT_NE(look, nullptr) << FailureLine(error);
    EXPECT_EQ(look->Records({}, &error).size(), 30u) << FailureLine(error);
    EXPECT_EQ(Merge(*OpenBook(), ReadingOf(metersim::SequenceBlock(1))).added, 3);
}

// A logbook as the version before the gaps made it: its reads and records, version 1, one record.
constexpr const char* kFirstVersionLogbook = R"sql(
CREATE TABLE reads (
    id INTEGER PRIMARY KEY,
    read_at TEXT NOT NULL,
    source TEXT NOT NULL,
    origin TEXT,
    firmware TEXT,
    block BLOB
);
CREATE TABLE records (
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
CREATE INDEX records_by_texts
    ON records(date_text, distance_text, fuel_text, correction_text, refuel_text, error_text);
INSERT INTO reads VALUES(1, '2026-01-02 03:04:05', 'meter', NULL, '01.03', NULL);
INSERT INTO records VALUES(1, x'0102030405060708090a0b0c0d0e', 1, '2012年12月01日', '412.60',
    '30.85', '100.00', '31.20', '1.12', '2012-12-01', 41260, 3085, 10000, 3120);
PRAGMA user_version = 1;
)sql";

TEST_F(LogbookFile, ALogbookIsMarkedAsOursAndOneMadeBeforeTheMarkIsAdopted) {
    // A new one carries the mark.
    Merge(*OpenBook(), ReadingOf(metersim::SampleBlock()));
    EXPECT_EQ(Pragma(path, "application_id"), kLogbookApplicationId);
    // One of the layout made before the mark (no gaps, version 1) without it: looked at as it
    // is, marked when next written.
    std::remove(path.c_str());
    test::MakeDatabase(path, kFirstVersionLogbook);
    const std::string unmarked = test::ReadBytes(path);
    Failure error;
    auto look = Logbook::Open(path, &error);
    ASSERT_NE(look, nullptr) << FailureLine(error);
    EXPECT_EQ(look->Records().size(), 1u);
    look.reset();
    EXPECT_EQ(test::ReadBytes(path), unmarked);
    EXPECT_EQ(OpenBook()->CountRecords(), 1);
    EXPECT_EQ(Pragma(path, "application_id"), kLogbookApplicationId);
}

// Each table's columns and each index's, as SQLite reports them.
const std::string kColumns =
    "SELECT m.name, p.name, p.type, p.\"notnull\", p.pk FROM sqlite_master m "
    "JOIN pragma_table_info(m.name) p WHERE m.type = 'table' ORDER BY m.name, p.cid";
const std::string kIndexColumns =
    "SELECT m.name, m.tbl_name, i.name FROM sqlite_master m JOIN pragma_index_info(m.name) i "
    "WHERE m.type = 'index' ORDER BY m.name, i.seqno";

TEST_F(LogbookFile, ALogbookOfThePreviousVersionIsLookedAtAsItIsAndUpgradedAtItsNextWrite) {
    const std::string mark = "PRAGMA application_id = " + std::to_string(kLogbookApplicationId);
    const std::string kept =
        "SELECT type, name, tbl_name, sql FROM sqlite_master WHERE name <> 'gaps' ORDER BY name";
    for (const bool marked : {true, false}) {
        SCOPED_TRACE(marked ? "marked" : "made before the mark");
        std::remove(path.c_str());
        test::MakeDatabase(path, kFirstVersionLogbook + (marked ? mark : ""));
        const std::string before = test::ReadBytes(path);
        const std::string schema = test::QueryRows(path, kept);
        const std::string asFirstVehicle = test::QueryRows(path, "SELECT *, 1 FROM reads") +
                                           test::QueryRows(path, "SELECT *, 1 FROM records");
        Failure error;
        auto look = Logbook::Open(path, &error);
        ASSERT_NE(look, nullptr) << FailureLine(error);
        const auto records = look->Records({}, &error);
        EXPECT_EQ(FailureLine(error), "");
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].refuel, 3120);
        EXPECT_FALSE(records[0].gapBefore);
        EXPECT_TRUE(look->Gaps({}, &error).empty());
        look.reset();
        EXPECT_EQ(test::ReadBytes(path), before);

        // Written: today's layout, column for column and index for index a new logbook's, its
        // read and record the first vehicle's and nothing else changed.
        auto book = OpenBook();
        ASSERT_NE(book, nullptr);
        EXPECT_EQ(Pragma(path, "user_version"), 4);
        EXPECT_EQ(Pragma(path, "application_id"), kLogbookApplicationId);
        const std::string fresh = dir.File("fresh.sqlite3");
        ASSERT_NE(Logbook::Open(fresh, &error, LogbookAccess::kWrite), nullptr);
        for (const std::string& layout : {kColumns, kIndexColumns}) {
            EXPECT_EQ(test::QueryRows(path, layout), test::QueryRows(fresh, layout));
        }
        EXPECT_EQ(test::QueryRows(path, "SELECT * FROM vehicles"),
                  "1|" + std::string(kFirstVehicleName) + "||JPY\n");
        EXPECT_EQ(test::QueryRows(path, "SELECT * FROM prices") +
                      test::QueryRows(path, "SELECT * FROM odometer"),
                  "");
        EXPECT_EQ(test::QueryRows(path, "SELECT * FROM reads") +
                      test::QueryRows(path, "SELECT * FROM records"),
                  asFirstVehicle);
        // Its meter read of December 2012 before fifteen newer refuels: a gap, kept.
        EXPECT_TRUE(Merge(*book, ReadingOf(metersim::SequenceBlock(0))).gap);
        book.reset();
        EXPECT_EQ(test::QueryRows(path, "SELECT before_id, after_id, read_id FROM gaps"),
                  "1|2|2\n");
    }
    // Files that only look like either version are still refused, and left as they were.
    const struct {
        std::string sql;
        std::string why;
    } refused[] = {
        {kFirstVersionLogbook + mark + "; PRAGMA user_version = 2", "it has no table gaps"},
        {kFirstVersionLogbook + mark + "; PRAGMA user_version = 0",
         "its version 0 is none of ODOMEI's"},
        {kFirstVersionLogbook + std::string("CREATE TABLE gaps(id INTEGER PRIMARY KEY);") + mark,
         "it holds a table gaps of its own"},
    };
    for (const auto& r : refused) {
        std::remove(path.c_str());
        test::MakeDatabase(path, r.sql);
        const std::string before = test::ReadBytes(path);
        Failure error;
        for (auto access : {LogbookAccess::kLook, LogbookAccess::kWrite}) {
            EXPECT_EQ(Logbook::Open(path, &error, access), nullptr) << r.why;
            EXPECT_EQ(FailureLine(error), path + ": not an ODOMEI logbook (" + r.why + ")");
        }
        EXPECT_EQ(test::ReadBytes(path), before) << r.why;
    }
    // Today's layout was never made without the mark.
    std::remove(path.c_str());
    Merge(*OpenBook(), ReadingOf(metersim::SampleBlock()));
    test::MakeDatabase(path, "PRAGMA application_id = 0");
    Failure error;
    EXPECT_EQ(Logbook::Open(path, &error), nullptr);
    EXPECT_EQ(FailureLine(error),
              path + ": not an ODOMEI logbook (version 4 without ODOMEI's application id)");
    // A version beyond ours is a newer program's.
    test::MakeDatabase(path, mark + "; PRAGMA user_version = 5");
    EXPECT_EQ(Logbook::Open(path, &error, LogbookAccess::kWrite), nullptr);
    EXPECT_EQ(FailureLine(error), path + ": made by a newer version of ODOMEI (logbook version 5)");
}

TEST_F(LogbookFile, AReadOnlyLogbookFailsTheMergeAndKeepsItsRecords) {
    // Its permissions say read-only: refused to every user, root too, as a CSV or INI file is.
    Merge(*OpenBook(), ReadingOf(metersim::SampleBlock()));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const std::string kept = test::ReadBytes(path);
    Failure refused;
    EXPECT_FALSE(
        MergeRead(path, ReadingOf(metersim::SequenceBlock(0)), kAt, ReadTarget{}, &refused));
    EXPECT_EQ(FailureLine(refused), path + ": read-only file");
    EXPECT_EQ(refused.subject, path);  // the file, apart from what keeps it from being used
    EXPECT_EQ(refused.reason.en, "read-only file");
    EXPECT_EQ(test::ReadBytes(path), kept);
    EXPECT_EQ(Logbook::Open(path, &refused)->CountRecords(), 15);  // still looked at

    test::ScratchMount folder(1 << 20);
    if (!folder.Usable()) GTEST_SKIP() << "no mount to make read-only here";
    path = folder.File(kLogbookFileName);
    Merge(*OpenBook(), ReadingOf(metersim::SampleBlock()));
    const std::string before = test::ReadBytes(path);
    ASSERT_TRUE(folder.MakeReadOnly());
    Failure error;
    EXPECT_EQ(Logbook::Open(path, &error, LogbookAccess::kWrite), nullptr);
    EXPECT_EQ(FailureLine(error), path + ": read-only file");
    auto book = Logbook::Open(path, &error);
    ASSERT_NE(book, nullptr) << FailureLine(error);  // read, not written
    EXPECT_FALSE(book->Merge(ReadingOf(metersim::SequenceBlock(0)), kAt, kAnyMeter, &error));
    EXPECT_NE(FailureLine(error).find("readonly"), std::string::npos) << FailureLine(error);
    EXPECT_EQ(book->CountRecords(), 15);
    EXPECT_EQ(test::ReadBytes(path), before);
}

TEST_F(LogbookFile, LookingNeverCreatesAndAFileThatCannotBeReadGivesNoRecords) {
    Failure error;
    for (const bool empty : {false, true}) {
        if (empty) test::WriteBytes(path, "");
        const auto none = Logbook::Open(path, &error);
        ASSERT_NE(none, nullptr) << FailureLine(error);
        EXPECT_FALSE(none->Exists());
        EXPECT_TRUE(none->Records({}, &error).empty());
        EXPECT_EQ(FailureLine(error), "");
        EXPECT_EQ(test::Exists(path), empty);
    }
    EXPECT_EQ(test::ReadBytes(path), "");
    // Pages that cannot be read are a failure, never the records that happened to come first.
    auto book = OpenBook();
    for (int read = 0; read < 16; ++read) Merge(*book, ReadingOf(metersim::SequenceBlock(read)));
    book.reset();
    test::SpoilPagesAfterFirst(path);
    book = Logbook::Open(path, &error);
    ASSERT_NE(book, nullptr) << FailureLine(error);
    EXPECT_TRUE(book->Records({}, &error).empty());
    EXPECT_NE(FailureLine(error).find(path + ": read: "), std::string::npos) << FailureLine(error);
}

TEST_F(LogbookFile, AFullDiskFailsTheMergeWholeAndKeepsWhatWasThere) {
    test::ScratchMount folder(256 * 1024);
    if (!folder.Usable()) GTEST_SKIP() << "no small filesystem to fill here";
    path = folder.File(kLogbookFileName);
    auto book = OpenBook();
    Merge(*book, ReadingOf(metersim::SampleBlock()));
    // Fill the disk to the last block.
    {
        const std::string chunk(4096, 'x');
        FILE* filler = std::fopen(folder.File("filler").c_str(), "wb");
        while (std::fwrite(chunk.data(), 1, chunk.size(), filler) == chunk.size() &&
               std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    Failure error;
    bool failed = false;
    for (int read = 0; read < 40 && !failed; ++read) {
        failed = !book->Merge(ReadingOf(metersim::SequenceBlock(read)), kAt, kAnyMeter, &error);
    }
    ASSERT_TRUE(failed);
    EXPECT_NE(FailureLine(error).find(path), std::string::npos);
    const std::int64_t kept = book->CountRecords();
    std::remove(folder.File("filler").c_str());
    book.reset();
    book = OpenBook();
    EXPECT_EQ(book->CountRecords(), kept);  // the failed merge left nothing half-done
    EXPECT_EQ(sqlite3_libversion_number() > 0, true);
}

TEST_F(LogbookFile, AnotherProgramHoldingItLongerThanTheWaitFailsTheMergeOnly) {
    Merge(*OpenBook(), ReadingOf(metersim::SampleBlock()));
    // Another program in the middle of its own merge: it holds the write lock, readers may read.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        alarm(30);  // never outlives the test
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        const bool held =
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
        (void)!write(ready[1], held ? "y" : "n", 1);
        pause();
        _exit(0);
    }
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } reaper{holder};
    char held = 'n';
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    close(ready[0]);
    close(ready[1]);
    ASSERT_EQ(held, 'y');
    auto book = OpenBook(200);
    ASSERT_NE(book, nullptr);
    Failure error;
    EXPECT_FALSE(book->Merge(ReadingOf(metersim::SequenceBlock(0)), kAt, ReadTarget{}, &error));
    EXPECT_NE(FailureLine(error).find("locked"), std::string::npos) << FailureLine(error);
    EXPECT_EQ(book->CountRecords(), 15);
    // An interrupt ends the wait at once (a process of its own: the interrupt stays recorded).
    int said[2];
    ASSERT_EQ(pipe(said), 0);
    const pid_t waiter = fork();
    if (waiter == 0) {
        alarm(30);
        CatchInterrupts();
        raise(SIGINT);
        Failure why;
        auto waiting = Logbook::Open(path, &why, LogbookAccess::kWrite, 20000);
        if (waiting) waiting->Merge(ReadingOf(metersim::SequenceBlock(0)), kAt, ReadTarget{}, &why);
        const std::string text = FailureLine(why);
        (void)!write(said[1], text.data(), text.size());
        _exit(0);
    }
    close(said[1]);
    std::string interrupted;
    char buf[256];
    for (ssize_t n; (n = read(said[0], buf, sizeof buf)) > 0;)
        interrupted.append(buf, static_cast<std::size_t>(n));
    close(said[0]);
    waitpid(waiter, nullptr, 0);
    EXPECT_EQ(interrupted, path + ": begin: interrupted while another program held the logbook");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    // Once it is free, the same read goes in.
    EXPECT_EQ(Merge(*book, ReadingOf(metersim::SequenceBlock(0)), kAnyMeter).added, 15);
}

TEST_F(LogbookFile, TwoProgramsMergingAtOnceBothSucceed) {
    OpenBook();  // created
    auto mergeAll = [this](int first) {
        Failure error;
        auto book = Logbook::Open(path, &error, LogbookAccess::kWrite);
        int failures = book ? 0 : 1;
        for (int read = first; book && read < first + 10; ++read) {
            failures +=
                book->Merge(ReadingOf(metersim::SequenceBlock(read)), kAt, kAnyMeter, &error) ? 0
                                                                                              : 1;
        }
        return failures;
    };
    int failures[2] = {0, 0};
    std::thread other([&] { failures[1] = mergeAll(5); });
    failures[0] = mergeAll(0);
    other.join();
    EXPECT_EQ(failures[0], 0);
    EXPECT_EQ(failures[1], 0);
    EXPECT_EQ(OpenBook()->CountRecords(), 14 * 3 + 15);  // reads 0 to 14: refuels 0 to 56
}

}  // namespace
}  // namespace odomei

// Prices and the odometer: the texts a user types and a card statement, a refuel's cost, the
// summary's cost figures worked out by hand, and on real SQLite files the odometer across a gap
// and backwards, prices kept across later reads, statement matching, a vehicle removed and a
// logbook merged.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "data/Logbook.h"
#include "data/LogbookStats.h"
#include "data/Prices.h"
#include "platform/Dates.h"
#include "tests/LogbookSupport.h"
#include "tests/TestSupport.h"
#include "tools/metersim/MeterSim.h"

namespace odomei {
namespace {

// A meter worked out by hand: every refuel 471.00 km on 30.00 L. Refuel n is dated in month
// 1 + n / 3 of 2013 on day 3, 12 or 21; read `read` holds refuels 3 * read to 3 * read + 14.
MeterReading Car(int read) {
    std::array<std::uint8_t, kBlockSize> block{};
    block[0] = 0x01;
    auto put = [](std::uint8_t* at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    for (int k = 0; k < kMaxRecords; ++k) {
        const int n = read * 3 + k;
        std::uint8_t* r = &block[1 + 14 * k];
        put(r, 294000000, 4);    // 29.40 L measured, in ten-millionths
        put(r + 4, 1200000, 4);  // 471.00 km in steps of 0.0003925 km
        put(r + 8, 10000, 2);
        put(r + 10, 3000, 2);
        r[12] = static_cast<std::uint8_t>(3 + 9 * (n % 3));
        r[13] = static_cast<std::uint8_t>((2013 - 2000) << 4 | (1 + n / 3));
    }
    block[211] = '3';
    block[212] = '0';
    block[213] = '1';
    block[214] = '0';
    return ReadingOf(block);
}
constexpr std::int64_t kStep = 47100;  // each refuel's distance, hundredths of a km

// A refuel as a CSV file brings it: its date and distance (km), 30.00 L refilled.
RecordRow Row(const CivilDate& date, const char* km) {
    return {MeterDateText(date), km, "29.40", "100.00", "30.00", "2.00"};
}

TEST(PriceTexts, AmountsAndReadingsAreTakenAsAUserTypesThemAndNothingElse) {
    const struct {
        const char* text;
        std::int64_t amount;
    } amounts[] = {{"168.5", 16850},
                   {"168,50", 16850},
                   {" 5432 ", 543200},
                   {"0.01", 1},
                   {"10000000", kMaxPriceAmount},
                   {"007.1", 710}};
    for (const auto& a : amounts) {
        Reason why;
        EXPECT_EQ(ParsePriceAmount(a.text, &why), a.amount) << a.text << ": " << why.en;
    }
    for (const char* bad : {"", "  ", "-5", "+5", "1,234.50", "1.234", "168.", ".5", "1 000", "0",
                            "0.00", "10000000.01", "99999999999999999999", "５", "5円"}) {
        Reason why;
        EXPECT_FALSE(ParsePriceAmount(bad, &why)) << bad;
        EXPECT_FALSE(why.en.empty() || why.ja.empty()) << bad;
    }
    Reason why;
    ParsePriceAmount("0", &why);
    EXPECT_EQ(why.en, "a price must be above 0");
    ParsePriceAmount("1,234.50", &why);
    EXPECT_NE(why.en.find("\"1,234.50\" is no price"), std::string::npos) << why.en;

    const struct {
        const char* text;
        std::int64_t km;
    } readings[] = {{"48210", 48210},
                    {"48 210", 48210},
                    {" 1 048 210 ", 1048210},
                    {"0", 0},
                    {"100 000 000", kMaxOdometerKm}};
    for (const auto& r : readings) {
        EXPECT_EQ(ParseOdometer(r.text), r.km * 100) << r.text;
    }
    for (const char* bad : {"", "48 21", "4821 0", "48  210", "1234 567", "48210.5", "-1",
                            "100 000 001", "48,210", "9999999999999"}) {
        EXPECT_FALSE(ParseOdometer(bad, &why)) << bad;
        EXPECT_FALSE(why.en.empty() || why.ja.empty()) << bad;
    }
    EXPECT_EQ(AmountText(16850), "168.50");
    EXPECT_EQ(AmountText(543200), "5432.00");
    EXPECT_EQ(AmountText(5), "0.05");
    EXPECT_EQ(AmountText(-150), "-1.50");
}

TEST(PriceTexts, AStatementGivesItsDatedLinesAndNamesTheLineThatIsNone) {
    // A byte order mark, a header, CRLF ends, a blank line, quotes and a decimal comma.
    const auto lines = ParsePriceStatement(
        "\xEF\xBB\xBF"
        "Datum,Betrag\r\n2024-05-01,5432\r\n\r\n\"2024-05-03\",\"168,50\"\r\n2024-05-03, 99.9 \n",
        nullptr);
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 3u);
    EXPECT_EQ((*lines)[0].line, 2);
    EXPECT_EQ((*lines)[0].isoDate, "2024-05-01");
    EXPECT_EQ((*lines)[0].amount, 543200);
    EXPECT_EQ((*lines)[1].line, 4);
    EXPECT_EQ((*lines)[1].amount, 16850);
    EXPECT_EQ((*lines)[2].line, 5);
    EXPECT_EQ((*lines)[2].amount, 9990);
    // Without a header, the first line is a line like the others.
    EXPECT_EQ(ParsePriceStatement("2024-05-01,1\n", nullptr)->size(), 1u);

    const struct {
        const char* text;
        const char* en;
        const char* ja;
    } bad[] = {
        {"", "the statement holds no line", "明細に"},
        {"Date,Amount\n\n", "the statement holds no line", "明細に"},
        {"2024-02-30,5\n", "line 1: \"2024-02-30\" is no date", "1行目: "},
        {"Date,Amount\nTotal,5\n", "line 2: \"Total\" is no date", "2行目: "},
        {"2024-05-01,5\n2024-05-02\n", "line 2: no price after the date", "2行目: "},
        {"2024-05-01,5\r\n\r\n2024-05-02,-3\r\n", "line 3: \"-3\" is no price", "3行目: "},
        {"2024-05-01,0\n", "line 1: a price must be above 0", "1行目: "},
        {"2024-5-1,5\n", "line 1: \"2024-5-1\" is no date", "1行目: "},
    };
    for (const auto& b : bad) {
        Reason why;
        EXPECT_FALSE(ParsePriceStatement(b.text, &why)) << b.text;
        EXPECT_EQ(why.en.rfind(b.en, 0), 0u) << b.text << ": " << why.en;
        EXPECT_EQ(why.ja.rfind(b.ja, 0), 0u) << b.text << ": " << why.ja;
    }
}

LogbookRecord Priced(std::optional<std::string> date, std::int64_t distance, std::int64_t refuel,
                     std::optional<Price> price) {
    LogbookRecord r;
    r.isoDate = std::move(date);
    r.distance = distance;
    r.refuel = refuel;
    r.fuel = refuel;
    r.price = price;
    return r;
}

TEST(LogbookSummary, CostFiguresOverThePricedRefuelsAsWorkedOutByHand) {
    // 31.23 L at 168.50 a litre: 5262.255, rounded to 5262.26; 5432 paid for 33.33 L: 162.975...
    // a litre, 162.98.
    const auto perLitre = Priced("2024-01-31", 45000, 3123, Price{PriceKind::kPerLitre, 16850});
    const auto total = Priced("2024-03-01", 50000, 3333, Price{PriceKind::kTotal, 543200});
    EXPECT_EQ(CostOf(perLitre), 526226);
    EXPECT_EQ(PricePerLitreOf(perLitre), 16850);
    EXPECT_EQ(CostOf(total), 543200);
    EXPECT_EQ(PricePerLitreOf(total), 16298);
    // Without fuel refilled a price per litre costs nothing known, a total has no litre price.
    EXPECT_FALSE(CostOf(Priced("2024-01-01", 1, 0, Price{PriceKind::kPerLitre, 100})));
    EXPECT_FALSE(PricePerLitreOf(Priced("2024-01-01", 1, 0, Price{PriceKind::kTotal, 100})));
    EXPECT_FALSE(CostOf(Priced("2024-01-01", 1, 100, std::nullopt)));

    // Those two, one without a price, one paid without fuel refilled (out of every cost figure),
    // and one without a date: from January to March, three months.
    const auto undated = Priced(std::nullopt, 30000, 2000, Price{PriceKind::kTotal, 300000});
    const LogbookSummary s =
        Summarize({perLitre, Priced("2024-02-10", 40000, 3000, std::nullopt), total,
                   Priced("2024-05-01", 1000, 0, Price{PriceKind::kTotal, 100000}), undated});
    EXPECT_EQ(s.priced, 3);
    EXPECT_EQ(s.cost, 526226 + 543200 + 300000);  // 13694.26
    // Over 450 + 500 + 300 km and 31.23 + 33.33 + 20 L.
    EXPECT_NEAR(*s.costPerKm, 1369426.0 / 1250.0, 1e-9);
    EXPECT_NEAR(*s.pricePerLitre, 1369426.0 / 84.56, 1e-6);
    EXPECT_EQ(s.pricedMonths, 3);
    EXPECT_NEAR(*s.costPerMonth, 1369426.0 / 3, 1e-9);

    // Across a year's end, both months counted; one record is one month.
    EXPECT_EQ(Summarize({Priced("2023-12-31", 1, 100, Price{PriceKind::kTotal, 1}),
                         Priced("2024-01-01", 1, 100, Price{PriceKind::kTotal, 1})})
                  .pricedMonths,
              2);
    const LogbookSummary one = Summarize({total});
    EXPECT_EQ(one.pricedMonths, 1);
    EXPECT_NEAR(*one.costPerMonth, 543200, 1e-9);
    // Only undated: no months; nothing priced: no figures.
    EXPECT_FALSE(Summarize({undated}).costPerMonth);
    const LogbookSummary none = Summarize({Priced("2024-01-01", 1, 100, std::nullopt)});
    EXPECT_EQ(none.priced, 0);
    EXPECT_FALSE(none.costPerKm || none.costPerMonth || none.pricePerLitre);
}

class PricedLogbook : public LogbookFile {
protected:
    std::vector<LogbookRecord> All(const std::string& vehicle = {}) {
        Failure error;
        auto records = Logbook::Open(path, &error)->Records({vehicle}, &error);
        EXPECT_TRUE(error.Empty()) << FailureLine(error);
        return records;
    }
    std::vector<std::optional<std::int64_t>> Odometers(const std::string& vehicle = {}) {
        std::vector<std::optional<std::int64_t>> readings;
        for (const LogbookRecord& r : All(vehicle)) readings.push_back(r.odometer);
        return readings;
    }
};

TEST_F(PricedLogbook, TheOdometerFollowsTheDistancesWithinAStretchAndNoneCrossesAGap) {
    auto book = OpenBook();
    Merge(*book, Car(0));
    ASSERT_TRUE(Merge(*book, Car(6)).gap);  // refuels 0 to 14, then 18 to 32
    auto records = All();
    ASSERT_EQ(records.size(), 30u);
    ASSERT_TRUE(records[15].gapBefore);
    EXPECT_EQ(Odometers(), std::vector<std::optional<std::int64_t>>(30));
    // 10 000 km at refuel 5: refuel 0 stood at 10 000 - 5 * 471 km, refuel 14 at + 9 * 471 km;
    // after the gap nothing is known.
    Failure error;
    ASSERT_TRUE(book->SetOdometer({}, records[5].id, 1000000, &error)) << FailureLine(error);
    auto odometers = Odometers();
    EXPECT_EQ(odometers[0], 764500);
    EXPECT_EQ(odometers[4], 952900);
    EXPECT_EQ(odometers[5], 1000000);
    EXPECT_EQ(odometers[14], 1423900);
    for (std::size_t i = 15; i < 30; ++i) EXPECT_FALSE(odometers[i]) << i;
    records = All();
    EXPECT_TRUE(records[5].odometerGiven);
    EXPECT_FALSE(records[4].odometerGiven || records[6].odometerGiven);

    // A range shows what the whole order says.
    const auto ranged = book->Records({{}, *records[10].isoDate, *records[12].isoDate});
    ASSERT_EQ(ranged.size(), 3u);
    EXPECT_EQ(ranged[0].odometer, 1000000 + 5 * kStep);

    // After the gap: 500 km at its second refuel leaves its first at 29 km; at its third, the
    // first would stand below 0: none. The second reading replaces the first in that stretch and
    // leaves the one before the gap.
    ASSERT_TRUE(book->SetOdometer({}, records[16].id, 50000, &error));
    EXPECT_EQ(Odometers()[15], 50000 - kStep);
    ASSERT_TRUE(book->SetOdometer({}, records[17].id, 50000, &error));
    records = All();
    EXPECT_FALSE(records[15].odometer);
    EXPECT_EQ(records[16].odometer, 50000 - kStep);
    EXPECT_FALSE(records[16].odometerGiven);
    EXPECT_EQ(records[29].odometer, 50000 + 12 * kStep);
    EXPECT_TRUE(records[5].odometerGiven);
    // Before the gap the same: the reading at refuel 8 replaces the one at 5.
    ASSERT_TRUE(book->SetOdometer({}, records[8].id, 2000000, &error));
    records = All();
    EXPECT_FALSE(records[5].odometerGiven);
    EXPECT_EQ(records[5].odometer, 2000000 - 3 * kStep);
    EXPECT_EQ(records[17].odometer, 50000);

    // An import of the refuels the gap lost closes it: one stretch with two readings, each
    // followed from up to the next.
    ASSERT_TRUE(book->Import(RowsOf(Car(3)), "lost.csv", {}, kAt, &error)) << FailureLine(error);
    records = All();
    ASSERT_EQ(records.size(), 33u);
    EXPECT_FALSE(records[18].gapBefore);
    EXPECT_EQ(records[17].odometer, 2000000 + 9 * kStep);  // the third imported refuel
    EXPECT_EQ(records[19].odometer, 2000000 + 11 * kStep);
    EXPECT_EQ(records[20].odometer, 50000);
    EXPECT_EQ(records[21].odometer, 50000 + kStep);

    // Cleared, and refused where it cannot be.
    ASSERT_TRUE(book->SetOdometer({}, records[20].id, std::nullopt, &error));
    EXPECT_EQ(Odometers()[32], 2000000 + 24 * kStep);
    EXPECT_FALSE(book->SetOdometer({}, records[0].id, -1, &error));
    EXPECT_FALSE(book->SetOdometer({}, records[0].id, kMaxOdometerKm * 100 + 1, &error));
    EXPECT_FALSE(book->SetOdometer({}, 999999, 0, &error));
    EXPECT_EQ(error.reason.en, "the vehicle holds no record 999999");
    EXPECT_FALSE(error.reason.ja.empty());
}

TEST_F(PricedLogbook, APriceIsKeptAcrossLaterReadsOfItsRefuelAndAnImportTheMeterLaterGives) {
    auto book = OpenBook();
    Failure error;
    // Refuels 6 to 20 first as a CSV file, then refuels 0 to 14 from the meter.
    ASSERT_TRUE(book->Import(RowsOf(Car(2)), "old.csv", {}, kAt, &error));
    Merge(*book, Car(0));
    auto records = All();
    ASSERT_EQ(records.size(), 21u);
    ASSERT_TRUE(records[16].imported);
    const Price perLitre{PriceKind::kPerLitre, 16850}, total{PriceKind::kTotal, 543200};
    ASSERT_TRUE(book->SetPrice({}, records[3].id, perLitre, &error)) << FailureLine(error);
    ASSERT_TRUE(book->SetPrice({}, records[16].id, total, &error));
    ASSERT_TRUE(book->SetPrice({}, records[20].id, total, &error));
    // The same refuels read again; the imported ones given by the meter (their bytes added).
    Merge(*book, Car(0));
    EXPECT_EQ(Merge(*book, Car(2)).upgraded, 6);  // refuels 15 to 20
    EXPECT_EQ(Merge(*book, Car(3)).added, 3);
    records = All();
    ASSERT_EQ(records.size(), 24u);
    EXPECT_FALSE(records[16].imported);
    EXPECT_FALSE(records[20].imported);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::optional<Price> want = i == 3               ? perLitre
                                          : i == 16 || i == 20 ? std::optional<Price>(total)
                                                               : std::nullopt;
        EXPECT_EQ(records[i].price, want) << i;
    }
    // Replaced, cleared, refused.
    ASSERT_TRUE(book->SetPrice({}, records[3].id, total, &error));
    ASSERT_TRUE(book->SetPrice({}, records[16].id, std::nullopt, &error));
    records = All();
    EXPECT_EQ(records[3].price, total);
    EXPECT_FALSE(records[16].price);
    EXPECT_FALSE(book->SetPrice({}, records[3].id, Price{PriceKind::kTotal, 0}, &error));
    EXPECT_FALSE(
        book->SetPrice({}, records[3].id, Price{PriceKind::kTotal, kMaxPriceAmount + 1}, &error));
    EXPECT_FALSE(error.reason.ja.empty());
    ASSERT_TRUE(book->AddVehicle("Van", "", &error));
    EXPECT_FALSE(book->SetPrice("Van", records[3].id, total, &error));  // not the van's
    EXPECT_EQ(All()[3].price, total);
}

TEST_F(PricedLogbook, AStatementPricesTheRefuelsOfItsDatesAndSaysWhatItCouldNotMatch) {
    auto book = OpenBook();
    Failure error;
    // May 1st once, May 3rd twice (the 400 km refuel first), May 5th three times.
    ASSERT_TRUE(book->Import(
        {Row({2024, 5, 1}, "300.00"), Row({2024, 5, 3}, "400.00"), Row({2024, 5, 3}, "410.00"),
         Row({2024, 5, 5}, "1.00"), Row({2024, 5, 5}, "2.00"), Row({2024, 5, 5}, "3.00")},
        "may.csv", {}, kAt, &error));
    const auto lines = ParsePriceStatement(
        "2024-05-03,5000\n2024-05-01,4000\n2024-05-03,5100\n2024-05-02,1\n2024-05-05,7\n"
        "2024-05-05,8\n",
        &error.reason);
    ASSERT_TRUE(lines);
    const auto result = book->SetPrices({}, *lines, PriceKind::kTotal, &error);
    ASSERT_TRUE(result) << FailureLine(error);
    EXPECT_EQ(result->set, 3);
    ASSERT_EQ(result->unmatched.size(), 1u);
    EXPECT_EQ(result->unmatched[0].line, 4);  // no refuel on May 2nd
    ASSERT_EQ(result->ambiguous.size(), 2u);  // two lines for three refuels on May 5th
    EXPECT_EQ(result->ambiguous[0].line, 5);
    EXPECT_EQ(result->ambiguous[1].line, 6);
    const auto records = All();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[0].price, (Price{PriceKind::kTotal, 400000}));
    EXPECT_EQ(records[1].texts.m_strDistance, "400.00");
    EXPECT_EQ(records[1].price, (Price{PriceKind::kTotal, 500000}));
    EXPECT_EQ(records[2].price, (Price{PriceKind::kTotal, 510000}));
    for (std::size_t i = 3; i < 6; ++i) EXPECT_FALSE(records[i].price) << i;

    // Per litre, into another vehicle: its own refuels only.
    ASSERT_TRUE(book->AddVehicle("Van", "", &error));
    ASSERT_TRUE(book->Import({Row({2024, 5, 1}, "100.00")}, "van.csv", "Van", kAt, &error));
    const auto van =
        book->SetPrices("Van", {{1, "2024-05-01", 17000}}, PriceKind::kPerLitre, &error);
    ASSERT_TRUE(van);
    EXPECT_EQ(van->set, 1);
    EXPECT_EQ(All("Van")[0].price, (Price{PriceKind::kPerLitre, 17000}));
    EXPECT_EQ(All()[0].price, (Price{PriceKind::kTotal, 400000}));
    EXPECT_FALSE(book->SetPrices("Lorry", *lines, PriceKind::kTotal, &error));
    EXPECT_FALSE(book->SetPrices({}, {{7, "2024-05-01", 0}}, PriceKind::kTotal, &error));
    EXPECT_EQ(error.reason.en.rfind("line 7: ", 0), 0u) << error.reason.en;
    EXPECT_EQ(All()[0].price, (Price{PriceKind::kTotal, 400000}));
}

TEST_F(PricedLogbook, ACurrencyIsThreeLettersAndARemovedVehicleTakesItsPricesAndReadings) {
    for (const std::string bad : {"", "EU", "EURO", "eur", "E1R", "ＥＵＲ"}) {
        const auto problem = CurrencyProblem(bad);
        ASSERT_TRUE(problem) << bad;
        EXPECT_FALSE(problem->en.empty() || problem->ja.empty());
    }
    EXPECT_FALSE(CurrencyProblem("EUR"));
    auto book = OpenBook();
    Failure error;
    ASSERT_TRUE(book->AddVehicle("Van", "", &error));
    EXPECT_EQ(book->Vehicles()[1].currency, "JPY");
    ASSERT_TRUE(book->SetCurrency("Van", "EUR", &error));
    EXPECT_FALSE(book->SetCurrency("Van", "eur", &error));
    EXPECT_FALSE(book->SetCurrency("Lorry", "EUR", &error));
    auto vehicles = book->Vehicles();
    EXPECT_EQ(vehicles[0].currency, "JPY");
    EXPECT_EQ(vehicles[1].currency, "EUR");

    Merge(*book, Car(0));
    ASSERT_TRUE(book->Import(RowsOf(Car(4)), "van.csv", "Van", kAt, &error));
    const auto first = All(), van = All("Van");
    ASSERT_TRUE(book->SetPrice({}, first[0].id, Price{PriceKind::kTotal, 100}, &error));
    ASSERT_TRUE(book->SetOdometer({}, first[0].id, 100, &error));
    ASSERT_TRUE(book->SetPrice("Van", van[0].id, Price{PriceKind::kTotal, 200}, &error));
    ASSERT_TRUE(book->SetOdometer("Van", van[0].id, 200, &error));
    ASSERT_EQ(book->RemoveVehicle("Van", &error), 15);
    EXPECT_EQ(test::QueryRows(path, "SELECT * FROM prices"),
              std::to_string(first[0].id) + "|total|100\n");
    EXPECT_EQ(test::QueryRows(path, "SELECT * FROM odometer"),
              std::to_string(first[0].id) + "|100\n");
}

TEST_F(PricedLogbook, AMergedLogbookBringsItsPricesReadingsAndCurrencyOnce) {
    std::filesystem::create_directory(dir.File("Van"));
    const std::string vanPath = dir.File("Van/" + std::string(kLogbookFileName));
    Failure error;
    std::vector<LogbookRecord> theirs;
    {
        auto other = Logbook::Open(vanPath, &error, LogbookAccess::kWrite);
        ASSERT_NE(other, nullptr) << FailureLine(error);
        Merge(*other, Car(0));
        ASSERT_TRUE(other->SetCurrency({}, "EUR", &error));
        theirs = other->Records();
        ASSERT_TRUE(other->SetPrice({}, theirs[2].id, Price{PriceKind::kPerLitre, 189}, &error));
        ASSERT_TRUE(other->SetOdometer({}, theirs[4].id, 3000000, &error));
        theirs = other->Records();
    }
    auto book = OpenBook();
    Merge(*book, ReadingOf(metersim::SampleBlock()));
    const auto merged = book->MergeLogbook(vanPath, {}, &error);
    ASSERT_TRUE(merged) << FailureLine(error);
    EXPECT_EQ(merged->vehicle, "Van");
    EXPECT_EQ(merged->prices, 1);
    EXPECT_EQ(merged->readings, 1);
    EXPECT_EQ(book->Vehicles()[1].currency, "EUR");
    auto ours = All("Van");
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i].price, theirs[i].price) << i;
        EXPECT_EQ(ours[i].odometer, theirs[i].odometer) << i;
        EXPECT_EQ(ours[i].odometerGiven, theirs[i].odometerGiven) << i;
    }
    // A second run doubles nothing and keeps what was entered here since.
    ASSERT_TRUE(book->SetPrice("Van", ours[2].id, Price{PriceKind::kPerLitre, 199}, &error));
    const auto again = book->MergeLogbook(vanPath, {}, &error);
    ASSERT_TRUE(again) << FailureLine(error);
    EXPECT_EQ(again->prices + again->readings, 0);
    EXPECT_EQ(All("Van")[2].price, (Price{PriceKind::kPerLitre, 199}));
    EXPECT_EQ(test::QueryRows(path, "SELECT count(*) FROM prices"), "1\n");
    EXPECT_EQ(test::QueryRows(path, "SELECT count(*) FROM odometer"), "1\n");
    // Into a vehicle keeping another currency its prices would be wrong: refused, nothing stored.
    ASSERT_TRUE(book->AddVehicle("Yen van", "", &error));
    const std::string before = test::ReadBytes(path);
    EXPECT_FALSE(book->MergeLogbook(vanPath, "Yen van", &error));
    EXPECT_NE(error.reason.en.find("its prices are in EUR"), std::string::npos) << error.reason.en;
    EXPECT_FALSE(error.reason.ja.empty());
    EXPECT_EQ(All("Yen van").size(), 0u);
    EXPECT_EQ(test::ReadBytes(path), before);
}

}  // namespace
}  // namespace odomei

// Reading back the CSV files the window saved, and storing their rows in the logbook: matched to
// the stored records by their texts, and the dates of rows that have no bytes to take them from.
#include <gtest/gtest.h>

#include <string>

#include "data/CsvExport.h"
#include "data/CsvImport.h"
#include "data/Logbook.h"
#include "platform/Text.h"
#include "tests/LogbookSupport.h"
#include "tests/TestSupport.h"
#include "tools/metersim/MeterSim.h"

namespace odomei {
namespace {

TEST_F(LogbookFile, ImportedRowsAreMatchedByTheirTextsAndNotDoubledByALaterRead) {
    auto book = OpenBook();
    const MeterReading reading = ReadingOf(metersim::SampleBlock());
    RecordTable table;
    FillTable(reading, table);
    Reason problem;
    const auto rows = ParseSavedCsv(CsvContent(table), &problem);
    ASSERT_TRUE(rows.has_value()) << problem.en;
    ASSERT_EQ(rows->size(), 15u);
    Failure error;
    const auto imported = book->Import(*rows, "history.csv", {}, kAt, &error);
    ASSERT_TRUE(imported) << FailureLine(error);
    EXPECT_EQ(imported->added, 15);
    EXPECT_EQ(book->Import(*rows, "again.csv", {}, kAt, &error)->known, 15);
    auto records = book->Records();
    ASSERT_EQ(records.size(), 15u);
    EXPECT_TRUE(records[0].imported);
    EXPECT_EQ(records[0].isoDate, "2015-01-09");
    // The meter then gives the same refuels: they are the imported ones, now with their bytes.
    const MergeCounts merged = Merge(*book, reading);
    EXPECT_EQ(merged.upgraded, 15);
    EXPECT_EQ(merged.added, 0);
    records = book->Records();
    ASSERT_EQ(records.size(), 15u);
    EXPECT_FALSE(records[0].imported);
    EXPECT_EQ(records[0].texts, table.m_rows[0]);
}

TEST(SavedCsv, TakesTheDecodersTextsAsASpreadsheetSavesThemAndNothingElse) {
    const std::string header = "日付,走行距離,消費燃料,使用補正値,実給油量,測定誤差\r\n";
    Reason problem;
    // A byte-order mark, quotes (doubled ones too), LF line ends: the texts inside are taken.
    const auto sheet = ParseSavedCsv(
        "\xEF\xBB\xBF\"日付\",走行距離,消費燃料,使用補正値,実給油量,\"測定誤差\"\n"
        "\"2007年15月09日\",\"412.60\",-0.00,655.35,0.00,-999.99\n"
        "2007年00月100日,0.01,1.00,100.00,1.00,999.99\n\"-\",0.00,0.00,0.00,0.00,0.00\n",
        &problem);
    ASSERT_TRUE(sheet) << problem.en;
    ASSERT_EQ(sheet->size(), 3u);
    EXPECT_EQ((*sheet)[0],
              (RecordRow{"2007年15月09日", "412.60", "-0.00", "655.35", "0.00", "-999.99"}));
    EXPECT_EQ((*sheet)[1].m_strDate, "2007年00月100日");
    EXPECT_EQ((*sheet)[2].m_strDate, "-");

    // Anything the decoder never writes is refused with the line it stands on.
    const struct {
        std::string line;
        const char* why;
    } refused[] = {
        {"2015年01月09日😀,412.60,30.85,100.00,31.20,1.12", "a character after the date"},
        {"2015年01月09日\xE9,412.60,30.85,100.00,31.20,1.12", "a byte that is no text"},
        {"2015年1月09日,412.60,30.85,100.00,31.20,1.12", "a month of one digit"},
        {"2016年01月09日,412.60,30.85,100.00,31.20,1.12", "a year beyond the nibble"},
        {"2000年00月00日,412.60,30.85,100.00,31.20,1.12", "the bytes the decoder writes as -"},
        {"2015年01月09日,0412.60,30.85,100.00,31.20,1.12", "a leading zero"},
        {"2015年01月09日,412.6,30.85,100.00,31.20,1.12", "one decimal"},
        {"2015年01月09日,412.60,+30.85,100.00,31.20,1.12", "a plus sign"},
        {"2015年01月09日,412.60,30.85,100.00,31.20,", "an empty figure"},
        {"2015年01月09日,412.60,30.85,100.00,31.20,1.12,", "seven fields"},
        {"\"2015年01月09日,412.60,30.85,100.00,31.20,1.12", "a quote that never closes"},
        {"\"2015年01月09日\"x,412.60,30.85,100.00,31.20,1.12", "text after a closing quote"},
        {"2015\"年01月09日,412.60,30.85,100.00,31.20,1.12", "a quote inside a plain field"},
        {"\"2015年01月09日,412.60\",30.85,100.00,31.20,1.12", "a comma inside quotes"},
    };
    const std::string good = "2015年01月09日,412.60,30.85,100.00,31.20,1.12\r\n";
    for (const auto& c : refused) {
        EXPECT_FALSE(ParseSavedCsv(header + good + c.line + "\r\n", &problem)) << c.why;
        EXPECT_EQ(problem.en.rfind("line 3", 0), 0u) << c.why << ": " << problem.en;
    }
    // CP932 as the window writes it, with a byte that is not CP932 on line 4.
    EXPECT_FALSE(ParseSavedCsv(Sjis(header + good + good) + "\x81\x20,1.00\r\n", &problem));
    EXPECT_EQ(problem.en, "line 4 is not CP932 text");
    EXPECT_FALSE(ParseSavedCsv("a,b\r\n", &problem));
    EXPECT_EQ(problem.en.rfind("line 1", 0), 0u);
    EXPECT_FALSE(ParseSavedCsv(std::string(kMaxImportBytes + 1, '\n'), &problem));
}

TEST_F(LogbookFile, AnImportedRowHasAnIsoDateOnlyWhereItsTextIsARealDate) {
    auto book = OpenBook();
    const auto row = [](const std::string& date) {
        return RecordRow{date, "1.00", "1.00", "100.00", "1.00", "0.00"};
    };
    Failure error;
    ASSERT_TRUE(book->Import({row("2012年02月29日"), row("2013年02月29日"), row("2007年15月09日"),
                              row("2007年00月100日"), row("-")},
                             "dates.csv", {}, kAt, &error))
        << FailureLine(error);
    const auto records = book->Records();
    ASSERT_EQ(records.size(), 5u);
    std::size_t dated = 0;
    for (const auto& r : records) {
        if (r.texts.m_strDate == "2012年02月29日") {
            EXPECT_EQ(r.isoDate, "2012-02-29");  // a leap year
        } else {
            EXPECT_EQ(r.isoDate, std::nullopt) << r.texts.m_strDate;
        }
        dated += r.isoDate ? 1 : 0;
    }
    EXPECT_EQ(dated, 1u);
}

}  // namespace
}  // namespace odomei

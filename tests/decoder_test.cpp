// The block decoder: each text of a record, the empty patterns, the block and its version.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <vector>

#include "data/Decoder.h"

namespace odomei {
namespace {

using Record = std::array<std::uint8_t, kRecordSize>;
using Block = std::array<std::uint8_t, kBlockSize>;

Record MakeRecord(std::int32_t fuelCount, std::uint32_t distanceCount, std::uint16_t correction,
                  std::uint16_t refuel, std::uint8_t day, std::uint8_t yearMonth) {
    Record r{};
    const auto fuel = static_cast<std::uint32_t>(fuelCount);
    for (int i = 0; i < 4; ++i) {
        r[i] = static_cast<std::uint8_t>(fuel >> (8 * i));
        r[4 + i] = static_cast<std::uint8_t>(distanceCount >> (8 * i));
    }
    r[8] = static_cast<std::uint8_t>(correction);
    r[9] = static_cast<std::uint8_t>(correction >> 8);
    r[10] = static_cast<std::uint8_t>(refuel);
    r[11] = static_cast<std::uint8_t>(refuel >> 8);
    r[12] = day;
    r[13] = yearMonth;
    return r;
}

void Put(Block& b, int k, const Record& r) {
    std::copy(r.begin(), r.end(), b.begin() + kFirstRecordOffset + (k - 1) * kRecordSize);
}

RecordRow Decode(const Record& r) {
    RecordRow row;
    DecodeRecord(MeasurementRecord::From(RecordBytes(r)), row);
    return row;
}

struct RecordCase {
    const char* name;
    Record record;
    RecordRow expected;
};

class DecodeRecordTexts : public ::testing::TestWithParam<RecordCase> {};

TEST_P(DecodeRecordTexts, GiveTheSixTexts) {
    EXPECT_EQ(Decode(GetParam().record), GetParam().expected);
}

Record AllOnes() {
    Record r;
    r.fill(0xFF);
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Records, DecodeRecordTexts,
    ::testing::Values(
        RecordCase{"Typical",
                   MakeRecord(301234567, 1000000, 10000, 3050, 15, 0x73),
                   {"2007年03月15日", "392.50", "30.12", "100.00", "30.50", "1.25"}},
        // Exact hundredths of a litre stay exact (a single-precision factor made them 1.22, 49.99).
        RecordCase{"ExactFuel123",
                   MakeRecord(12300000, 2548, 10000, 123, 1, 0x11),
                   {"2001年01月01日", "1.00", "1.23", "100.00", "1.23", "0.00"}},
        RecordCase{"ExactFuel50",
                   MakeRecord(500000000, 100000, 10000, 5000, 1, 0x11),
                   {"2001年01月01日", "39.25", "50.00", "100.00", "50.00", "0.00"}},
        // d = 1 of 800: 0.125 rounds up to 0.13.
        RecordCase{"HalfRoundsUp",
                   MakeRecord(79900000, 0, 10000, 800, 1, 0x11),
                   {"2001年01月01日", "0.00", "7.99", "100.00", "8.00", "0.13"}},
        RecordCase{"NegativeHalfRoundsAway",
                   MakeRecord(80100000, 0, 10000, 800, 1, 0x11),
                   {"2001年01月01日", "0.00", "8.01", "100.00", "8.00", "-0.13"}},
        // 107 / 4000 * 100 is held just below 2.675.
        RecordCase{"HeldBelowHalf",
                   MakeRecord(389300000, 0, 10000, 4000, 1, 0x11),
                   {"2001年01月01日", "0.00", "38.93", "100.00", "40.00", "2.67"}},
        RecordCase{"NegativeZero",
                   MakeRecord(1250050000, 0, 20000, 25000, 1, 0x11),
                   {"2001年01月01日", "0.00", "250.01", "200.00", "250.00", "-0.00"}},
        // Fourteen 0xFF bytes are a record: fuel -1 x 65535 / 10000 is -6, shown as -0.00.
        RecordCase{
            "AllOnes", AllOnes(), {"-", "1685774.66", "-0.00", "655.35", "655.35", "100.00"}},
        RecordCase{"LargestProductDoesNotWrap",
                   MakeRecord(2147483647, 0, 65535, 65535, 9, 0xF9),
                   {"2015年09月09日", "0.00", "1407.35", "655.35", "655.35", "-114.75"}},
        RecordCase{"MostNegativeFuel",
                   MakeRecord(-2147483647 - 1, 0, 65535, 100, 9, 0xF9),
                   {"2015年09月09日", "0.00", "-1407.35", "655.35", "1.00", "999.99"}},
        RecordCase{"CorrectionAndRefuelDigits",
                   MakeRecord(0, 0, 9950, 2500, 1, 0x11),
                   {"2001年01月01日", "0.00", "0.00", "99.50", "25.00", "100.00"}},
        RecordCase{"CorrectionHundredths",
                   MakeRecord(0, 0, 10005, 5, 1, 0x11),
                   {"2001年01月01日", "0.00", "0.00", "100.05", "0.05", "100.00"}},
        RecordCase{"FarOverRefuel",
                   MakeRecord(120000000, 0, 10000, 100, 1, 0x11),
                   {"2001年01月01日", "0.00", "12.00", "100.00", "1.00", "-999.99"}},
        RecordCase{"NoRefuelNoFuel",
                   MakeRecord(0, 0, 10000, 0, 1, 0x11),
                   {"2001年01月01日", "0.00", "0.00", "100.00", "0.00", "-999.99"}},
        RecordCase{"NoRefuelSomeFuel",
                   MakeRecord(10000000, 0, 10000, 0, 1, 0x11),
                   {"2001年01月01日", "0.00", "1.00", "100.00", "0.00", "-999.99"}},
        RecordCase{"NoRefuelNegativeFuel",
                   MakeRecord(-10000000, 0, 10000, 0, 1, 0x11),
                   {"2001年01月01日", "0.00", "-1.00", "100.00", "0.00", "999.99"}},
        RecordCase{"DistanceRoundsHalfUp",
                   MakeRecord(0, 2000, 0, 1, 1, 0x11),  // 0.785 km exactly
                   {"2001年01月01日", "0.79", "0.00", "0.00", "0.01", "100.00"}},
        RecordCase{"DateWithoutRangeCheck",
                   MakeRecord(0, 0, 0, 1, 100, 0x0D),
                   {"2000年13月100日", "0.00", "0.00", "0.00", "0.01", "100.00"}},
        RecordCase{"ZeroDateOtherFieldsDecoded",
                   MakeRecord(10000000, 2548, 10000, 100, 0, 0),
                   {"-", "1.00", "1.00", "100.00", "1.00", "0.00"}},
        RecordCase{"OnesDate",
                   MakeRecord(10000000, 2548, 10000, 100, 0xFF, 0xFF),
                   {"-", "1.00", "1.00", "100.00", "1.00", "0.00"}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(EmptyRecord, IsAllZeroOrTwelveOnesThenTwoZeros) {
    Record zero{};
    Record ones = AllOnes();
    ones[12] = ones[13] = 0;
    EXPECT_TRUE(IsEmptyRecord(RecordBytes(zero)));
    EXPECT_TRUE(IsEmptyRecord(RecordBytes(ones)));
    for (int i = 0; i < 14; ++i) {
        Record z = zero;
        z[i] = 1;
        EXPECT_FALSE(IsEmptyRecord(RecordBytes(z))) << i;
        Record o = ones;
        o[i] ^= 1;
        EXPECT_FALSE(IsEmptyRecord(RecordBytes(o))) << i;
    }
    EXPECT_FALSE(IsEmptyRecord(RecordBytes(AllOnes())));
}

TEST(DecodeBlockRows, FilledRecordsCloseUpInBlockOrder) {
    Block b{};
    const Record filled[] = {
        MakeRecord(10000000, 0, 10000, 100, 1, 0x61), MakeRecord(20000000, 0, 10000, 200, 2, 0x61),
        MakeRecord(30000000, 0, 10000, 300, 3, 0x61), MakeRecord(50000000, 0, 10000, 500, 5, 0x61)};
    Put(b, 1, filled[0]);
    Put(b, 2, filled[1]);
    Put(b, 3, filled[2]);
    Put(b, 5, filled[3]);  // after an empty record 4: still shown
    Record ones = AllOnes();
    ones[12] = ones[13] = 0;
    for (int k = 6; k <= 15; ++k) Put(b, k, k % 2 ? ones : Record{});
    RecordTable table;
    DecodeBlock(MeasurementBlock(b), table);
    ASSERT_EQ(table.m_nRecordCount, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(table.m_rows[i], Decode(filled[i])) << i;
    for (int i = 4; i < kMaxRecords; ++i) EXPECT_EQ(table.m_rows[i], RecordRow{}) << i;
}

TEST(DecodeReading, GivesTheRecordsAsValuesWithTheirBytes) {
    Block b{};
    const Record first = MakeRecord(-5, 2548, 10050, 800, 29, 0xC2);  // 2012-02-29
    const Record second = MakeRecord(12300000, 100000, 10000, 1234, 31, 0x14);
    Put(b, 2, first);
    Put(b, 9, second);
    const MeterReading reading = DecodeReading(MeasurementBlock(b));
    ASSERT_EQ(reading.records.size(), 2u);
    const MeasurementRecord& r = reading.records[0];
    EXPECT_EQ(r.raw, first);
    EXPECT_EQ(r.fuelCount, -5);
    EXPECT_EQ(r.distanceCount, 2548u);
    EXPECT_EQ(r.correction, 10050);
    EXPECT_EQ(r.refuel, 800);
    EXPECT_EQ(reading.records[1].raw, second);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), reading.block.begin()));
    // The rows derived from the values are the rows the table gets.
    RecordTable table;
    DecodeBlock(MeasurementBlock(b), table);
    EXPECT_EQ(table.m_rows[0], RowOf(r));
    EXPECT_EQ(table.m_rows[1], RowOf(reading.records[1]));
}

TEST(DecodeReading, IsoDateOnlyForRealDates) {
    auto iso = [](std::uint8_t day, std::uint8_t yearMonth) {
        return IsoDate(
            MeasurementRecord::From(RecordBytes(MakeRecord(1, 1, 1, 1, day, yearMonth))));
    };
    EXPECT_EQ(iso(9, 0xF1), "2015-01-09");
    EXPECT_EQ(iso(29, 0xC2), "2012-02-29");  // a leap year
    EXPECT_EQ(iso(31, 0x0C), "2000-12-31");
    EXPECT_EQ(iso(29, 0xD2), std::nullopt);  // 2013 is not
    EXPECT_EQ(iso(31, 0x14), std::nullopt);  // April has 30 days
    EXPECT_EQ(iso(1, 0x1D), std::nullopt);   // month 13
    EXPECT_EQ(iso(1, 0x10), std::nullopt);   // month 0
    EXPECT_EQ(iso(0, 0x11), std::nullopt);   // day 0
    EXPECT_EQ(iso(0, 0x00), std::nullopt);   // no date: "-"
    EXPECT_EQ(iso(0xFF, 0xFF), std::nullopt);
}

TEST(DecodeBlockRows, CountsTenOrFifteenOrNone) {
    for (int filled : {0, 10, 15}) {
        Block b{};
        for (int k = 1; k <= filled; ++k) Put(b, k, MakeRecord(k, k, k, k, k, 0x61));
        RecordTable table;
        DecodeBlock(MeasurementBlock(b), table);
        EXPECT_EQ(table.m_nRecordCount, filled);
        if (filled > 0) {
            EXPECT_EQ(table.m_rows[filled - 1].m_strDate,
                      "2006年01月" + std::to_string(filled) + "日");
        }
    }
}

TEST(DecodeBlockVersion, ReversesThePairsAndEndsAtTheFirstZero) {
    Block b{};
    auto version = [&b](std::array<std::uint8_t, 4> bytes) {
        std::copy(bytes.begin(), bytes.end(), b.begin() + kVersionOffset);
        RecordTable table;
        return DecodeBlock(MeasurementBlock(b), table);
    };
    EXPECT_EQ(version({'3', '0', '1', '0'}), "01.03");
    EXPECT_EQ(version({'3', '0', '1', 0}), "");
    EXPECT_EQ(version({'3', 0, '1', '0'}), "01.");
    EXPECT_EQ(version({0, '0', '1', '0'}), "01.0");
    // The characters are CP932: half-width katakana show as such, a broken character as "?".
    EXPECT_EQ(version({'3', 0xB1, '1', '0'}), "01.ｱ3");
    EXPECT_EQ(version({'3', '0', '1', 0x81}), "?1.03");
}

TEST(BlockCheckByte, IsTheExclusiveOrOfBytesZeroTo214) {
    Block b{};
    for (std::size_t i = 0; i < kBlockSize; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < 215; ++i) x ^= b[i];
    EXPECT_EQ(BlockCheck(MeasurementBlock(b)), x);
}

TEST(FormatFixed2, RoundsTheSeventeenDigitTextHalfUp) {
    EXPECT_EQ(FormatFixed2(0.125), "0.13");
    EXPECT_EQ(FormatFixed2(-0.125), "-0.13");
    EXPECT_EQ(FormatFixed2(2.675), "2.67");
    EXPECT_EQ(FormatFixed2(-0.004), "-0.00");
    EXPECT_EQ(FormatFixed2(0.0), "0.00");
    EXPECT_EQ(FormatFixed2(0.005), "0.01");
    EXPECT_EQ(FormatFixed2(0.0001), "0.00");
    EXPECT_EQ(FormatFixed2(9.995), "9.99");  // 9.9949999999999992 at 17 digits
    EXPECT_EQ(FormatFixed2(9.9951), "10.00");
    EXPECT_EQ(FormatFixed2(999.99), "999.99");
    EXPECT_EQ(FormatFixed2(-999.985), "-999.99");
    EXPECT_EQ(FormatFixed2(100.0), "100.00");
    EXPECT_EQ(FormatFixed2(1e20), "100000000000000000000.00");
}

// Many random blocks: every text well formed, nothing crashes.
TEST(DecodeBlockRandom, EveryTextIsWellFormed) {
    std::mt19937 rng(20261207);
    const std::regex number(R"(-?[0-9]+\.[0-9]{2})");
    const std::regex date(R"(-|20[0-9]{2}年[0-9]{2}月[0-9]{2,3}日)");
    std::uniform_int_distribution<int> byte(0, 255);
    for (int n = 0; n < 3000; ++n) {
        Block b;
        for (auto& x : b) x = static_cast<std::uint8_t>(byte(rng));
        if (n % 3 == 0) {  // some records empty, to mix the patterns
            for (int k = 1; k <= 15; k += 2) Put(b, k, Record{});
        }
        RecordTable table;
        const std::string version = DecodeBlock(MeasurementBlock(b), table);
        ASSERT_LE(version.size(), 15u);  // five CP932 characters in UTF-8
        ASSERT_GE(table.m_nRecordCount, 0);
        ASSERT_LE(table.m_nRecordCount, kMaxRecords);
        for (int i = 0; i < table.m_nRecordCount; ++i) {
            const RecordRow& r = table.m_rows[i];
            ASSERT_TRUE(std::regex_match(r.m_strDate, date)) << r.m_strDate;
            for (const std::string* s : {&r.m_strDistance, &r.m_strFuel, &r.m_strCorrection,
                                         &r.m_strRefuel, &r.m_strError}) {
                ASSERT_TRUE(std::regex_match(*s, number)) << *s;
            }
            const double error = std::stod(r.m_strError);
            ASSERT_LE(error, 999.99);
            ASSERT_GE(error, -999.99);
        }
    }
}

}  // namespace
}  // namespace odomei

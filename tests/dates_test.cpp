// The meter's date text both ways, in either encoding it is read in.
#include <gtest/gtest.h>

#include <string>

#include "platform/Dates.h"
#include "platform/Text.h"

namespace odomei {
namespace {

TEST(MeterDateText, IsReadBackOnlyDigitForDigitAsItIsWritten) {
    EXPECT_EQ(MeterDateText({2015, 1, 9}), "2015年01月09日");
    EXPECT_EQ(MeterDateText({2000, 15, 255}), "2000年15月255日");  // the fields as they are
    for (const CivilDate date : {CivilDate{2015, 1, 9}, CivilDate{2000, 0, 0},
                                 CivilDate{2015, 15, 100}, CivilDate{987, 12, 31}}) {
        const auto back = ParseMeterDateText(MeterDateText(date));
        ASSERT_TRUE(back) << MeterDateText(date);
        EXPECT_EQ(back->year, date.year);
        EXPECT_EQ(back->month, date.month);
        EXPECT_EQ(back->day, date.day);
    }
    for (const char* text : {"2015年1月09日", "2015年01月9日", "2015年001月09日", "02015年01月09日",
                             "2015年01月09日 ", "2015年01月日", "2015-01-09", "-", ""}) {
        EXPECT_FALSE(ParseMeterDateText(text)) << text;
    }
}

TEST(MeterDateText, IsReadInCp932WithTheUnitsInCp932) {
    const std::string year = Sjis(kMeterDateUnits.year), month = Sjis(kMeterDateUnits.month),
                      day = Sjis(kMeterDateUnits.day);
    const DateUnits cp932{year, month, day};
    const auto date = ParseMeterDateText(Sjis("2012年02月29日"), cp932);
    ASSERT_TRUE(date);
    EXPECT_EQ(IsoDateText(*date), "2012-02-29");
    EXPECT_FALSE(ParseMeterDateText("2012年02月29日", cp932));  // UTF-8 is not CP932
    EXPECT_FALSE(ParseMeterDateText(Sjis("2012年02月29日")));
}

TEST(IsoDates, RealDatesOnly) {
    EXPECT_TRUE(IsRealDate({2000, 2, 29}));   // every 400 years a leap year
    EXPECT_FALSE(IsRealDate({1900, 2, 29}));  // every 100 not
    EXPECT_FALSE(IsRealDate({2015, 13, 1}));
    EXPECT_FALSE(IsRealDate({2015, 1, 0}));
    EXPECT_EQ(IsoDateText({2015, 1, 9}), "2015-01-09");
    EXPECT_EQ(IsoDateText({15, 1, 9}), "0015-01-09");
}

}  // namespace
}  // namespace odomei

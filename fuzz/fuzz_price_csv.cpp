// Any bytes given as a card statement end in dated prices or a reason, never in an end of the
// process; every line taken in is a real date and a price within bounds, and the lines written
// out again read back the same. The same bytes as a typed price or odometer reading: a value
// within bounds that its text gives back, or a reason.
#include <cstdint>
#include <string>

#include "data/Prices.h"
#include "fuzz/FuzzRequire.h"
#include "platform/Dates.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    odomei::Reason why;
    const auto lines = odomei::ParsePriceStatement(text, &why);
    if (!lines) {
        Require(!why.en.empty() && !why.ja.empty(), "a statement refused without a reason");
    } else {
        Require(!lines->empty(), "a statement taken in without a line");
        std::string again;
        int previous = 0;
        for (const odomei::StatementLine& line : *lines) {
            Require(line.line > previous, "lines out of the file's order");
            previous = line.line;
            Require(odomei::ParseIsoDate(line.isoDate).has_value(), "a line without a real date");
            Require(line.amount > 0 && line.amount <= odomei::kMaxPriceAmount,
                    "a price out of bounds");
            again += line.isoDate + "," + odomei::AmountText(line.amount) + "\r\n";
        }
        const auto reread = odomei::ParsePriceStatement(again, &why);
        Require(reread.has_value() && reread->size() == lines->size(),
                "lines written out do not read back");
        for (std::size_t i = 0; i < lines->size(); ++i) {
            Require((*reread)[i].isoDate == (*lines)[i].isoDate &&
                        (*reread)[i].amount == (*lines)[i].amount,
                    "a line written out reads back otherwise");
        }
    }
    if (const auto amount = odomei::ParsePriceAmount(text, &why)) {
        Require(*amount > 0 && *amount <= odomei::kMaxPriceAmount, "a price out of bounds");
        Require(odomei::ParsePriceAmount(odomei::AmountText(*amount)) == amount,
                "a price written out reads back otherwise");
    } else {
        Require(!why.en.empty() && !why.ja.empty(), "a price refused without a reason");
    }
    if (const auto reading = odomei::ParseOdometer(text, &why)) {
        Require(*reading >= 0 && *reading <= odomei::kMaxOdometerKm * 100 && *reading % 100 == 0,
                "an odometer reading out of bounds");
        Require(odomei::ParseOdometer(std::to_string(*reading / 100)) == reading,
                "a reading written out reads back otherwise");
    } else {
        Require(!why.en.empty() && !why.ja.empty(), "a reading refused without a reason");
    }
    return 0;
}

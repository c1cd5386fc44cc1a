// Any bytes given to the import end in rows or a reason, never in an end of the process; every
// row taken in is what the decoder writes, byte for byte, and the rows written out as the window
// writes them read back the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "data/CsvExport.h"
#include "data/CsvImport.h"
#include "data/Decoder.h"
#include "fuzz/FuzzRequire.h"
#include "platform/Text.h"

namespace {

constexpr int kByteValues = 256;

// Every date text the decoder can write: one for each pair of a record's two date bytes.
const std::set<std::string>& DecoderDates() {
    static const std::set<std::string> dates = [] {
        std::set<std::string> all;
        for (int yearMonth = 0; yearMonth < kByteValues; ++yearMonth) {
            for (int day = 0; day < kByteValues; ++day) {
                all.insert(odomei::DateText(static_cast<std::uint8_t>(yearMonth),
                                            static_cast<std::uint8_t>(day)));
            }
        }
        return all;
    }();
    return dates;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    odomei::Reason problem;
    const auto rows = odomei::ParseSavedCsv(
        std::string_view(reinterpret_cast<const char*>(data), size), &problem);
    if (!rows) {
        Require(!problem.en.empty(), "a file refused without a reason");
        return 0;
    }
    for (const odomei::RecordRow& row : *rows) {
        Require(DecoderDates().count(row.m_strDate) == 1, "a date the decoder never writes");
        for (const std::string* figure : {&row.m_strDistance, &row.m_strFuel, &row.m_strCorrection,
                                          &row.m_strRefuel, &row.m_strError}) {
            const auto value = odomei::ParseHundredths(*figure);
            Require(value.has_value(), "a figure taken in that has no value");
            const bool negative = !figure->empty() && (*figure)[0] == '-';
            const auto magnitude = static_cast<std::uint64_t>(negative ? -*value : *value);
            Require(odomei::FigureText(negative, magnitude) == *figure,
                    "a figure the list never writes");
        }
    }
    const auto bytes = odomei::Utf8ToCp932(odomei::CsvText(*rows));
    Require(bytes.has_value(), "rows taken in that cannot be written in CP932");
    const auto again = odomei::ParseSavedCsv(*bytes, &problem);
    Require(again.has_value() && *again == *rows, "rows written out do not read back the same");
    return 0;
}

// Any 216 bytes decode into well-formed texts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/Decoder.h"

namespace {

void Require(bool ok, const char* what, const std::string& text) {
    if (!ok) {
        std::fprintf(stderr, "%s: \"%s\"\n", what, text.c_str());
        std::abort();
    }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An optional minus, at least one digit, a point and exactly two digits.
bool IsTwoDecimalNumber(const std::string& s) {
    std::size_t i = s.starts_with('-') ? 1 : 0;
    const std::size_t digitsStart = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    return i > digitsStart && s.size() == i + 3 && s[i] == '.' && IsDigit(s[i + 1]) &&
           IsDigit(s[i + 2]);
}

// "-" or "20YY年MM月DD日" with a day of two or three digits.
bool IsDate(const std::string& s) {
    if (s == "-") return true;
    const std::string year = "年", month = "月", day = "日";
    if (s.size() < 2 + 2 + 3 + 2 + 3 + 2 + 3 || s.substr(0, 2) != "20") return false;
    if (!IsDigit(s[2]) || !IsDigit(s[3]) || s.compare(4, 3, year) != 0) return false;
    if (!IsDigit(s[7]) || !IsDigit(s[8]) || s.compare(9, 3, month) != 0) return false;
    std::size_t i = 12;
    while (i < s.size() && IsDigit(s[i])) ++i;
    return (i == 14 || i == 15) && s.compare(i, std::string::npos, day) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t block[odomei::kBlockSize] = {};
    std::memcpy(block, data, std::min(size, sizeof block));
    odomei::RecordTable table;
    const std::string version = odomei::DecodeBlock(odomei::MeasurementBlock(block), table);
    // Five CP932 characters at most, each up to three bytes of UTF-8.
    Require(version.size() <= 15 && version.find('\0') == std::string::npos, "version", version);
    Require(table.m_nRecordCount >= 0 && table.m_nRecordCount <= odomei::kMaxRecords, "count", "");
    for (int i = 0; i < odomei::kMaxRecords; ++i) {
        const odomei::RecordRow& r = table.m_rows[i];
        if (i >= table.m_nRecordCount) {
            Require(r == odomei::RecordRow{}, "row beyond the count is not empty", r.m_strDate);
            continue;
        }
        Require(IsDate(r.m_strDate), "date", r.m_strDate);
        for (const std::string* s :
             {&r.m_strDistance, &r.m_strFuel, &r.m_strCorrection, &r.m_strRefuel, &r.m_strError}) {
            Require(IsTwoDecimalNumber(*s), "number", *s);
        }
        const double error = std::strtod(r.m_strError.c_str(), nullptr);
        Require(error <= 999.99 && error >= -999.99, "error out of its limits", r.m_strError);
        Require(!r.m_strCorrection.starts_with('-') && !r.m_strRefuel.starts_with('-') &&
                    !r.m_strDistance.starts_with('-'),
                "unsigned field with a sign", r.m_strCorrection);
    }
    return 0;
}

#include "data/Decoder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/Dates.h"
#include "platform/Text.h"

namespace odomei {
namespace {

// The distance step is 0.0003925 km: hundredths of a km = count * 3925 / 100000.
constexpr std::uint64_t kDistanceStepNumerator = 3925;
constexpr std::uint64_t kDistanceStepDenominator = 100000;
// Corrected fuel M = correction * fuelCount / 10000, in ten-millionths of a litre.
constexpr std::int64_t kCorrectionScale = 10000;
constexpr std::int64_t kTenMillionthsPerHundredth = 100000;
// The error text is limited to these.
constexpr double kErrorLimit = 999.99;
// Digits a figure's hundredths may have and still fit an unsigned 64-bit integer.
constexpr std::size_t kFigureDigits = 19;

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::string Hundredths(std::uint64_t hundredths) { return FigureText(false, hundredths); }

std::string DistanceText(const MeasurementRecord& r) {
    const std::uint64_t scaled = std::uint64_t{r.distanceCount} * kDistanceStepNumerator;
    return Hundredths((scaled + kDistanceStepDenominator / 2) / kDistanceStepDenominator);
}

std::int64_t CorrectedFuel(const MeasurementRecord& r) {
    return std::int64_t{r.correction} * std::int64_t{r.fuelCount} / kCorrectionScale;
}

std::string FuelText(std::int64_t m) {
    const std::uint64_t magnitude = static_cast<std::uint64_t>(std::llabs(m));
    return FigureText(m < 0, magnitude / kTenMillionthsPerHundredth);
}

std::string ErrorText(std::int64_t m, std::uint16_t refuel) {
    const std::int64_t h = m / kTenMillionthsPerHundredth;
    const std::int64_t d = std::int64_t{refuel} - h;
    // A zero refuel amount divides to an infinity or, for d = 0, to a value that is no number.
    const double p = static_cast<double>(d) / static_cast<double>(refuel) * 100.0;
    if (p > kErrorLimit) return "999.99";
    if (p >= -kErrorLimit) return FormatFixed2(p);
    return "-999.99";
}

}  // namespace

MeasurementRecord MeasurementRecord::From(RecordBytes b) {
    MeasurementRecord r;
    std::copy(b.begin(), b.end(), r.raw.begin());
    r.fuelCount = static_cast<std::int32_t>(Le32(&b[0]));
    r.distanceCount = Le32(&b[4]);
    r.correction = Le16(&b[8]);
    r.refuel = Le16(&b[10]);
    r.day = b[12];
    r.yearMonth = b[13];
    return r;
}

bool IsEmptyRecord(RecordBytes b) {
    bool allZero = true;
    bool onesThenZero = b[12] == 0 && b[13] == 0;
    for (std::size_t i = 0; i < kRecordSize; ++i) {
        allZero = allZero && b[i] == 0x00;
        if (i < 12) onesThenZero = onesThenZero && b[i] == 0xFF;
    }
    return allZero || onesThenZero;
}

std::string DateText(std::uint8_t yearMonth, std::uint8_t day) {
    if ((yearMonth == 0x00 && day == 0x00) || (yearMonth == 0xFF && day == 0xFF)) return "-";
    return MeterDateText({kMeterFirstYear + (yearMonth >> 4), yearMonth & 0x0F, day});
}

std::string FigureText(bool negative, std::uint64_t hundredths) {
    // Written from the end of a buffer: one allocation, where the history of a million records
    // writes several figures each.
    char text[32];
    char* p = text + sizeof text;
    std::uint64_t rest = hundredths;
    *--p = static_cast<char>('0' + rest % 10);
    rest /= 10;
    *--p = static_cast<char>('0' + rest % 10);
    rest /= 10;
    *--p = '.';
    do {
        *--p = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (negative) *--p = '-';
    return std::string(p, static_cast<std::size_t>(text + sizeof text - p));
}

void DecodeRecord(const MeasurementRecord& record, RecordRow& row) {
    const std::int64_t m = CorrectedFuel(record);
    row.m_strDate = DateText(record.yearMonth, record.day);
    row.m_strDistance = DistanceText(record);
    row.m_strFuel = FuelText(m);
    row.m_strCorrection = Hundredths(record.correction);
    row.m_strRefuel = Hundredths(record.refuel);
    row.m_strError = ErrorText(m, record.refuel);
}

RecordRow RowOf(const MeasurementRecord& record) {
    RecordRow row;
    DecodeRecord(record, row);
    return row;
}

MeterReading DecodeReading(MeasurementBlock block) {
    MeterReading reading;
    std::copy(block.begin(), block.end(), reading.block.begin());
    for (int k = 0; k < kMaxRecords; ++k) {
        const RecordBytes bytes = block.subspan<kFirstRecordOffset, kRecordSize * kMaxRecords>()
                                      .subspan(static_cast<std::size_t>(k) * kRecordSize)
                                      .first<kRecordSize>();
        if (!IsEmptyRecord(bytes)) reading.records.push_back(MeasurementRecord::From(bytes));
    }
    const std::uint8_t* v = &block[kVersionOffset];
    const char chars[] = {static_cast<char>(v[3]), static_cast<char>(v[2]), '.',
                          static_cast<char>(v[1]), static_cast<char>(v[0])};
    std::string version;
    for (char c : chars) {
        if (c == '\0') break;
        version += c;
    }
    // The meter's characters are CP932; one that is not valid shows as "?".
    if (auto text = Cp932ToUtf8(version)) {
        reading.version = *text;
    } else {
        for (char& c : version) {
            if (static_cast<unsigned char>(c) >= 0x80) c = '?';
        }
        reading.version = version;
    }
    return reading;
}

void FillTable(const MeterReading& reading, RecordTable& table) {
    // Filled records close up in block order, so one after an empty record is not lost.
    for (const MeasurementRecord& record : reading.records) {
        DecodeRecord(record, table.m_rows[table.m_nRecordCount]);
        ++table.m_nRecordCount;
    }
}

std::string DecodeBlock(MeasurementBlock block, RecordTable& table) {
    MeterReading reading = DecodeReading(block);
    FillTable(reading, table);
    return std::move(reading.version);
}

std::optional<std::string> IsoDate(const MeasurementRecord& r) {
    // Neither pattern of a record without a date has a month of 1 to 12.
    const CivilDate date{kMeterFirstYear + (r.yearMonth >> 4), r.yearMonth & 0x0F, r.day};
    if (!IsRealDate(date)) return std::nullopt;
    return IsoDateText(date);
}

std::uint8_t BlockCheck(MeasurementBlock block) {
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < kCheckByteOffset; ++i) x ^= block[i];
    return x;
}

std::string FormatFixed2(double value) {
    if (std::isnan(value) || std::isinf(value)) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%3.2f", value);
        return buf;
    }
    // 17 significant digits: d.dddddddddddddddde[+-]x (to_chars writes what printf's "%.16e"
    // does, without the locale and several times as fast: the history of a million records
    // formats two of these for each).
    char sci[40];
    const auto written =
        std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 16);
    *written.ptr = '\0';
    const bool negative = sci[0] == '-';
    const char* p = sci + (negative ? 1 : 0);
    char digits[20];
    int count = 0;
    for (; *p != 'e'; ++p) {
        if (*p != '.') digits[count++] = *p;
    }
    const int exponent = std::atoi(p + 1);
    // digits[i] stands for 10^(exponent - i). Keep everything down to the hundredths.
    std::string kept;  // integer digits followed by two decimals
    kept.reserve(static_cast<std::size_t>(std::max(exponent, 0) + 4));
    for (int power = std::max(exponent, 0); power >= -2; --power) {
        const int i = exponent - power;
        kept += (i >= 0 && i < count) ? digits[i] : '0';
    }
    const int third = exponent + 3;  // index of the thousandths digit
    const bool roundUp = third >= 0 && third < count && digits[third] >= '5';
    if (roundUp) {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0 && kept[i] == '9') kept[i--] = '0';
        if (i >= 0) {
            ++kept[i];
        } else {
            kept.insert(kept.begin(), '1');
        }
    }
    // Within reach of an integer (every figure of a record), the one figure format writes it.
    std::uint64_t hundredths = 0;
    if (kept.size() <= kFigureDigits &&
        std::from_chars(kept.data(), kept.data() + kept.size(), hundredths).ec == std::errc()) {
        return FigureText(negative, hundredths);
    }
    std::string integer = kept.substr(0, kept.size() - 2);
    while (integer.size() > 1 && integer[0] == '0') integer.erase(0, 1);
    return (negative ? "-" : "") + integer + "." + kept.substr(kept.size() - 2);
}

}  // namespace odomei

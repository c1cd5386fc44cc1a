#include "cli/Formats.h"

#include <cstdio>
#include <vector>

#include "data/CsvExport.h"
#include "data/RecordTable.h"

namespace odomei::cli {
namespace {

constexpr const char* kVersionPrefix = "F/W Version:";
constexpr const char* kColumns[] = {"No",          "日付",      "走行距離[km]", "消費燃料[L]",
                                    "補正値[%]", "実給油量[L]", "測定誤差[%]"};
constexpr int kColumnCount = 7;
constexpr const char* kColumnGap = "  ";

RecordTable TableOf(const MeterReading& reading) {
    RecordTable table;
    FillTable(reading, table);
    return table;
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

std::string Hex(const std::array<std::uint8_t, kRecordSize>& bytes) {
    std::string out;
    for (std::uint8_t b : bytes) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += buf;
    }
    return out;
}

// Decodes one UTF-8 sequence at s[i], advancing i; invalid bytes count as one character each.
char32_t NextCodePoint(const std::string& s, std::size_t& i) {
    const auto c = static_cast<unsigned char>(s[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (i + static_cast<std::size_t>(extra) >= s.size()) extra = 0;
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    ++i;
    for (int k = 0; k < extra; ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i++]) & 0x3F);
    return cp;
}

bool IsWide(char32_t cp) {
    if (cp >= 0xFF61 && cp <= 0xFF9F) return false;  // half-width katakana
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

std::string Pad(const std::string& text, int width, bool right) {
    const std::string fill(static_cast<std::size_t>(std::max(0, width - DisplayWidth(text))), ' ');
    return right ? fill + text : text + fill;
}

}  // namespace

int DisplayWidth(const std::string& utf8) {
    int width = 0;
    for (std::size_t i = 0; i < utf8.size();) width += IsWide(NextCodePoint(utf8, i)) ? 2 : 1;
    return width;
}

std::string FormatCsv(const MeterReading& reading, bool utf8) {
    const RecordTable table = TableOf(reading);
    return utf8 ? CsvText(table) : CsvContent(table);
}

std::string FormatJson(const MeterReading& reading) {
    std::string out = "{\n  \"firmwareVersion\": " + JsonString(reading.version) +
                      ",\n  \"records\": [";
    for (std::size_t i = 0; i < reading.records.size(); ++i) {
        const MeasurementRecord& r = reading.records[i];
        const RecordRow row = RowOf(r);
        const auto iso = IsoDate(r);
        // The list's texts are already JSON numbers with two decimals; they go in as they are.
        out += std::string(i == 0 ? "" : ",") + "\n    {\"no\": " + std::to_string(i + 1) +
               ", \"date\": " + (iso ? JsonString(*iso) : "null") +
               ", \"dateText\": " + JsonString(row.m_strDate) +
               ", \"distanceKm\": " + row.m_strDistance + ", \"fuelL\": " + row.m_strFuel +
               ", \"correctionPercent\": " + row.m_strCorrection +
               ", \"refuelL\": " + row.m_strRefuel + ", \"errorPercent\": " + row.m_strError +
               ", \"raw\": " + JsonString(Hex(r.raw)) + "}";
    }
    out += reading.records.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

std::string FormatTable(const MeterReading& reading) {
    std::vector<std::vector<std::string>> rows;
    rows.emplace_back(std::begin(kColumns), std::end(kColumns));
    for (std::size_t i = 0; i < reading.records.size(); ++i) {
        const RecordRow row = RowOf(reading.records[i]);
        const std::string no = (i + 1 < 10 ? "0" : "") + std::to_string(i + 1);
        rows.push_back({no, row.m_strDate, row.m_strDistance, row.m_strFuel, row.m_strCorrection,
                        row.m_strRefuel, row.m_strError});
    }
    int widths[kColumnCount] = {};
    for (const auto& row : rows) {
        for (int c = 0; c < kColumnCount; ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
    std::string out = std::string(kVersionPrefix) + reading.version + "\n";
    for (const auto& row : rows) {
        std::string line;
        for (int c = 0; c < kColumnCount; ++c) {
            // Figures line up on the right, the number and the date on the left.
            line += (c == 0 ? "" : kColumnGap) + Pad(row[c], widths[c], c >= 2);
        }
        out += line + "\n";
    }
    return out;
}

}  // namespace odomei::cli

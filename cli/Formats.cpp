#include "cli/Formats.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/JsonText.h"
#include "data/CsvExport.h"
#include "data/Decoder.h"
#include "data/RecordTable.h"
#include "data/TextsJa.h"
#include "ui/HistoryText.h"

namespace odomei::cli {
namespace {

constexpr const char* kVersionPrefix = "F/W Version:";
constexpr const char* kColumnGap = "  ";

RecordTable TableOf(const MeterReading& reading) {
    RecordTable table;
    FillTable(reading, table);
    return table;
}

// A JSON string of the program's own making (an ISO date, hexadecimal).
std::string JsonString(const std::string& utf8) { return Quoted(utf8); }

// A figure in hundredths as a JSON number with the list's two decimals.
std::string JsonFigure(std::int64_t hundredths) {
    const auto magnitude = static_cast<std::uint64_t>(hundredths);
    return FigureText(hundredths < 0, hundredths < 0 ? 0 - magnitude : magnitude);
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

// A summary's amount (hundredths of the currency) in the currency's units.
std::optional<double> CurrencyUnits(const std::optional<double>& hundredths) {
    return hundredths ? std::optional<double>(*hundredths / 100.0) : std::nullopt;
}

// A vehicle's odometer readings given, where the list has none for it.
const std::vector<LogbookRecord> kNoneGiven;

std::string Number(std::size_t n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// The columns of figures, right-aligned: all but the number and the date.
bool IsFigureColumn(std::size_t c) { return c >= 2; }

// The rows' cells padded into columns, wide characters counting two: the columns rightAligned says
// to the right (figures), the others to the left (by default the first two: number and date). No
// line ends in spaces.
std::string Aligned(const std::vector<std::vector<std::string>>& rows,
                    bool (*rightAligned)(std::size_t column) = IsFigureColumn) {
    std::vector<int> widths(rows.empty() ? 0 : rows[0].size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += (c == 0 ? "" : kColumnGap) + Pad(row[c], widths[c], rightAligned(c));
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

}  // namespace

int DisplayWidth(const std::string& utf8) {
    // Figures and ISO dates, most of a table, are ASCII: a column each.
    if (std::all_of(utf8.begin(), utf8.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return static_cast<int>(utf8.size());
    }
    int width = 0;
    for (std::size_t i = 0; i < utf8.size();) width += IsWide(NextCodePoint(utf8, i)) ? 2 : 1;
    return width;
}

std::string FormatCsv(const MeterReading& reading, bool utf8) {
    const RecordTable table = TableOf(reading);
    return utf8 ? CsvText(table) : CsvContent(table);
}

std::string FormatJson(const MeterReading& reading, const std::optional<std::string>& vehicle) {
    std::string out =
        "{\n  " + (vehicle ? JsonTextMember("vehicle", *vehicle) : "\"vehicle\": null") + ",\n  " +
        JsonTextMember("firmwareVersion", reading.version) + ",\n  \"records\": [";
    for (std::size_t i = 0; i < reading.records.size(); ++i) {
        const MeasurementRecord& r = reading.records[i];
        const RecordRow row = RowOf(r);
        const auto iso = IsoDate(r);
        // The list's texts are already JSON numbers with two decimals; they go in as they are.
        out += std::string(i == 0 ? "" : ",") + "\n    {\"no\": " + std::to_string(i + 1) +
               ", \"date\": " + (iso ? JsonString(*iso) : "null") + ", " +
               JsonTextMember("dateText", row.m_strDate) +
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
    rows.emplace_back(std::begin(kColumnCaptions), std::end(kColumnCaptions));
    for (std::size_t i = 0; i < reading.records.size(); ++i) {
        const RecordRow row = RowOf(reading.records[i]);
        rows.push_back({Number(i + 1), row.m_strDate, row.m_strDistance, row.m_strFuel,
                        row.m_strCorrection, row.m_strRefuel, row.m_strError});
    }
    return std::string(kVersionPrefix) + reading.version + "\n" + Aligned(rows);
}

namespace {

// What a long output gathers before it is handed on: a few writes for a million records.
constexpr std::size_t kOutputChunk = 1 << 20;
// A table's cell as it is kept until the columns' widths are known: about this many bytes, and
// never more than this (a cell is a figure or a date).
constexpr std::size_t kKeptCellBytes = 8;
constexpr unsigned char kLongCell = 0xFF;
constexpr std::size_t kLongestCell = 0xFFFF;

// An output made a line at a time and handed to the sink in chunks.
class Chunks {
public:
    explicit Chunks(const OutputSink& sink) : m_sink(sink) { m_text.reserve(kOutputChunk * 2); }
    std::string& Text() { return m_text; }
    // The text so far handed on when it is a chunk's worth (always with last); false once the sink
    // has refused it.
    bool Pass(bool last = false) {
        if (!m_ok || (!last && m_text.size() < kOutputChunk)) return m_ok;
        m_ok = m_sink(m_text);
        m_text.clear();
        return m_ok;
    }

private:
    const OutputSink& m_sink;
    std::string m_text;
    bool m_ok = true;
};

}  // namespace

bool WriteHistoryTable(const RecordSheet& sheet, bool per100km, const std::string& currency,
                       const OutputSink& sink) {
    const auto& all = sheet.Figures();
    const bool priced = std::any_of(all.begin(), all.end(), [](const RecordFigures& r) {
        return r.hasPrice || r.OdometerKnown();
    });
    const bool odometer = std::any_of(all.begin(), all.end(),
                                      [](const RecordFigures& r) { return r.OdometerKnown(); });
    // Where refuels may have been lost, a line between the two records says so; and that the
    // odometer is not known after it, where it was before, until one is given there.
    auto gapLine = [&sheet, odometer](std::size_t i) {
        return "-- refuels may be missing here (found at the read of " + *sheet.GapFoundAt(i) +
               ")" +
               (odometer && !sheet[i].OdometerKnown()
                    ? "; the odometer is not known from here until a reading is given (vehicles "
                      "set NAME --odometer KM --at DATE)"
                    : "") +
               " --\n";
    };
    auto amount = [](const std::optional<std::int64_t>& v) {
        return v ? AmountText(*v) : std::string("-");
    };
    std::vector<std::string> captions(std::begin(kColumnCaptions), std::end(kColumnCaptions));
    const std::string unit = per100km ? kLitresPer100KmUnit : kKmPerLitreUnit;
    captions.push_back(unit + kByRefuelSuffix);
    captions.push_back(unit + kByMeterSuffix);
    if (priced) {
        captions.push_back(PricePerLitreCaption(currency));
        captions.push_back(CostCaption(currency));
        captions.push_back(kOdometerCaption);
    }
    // A record's cells, as fill makes them.
    std::vector<std::string> cells(captions.size());
    auto fill = [&](std::size_t i) {
        const RecordFigures& r = sheet[i];
        cells[0] = Number(i + 1);
        for (int t = 0; t < kRecordTextCount; ++t) {
            cells[1 + static_cast<std::size_t>(t)] = sheet.Text(i, static_cast<RecordText>(t));
        }
        cells[7] = EconomyText(KmPerLitre(r), per100km);
        cells[8] = EconomyText(KmPerLitreByMeter(r), per100km);
        if (priced) {
            cells[9] = amount(PricePerLitreOf(r));
            cells[10] = amount(CostOf(r));
            cells[11] = r.OdometerKnown() ? OdometerKmText(r.odometer) : "-";
        }
    };
    // Each record's cells are made once, measured and kept (about ninety bytes a record) until
    // every column's width is known; then written from there.
    std::vector<int> widths(captions.size());
    for (std::size_t c = 0; c < captions.size(); ++c) widths[c] = DisplayWidth(captions[c]);
    std::string kept;  // each cell: its length (one byte, or kLongCell and two), then its text
    kept.reserve(sheet.Size() * kKeptCellBytes * captions.size());
    for (std::size_t i = 0; i < sheet.Size(); ++i) {
        fill(i);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(cells[c]));
            const std::size_t length = std::min(cells[c].size(), kLongestCell);
            if (length < kLongCell) {
                kept.push_back(static_cast<char>(length));
            } else {
                kept.push_back(static_cast<char>(kLongCell));
                kept.push_back(static_cast<char>(length & 0xFF));
                kept.push_back(static_cast<char>(length >> 8));
            }
            kept.append(cells[c], 0, length);
        }
    }
    Chunks out(sink);
    auto cell = [&](std::size_t c, std::string_view text, int width) {
        std::string& o = out.Text();
        if (c > 0) o += kColumnGap;
        const auto spaces = static_cast<std::size_t>(std::max(0, widths[c] - width));
        if (IsFigureColumn(c)) o.append(spaces, ' ');
        o += text;
        if (!IsFigureColumn(c)) o.append(spaces, ' ');
    };
    auto end = [&out] {
        std::string& o = out.Text();
        while (!o.empty() && o.back() == ' ') o.pop_back();
        o += '\n';
    };
    for (std::size_t c = 0; c < captions.size(); ++c)
        cell(c, captions[c], DisplayWidth(captions[c]));
    end();
    std::size_t at = 0;
    auto take = [&kept, &at] {
        std::size_t n = static_cast<unsigned char>(kept[at++]);
        if (n == kLongCell) {
            n = static_cast<unsigned char>(kept[at]) |
                static_cast<std::size_t>(static_cast<unsigned char>(kept[at + 1])) << 8;
            at += 2;
        }
        const std::string_view text = std::string_view(kept).substr(at, n);
        at += n;
        return text;
    };
    std::string text;
    for (std::size_t i = 0; i < sheet.Size(); ++i) {
        if (sheet[i].GapBefore()) out.Text() += gapLine(i);
        for (std::size_t c = 0; c < captions.size(); ++c) {
            text = take();
            cell(c, text, DisplayWidth(text));
        }
        end();
        if (!out.Pass()) return false;
    }
    return out.Pass(true);
}

bool WriteHistoryJson(const RecordSheet& sheet, const ReadTimes& reads, const std::string& vehicle,
                      const std::string& currency, const OutputSink& sink) {
    auto figure = [](const std::optional<std::int64_t>& v) {
        return v ? JsonFigure(*v) : std::string("null");
    };
    const auto ratio = [](std::optional<double> v) {
        return v ? FormatFixed2(*v) : std::string("null");
    };
    Chunks out(sink);
    out.Text() = "{\n  " + JsonTextMember("vehicle", vehicle) + ", " +
                 JsonTextMember("currency", currency) + ",\n  \"records\": [";
    for (std::size_t i = 0; i < sheet.Size(); ++i) {
        const RecordFigures& r = sheet[i];
        const auto isoDate = sheet.IsoDate(i);
        const auto gap = sheet.GapFoundAt(i);
        const auto price = r.PriceEntered();
        // Numbers from the stored figures, never pasted from a stored text; the error has no
        // figure of its own, so its text is read as one (null where it is none).
        const auto error = ParseHundredths(sheet.Text(i, RecordText::kError));
        // Piece by piece onto the output: one expression of forty pieces would copy what it has
        // so far at each.
        std::string& o = out.Text();
        o += i == 0 ? "\n    {\"no\": " : ",\n    {\"no\": ";
        o += std::to_string(i + 1);
        o += ", \"date\": ";
        o += isoDate ? JsonString(*isoDate) : "null";
        o += ", ";
        o += JsonTextMember("dateText", sheet.Text(i, RecordText::kDate));
        o += ", \"distanceKm\": ";
        o += JsonFigure(r.distance);
        o += ", \"fuelL\": ";
        o += JsonFigure(r.fuel);
        o += ", \"correctionPercent\": ";
        o += JsonFigure(r.correction);
        o += ", \"refuelL\": ";
        o += JsonFigure(r.refuel);
        o += ", \"errorPercent\": ";
        o += error ? JsonFigure(*error) : "null";
        o += ", \"kmPerLitre\": ";
        o += ratio(KmPerLitre(r));
        o += ", \"kmPerLitreByMeter\": ";
        o += ratio(KmPerLitreByMeter(r));
        o += ", \"pricePerLitre\": ";
        o += figure(PricePerLitreOf(r));
        o += ", \"cost\": ";
        o += figure(CostOf(r));
        o += ", \"priceEntered\": ";
        o += !price ? "null" : price->kind == PriceKind::kTotal ? "\"total\"" : "\"perLitre\"";
        o += ", \"odometerKm\": ";
        o += figure(r.Odometer());
        o += ", \"odometerGiven\": ";
        o += r.odometerGiven ? "true" : "false";
        o += ", \"imported\": ";
        o += r.imported ? "true" : "false";
        o += ", ";
        o += JsonTextMember("firstRead", reads.Of(r.readId));
        o += ", \"gapBefore\": ";
        o += gap ? "{" + JsonTextMember("foundAt", *gap) + "}" : "null";
        o += "}";
        if (!out.Pass()) return false;
    }
    out.Text() += sheet.Empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out.Pass(true);
}

std::string FormatStatsTable(const LogbookSummary& s, bool per100km, const std::string& currency) {
    const char* unit = per100km ? " L/100km" : " km/L";
    auto hundredths = [](std::int64_t v) { return FormatFixed2(static_cast<double>(v) / 100.0); };
    auto or_ = [](const std::optional<double>& v, const std::string& suffix) {
        return v ? FormatFixed2(*v) + suffix : std::string("-");
    };
    std::string out;
    out += "records: " + std::to_string(s.records) + " (" + std::to_string(s.withoutRefuel) +
           " without a refuel and " + std::to_string(s.withoutFuel) +
           " without fuel measured, left out of the ratios)\n";
    out += "total distance: " + hundredths(s.distance) + " km\n";
    out += "total refuel: " + hundredths(s.refuel) + " L\n";
    out += "total fuel measured: " + hundredths(s.fuel) + " L\n";
    out += "economy: " + EconomyText(s.kmPerLitre, per100km) + unit +
           " (by the meter: " + EconomyText(s.kmPerLitreByMeter, per100km) + unit + ")\n";
    out += "meter's error: " + or_(s.errorPercent, " %") + " (spread " + or_(s.errorSpread, " %") +
           ")\n";
    out += "suggested correction factor: " +
           or_(s.suggestedCorrection ? std::optional<double>(*s.suggestedCorrection / 100.0)
                                     : std::nullopt,
               " %") +
           " (from " + std::to_string(s.correctionRecords) + " records)\n";
    const std::string money = " " + currency;
    out += "priced records: " + std::to_string(s.priced) + " of " + std::to_string(s.records) +
           (s.priced == 0 ? " (odomei-cli price DATE --per-litre P gives a refuel its price)\n"
                          : "\n");
    out += "total cost: " + (s.priced > 0 ? hundredths(s.cost) + money : std::string("-")) + "\n";
    out += "cost per km: " + or_(CurrencyUnits(s.costPerKm), money) + "\n";
    out += "cost per month: " + or_(CurrencyUnits(s.costPerMonth), money) +
           (s.costPerMonth ? " (over " + std::to_string(s.pricedMonths) +
                                 (s.pricedMonths == 1 ? " month)" : " months)")
                           : "") +
           "\n";
    out += "average price per litre: " + or_(CurrencyUnits(s.pricePerLitre), money) + "\n";
    out += "gaps: " + std::to_string(s.gaps) +
           (s.gaps > 0 ? " (refuels may have been lost between reads more than 15 refuels apart)\n"
                       : "\n");
    for (const FactorPeriod& p : s.periods) {
        out += "factor " + hundredths(p.correction) + " %, " + p.firstDate + " to " + p.lastDate +
               ", " + std::to_string(p.records) + " records: meter's error " +
               or_(p.errorPercent, " %") + ", suggested factor " +
               or_(p.suggestedCorrection ? std::optional<double>(*p.suggestedCorrection / 100.0)
                                         : std::nullopt,
                   " %") +
               "\n";
    }
    return out;
}

namespace {

// Each stretch of one correction factor: its dates, records and what they alone say.
std::string PeriodsJson(const LogbookSummary& s) {
    auto number = [](const std::optional<double>& v) { return v ? FormatFixed2(*v) : "null"; };
    auto date = [](const std::optional<std::string>& iso) {
        return iso ? JsonString(*iso) : std::string("null");
    };
    std::string out = "[";
    for (const FactorPeriod& p : s.periods) {
        out +=
            std::string(out.size() > 1 ? ", " : "") +
            "{\"correctionPercent\": " + JsonFigure(p.correction) +
            ", \"firstDate\": " + date(p.firstIsoDate) + ", \"lastDate\": " + date(p.lastIsoDate) +
            ", " + JsonTextMember("firstDateText", p.firstDate) + ", " +
            JsonTextMember("lastDateText", p.lastDate) +
            ", \"records\": " + std::to_string(p.records) +
            ", \"counted\": " + std::to_string(p.counted) +
            ", \"errorPercent\": " + number(p.errorPercent) + ", \"suggestedCorrectionPercent\": " +
            number(p.suggestedCorrection ? std::optional<double>(*p.suggestedCorrection / 100.0)
                                         : std::nullopt) +
            "}";
    }
    return out + "]";
}

}  // namespace

std::string FormatStatsJson(const LogbookSummary& s, const std::string& vehicle,
                            const std::string& currency) {
    auto number = [](const std::optional<double>& v) { return v ? FormatFixed2(*v) : "null"; };
    auto hundredths = [](std::int64_t v) { return FormatFixed2(static_cast<double>(v) / 100.0); };
    return "{" + JsonTextMember("vehicle", vehicle) +
           ", \"records\": " + std::to_string(s.records) +
           ", \"withoutRefuel\": " + std::to_string(s.withoutRefuel) +
           ", \"withoutFuel\": " + std::to_string(s.withoutFuel) +
           ", \"distanceKm\": " + hundredths(s.distance) +
           ", \"refuelL\": " + hundredths(s.refuel) + ", \"fuelL\": " + hundredths(s.fuel) +
           ", \"kmPerLitre\": " + number(s.kmPerLitre) +
           ", \"kmPerLitreByMeter\": " + number(s.kmPerLitreByMeter) +
           ", \"errorPercent\": " + number(s.errorPercent) +
           ", \"errorSpreadPercent\": " + number(s.errorSpread) +
           ", \"suggestedCorrectionPercent\": " +
           number(s.suggestedCorrection ? std::optional<double>(*s.suggestedCorrection / 100.0)
                                        : std::nullopt) +
           ", \"correctionRecords\": " + std::to_string(s.correctionRecords) +
           ", \"gaps\": " + std::to_string(s.gaps) + ", \"factorPeriods\": " + PeriodsJson(s) +
           ", \"priced\": " + std::to_string(s.priced) +
           ", \"cost\": " + (s.priced > 0 ? hundredths(s.cost) : std::string("null")) +
           ", \"costPerKm\": " + number(CurrencyUnits(s.costPerKm)) +
           ", \"costPerMonth\": " + number(CurrencyUnits(s.costPerMonth)) +
           ", \"pricedMonths\": " + std::to_string(s.pricedMonths) +
           ", \"pricePerLitre\": " + number(CurrencyUnits(s.pricePerLitre)) + ", " +
           JsonTextMember("currency", currency) + "}\n";
}

std::string FormatVehiclesTable(const std::vector<Vehicle>& vehicles,
                                const std::vector<std::vector<LogbookRecord>>& given,
                                const std::string& selected) {
    // The figures' column (records) to the right like the list's; the rest to the left.
    std::vector<std::vector<std::string>> rows;
    rows.push_back(
        {"", "name", "note", "records", "first", "last", "last read", "currency", "odometer"});
    for (std::size_t i = 0; i < vehicles.size(); ++i) {
        const Vehicle& v = vehicles[i];
        std::string readings;
        for (const LogbookRecord& r : i < given.size() ? given[i] : kNoneGiven) {
            if (!r.odometer) continue;
            readings += (readings.empty() ? "" : ", ") + OdometerKmText(*r.odometer) + " km at " +
                        r.isoDate.value_or(r.texts.m_strDate);
        }
        rows.push_back({v.name == selected ? "*" : "", v.name, v.note, std::to_string(v.records),
                        v.firstDate.value_or("-"), v.lastDate.value_or("-"),
                        v.lastRead.value_or("-"), v.currency, readings.empty() ? "-" : readings});
    }
    return Aligned(rows, [](std::size_t c) { return c == 3; });
}

std::string FormatVehiclesJson(const std::vector<Vehicle>& vehicles,
                               const std::vector<std::vector<LogbookRecord>>& given) {
    auto text = [](const std::optional<std::string>& t) {
        return t ? JsonString(*t) : std::string("null");
    };
    std::string out = "{\"vehicles\": [";
    for (std::size_t i = 0; i < vehicles.size(); ++i) {
        const Vehicle& v = vehicles[i];
        out += std::string(i == 0 ? "" : ",") + "\n  {" + JsonTextMember("name", v.name) + ", " +
               JsonTextMember("note", v.note) + ", \"records\": " + std::to_string(v.records) +
               ", \"firstDate\": " + text(v.firstDate) + ", \"lastDate\": " + text(v.lastDate) +
               ", \"lastRead\": " + text(v.lastRead) + ", " +
               JsonTextMember("currency", v.currency) + ", \"odometer\": [";
        std::string readings;
        for (const LogbookRecord& r : i < given.size() ? given[i] : kNoneGiven) {
            if (!r.odometer) continue;
            readings += std::string(readings.empty() ? "" : ", ") +
                        "{\"km\": " + JsonFigure(*r.odometer) + ", \"date\": " + text(r.isoDate) +
                        ", " + JsonTextMember("dateText", r.texts.m_strDate) + "}";
        }
        out += readings + "]}";
    }
    return out + (vehicles.empty() ? "]}\n" : "\n]}\n");
}

}  // namespace odomei::cli

#include "data/CsvImport.h"

#include "data/CsvExport.h"
#include "data/Decoder.h"
#include "platform/Dates.h"
#include "platform/Text.h"

namespace odomei {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t kFieldCount = 6;
// Twelve digits before the point: far beyond any figure of a record, far within an int64.
constexpr std::size_t kMaxWholeDigits = 12;
// A date's year and month are nibbles, its day a byte.
constexpr int kMaxNibble = 15;
constexpr int kMaxDay = 255;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The lines of a text without their line ends (LF, or CR LF).
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// One line's fields with standard CSV quoting undone: a quoted field may hold commas and doubled
// quotes. Nothing where a quote stands anywhere else, or does not close. Stops after one field
// more than a record has, which is enough to refuse the line.
std::optional<std::vector<std::string>> SplitFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    for (;;) {
        std::string field;
        if (i < line.size() && line[i] == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) return std::nullopt;
                if (line[i] == '"') {
                    if (i + 1 >= line.size() || line[i + 1] != '"') break;
                    ++i;
                }
                field += line[i];
            }
            ++i;  // the closing quote
            if (i < line.size() && line[i] != ',') return std::nullopt;
        } else {
            const std::size_t end = std::min(line.find(',', i), line.size());
            field = line.substr(i, end - i);
            if (field.find('"') != std::string::npos) return std::nullopt;
            i = end;
        }
        fields.push_back(std::move(field));
        if (i >= line.size() || fields.size() > kFieldCount) return fields;
        ++i;  // the comma
    }
}

// The six names of the header line the window writes.
const std::vector<std::string>& FieldNames() {
    static const std::vector<std::string> names =
        SplitFields(kCsvHeader).value_or(std::vector<std::string>(kFieldCount));
    return names;
}

bool IsHeader(std::string_view line) { return SplitFields(line) == FieldNames(); }

std::string LineNumber(std::size_t index) { return "line " + std::to_string(index + 1); }

}  // namespace

std::optional<std::int64_t> ParseHundredths(std::string_view text) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::size_t point = text.find('.');
    const std::size_t first = negative ? 1 : 0;
    if (point == std::string_view::npos || point == first || point - first > kMaxWholeDigits ||
        text.size() != point + 3) {
        return std::nullopt;
    }
    std::uint64_t hundredths = 0;
    for (std::size_t i = first; i < text.size(); ++i) {
        if (i == point) continue;
        if (!IsDigit(text[i])) return std::nullopt;
        hundredths = hundredths * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    // Only the list's own form: no leading zero, no plus sign.
    if (FigureText(negative, hundredths) != text) return std::nullopt;
    const auto value = static_cast<std::int64_t>(hundredths);
    return negative ? -value : value;
}

bool IsDecoderDate(std::string_view text) {
    if (text == "-") return true;
    const auto date = ParseMeterDateText(text);
    if (!date || date->year < kMeterFirstYear || date->year > kMeterFirstYear + kMaxNibble ||
        date->month > kMaxNibble || date->day > kMaxDay) {
        return false;
    }
    // The two patterns of a record without a date are written "-", never as a date.
    return DateText(static_cast<std::uint8_t>((date->year - kMeterFirstYear) << 4 | date->month),
                    static_cast<std::uint8_t>(date->day)) == text;
}

std::optional<std::vector<RecordRow>> ParseSavedCsv(std::string_view bytes, Reason* problem) {
    auto fail = [problem](const std::string& why) -> std::optional<std::vector<RecordRow>> {
        if (problem) *problem = Reason{why, {}};
        return std::nullopt;
    };
    if (bytes.size() > kMaxImportBytes) return fail("larger than 16 MiB");
    // The window writes CP932; a spreadsheet or a Linux tool may have made it UTF-8, with a
    // byte-order mark or without. The header line tells which.
    const bool bom = bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom;
    if (bom) bytes.remove_prefix(kUtf8Bom.size());
    std::vector<std::string_view> lines = Lines(bytes);
    if (lines.empty()) return fail("line 1 is not the header of a file ODOMEI saved");
    const auto header = Cp932ToUtf8(lines[0]);
    std::string decoded;
    if (!bom && header && IsHeader(*header)) {
        auto text = Cp932ToUtf8(bytes);
        if (!text) {
            for (std::size_t n = 0; n < lines.size(); ++n) {
                if (!Cp932ToUtf8(lines[n])) return fail(LineNumber(n) + " is not CP932 text");
            }
            return fail("not CP932 text");
        }
        decoded = std::move(*text);
        lines = Lines(decoded);
    } else if (!IsHeader(lines[0])) {
        return fail("line 1 is not the header of a file ODOMEI saved");
    }
    // Every field must be a text the decoder writes: then it is written out again as it came.
    std::vector<RecordRow> rows;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        if (lines[n].empty()) continue;
        const auto f = SplitFields(lines[n]);
        if (!f) return fail(LineNumber(n) + " has a quote out of place");
        if (f->size() != kFieldCount) return fail(LineNumber(n) + " does not have six fields");
        if (!IsDecoderDate((*f)[0])) {
            return fail(LineNumber(n) + ": " + FieldNames()[0] + " is not a date ODOMEI writes");
        }
        for (std::size_t k = 1; k < kFieldCount; ++k) {
            if (!ParseHundredths((*f)[k])) {
                return fail(LineNumber(n) + ": " + FieldNames()[k] +
                            " is not a figure ODOMEI writes");
            }
        }
        rows.push_back({(*f)[0], (*f)[1], (*f)[2], (*f)[3], (*f)[4], (*f)[5]});
    }
    return rows;
}

}  // namespace odomei

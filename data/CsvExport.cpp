#include "data/CsvExport.h"

#include <iterator>

#include "data/TextsJa.h"
#include "platform/Text.h"

namespace odomei {
namespace {

constexpr const char* kLineEnd = "\r\n";

// One record's line: its six texts, with the line end.
void AppendLine(std::string& text, const std::string_view (&fields)[kRecordTextCount]) {
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        if (i > 0) text += ',';
        text += fields[i];
    }
    text += kLineEnd;
}

}  // namespace

std::string CsvText(const std::vector<RecordRow>& rows) {
    std::string text = std::string(kCsvHeader) + kLineEnd;
    for (const RecordRow& r : rows) {
        AppendLine(text, {r.m_strDate, r.m_strDistance, r.m_strFuel, r.m_strCorrection,
                          r.m_strRefuel, r.m_strError});
    }
    return text;
}

std::string CsvText(const RecordSheet& sheet, const std::vector<std::uint32_t>& chosen) {
    std::string text = std::string(kCsvHeader) + kLineEnd;
    text.reserve(text.size() + chosen.size() * kRecordTextBytes);
    for (const std::uint32_t i : chosen) {
        AppendLine(text, {sheet.Text(i, RecordText::kDate), sheet.Text(i, RecordText::kDistance),
                          sheet.Text(i, RecordText::kFuel), sheet.Text(i, RecordText::kCorrection),
                          sheet.Text(i, RecordText::kRefuel), sheet.Text(i, RecordText::kError)});
    }
    return text;
}

std::string CsvText(const RecordTable& table) {
    return CsvText(
        std::vector<RecordRow>(table.m_rows.begin(), table.m_rows.begin() + table.m_nRecordCount));
}

std::string CsvContent(const RecordTable& table) { return Sjis(CsvText(table)); }

const char* CsvFailureText(CsvResult result) {
    switch (result) {
        case CsvResult::kSaved: return "";
        case CsvResult::kOpenFailed: return kCsvOpenFailedText;
        case CsvResult::kWriteFailed: return kCsvWriteFailedText;
    }
    return "";
}

}  // namespace odomei

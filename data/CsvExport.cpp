#include "data/CsvExport.h"

#include "data/TextsJa.h"
#include "platform/Text.h"

namespace odomei {
namespace {

constexpr const char* kLineEnd = "\r\n";

}  // namespace

std::string CsvText(const std::vector<RecordRow>& rows) {
    std::string text = std::string(kCsvHeader) + kLineEnd;
    for (const RecordRow& r : rows) {
        text += r.m_strDate + "," + r.m_strDistance + "," + r.m_strFuel + "," + r.m_strCorrection +
                "," + r.m_strRefuel + "," + r.m_strError + kLineEnd;
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

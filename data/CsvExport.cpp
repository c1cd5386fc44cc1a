#include "data/CsvExport.h"

#include "platform/AtomicFile.h"
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
        case CsvResult::kOpenFailed: return "ファイルオープンに失敗しました";
        case CsvResult::kWriteFailed: return "ファイルの書き込みに失敗しました";
    }
    return "";
}

CsvResult SaveCsv(const std::string& path, const RecordTable& table, std::string* errorText) {
    // The decoder's texts always have a CP932 form; should one not, nothing is written.
    const auto bytes = Utf8ToCp932(CsvText(table));
    if (!bytes) {
        if (errorText) *errorText = "a text that has no CP932 form";
        return CsvResult::kWriteFailed;
    }
    switch (ReplaceFileAtomically(path, *bytes, errorText)) {
        case ReplaceResult::kDone: return CsvResult::kSaved;
        case ReplaceResult::kCreateFailed: return CsvResult::kOpenFailed;
        case ReplaceResult::kWriteFailed: break;
    }
    return CsvResult::kWriteFailed;
}

}  // namespace odomei

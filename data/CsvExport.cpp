#include "data/CsvExport.h"

#include "platform/AtomicFile.h"
#include "platform/Text.h"

namespace odomei {
namespace {

constexpr const char* kHeader = "日付,走行距離,消費燃料,使用補正値,実給油量,測定誤差";
constexpr const char* kLineEnd = "\r\n";

}  // namespace

std::string CsvText(const RecordTable& table) {
    std::string text = std::string(kHeader) + kLineEnd;
    for (int i = 0; i < table.m_nRecordCount; ++i) {
        const RecordRow& r = table.m_rows[i];
        text += r.m_strDate + "," + r.m_strDistance + "," + r.m_strFuel + "," + r.m_strCorrection +
                "," + r.m_strRefuel + "," + r.m_strError + kLineEnd;
    }
    return text;
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
    switch (ReplaceFileAtomically(path, CsvContent(table), errorText)) {
        case ReplaceResult::kDone: return CsvResult::kSaved;
        case ReplaceResult::kCreateFailed: return CsvResult::kOpenFailed;
        case ReplaceResult::kWriteFailed: break;
    }
    return CsvResult::kWriteFailed;
}

}  // namespace odomei

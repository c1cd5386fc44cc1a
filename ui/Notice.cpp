#include "ui/Notice.h"

#include "data/CsvExport.h"
#include "data/Logbook.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Text.h"
#include "ui/Texts.h"

namespace odomei {

std::optional<Notice> ReadProblem(const MeterRead& read) {
    switch (read.outcome) {
        case ExchangeOutcome::kCancelled: return std::nullopt;  // the program is ending
        case ExchangeOutcome::kBlockReceived:
            if (!read.reading.records.empty()) return std::nullopt;
            return Notice{false, kNoValidDataText, kMbIconInformation,
                          "the block the meter sent holds no record"};
        default: break;
    }
    return Notice{false, ExchangeFailureText(read.outcome), kMbIconHand, read.reason};
}

std::optional<Notice> KeepInLogbook(const std::string& logbookPath, const MeterReading& reading) {
    if (reading.records.empty()) return std::nullopt;
    Failure error;
    const auto counts = MergeRead(logbookPath, reading, GetLocalTime(), &error);
    if (!counts) return Notice{false, kLogbookWriteFailedText, kMbIconHand, FailureText(error)};
    if (!counts->gap) return std::nullopt;
    return Notice{true, kLogbookGapText, kMbIconExclamation,
                  "refuels between " + counts->gap->beforeDate + " and " + counts->gap->afterDate +
                      " may have been lost: the meter keeps only its last 15 records, so read "
                      "it before 15 more refuels"};
}

Notice SaveFile(const std::string& path, const std::string& fileName, const std::string& bytes) {
    std::string reason;
    switch (ReplaceFileAtomically(path, bytes, &reason)) {
        case ReplaceResult::kDone: return {true, SavedText(fileName), kMbIconInformation, {}};
        case ReplaceResult::kCreateFailed:
            return {false, CsvFailureText(CsvResult::kOpenFailed), kMbIconHand,
                    path + "\n" + reason};
        case ReplaceResult::kWriteFailed: break;
    }
    return {false, CsvFailureText(CsvResult::kWriteFailed), kMbIconHand, path + "\n" + reason};
}

Notice SaveText(const std::string& path, const std::string& fileName, const std::string& text) {
    const auto bytes = Utf8ToCp932(text);
    if (!bytes) {
        return {false, CsvFailureText(CsvResult::kWriteFailed), kMbIconHand,
                path + "\na record holds a text that has no CP932 form"};
    }
    return SaveFile(path, fileName, *bytes);
}

SaveAsRequest CsvSaveRequest(const std::string& directory) {
    SaveAsRequest request;
    request.initialName = kCsvInitialName;
    request.typeDescription = kCsvTypeDescription;
    request.typePattern = kCsvTypePattern;
    request.directory = directory;
    request.confirmOverwrite = true;  // an existing file is replaced only after a question
    return request;
}

}  // namespace odomei

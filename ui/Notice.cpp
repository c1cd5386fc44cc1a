#include "ui/Notice.h"

#include "data/CsvExport.h"
#include "data/Logbook.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Text.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

// A file or device on its own line, the system's words below it.
std::string Detail(const Failure& failure) {
    return failure.subject.empty() ? failure.reason.en : failure.subject + "\n" + failure.reason.en;
}

}  // namespace

Notice FailureNotice(const std::string& text, unsigned flags, const Failure& failure) {
    const std::string& ja = failure.reason.ja;
    return Notice{false, text, flags, (ja.empty() ? "" : ja + "\n\n") + Detail(failure)};
}

Notice FailureNotice(unsigned flags, const Failure& failure) {
    return Notice{false, failure.reason.ja, flags, Detail(failure)};
}

std::optional<Notice> ReadProblem(const MeterRead& read) {
    switch (read.outcome) {
        case ExchangeOutcome::kCancelled: return std::nullopt;  // the program is ending
        case ExchangeOutcome::kBlockReceived:
            if (!read.reading.records.empty()) return std::nullopt;
            return FailureNotice(kNoValidDataText, kMbIconInformation,
                                 FailureOf({}, "the block the meter sent holds no record"));
        default: break;
    }
    return FailureNotice(ExchangeFailureText(read.outcome), kMbIconHand, read.failure);
}

Notice LogbookWriteNotice(const Failure& failure) {
    return FailureNotice(kLogbookWriteFailedText, kMbIconHand, OnOneLine(failure));
}

std::optional<Notice> GapNotice(const MergeCounts& counts) {
    if (!counts.gap) return std::nullopt;
    return Notice{true, kLogbookGapText, kMbIconExclamation,
                  "refuels between " + counts.gap->beforeDate + " and " + counts.gap->afterDate +
                      " may have been lost: the meter keeps only its last 15 records, so read "
                      "it before 15 more refuels"};
}

Notice KeptNowhereNotice(const ReadPlace& place) {
    const std::string& ja = place.why.ja;
    const std::string& en = place.why.en;
    return Notice{false, kKeptNowhereText, kMbIconExclamation,
                  ja.empty() ? en : (en.empty() ? ja : ja + "\n\n" + en)};
}

std::optional<Notice> KeepInLogbook(const std::string& logbookPath, const MeterReading& reading,
                                    const ReadTarget& target, MergeCounts* counts) {
    if (reading.records.empty()) return std::nullopt;
    Failure error;
    const auto merged = MergeRead(logbookPath, reading, GetLocalTime(), target, &error);
    if (!merged) return LogbookWriteNotice(error);
    if (counts != nullptr) *counts = *merged;
    if (merged->place.conflict != ReadConflict::kNone) return KeptNowhereNotice(merged->place);
    return GapNotice(*merged);
}

Notice SaveFile(const std::string& path, const std::string& fileName, const std::string& bytes) {
    Failure why;
    switch (ReplaceFileAtomically(path, bytes, &why)) {
        case ReplaceResult::kDone: return {true, SavedText(fileName), kMbIconInformation, {}};
        case ReplaceResult::kCreateFailed:
            return FailureNotice(CsvFailureText(CsvResult::kOpenFailed), kMbIconHand, why);
        case ReplaceResult::kWriteFailed: break;
    }
    return FailureNotice(CsvFailureText(CsvResult::kWriteFailed), kMbIconHand, why);
}

Notice SaveText(const std::string& path, const std::string& fileName, const std::string& text) {
    const auto bytes = Utf8ToCp932(text);
    if (!bytes) {
        return FailureNotice(CsvFailureText(CsvResult::kWriteFailed), kMbIconHand,
                             FailureOf(path, "a record holds a text that has no CP932 form"));
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

// The steps every front end takes the same way, with the same texts: what a read's outcome says,
// keeping a read in the logbook, and writing a file whole. The windows show a Notice in a message
// box; the command line prints it and turns it into its exit status.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/Decoder.h"
#include "data/Logbook.h"
#include "link/MeterSession.h"
#include "platform/Failure.h"

namespace odomei {

struct Notice {
    bool ok = true;
    std::string text;    // the message, as the window shows it
    unsigned flags = 0;  // the message box's (Texts.h)
    std::string detail;  // the reason behind a failure: the box's details, standard error
};

// Every failure's notice, so that each is worded alike: the message text, and the failure as the
// details. The Japanese reason, where there is one, heads them with an empty line below it; the
// subject stands on a line of its own above the English reason.
Notice FailureNotice(const std::string& text, unsigned flags, const Failure& failure);
// The same for a failure whose Japanese reason is the message itself (the log's).
Notice FailureNotice(unsigned flags, const Failure& failure);

// What a finished read says instead of its records: a failed exchange, or a block that held no
// record. Nothing when there are records to show, and nothing for a read cancelled because the
// program is ending.
std::optional<Notice> ReadProblem(const MeterRead& read);

// Keeps a read's records in the logbook at logbookPath (nothing to do without records), with the
// vehicle target leads to (ReadTarget). The failure's notice; a warning (ok) when the read shows
// that refuels may have been lost since the last one; for a read kept nowhere (a conflict: the
// place's reason), KeptNowhereNotice; nothing when they are simply kept. counts, when given,
// receives what the merge did (its place says where the read went).
std::optional<Notice> KeepInLogbook(const std::string& logbookPath, const MeterReading& reading,
                                    const ReadTarget& target = {}, MergeCounts* counts = nullptr);

// The pieces KeepInLogbook and the windows' question after a read share: the logbook could not
// take the read; the warning (ok) of a read that shows refuels may have been lost since the last
// one; the read is kept nowhere, why (its place's reason) as the detail.
Notice LogbookWriteNotice(const Failure& failure);
Notice GapNotice(const LogbookGap& gap);
Notice KeptNowhereNotice(const ReadPlace& place);

// Writes bytes whole to path (an existing file is replaced whole or left as it was). The notice
// names fileName when saved, and says why with path when not.
Notice SaveFile(const std::string& path, const std::string& fileName, const std::string& bytes);

// Writes UTF-8 text as CP932 the same way; a text without a CP932 form writes nothing and says so.
Notice SaveText(const std::string& path, const std::string& fileName, const std::string& text);

// The save-as dialog's question and answer.
// A further type a save dialog offers.
struct SaveType {
    std::string description;
    std::string pattern;
};

struct SaveAsRequest {
    std::string initialName;       // shown in the name field, e.g. "*.csv"
    std::string typeDescription;   // e.g. "CSV(ｶﾝﾏ区切り)"
    std::string typePattern;       // e.g. "*.csv"
    std::string directory;         // where the dialog starts
    bool confirmOverwrite = true;  // ask before an existing file is chosen
    std::vector<SaveType> moreTypes{};  // offered after the first, in order
};

struct SaveAsResult {
    std::string path;      // full path chosen
    std::string fileName;  // bare file name
    std::size_t type = 0;  // the type chosen: 0 the first, 1 moreTypes[0], ...
};

// The request for saving records as CSV, starting in directory.
SaveAsRequest CsvSaveRequest(const std::string& directory);

}  // namespace odomei

#include "cli/Commands.h"

#include <cstdio>
#include <memory>
#include <set>

#include "cli/Formats.h"
#include "data/CsvExport.h"
#include "data/Logbook.h"
#include "data/LogbookStats.h"
#include "link/FilePaths.h"
#include "link/FindMeter.h"
#include "link/MeterSession.h"
#include "link/PortSetting.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Interrupt.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "ui/ChartSvg.h"
#include "ui/Notice.h"

namespace odomei::cli {
namespace {

constexpr int kStderr = 2;
constexpr int kStdout = 1;
constexpr std::int64_t kProgressEveryMs = 100;

// The message, then each line of the detail indented below it (blank lines left out): a list such
// as the ports a search tried stays one line each.
void Error(const Notice& notice) {
    const std::string& detail = notice.detail;
    std::fprintf(stderr, "odomei-cli: %s\n", notice.text.c_str());
    for (std::size_t start = 0; start < detail.size();) {
        std::size_t end = detail.find('\n', start);
        if (end == std::string::npos) end = detail.size();
        if (end > start)
            std::fprintf(stderr, "  %.*s\n", static_cast<int>(end - start), detail.data() + start);
        start = end + 1;
    }
}

// A failure said the way the windows' message says it.
void Error(const std::string& text, const Failure& failure) {
    Error(FailureNotice(text, 0, failure));
}

// The log's failures become warnings, each kind once; the read goes on.
class LogWarnings {
public:
    void operator()(const Failure& failure) {
        const Notice problem = FailureNotice(0, failure);
        if (!m_seen.insert(problem.text).second) return;
        std::string text = problem.text;
        for (std::size_t at; (at = text.find("\n\n")) != std::string::npos;)
            text.replace(at, 2, ": ");
        std::string detail = problem.detail;
        for (char& c : detail) {
            if (c == '\n') c = ' ';
        }
        std::fprintf(stderr, "odomei-cli: warning: %s (%s)\n", text.c_str(), detail.c_str());
    }

private:
    std::set<std::string> m_seen;
};

// "reading: 120/216 bytes, attempt 1/3, time-out in 9 s", rewritten in place on a terminal.
class Progress {
public:
    explicit Progress(bool shown) : m_shown(shown) {}
    ~Progress() { Clear(); }
    void Show(const ExchangeProgress& p) {
        if (!m_shown) return;
        const std::int64_t now = MonotonicMs();
        if (m_drawn && now - m_last < kProgressEveryMs) return;
        m_last = now;
        m_drawn = true;
        std::fprintf(stderr, "\rreading: %d/%zu bytes, attempt %d/3, time-out in %d s \x1b[K",
                     p.received, kBlockSize, p.attempt, (p.msUntilTimeout + 999) / 1000);
        std::fflush(stderr);
    }
    void Clear() {
        if (!m_drawn) return;
        std::fprintf(stderr, "\r\x1b[K");
        std::fflush(stderr);
        m_drawn = false;
    }

private:
    bool m_shown;
    bool m_drawn = false;
    std::int64_t m_last = 0;
};

int StatusOf(ExchangeOutcome outcome) {
    switch (outcome) {
        case ExchangeOutcome::kBlockReceived: return kExitOk;
        case ExchangeOutcome::kTimedOut: return kExitTimedOut;
        case ExchangeOutcome::kBccError: return kExitBadBlock;
        case ExchangeOutcome::kStxFailed:
        case ExchangeOutcome::kNakFailed:
        case ExchangeOutcome::kAckFailed: return kExitSendFailed;
        case ExchangeOutcome::kCancelled: break;
    }
    return InterruptExitStatus(InterruptSignal());
}

std::string Render(const MeterReading& reading, const ReadOptions& options, bool toTerminal) {
    Format format = options.format;
    if (format == Format::kAuto) format = toTerminal ? Format::kTable : Format::kCsv;
    switch (format) {
        case Format::kJson: return FormatJson(reading);
        case Format::kTable: return FormatTable(reading);
        case Format::kCsv:
        case Format::kAuto: break;
    }
    return FormatCsv(reading, options.utf8);
}

// Without a working directory there is no KORVANA.ini and no KORVANA.log: said, never guessed.
FilePaths WorkingPaths() {
    FilePaths paths = DeriveFilePaths();
    if (!paths.Known()) {
        std::fprintf(stderr, "odomei-cli: warning: %s (%s)\n", kNoWorkingFolderText,
                     paths.problem.c_str());
    }
    return paths;
}

// Writes content to standard output (file empty or "-") or atomically to file. A signal that
// arrives meanwhile ends the write (a full pipe may never drain) with the signal's status.
int WriteOut(const std::string& content, const std::string& file) {
    if (file.empty() || file == "-") {
        const bool written = WriteStandardOutput(content);
        if (InterruptSignal() != 0) return InterruptExitStatus(InterruptSignal());
        if (!written) {
            Error(CsvFailureText(CsvResult::kWriteFailed),
                  FailureOf({}, "standard output could not be written"));
            return kExitOutputFailed;
        }
        return kExitOk;
    }
    const Notice saved = SaveFile(file, file, content);
    if (InterruptSignal() != 0) return InterruptExitStatus(InterruptSignal());
    if (!saved.ok) {
        Error(saved);
        return kExitOutputFailed;
    }
    return kExitOk;
}

int FinishRead(const MeterRead& read, const ReadOptions& options, const FilePaths& paths);

// The meter searched for on the free USB ports (and the ports [Ports] names; every free port
// with --all-ports), the setting's own first; which port answered is said on standard error.
// A search that finds none ends with the most telling failure it met (a bad check byte is a BCC
// error, as a read of that port says), else as a time-out.
MeterRead SearchRead(const ReadOptions& options, const FilePaths& paths, const CommLog& log) {
    const PortSurvey survey = SurveyPorts(paths.IniPath(), PortNumber(ReadPortSetting(paths)));
    // A port left out is said, with why: the user named it, or it looks like the meter's.
    for (const std::size_t i : SearchLeavesOut(survey, options.allPorts)) {
        const SurveyedPort& p = survey.ports[i];
        std::fprintf(stderr, "odomei-cli: %s is not searched: %s\n",
                     CandidateName(CandidateOf(p)).c_str(), p.reason.en.c_str());
    }
    std::vector<MeterCandidate> candidates;
    for (const std::size_t i : SearchOrder(survey, options.allPorts)) {
        candidates.push_back(CandidateOf(survey.ports[i]));
    }
    MeterRead read{ExchangeOutcome::kTimedOut, {}, {}};
    if (candidates.empty()) {
        read.failure =
            FailureOf({}, "no port to search: no free USB serial adapter" +
                              std::string(options.allPorts ? " or other serial port" : "") +
                              " (see odomei-cli doctor" +
                              (options.allPorts ? ")" : "; --all-ports tries hardware ports too)"));
        return read;
    }
    const bool shown = !options.quiet && IsTerminal(kStderr);
    const MeterSearch search = FindMeter(
        candidates, log,
        [](SerialHandle port, int ms, bool untilInput) {
            return InterruptSignal() == 0 ? PlainPause(port, ms, untilInput) : 0;
        },
        [&, last = candidates.size()](std::size_t i, const ExchangeProgress&) mutable {
            if (InterruptSignal() != 0) return false;
            if (shown && i != last) {
                last = i;
                std::fprintf(stderr, "\rsearching: %s \x1b[K",
                             CandidateName(candidates[i]).c_str());
                std::fflush(stderr);
            }
            return true;
        });
    if (shown) std::fprintf(stderr, "\r\x1b[K");
    if (search.cancelled) return MeterRead{ExchangeOutcome::kCancelled, {}, {}};
    if (!search.found) {
        read.outcome = search.read.outcome;
        read.failure =
            FailureOf({}, "no meter answered on any port searched:\n" + search.Describe());
        return read;
    }
    std::fprintf(stderr, "odomei-cli: the meter answered on %s\n",
                 CandidateName(search.port).c_str());
    return search.read;
}

constexpr const char* kAutoPort = "auto";

}  // namespace

int RunRead(const ReadOptions& options) {
    CatchInterrupts();
    const FilePaths paths = WorkingPaths();

    CommLog log(options.noLog || (!paths.Known() && options.logFile.empty()) ? std::string()
                : options.logFile.empty()                                    ? paths.LogPath()
                                                                             : options.logFile,
                LogWarnings());
    if (options.port == kAutoPort) {
        return FinishRead(SearchRead(options, paths, log), options, paths);
    }

    // The port: as given, or as KORVANA.ini selects it for the window (never written back here,
    // but made at the first start when there is one USB serial adapter to choose).
    const auto lister = SystemPortLister();
    std::string name = options.port;
    std::string shownName = options.port;
    if (name.empty()) {
        const auto first = ChooseFirstPort(paths, lister.get());
        if (first) std::fprintf(stderr, "odomei-cli: %s\n", first->why.c_str());
        const int port = first && first->chosen ? first->port : ReadPortSetting(paths);
        name = PortName(port);
        shownName = ComName(port);
    }
    const PortMap ports(paths.IniPath(), lister.get());

    MeterSession session(log);
    Failure why;
    if (!session.Open(name, ports, &why)) {
        Error(PortFailureText(shownName), OnOneLine(why));
        // What stands in the way and what to do about it.
        const PortVerdict verdict = DiagnosePortName(name, paths.IniPath());
        if (!verdict.reason.en.empty()) std::fprintf(stderr, "  %s\n", verdict.reason.en.c_str());
        return kExitPortFailed;
    }

    Progress progress(!options.quiet && IsTerminal(kStderr));
    session.PrepareRead();
    // The port as it is at each pause: a read may open it afresh first.
    const MeterRead read = session.Read(
        [&session](int ms, bool untilInput) {
            return InterruptSignal() == 0 ? PlainPause(session.Port(), ms, untilInput) : 0;
        },
        [&progress](const ExchangeProgress& p) {
            if (InterruptSignal() != 0) return false;
            progress.Show(p);
            return true;
        });
    progress.Clear();
    // The port stays open until the outputs are written: the ACK gets time to leave the line
    // (the close drains it too), and the port is closed as the session ends.
    return FinishRead(read, options, paths);
}

namespace {

// The records of a read written out, then kept in the logbook; or what went wrong.
int FinishRead(const MeterRead& read, const ReadOptions& options, const FilePaths& paths) {
    const bool toStdout = options.output.empty() || options.output == "-";
    if (read.outcome == ExchangeOutcome::kCancelled) return StatusOf(read.outcome);
    if (const auto problem = ReadProblem(read)) {
        Error(*problem);
        return read.outcome == ExchangeOutcome::kBlockReceived ? kExitNoRecord
                                                               : StatusOf(read.outcome);
    }
    // Written out first and then kept, in the order the windows show the list and then keep it:
    // a logbook that cannot take the read never costs the output, and an output that failed
    // still leaves the read in the logbook.
    const std::string content = Render(read.reading, options, toStdout && IsTerminal(kStdout));
    const int written = WriteOut(content, options.output);
    if (InterruptSignal() != 0) return InterruptExitStatus(InterruptSignal());
    bool logbookFailed = false;
    if (!options.noLogbook) {
        const auto problem = KeepInLogbook(
            options.logbook.empty() ? LogbookPath(paths) : options.logbook, read.reading);
        if (problem && problem->ok) {
            // Kept, but refuels may have been lost since the last read: said, status unchanged.
            std::fprintf(stderr, "odomei-cli: warning: %s\n", problem->detail.c_str());
        } else if (problem) {
            std::fprintf(stderr, "odomei-cli: %s: %s\n",
                         options.requireLogbook ? "error" : "warning", problem->text.c_str());
            std::fprintf(stderr, "  %s\n", problem->detail.c_str());
            logbookFailed = true;
        }
    }
    if (InterruptSignal() != 0) return InterruptExitStatus(InterruptSignal());
    if (written != kExitOk) return written;
    return logbookFailed && options.requireLogbook ? kExitLogbookFailed : kExitOk;
}

// The logbook a command works on: as given, else as KORVANA.ini says. Looking never creates it:
// where there is none yet, that is said and nothing is returned, as for a file that cannot be
// opened.
std::unique_ptr<Logbook> OpenLogbook(const LogbookOptions& options, const FilePaths& paths,
                                     LogbookAccess access = LogbookAccess::kLook) {
    Failure error;
    auto book = Logbook::Open(options.logbook.empty() ? LogbookPath(paths) : options.logbook,
                              &error, access);
    if (!book) {
        Error(kLogbookOpenFailedText, OnOneLine(error));
    } else if (!book->Exists()) {
        Error(kLogbookOpenFailedText,
              FailureOf({}, book->Path() + ": no logbook there yet (a read makes it)"));
        return nullptr;
    }
    return book;
}

bool Per100Km(const LogbookOptions& options, const FilePaths& paths) {
    if (options.units != Units::kDefault) return options.units == Units::kLitresPer100Km;
    return paths.Known() &&
           ReadIniString(kLogbookSection, kLogbookUnitsKey, paths.IniPath()).value_or("") ==
               "L/100km";
}

// The logbook's records in the options' range; nothing, said on standard error, when the logbook
// cannot be opened or read.
std::optional<std::vector<LogbookRecord>> LookUpRecords(const LogbookOptions& options,
                                                        const FilePaths& paths) {
    const auto book = OpenLogbook(options, paths);
    if (!book) return std::nullopt;
    Failure error;
    auto records = book->Records(RecordQuery{{}, options.from, options.to}, &error);
    if (!error.Empty()) {
        Error(kLogbookOpenFailedText, OnOneLine(error));
        return std::nullopt;
    }
    return records;
}

}  // namespace

int RunHistory(const LogbookOptions& options) {
    const FilePaths paths = WorkingPaths();
    const auto records = LookUpRecords(options, paths);
    if (!records) return kExitLogbookFailed;
    std::string content;
    Format format = options.format;
    if (format == Format::kAuto) format = IsTerminal(kStdout) ? Format::kTable : Format::kCsv;
    if (format == Format::kJson) {
        content = FormatHistoryJson(*records);
    } else if (format == Format::kTable) {
        content = FormatHistoryTable(*records, Per100Km(options, paths));
    } else {
        std::vector<RecordRow> rows;
        for (const auto& r : *records) rows.push_back(r.texts);
        content = CsvText(rows);
        // A text without a CP932 form (stored by an older version) cannot be written: no output.
        if (!options.utf8) {
            auto bytes = Utf8ToCp932(content);
            if (!bytes) {
                Error(CsvFailureText(CsvResult::kWriteFailed),
                      FailureOf({},
                                "a record holds a text that has no CP932 form (--encoding "
                                "utf-8 writes it)"));
                return kExitOutputFailed;
            }
            content = std::move(*bytes);
        }
    }
    return WriteOut(content, {});
}

int RunStats(const LogbookOptions& options) {
    const FilePaths paths = WorkingPaths();
    const auto records = LookUpRecords(options, paths);
    if (!records) return kExitLogbookFailed;
    const LogbookSummary summary = Summarize(*records);
    return WriteOut(options.format == Format::kJson
                        ? FormatStatsJson(summary)
                        : FormatStatsTable(summary, Per100Km(options, paths)),
                    {});
}

int RunChart(const LogbookOptions& options, const ChartOptions& chart) {
    const FilePaths paths = WorkingPaths();
    const auto records = LookUpRecords(options, paths);
    if (!records) return kExitLogbookFailed;
    std::vector<ChartKind> kinds;
    if (chart.economy) kinds.push_back(ChartKind::kEconomy);
    if (chart.error) kinds.push_back(ChartKind::kError);
    const ChartModel model(*records, Per100Km(options, paths));
    return WriteOut(ChartSvg(model.Scene(kinds, chart.width, chart.height)), chart.output);
}

int RunImport(const LogbookOptions& options) {
    // Every file is read and checked before anything is stored; then all go in together.
    std::vector<ImportFile> files;
    for (const std::string& file : options.files) {
        std::string bytes, problem;
        Failure unread;
        if (ReadRegularFile(file, kMaxImportBytes, &bytes, &unread) != ReadResult::kRead) {
            Error("cannot import " + file, FailureOf({}, unread.reason.en));
            return kExitBadImport;
        }
        Reason refused;
        auto rows = ParseSavedCsv(bytes, &refused);
        if (!rows) {
            Error("cannot import " + file,
                  FailureOf({}, "not a CSV file ODOMEI saved: " + refused.en));
            return kExitBadImport;
        }
        files.push_back({file, std::move(*rows)});
    }
    const FilePaths paths = WorkingPaths();
    const auto book = OpenLogbook(options, paths, LogbookAccess::kWrite);
    if (!book) return kExitLogbookFailed;
    Failure error;
    const auto counts = book->Import(files, {}, GetLocalTime(), &error);
    if (!counts) {
        Error(kLogbookImportFailedText, OnOneLine(error));
        return kExitLogbookFailed;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::printf("%s: %d records added, %d already in the logbook\n", files[i].origin.c_str(),
                    (*counts)[i].added, (*counts)[i].known);
    }
    return kExitOk;
}

int RunPorts() {
    const FilePaths paths = WorkingPaths();
    const auto lister = SystemPortLister();
    const PortMap ports(paths.IniPath(), lister.get());
    const auto mappings = ports.Mappings();
    if (mappings.empty()) {
        std::printf("%s\n", ports.Describe().c_str());
        return kExitOk;
    }
    for (const PortMapping& m : mappings) {
        std::printf("%s\t%s\n", ComName(m.number).c_str(),
                    m.problem.empty() ? m.device.c_str() : "(unusable)");
        if (!m.problem.empty()) std::printf("\tproblem: %s\n", m.problem.c_str());
        if (!m.stableName.empty()) std::printf("\tstable name: %s\n", m.stableName.c_str());
        if (m.listed) {
            if (!m.info.description.empty())
                std::printf("\tdescription: %s\n", m.info.description.c_str());
            if (!m.info.manufacturer.empty())
                std::printf("\tmanufacturer: %s\n", m.info.manufacturer.c_str());
            if (const std::string id = UsbIdText(m.info); !id.empty())
                std::printf("\tUSB id: %s\n", id.c_str());
            if (!m.info.serialNumber.empty())
                std::printf("\tserial number: %s\n", m.info.serialNumber.c_str());
        }
        std::printf("\tmapped by: %s\n", m.fromIni ? ("[Ports] in " + paths.IniPath()).c_str()
                                                   : "the system's port list");
    }
    return kExitOk;
}

}  // namespace odomei::cli

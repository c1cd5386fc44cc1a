#include "cli/Commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "cli/Formats.h"
#include "data/AppExport.h"
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

constexpr int kStdin = 0;
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

// A reason of several lines in both languages: its first line as the message, the rest below.
void Error(const Reason& reason) {
    const std::string all = reason.en + "\n" + reason.ja;
    const std::size_t end = all.find('\n');
    Error(Notice{false, all.substr(0, end), 0, all.substr(end + 1)});
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

std::string Render(const MeterReading& reading, const ReadOptions& options, bool toTerminal,
                   const std::optional<std::string>& vehicle) {
    Format format = options.format;
    if (format == Format::kAuto) format = toTerminal ? Format::kTable : Format::kCsv;
    switch (format) {
        case Format::kJson: return FormatJson(reading, vehicle);
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

// The logbook's file: as given, else as KORVANA.ini says.
std::string BookPath(const std::string& given, const FilePaths& paths) {
    return given.empty() ? LogbookPath(paths) : given;
}

// The vehicle KORVANA.ini selects; empty where none is (the logbook's first is meant then).
std::string Selected(const FilePaths& paths) {
    return paths.Known() ? VehicleSetting(paths) : std::string();
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
    return out;
}

std::vector<std::string> NamesOf(const std::vector<Vehicle>& vehicles) {
    std::vector<std::string> names;
    for (const Vehicle& v : vehicles) names.push_back(v.name);
    return names;
}

bool Holds(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The names of the logbook's vehicles as a name given on the command line is checked against: a
// logbook not made yet has the first one its first write makes. Nothing, said, where the logbook
// cannot be looked at.
std::optional<std::vector<std::string>> VehicleNamesAt(const std::string& path) {
    Failure error;
    const auto book = Logbook::Open(path, &error);
    if (!book) {
        Error(kLogbookOpenFailedText, OnOneLine(error));
        return std::nullopt;
    }
    if (!book->Exists()) return std::vector<std::string>{kFirstVehicleName};
    auto vehicles = book->Vehicles(&error);
    if (!error.Empty()) {
        Error(kLogbookOpenFailedText, OnOneLine(error));
        return std::nullopt;
    }
    return NamesOf(vehicles);
}

// A --vehicle that names none of the logbook's: said with the names there are, as a usage error.
int UnknownVehicle(const std::string& name, const std::string& path,
                   const std::vector<std::string>& names) {
    std::fprintf(stderr, "odomei-cli: no vehicle '%s' in the logbook %s\n", name.c_str(),
                 path.c_str());
    std::fprintf(stderr, "  its vehicles: %s\n", Joined(names).c_str());
    std::fprintf(stderr, "  'odomei-cli vehicles add %s' makes it\n", name.c_str());
    return kExitUsage;
}

// A name that cannot be a vehicle's (VehicleNameProblem): said, as a usage error.
std::optional<int> NameRefused(const std::string& name) {
    const auto problem = VehicleNameProblem(name);
    if (!problem) return std::nullopt;
    std::fprintf(stderr, "odomei-cli: %s: '%s'\n  %s\n", kVehicleNameProblemText, name.c_str(),
                 problem->en.c_str());
    return kExitUsage;
}

// How writing to standard output ended: written, or not (said), or ended by a signal that arrived
// meanwhile (a full pipe may never drain), with the signal's status.
int StandardOutputStatus(bool written) {
    if (InterruptSignal() != 0) return InterruptExitStatus(InterruptSignal());
    if (!written) {
        Error(CsvFailureText(CsvResult::kWriteFailed),
              FailureOf({}, "standard output could not be written"));
        return kExitOutputFailed;
    }
    return kExitOk;
}

// Writes content to standard output (file empty or "-") or atomically to file. A signal that
// arrives meanwhile ends the write (a full pipe may never drain) with the signal's status.
int WriteOut(const std::string& content, const std::string& file) {
    if (file.empty() || file == "-") return StandardOutputStatus(WriteStandardOutput(content));
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
    // A vehicle named is one of the logbook's before the meter is read. A logbook that cannot be
    // looked at now is the read's warning later, as it is without --vehicle.
    if (!options.noLogbook && !options.vehicle.empty()) {
        const std::string path = BookPath(options.logbook, paths);
        Failure error;
        if (const auto book = Logbook::Open(path, &error)) {
            const auto names = book->Exists() ? NamesOf(book->Vehicles(&error))
                                              : std::vector<std::string>{kFirstVehicleName};
            if (error.Empty() && !Holds(names, options.vehicle)) {
                return UnknownVehicle(options.vehicle, path, names);
            }
        }
    }
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

// What to do about a read kept nowhere, by why.
std::string ConflictHint(const ReadPlace& place, const ReadTarget& target) {
    const std::string& wanted = target.vehicle;
    switch (place.conflict) {
        case ReadConflict::kUnknownVehicle:
            return "'odomei-cli vehicles add " + wanted + "' makes the vehicle";
        case ReadConflict::kNotThisVehicle:
            return "if it is another car's meter: 'odomei-cli vehicles add NAME' and read again "
                   "with --vehicle NAME";
        case ReadConflict::kOtherVehicle:
            // After a declared move the read overlaps the old vehicle too: it goes to the new one.
            return "a read without --vehicle keeps it with " +
                   (place.overlapping.size() == 1 ? place.overlapping.front()
                                                  : std::string("the vehicle its meter sits in")) +
                   "; if the meter now sits in " + wanted + ": --vehicle " + wanted +
                   " --meter-moved";
        case ReadConflict::kSeveralVehicles:
            return "--vehicle NAME --meter-moved keeps its new records with NAME (the records each "
                   "vehicle holds stay its own)";
        case ReadConflict::kNone: break;
    }
    return {};
}

// Stores the read with the vehicle it is (Logbook::Merge). Said on standard error: why it was kept
// nowhere (status kExitNotThisVehicle), where it went when that is not the vehicle meant
// (`meant`), a gap, a failure (status kExitLogbookFailed, an error only with required).
int KeepRead(const std::string& path, const MeterReading& reading, const ReadTarget& target,
             const std::string& meant, bool required) {
    Failure error;
    const auto counts = MergeRead(path, reading, GetLocalTime(), target, &error);
    if (!counts) {
        const Notice problem = FailureNotice(kLogbookWriteFailedText, 0, OnOneLine(error));
        std::fprintf(stderr, "odomei-cli: %s: %s\n", required ? "error" : "warning",
                     problem.text.c_str());
        std::fprintf(stderr, "  %s\n", problem.detail.c_str());
        return kExitLogbookFailed;
    }
    const ReadPlace& place = counts->place;
    if (place.conflict != ReadConflict::kNone) {
        std::fprintf(stderr, "odomei-cli: error: %s\n  %s\n  %s\n", kKeptNowhereText,
                     place.why.en.c_str(), ConflictHint(place, target).c_str());
        return kExitNotThisVehicle;
    }
    if (place.vehicle != meant) {
        std::fprintf(stderr,
                     "odomei-cli: the read was kept with vehicle %s: its records are that "
                     "vehicle's (%s is selected)\n",
                     place.vehicle.c_str(), meant.c_str());
    }
    if (counts->elsewhere > 0) {
        std::vector<std::string> others;
        for (const std::string& name : place.overlapping) {
            if (name != place.vehicle) others.push_back(name);
        }
        std::fprintf(stderr,
                     "odomei-cli: %d records the meter still holds stay with %s; %d new records "
                     "kept with %s\n",
                     counts->elsewhere, Joined(others).c_str(), counts->added,
                     place.vehicle.c_str());
    }
    // Kept, but refuels may have been lost since the last read: said, status unchanged.
    if (counts->gap) {
        std::fprintf(stderr, "odomei-cli: warning: %s\n", GapNotice(*counts->gap).detail.c_str());
    }
    return kExitOk;
}

// The records of a read written out, then kept in the logbook; or what went wrong.
int FinishRead(const MeterRead& read, const ReadOptions& options, const FilePaths& paths) {
    const bool toStdout = options.output.empty() || options.output == "-";
    if (read.outcome == ExchangeOutcome::kCancelled) return StatusOf(read.outcome);
    if (const auto problem = ReadProblem(read)) {
        Error(*problem);
        return read.outcome == ExchangeOutcome::kBlockReceived ? kExitNoRecord
                                                               : StatusOf(read.outcome);
    }
    // Where the read is to go: the vehicle named, else the one KORVANA.ini selects. JSON names the
    // vehicle the logbook would keep it with (null for none), told before anything is stored;
    // other formats do not wait for the logbook.
    const std::string path = BookPath(options.logbook, paths);
    ReadTarget target{options.vehicle, !options.vehicle.empty(), options.meterMoved};
    std::optional<std::string> keptWith;
    auto look = [&](bool place) {
        Failure error;
        const auto book = Logbook::Open(path, &error);
        if (!book) return;
        if (!target.named) target.vehicle = VehicleOrFirst(book->Vehicles(), Selected(paths));
        if (!place) return;
        if (!book->Exists()) {
            keptWith = target.vehicle.empty() ? kFirstVehicleName : target.vehicle;
        } else if (const auto where = book->Place(read.reading, target, &error);
                   where && where->conflict == ReadConflict::kNone) {
            keptWith = where->vehicle;
        }
    };
    const bool json = options.format == Format::kJson;
    if (!options.noLogbook && json) look(true);
    // Written out first and then kept, in the order the windows show the list and then keep it:
    // a logbook that cannot take the read never costs the output, and an output that failed
    // still leaves the read in the logbook.
    const std::string content =
        Render(read.reading, options, toStdout && IsTerminal(kStdout), keptWith);
    const int written = WriteOut(content, options.output);
    if (InterruptSignal() != 0) return InterruptExitStatus(InterruptSignal());
    if (!options.noLogbook && !json) look(false);
    int kept = kExitOk;
    if (!options.noLogbook) {
        kept = KeepRead(path, read.reading, target,
                        target.vehicle.empty() ? kFirstVehicleName : target.vehicle,
                        options.requireLogbook);
    }
    if (InterruptSignal() != 0) return InterruptExitStatus(InterruptSignal());
    if (written != kExitOk) return written;
    // A read kept nowhere because of its vehicle is never silent; a logbook that cannot be written
    // fails the command only when asked to.
    if (kept == kExitNotThisVehicle) return kept;
    return kept == kExitLogbookFailed && options.requireLogbook ? kExitLogbookFailed : kExitOk;
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

// What a look at one vehicle's records found: the records as a sheet, the vehicle's name and
// its whole entry, and (asked for with withReads) when each read was made.
struct LookedUp {
    RecordSheet sheet;
    std::string vehicle;
    Vehicle which;
    ReadTimes reads;
};

// The records of one vehicle (the one named, else the one KORVANA.ini selects, else the first)
// in the options' range: kExitOk, or the status of what is said on standard error (the logbook
// cannot be opened or read, the vehicle named is none of its).
int LookUp(const LogbookOptions& options, const FilePaths& paths, LookedUp* found,
           bool withReads = false) {
    const auto book = OpenLogbook(options, paths);
    if (!book) return kExitLogbookFailed;
    Failure error;
    const auto vehicles = book->Vehicles(&error);
    if (error.Empty() && !options.vehicle.empty() && !Holds(NamesOf(vehicles), options.vehicle)) {
        return UnknownVehicle(options.vehicle, book->Path(), NamesOf(vehicles));
    }
    if (error.Empty()) {
        found->vehicle =
            VehicleOrFirst(vehicles, options.vehicle.empty() ? Selected(paths) : options.vehicle);
        found->sheet = book->Figures(RecordQuery{found->vehicle, options.from, options.to}, &error);
        for (const Vehicle& v : vehicles) {
            if (v.name == found->vehicle) found->which = v;
        }
    }
    if (error.Empty() && withReads) found->reads = book->TimesOfReads(&error);
    if (!error.Empty()) {
        Error(kLogbookOpenFailedText, OnOneLine(error));
        return kExitLogbookFailed;
    }
    return kExitOk;
}

// Standard output, a piece at a time: false once it cannot be written or the program is
// interrupted.
bool WritePiece(const std::string& piece) {
    return WriteStandardOutput(piece) && InterruptSignal() == 0;
}

}  // namespace

int RunHistory(const LogbookOptions& options) {
    const FilePaths paths = WorkingPaths();
    Format format = options.format;
    if (format == Format::kAuto) format = IsTerminal(kStdout) ? Format::kTable : Format::kCsv;
    LookedUp found;
    if (const int status = LookUp(options, paths, &found, format == Format::kJson);
        status != kExitOk)
        return status;
    if (format == Format::kJson || format == Format::kTable) {
        // Written as it is made: a million records' JSON is half a gigabyte.
        const bool written = format == Format::kJson
                                 ? WriteHistoryJson(found.sheet, found.reads, found.vehicle,
                                                    found.which.currency, WritePiece)
                                 : WriteHistoryTable(found.sheet, Per100Km(options, paths),
                                                     found.which.currency, WritePiece);
        return StandardOutputStatus(written);
    }
    std::string content = CsvText(found.sheet, AllOf(found.sheet));
    found.sheet = {};
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
    return WriteOut(content, {});
}

int RunStats(const LogbookOptions& options) {
    const FilePaths paths = WorkingPaths();
    LookedUp found;
    if (const int status = LookUp(options, paths, &found); status != kExitOk) return status;
    const LogbookSummary summary = Summarize(found.sheet);
    return WriteOut(options.format == Format::kJson
                        ? FormatStatsJson(summary, found.vehicle, found.which.currency)
                        : FormatStatsTable(summary, Per100Km(options, paths), found.which.currency),
                    {});
}

int RunChart(const LogbookOptions& options, const ChartOptions& chart) {
    const FilePaths paths = WorkingPaths();
    LookedUp found;
    if (const int status = LookUp(options, paths, &found); status != kExitOk) return status;
    std::vector<ChartKind> kinds;
    if (chart.economy) kinds.push_back(ChartKind::kEconomy);
    if (chart.error) kinds.push_back(ChartKind::kError);
    const ChartModel model(found.sheet, AllOf(found.sheet), Per100Km(options, paths));
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
    // A vehicle named is one the logbook has (a logbook not made yet: its first) before anything
    // is written.
    const std::string path = BookPath(options.logbook, paths);
    if (!options.vehicle.empty()) {
        const auto names = VehicleNamesAt(path);
        if (!names) return kExitLogbookFailed;
        if (!Holds(*names, options.vehicle)) return UnknownVehicle(options.vehicle, path, *names);
    }
    const auto book = OpenLogbook(options, paths, LogbookAccess::kWrite);
    if (!book) return kExitLogbookFailed;
    Failure error;
    const std::string vehicle = options.vehicle.empty()
                                    ? VehicleOrFirst(book->Vehicles(), Selected(paths))
                                    : options.vehicle;
    const auto counts = book->Import(files, vehicle, GetLocalTime(), &error);
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

namespace {

// The logbook opened to be written, said (as text) where it cannot be.
std::unique_ptr<Logbook> WriteLogbook(const std::string& path,
                                      const char* text = kVehicleNotSavedText) {
    Failure error;
    auto book = Logbook::Open(path, &error, LogbookAccess::kWrite);
    if (!book) Error(text, OnOneLine(error));
    return book;
}

// A change the logbook refused although the names were checked (another program changed it
// meanwhile, the file cannot be written): said.
int NotChanged(const Failure& error) {
    Error(kVehicleNotSavedText, OnOneLine(error));
    return kExitLogbookFailed;
}

// The selection in KORVANA.ini made name (empty: cleared); a warning where it cannot be.
bool Select(const FilePaths& paths, const std::string& name) {
    if (paths.Known() && WriteVehicleSetting(paths, name)) return true;
    std::fprintf(stderr, "odomei-cli: warning: KORVANA.ini could not be written: %s\n",
                 paths.Known() ? paths.IniPath().c_str() : paths.problem.c_str());
    return false;
}

int ListVehicles(const VehicleOptions& options, const FilePaths& paths) {
    LogbookOptions look;
    look.logbook = options.logbook;
    const auto book = OpenLogbook(look, paths);
    if (!book) return kExitLogbookFailed;
    Failure error;
    const auto vehicles = book->Vehicles(&error);
    if (!error.Empty()) {
        Error(kLogbookOpenFailedText, OnOneLine(error));
        return kExitLogbookFailed;
    }
    // The odometer readings given, each at its refuel.
    std::vector<std::vector<LogbookRecord>> given;
    for (const Vehicle& v : vehicles) {
        given.emplace_back();
        for (LogbookRecord& r : book->Records(RecordQuery{v.name}, &error)) {
            if (r.odometerGiven) given.back().push_back(std::move(r));
        }
    }
    if (!error.Empty()) {
        Error(kLogbookOpenFailedText, OnOneLine(error));
        return kExitLogbookFailed;
    }
    return WriteOut(
        options.format == Format::kJson
            ? FormatVehiclesJson(vehicles, given)
            : FormatVehiclesTable(vehicles, given, VehicleOrFirst(vehicles, Selected(paths))),
        {});
}

// Asks on the terminal whether to remove; a "y" or "yes" removes.
bool Confirmed(const std::string& name, std::int64_t records) {
    std::fprintf(stderr, "remove %s and its %lld records? [y/N] ", name.c_str(),
                 static_cast<long long>(records));
    std::fflush(stderr);
    char answer[16] = {};
    if (!std::fgets(answer, sizeof answer, stdin)) return false;
    const std::string word(answer, std::strcspn(answer, "\r\n"));
    return word == "y" || word == "Y" || word == "yes";
}

int RemoveVehicle(const VehicleOptions& options, const FilePaths& paths, const std::string& path) {
    Failure error;
    std::vector<Vehicle> vehicles;
    if (const auto book = Logbook::Open(path, &error)) vehicles = book->Vehicles(&error);
    if (!error.Empty()) {
        Error(kLogbookOpenFailedText, OnOneLine(error));
        return kExitLogbookFailed;
    }
    const auto it = std::find_if(vehicles.begin(), vehicles.end(),
                                 [&](const Vehicle& v) { return v.name == options.name; });
    if (it == vehicles.end()) {
        return UnknownVehicle(
            options.name, path,
            vehicles.empty() ? std::vector<std::string>{kFirstVehicleName} : NamesOf(vehicles));
    }
    if (vehicles.size() == 1) {
        std::fprintf(stderr,
                     "odomei-cli: %s\n  %s is the logbook's last vehicle: it can be renamed "
                     "(vehicles rename), not removed\n",
                     kLastVehicleText, options.name.c_str());
        return kExitUsage;
    }
    if (!options.yes) {
        if (!IsTerminal(kStdin)) {
            std::fprintf(stderr,
                         "odomei-cli: vehicles remove asks first: --yes removes %s and its %lld "
                         "records without a question\n",
                         options.name.c_str(), static_cast<long long>(it->records));
            return kExitUsage;
        }
        if (!Confirmed(options.name, it->records)) {
            std::fprintf(stderr, "odomei-cli: nothing removed\n");
            return kExitOk;
        }
    }
    const auto book = WriteLogbook(path);
    if (!book) return kExitLogbookFailed;
    const auto removed = book->RemoveVehicle(options.name, &error);
    if (!removed) return NotChanged(error);
    std::printf("removed vehicle %s and its %lld records\n", options.name.c_str(),
                static_cast<long long>(*removed));
    if (Selected(paths) == options.name) Select(paths, {});
    return kExitOk;
}

int MergeLogbookFile(const VehicleOptions& options, const std::string& path) {
    if (!options.as.empty()) {
        if (const auto refused = NameRefused(options.as)) return *refused;
    }
    const auto book = WriteLogbook(path);
    if (!book) return kExitLogbookFailed;
    Failure error;
    const auto counts = book->MergeLogbook(options.file, options.as, &error);
    if (!counts) {
        Error(kLogbookMergeFailedText, OnOneLine(error));
        return kExitLogbookFailed;
    }
    std::printf(
        "%s: into vehicle %s (%s): %d reads and %d records added, %d records already "
        "there, %d gaps added\n",
        options.file.c_str(), counts->vehicle.c_str(),
        counts->madeVehicle ? "made now" : "already there", counts->reads, counts->records,
        counts->known, counts->gaps);
    if (counts->prices > 0 || counts->readings > 0) {
        std::printf("%s: %d prices and %d odometer readings added\n", options.file.c_str(),
                    counts->prices, counts->readings);
    }
    return kExitOk;
}

// Input the user can correct, said in both languages: status kExitUsage.
int Refused(const std::string& en, const std::string& ja) {
    std::fprintf(stderr, "odomei-cli: %s\n  %s\n", en.c_str(), ja.c_str());
    return kExitUsage;
}
int Refused(const std::string& what, const Reason& why) {
    return Refused(what + ": " + why.en, why.ja);
}

// A word of a command line to type again, quoted for a shell where it must be.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80 ||
               std::isalnum(static_cast<unsigned char>(c)) || std::strchr("._,:/+-", c) != nullptr;
    });
    if (plain) return word;
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// " --vehicle NAME" where one was named.
std::string VehicleWords(const std::string& named) {
    return named.empty() ? std::string() : " --vehicle " + ShellWord(named);
}

// A refuel as a person tells it from the others of its day.
std::string RefuelText(const LogbookRecord& r) {
    return r.texts.m_strDate + ", " + r.texts.m_strDistance + " km, refuel " + r.texts.m_strRefuel +
           " L";
}

// The refuel of day `date` among the vehicle's records of that day (the no-th, 1-based in list
// order, where it has several): nothing where there is none, several and no number, or fewer than
// no; said, with how to name the one meant (`again`: the command as given, to add --no N to).
std::optional<LogbookRecord> RefuelOn(const std::vector<LogbookRecord>& ofDay,
                                      const Vehicle& vehicle, const std::string& date, int no,
                                      const std::string& again) {
    if (ofDay.empty()) {
        std::string held = vehicle.firstDate ? " (its records: " + *vehicle.firstDate + " to " +
                                                   vehicle.lastDate.value_or("") + ")"
                                             : " (it has no dated record)";
        Refused("vehicle " + vehicle.name + " has no refuel on " + date + held,
                vehicle.name + "には" + date + "の給油がありません");
        return std::nullopt;
    }
    if (no == 0 && ofDay.size() == 1) return ofDay.front();
    if (no >= 1 && static_cast<std::size_t>(no) <= ofDay.size()) return ofDay[no - 1];
    const std::string count = std::to_string(ofDay.size());
    Refused(
        "vehicle " + vehicle.name + " has " + count + " refuels on " + date +
            (no == 0 ? ": --no N says which" : ": --no " + std::to_string(no) + " is none of them"),
        vehicle.name + "には" + date + "の給油が" + count + "件あります（--no N で選べます）");
    for (std::size_t i = 0; i < ofDay.size(); ++i) {
        std::fprintf(stderr, "  %s --no %zu: %s\n", again.c_str(), i + 1,
                     RefuelText(ofDay[i]).c_str());
    }
    return std::nullopt;
}

// The vehicle a command that changes the logbook works on (named, else the one KORVANA.ini
// selects, else the first), looked up before anything is written; and its records of a day where
// date is given. The status of what is said where it cannot be.
int LookUpVehicle(const std::string& path, const std::string& named, const FilePaths& paths,
                  const std::string& date, Vehicle* vehicle, std::vector<LogbookRecord>* ofDay) {
    LogbookOptions look;
    look.logbook = path;
    const auto book = OpenLogbook(look, paths);
    if (!book) return kExitLogbookFailed;
    Failure error;
    const auto vehicles = book->Vehicles(&error);
    if (error.Empty()) {
        if (!named.empty() && !Holds(NamesOf(vehicles), named))
            return UnknownVehicle(named, book->Path(), NamesOf(vehicles));
        const std::string name = VehicleOrFirst(vehicles, named.empty() ? Selected(paths) : named);
        for (const Vehicle& v : vehicles) {
            if (v.name == name) *vehicle = v;
        }
        if (!date.empty()) *ofDay = book->Records(RecordQuery{name, date, date}, &error);
    }
    if (!error.Empty()) {
        Error(kLogbookOpenFailedText, OnOneLine(error));
        return kExitLogbookFailed;
    }
    return kExitOk;
}

// A change the logbook could not take: said.
int NotStored(const Failure& error) {
    Error(kLogbookWriteFailedText, OnOneLine(error));
    return kExitLogbookFailed;
}

int SetVehicle(const VehicleOptions& options, const FilePaths& paths, const std::string& path) {
    // Every value is checked before the logbook is looked at.
    std::optional<std::int64_t> reading;
    if (!options.odometer.empty()) {
        Reason why;
        reading = ParseOdometer(options.odometer, &why);
        if (!reading) return Refused("--odometer " + options.odometer, why);
    }
    std::string currency = options.currency;
    for (char& c : currency) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (!options.currency.empty()) {
        if (const auto problem = CurrencyProblem(currency))
            return Refused("--currency " + options.currency, *problem);
    }
    Vehicle vehicle;
    std::vector<LogbookRecord> ofDay;
    if (const int status = LookUpVehicle(path, options.name, paths, options.at, &vehicle, &ofDay);
        status != kExitOk)
        return status;
    std::optional<LogbookRecord> at;
    if (reading) {
        at = RefuelOn(ofDay, vehicle, options.at, options.no,
                      "odomei-cli vehicles set " + ShellWord(options.name) + " --odometer " +
                          ShellWord(options.odometer) + " --at " + options.at);
        if (!at) return kExitUsage;
    }
    const auto book = WriteLogbook(path);
    if (!book) return kExitLogbookFailed;
    Failure error;
    if (reading) {
        if (!book->SetOdometer(vehicle.name, at->id, reading, &error)) return NotStored(error);
        std::printf("vehicle %s: the odometer read %s km at the refuel of %s (%s)\n",
                    vehicle.name.c_str(), OdometerKmText(*reading).c_str(), options.at.c_str(),
                    RefuelText(*at).c_str());
    }
    if (!currency.empty()) {
        if (!book->SetCurrency(vehicle.name, currency, &error)) return NotStored(error);
        std::printf("vehicle %s: prices in %s\n", vehicle.name.c_str(), currency.c_str());
    }
    return kExitOk;
}

int PriceStatement(const PriceOptions& options, const FilePaths& paths) {
    // The whole statement is read and checked before anything is stored.
    std::string bytes;
    Failure unread;
    if (ReadRegularFile(options.statement, kMaxImportBytes, &bytes, &unread) != ReadResult::kRead) {
        return Refused(
            "cannot read the statement " + options.statement + ": " + unread.reason.en,
            unread.reason.ja.empty() ? "明細ファイルを読めませんでした" : unread.reason.ja);
    }
    Reason why;
    const auto lines = ParsePriceStatement(bytes, &why);
    if (!lines) return Refused(options.statement + ": nothing stored", why);
    const std::string path = BookPath(options.logbook, paths);
    Vehicle vehicle;
    if (const int status = LookUpVehicle(path, options.vehicle, paths, {}, &vehicle, nullptr);
        status != kExitOk)
        return status;
    const auto book = WriteLogbook(path, kLogbookWriteFailedText);
    if (!book) return kExitLogbookFailed;
    Failure error;
    const auto result = book->SetPrices(
        vehicle.name, *lines, options.perLitre ? PriceKind::kPerLitre : PriceKind::kTotal, &error);
    if (!result) return NotStored(error);
    std::printf(
        "%s: %d refuels of %s given a price (%s, %s); lines unmatched: %zu, ambiguous: %zu\n",
        options.statement.c_str(), result->set, vehicle.name.c_str(),
        options.perLitre ? "per litre" : "total paid", vehicle.currency.c_str(),
        result->unmatched.size(), result->ambiguous.size());
    for (const StatementLine& l : result->unmatched) {
        std::printf("unmatched: line %d: %s,%s: no refuel of %s that day\n", l.line,
                    l.isoDate.c_str(), AmountText(l.amount).c_str(), vehicle.name.c_str());
    }
    for (const StatementLine& l : result->ambiguous) {
        std::printf(
            "ambiguous: line %d: %s,%s: that day's refuels and lines do not pair up one to one "
            "(odomei-cli price %s --no N ... gives each its own)\n",
            l.line, l.isoDate.c_str(), AmountText(l.amount).c_str(), l.isoDate.c_str());
    }
    return kExitOk;
}

}  // namespace

int RunPrice(const PriceOptions& options) {
    const FilePaths paths = WorkingPaths();
    if (!options.statement.empty()) return PriceStatement(options, paths);
    std::optional<Price> price;
    if (!options.clear) {
        Reason why;
        const auto amount = ParsePriceAmount(options.amount, &why);
        if (!amount)
            return Refused((options.perLitre ? "--per-litre " : "--total ") + options.amount, why);
        price = Price{options.perLitre ? PriceKind::kPerLitre : PriceKind::kTotal, *amount};
    }
    const std::string path = BookPath(options.logbook, paths);
    Vehicle vehicle;
    std::vector<LogbookRecord> ofDay;
    if (const int status =
            LookUpVehicle(path, options.vehicle, paths, options.date, &vehicle, &ofDay);
        status != kExitOk)
        return status;
    const std::string again = "odomei-cli price " + options.date +
                              (options.clear ? std::string(" --clear")
                                             : (options.perLitre ? " --per-litre " : " --total ") +
                                                   ShellWord(options.amount)) +
                              VehicleWords(options.vehicle);
    auto refuel = RefuelOn(ofDay, vehicle, options.date, options.no, again);
    if (!refuel) return kExitUsage;
    const auto book = WriteLogbook(path, kLogbookWriteFailedText);
    if (!book) return kExitLogbookFailed;
    Failure error;
    if (!book->SetPrice(vehicle.name, refuel->id, price, &error)) return NotStored(error);
    if (!price) {
        std::printf("the refuel of %s (%s) has no price now\n", options.date.c_str(),
                    RefuelText(*refuel).c_str());
        return kExitOk;
    }
    refuel->price = price;
    const auto cost = CostOf(*refuel);
    const auto perLitre = PricePerLitreOf(*refuel);
    const std::string& unit = vehicle.currency;
    std::printf("the refuel of %s (%s): %s %s %s; cost %s, a litre %s\n", options.date.c_str(),
                RefuelText(*refuel).c_str(), AmountText(price->amount).c_str(), unit.c_str(),
                options.perLitre ? "per litre" : "paid",
                cost ? (AmountText(*cost) + " " + unit).c_str() : "-",
                perLitre ? (AmountText(*perLitre) + " " + unit).c_str() : "-");
    return kExitOk;
}

int RunExport(const ExportOptions& options) {
    const auto app = FuelAppNamed(options.app);
    if (!app) return kExitInternal;  // the option's check allows only the three
    const FilePaths paths = WorkingPaths();
    LookedUp found;
    if (const int status = LookUp(options.book, paths, &found, true); status != kExitOk) {
        return status;
    }
    const Vehicle& vehicle = found.which;
    std::vector<LogbookRecord> records;
    records.reserve(found.sheet.Size());
    for (std::size_t i = 0; i < found.sheet.Size(); ++i) {
        records.push_back(found.sheet.Record(i, found.reads.Of(found.sheet[i].readId)));
    }
    const AppFile file = ExportForApp(*app, vehicle, records);
    if (const auto left = LeftOutReason(*app, file, vehicle.name)) Error(*left);
    if (file.written == 0 && !file.leftOut.empty()) {
        std::fprintf(stderr, "odomei-cli: no file written\n  ファイルは書き出していません\n");
        return kExitUsage;
    }
    if (file.written == 0) {
        const std::string range =
            options.book.from.empty() && options.book.to.empty()
                ? std::string()
                : " from " + (options.book.from.empty() ? "the first" : options.book.from) +
                      " to " + (options.book.to.empty() ? "the last" : options.book.to);
        return Refused("no refuel of " + vehicle.name + range + " can be written for " +
                           FuelAppTitle(*app) + ": no file written",
                       FuelAppTitle(*app) + std::string("に書き出せる給油がありません"));
    }
    return WriteOut(file.text, options.output);
}

int RunVehicles(const VehicleOptions& options) {
    const FilePaths paths = WorkingPaths();
    const std::string path = BookPath(options.logbook, paths);
    switch (options.action) {
        case VehicleAction::kList: return ListVehicles(options, paths);
        case VehicleAction::kRemove: return RemoveVehicle(options, paths, path);
        case VehicleAction::kMergeLogbook: return MergeLogbookFile(options, path);
        case VehicleAction::kSet: return SetVehicle(options, paths, path);
        default: break;
    }
    // The others name a vehicle: checked (and the new name) before the file is written.
    const std::string& name = options.name;
    const bool adding = options.action == VehicleAction::kAdd;
    const std::string& made = adding ? name : options.newName;
    if (adding || options.action == VehicleAction::kRename) {
        if (const auto refused = NameRefused(made)) return *refused;
    }
    const auto names = VehicleNamesAt(path);
    if (!names) return kExitLogbookFailed;
    if (!adding && !Holds(*names, name)) return UnknownVehicle(name, path, *names);
    const bool renaming = options.action == VehicleAction::kRename;
    if ((adding || (renaming && made != name)) && Holds(*names, made)) {
        std::fprintf(stderr, "odomei-cli: %s: %s\n", kVehicleNameTakenText, made.c_str());
        return kExitUsage;
    }
    if (options.action == VehicleAction::kSelect) {
        if (!Select(paths, name)) return kExitOutputFailed;
        std::printf("selected vehicle %s\n", name.c_str());
        return kExitOk;
    }
    const auto book = WriteLogbook(path);
    if (!book) return kExitLogbookFailed;
    Failure error;
    switch (options.action) {
        case VehicleAction::kAdd:
            if (!book->AddVehicle(name, options.note, &error)) return NotChanged(error);
            std::printf("added vehicle %s\n", name.c_str());
            break;
        case VehicleAction::kRename:
            if (!book->RenameVehicle(name, made, &error)) return NotChanged(error);
            std::printf("renamed vehicle %s to %s\n", name.c_str(), made.c_str());
            // The window's selection follows the vehicle it named.
            if (Selected(paths) == name) Select(paths, made);
            break;
        case VehicleAction::kNote:
            if (!book->SetVehicleNote(name, options.note, &error)) return NotChanged(error);
            break;
        default: break;
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

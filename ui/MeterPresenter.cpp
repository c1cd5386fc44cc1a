#include "ui/MeterPresenter.h"

#include "data/CsvExport.h"
#include "data/Logbook.h"
#include "link/PortSetting.h"
#include "platform/Clock.h"
#include "platform/Interrupt.h"
#include "platform/Profile.h"
#include "ui/PortPresenter.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

// How many times the question after a read is asked again when the vehicle chosen cannot take it
// either (or another program changed the logbook meanwhile) before the read is kept nowhere.
constexpr int kMaxVehicleQuestions = 4;

std::string Joined(const std::vector<std::string>& names, const std::string& separator) {
    std::string joined;
    for (const auto& name : names) joined += (joined.empty() ? "" : separator) + name;
    return joined;
}

// The vehicles of the logbook at path as they are now; none where it cannot be looked at.
std::vector<Vehicle> LookAtVehicles(const std::string& path) {
    Failure error;
    const auto book = Logbook::Open(path, &error);
    return book ? book->Vehicles(&error) : std::vector<Vehicle>{};
}

}  // namespace

MeterPresenter::MeterPresenter(MeterView& view)
    : m_view(view), m_session(m_log), m_lister(SystemPortLister()) {
    // The log's failures are message boxes; the caller carries on after each.
    m_log.SetReporter(
        [this](const Failure& failure) { Tell(FailureNotice(kMbIconHand, failure)); });
}

MeterPresenter::~MeterPresenter() { OnDestroy(); }

void MeterPresenter::Start() {
    m_view.ShowVersion({});
    m_records.m_nRecordCount = 0;
    m_paths = DeriveFilePaths();
    if (!m_paths.Known()) {
        // Never the root folder instead: no INI write-back and no log until the next start.
        m_view.Diagnose("the working directory cannot be determined (" + m_paths.problem +
                        "): running without KORVANA.ini and KORVANA.log");
        Tell(FailureNotice(
            kNoWorkingFolderText, kMbIconHand,
            FailureOf({}, "The working directory cannot be determined: " + m_paths.problem)));
    }
    m_log.SetPath(m_paths.LogPath());
    SetCommands({});
    ClearList();
    // The vehicle reads go to: the setting's where the logbook has it, else the logbook's first.
    m_vehicle = VehicleOrFirst(LookAtVehicles(LogbookPath(m_paths)), VehicleSetting(m_paths));
    if (m_vehicle.empty()) m_vehicle = kFirstVehicleName;
    m_view.ShowVehicle(VehicleShownText(m_vehicle));
    std::string firstStart;
    m_nPort = LoadPortSetting(m_paths, m_lister.get(), &firstStart);
    if (!firstStart.empty()) m_view.Diagnose(firstStart);
    OpenPort();
    m_view.FocusExit();
}

void MeterPresenter::OpenPort() { OpenPortAs(PortName(m_nPort), ComName(m_nPort)); }

bool MeterPresenter::OpenPortAs(const std::string& name, const std::string& shown) {
    m_openedName = name;
    Failure why;
    if (!m_session.Open(name, PortMap(m_paths.IniPath(), m_lister.get()), &why)) {
        m_view.Diagnose("cannot open " + shown + ": " + FailureLine(why));
        // What stands in the way and what to do, above the system's own words (in one line).
        const PortVerdict verdict = DiagnosePortName(name, m_paths.IniPath());
        if (!verdict.reason.en.empty()) m_view.Diagnose(verdict.reason.en);
        Failure said{{}, Reason{FailureLine(why), verdict.reason.ja}};
        // A settings file the program cannot read may be why the port is not the one meant.
        if (const auto ini = IniEncodingProblem(m_paths.IniPath())) {
            m_view.Diagnose(*ini);
            said.reason.en += "\n\n" + *ini;
        }
        Tell(FailureNotice(PortFailureText(shown), kMbIconHand, said));
        return false;
    }
    SetCommands({.read = true});
    return true;
}

void MeterPresenter::OnPortSettings() {
    if (m_reading) return;
    m_view.ShowPortChooser(*this);
}

bool MeterPresenter::ChoosePort(const MeterCandidate& port) {
    // The setting holds COM1 to COM255: a port reached by no number takes the number in use,
    // whose entry it replaces.
    const int number =
        port.number >= 1 && port.number <= kMaxPortNumber ? port.number : PortNumber(m_nPort);
    const std::string name = ComName(number);
    const std::string device = port.stableName.empty() ? port.device : port.stableName;

    // The port in use, to go back to when the choice cannot be opened.
    const std::string previous = m_openedName;
    const bool wasOpen = m_session.IsOpen();
    const bool wasReleased = m_released;
    m_session.Close();
    SetCommands({});
    // The device itself, so that the choice holds even where the file could not take it.
    if (!OpenPortAs(device, name)) {
        // Nothing of a choice that cannot be opened is kept: the setting stays as it was, and the
        // port that worked is open again (let go for the chooser, when the chooser closes).
        m_openedName = previous;
        m_released = wasReleased;
        if (wasOpen) OpenPortAs(previous, ComName(m_nPort));
        KeepListCommands();
        return false;
    }
    m_released = false;
    m_nPort = number;
    KeepListCommands();

    // Only now the setting: the next start opens what opened here.
    if (!WritePortChoice(m_paths, number, device)) {
        const std::string detail =
            m_paths.Known() ? m_paths.IniPath() + " could not be written"
                            : "the working directory cannot be determined: " + m_paths.problem;
        m_view.Diagnose("the port setting is not kept: " + detail);
        Tell(FailureNotice(kPortNotKeptText, kMbIconExclamation, FailureOf({}, detail)));
    }
    return true;
}

// A list still filled keeps save and clear, and read waits for the clear, as after a read.
void MeterPresenter::KeepListCommands() {
    if (m_records.m_nRecordCount != 0) SetCommands({.save = true, .clear = true});
}

void MeterPresenter::ReleasePort() {
    if (!m_session.IsOpen() || m_reading) return;
    m_session.Close();
    m_released = true;
}

void MeterPresenter::ResumePort() {
    if (!m_released) return;
    m_released = false;
    // A program that is ending (a signal, the session) opens no port any more.
    if (InterruptSignal() != 0 || m_view.Ending()) return;
    OpenPortAs(m_openedName, ComName(m_nPort));
    KeepListCommands();
}

void MeterPresenter::OnDestroy() { m_session.Close(); }

void MeterPresenter::SetCommands(const CommandState& state) {
    m_commands = state;
    m_view.EnableCommands(state);
}

void MeterPresenter::ClearList() {
    m_records.ClearRows();
    m_records.m_nRecordCount = 0;
    m_view.ShowRows({});
}

void MeterPresenter::Tell(const Notice& notice) {
    m_view.Message(notice.text, notice.flags, notice.detail);
}

std::vector<std::string> MeterPresenter::RowTexts(int i) const {
    const RecordRow& row = m_records.m_rows[static_cast<std::size_t>(i - 1)];
    return {RowNumberText(i),    row.m_strDate,   row.m_strDistance, row.m_strFuel,
            row.m_strCorrection, row.m_strRefuel, row.m_strError};
}

void MeterPresenter::ShowRecords(const std::string& version) {
    if (m_records.m_nRecordCount == 0) {
        m_view.Message(kNoValidDataText, kMbIconInformation);
        return;
    }
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= m_records.m_nRecordCount; ++i) rows.push_back(RowTexts(i));
    m_view.ShowRows(rows);
    m_view.ShowVersion(kVersionPrefix + version);
    SetCommands({.save = true, .clear = true});
}

void MeterPresenter::OnRead() {
    m_session.PrepareRead();
    if (m_view.Message(kAskRead, kMbYesNo | kMbIconInformation) != kIdYes) return;
    if (m_records.m_nRecordCount != 0) ClearList();
    m_reading = true;
    const CommandState before = m_commands;
    SetCommands({.read = before.read, .save = before.save, .clear = before.clear, .ports = false});
    m_view.BeginBusy();
    // The port as it is at each pause: a read may open it afresh first.
    const MeterRead result = m_session.Read(
        [this](int ms, bool untilInput) { return m_view.Pause(m_session.Port(), ms, untilInput); },
        [this](const ExchangeProgress&) { return InterruptSignal() == 0 && !m_view.Ending(); });
    m_view.EndBusy();
    m_reading = false;
    SetCommands(before);
    if (result.outcome == ExchangeOutcome::kCancelled) return;  // the program is ending
    if (result.outcome != ExchangeOutcome::kBlockReceived) {
        Tell(*ReadProblem(result));
        return;
    }
    FillTable(result.reading, m_records);
    ShowRecords(result.reading.version);
    // Shown first, then kept: when the logbook cannot take it, or the read shows refuels may have
    // been lost since the last, the user is told once and the records stay shown.
    KeepRead(result.reading);
}

void MeterPresenter::KeepRead(const MeterReading& reading) {
    if (reading.records.empty()) return;
    const std::string path = LogbookPath(m_paths);
    auto say = [this](const Notice& notice) {
        if (!notice.detail.empty()) m_view.Diagnose(notice.detail);
        Tell(notice);
    };
    Failure error;
    const auto book = Logbook::Open(path, &error, LogbookAccess::kWrite);
    if (!book) return say(LogbookWriteNotice(error));
    // Another program may have renamed or removed the selected vehicle since.
    if (const auto vehicles = book->Vehicles(&error); !vehicles.empty()) {
        const std::string now = VehicleOrFirst(vehicles, m_vehicle);
        if (now != m_vehicle) {
            m_vehicle = now;
            m_view.ShowVehicle(VehicleShownText(m_vehicle));
        }
    }
    auto place = book->Place(reading, ReadTarget{m_vehicle}, &error);
    if (!place) return say(LogbookWriteNotice(error));

    // Where the read goes: asked where its records cannot be the selected vehicle's, and again
    // while the answer cannot take it either.
    std::string asked = m_vehicle;  // the vehicle the last question was about
    for (int round = 0; round < kMaxVehicleQuestions; ++round) {
        ReadTarget target{m_vehicle};
        switch (place->conflict) {
            case ReadConflict::kNone:
                // Records of another vehicle and new ones: that car again, or the meter moved.
                if (place->vehicle != m_vehicle && place->unknown > 0) {
                    switch (m_view.Message(AskOtherVehicleText(place->vehicle, m_vehicle),
                                           kMbYesNoCancel | kMbIconQuestion)) {
                        case kIdYes: target = {place->vehicle, true, false}; break;
                        case kIdNo: target = {m_vehicle, true, true}; break;
                        default: return say(KeptNowhereNotice({}));
                    }
                }
                break;
            case ReadConflict::kSeveralVehicles:
            case ReadConflict::kNotThisVehicle:
            case ReadConflict::kOtherVehicle:
            case ReadConflict::kUnknownVehicle: {
                const bool several = place->conflict == ReadConflict::kSeveralVehicles;
                const std::string prompt =
                    several ? SeveralVehiclesText(Joined(place->overlapping, "、"))
                            : NotThisVehicleText(asked);
                const std::optional<std::int64_t> before = SelectedVehicleId();
                const auto chosen = m_view.ShowVehicles({path, asked, prompt, place->why.ja});
                FollowVehicle(before);
                if (!chosen) return say(KeptNowhereNotice(*place));
                // Records other vehicles hold stay theirs; the new ones go to the one chosen.
                target = {*chosen, true, several};
                asked = *chosen;
                break;
            }
        }
        const auto counts = book->Merge(reading, GetLocalTime(), target, &error);
        if (!counts) return say(LogbookWriteNotice(error));
        if (counts->place.conflict != ReadConflict::kNone) {
            place = counts->place;
            continue;
        }
        if (counts->place.vehicle != m_vehicle) {
            SelectVehicle(counts->place.vehicle);
            Tell({true, KeptWithText(counts->place.vehicle), kMbIconInformation, {}});
        }
        if (const auto gap = GapNotice(*counts)) say(*gap);
        return;
    }
    say(KeptNowhereNotice(*place));
}

void MeterPresenter::SelectVehicle(const std::string& name) {
    m_vehicle = name;
    m_view.ShowVehicle(VehicleShownText(name));
    if (!WriteVehicleSetting(m_paths, name)) {
        const std::string detail =
            m_paths.Known() ? m_paths.IniPath() + " could not be written"
                            : "the working directory cannot be determined: " + m_paths.problem;
        m_view.Diagnose("the vehicle setting is not kept: " + detail);
        Tell(FailureNotice(kVehicleNotKeptText, kMbIconExclamation, FailureOf({}, detail)));
    }
}

std::optional<std::int64_t> MeterPresenter::SelectedVehicleId() const {
    for (const auto& v : LookAtVehicles(LogbookPath(m_paths))) {
        if (v.name == m_vehicle) return v.id;
    }
    return std::nullopt;
}

void MeterPresenter::FollowVehicle(std::optional<std::int64_t> before) {
    const auto vehicles = LookAtVehicles(LogbookPath(m_paths));
    if (vehicles.empty()) return;  // no logbook to say otherwise
    std::string now = VehicleOrFirst(vehicles, m_vehicle);
    if (before && now != m_vehicle) {
        // Renamed in the dialog: the same vehicle under its new name.
        for (const auto& v : vehicles) {
            if (v.id == *before) now = v.name;
        }
    }
    if (now != m_vehicle) SelectVehicle(now);
}

void MeterPresenter::OnVehicles() {
    if (m_reading) return;
    const std::optional<std::int64_t> before = SelectedVehicleId();
    const auto chosen = m_view.ShowVehicles({LogbookPath(m_paths), m_vehicle, "", ""});
    if (chosen) {
        if (*chosen != m_vehicle) SelectVehicle(*chosen);
    } else {
        FollowVehicle(before);
    }
}

void MeterPresenter::OnClear() {
    if (m_records.m_nRecordCount == 0) {
        m_view.Message(kNothingToClear, kMbOk);
        return;
    }
    if (m_view.Message(kAskClear, kMbYesNo | kMbIconInformation) != kIdYes) return;
    ClearList();
    SetCommands({.read = true});
}

void MeterPresenter::OnExit() {
    if (m_view.Message(kAskExit, kMbYesNo | kMbIconInformation) == kIdYes) m_view.EndWindow();
}

void MeterPresenter::OnAbout() { m_view.ShowAbout(); }

void MeterPresenter::OnHistory() {
    Failure error;
    const auto book = Logbook::Open(LogbookPath(m_paths), &error);
    if (!book) {
        Tell(FailureNotice(kLogbookOpenFailedText, kMbIconHand, OnOneLine(error)));
        return;
    }
    m_view.ShowHistory(*book, m_vehicle, m_paths.IniPath(), m_paths.strCurDir);
}

void MeterPresenter::OnSaveCsv() {
    if (m_records.m_nRecordCount == 0) {
        m_view.Message(kNothingToSave, kMbOk);
        return;
    }
    const auto chosen = m_view.AskSaveName(CsvSaveRequest(m_paths.strCurDir));
    if (!chosen) return;
    Tell(SaveText(chosen->path, chosen->fileName, CsvText(m_records)));
}

}  // namespace odomei

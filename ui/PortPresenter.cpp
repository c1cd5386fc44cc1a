#include "ui/PortPresenter.h"

#include <algorithm>

#include "link/PortSurvey.h"
#include "platform/Interrupt.h"
#include "ui/MeterPresenter.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

std::string StateText(const SurveyedPort& port) {
    switch (port.state) {
        case PortState::kFree: return kPortFreeText;
        case PortState::kInUse: {
            std::string who = port.holder;
            if (port.holderPid > 0) {
                who += (who.empty() ? "PID " : " PID ") + std::to_string(port.holderPid);
            }
            return kPortInUseText + (who.empty() ? "" : "(" + who + ")");
        }
        case PortState::kNoPermission: return kPortNoPermissionText;
        case PortState::kMissing: return kPortMissingText;
        case PortState::kConsole: return kPortConsoleText;
        case PortState::kOtherDevice: return kPortOtherDeviceText;
        case PortState::kFailed: return kPortFailedText;
        case PortState::kNotSerial: return kPortNotSerialText;
    }
    return {};
}

std::string ShownName(const MeterCandidate& port) {
    if (port.number > 0) return ComName(port.number);
    return port.stableName.empty() ? port.device : port.stableName;
}

}  // namespace

PortRow MakePortRow(const SurveyedPort& port) {
    PortRow row;
    std::string description = port.info.description;
    if (!port.info.manufacturer.empty() &&
        description.find(port.info.manufacturer) == std::string::npos) {
        description +=
            description.empty() ? port.info.manufacturer : " (" + port.info.manufacturer + ")";
    }
    std::string state = StateText(port);
    if (port.current) state += kPortCurrentMark;
    row.texts = {port.number > 0 ? ComName(port.number) : "-",
                 port.stableName.empty() ? port.device : port.stableName,
                 description,
                 UsbIdText(port.info),
                 port.info.serialNumber,
                 state};
    row.reason = port.reason.ja;
    if (!port.stableName.empty() && port.device != port.stableName) {
        row.reason = port.device + (row.reason.empty() ? "" : "\n" + row.reason);
    }
    row.current = port.current;
    row.choosable = port.state == PortState::kFree;
    return row;
}

PortPresenter::PortPresenter(PortView& view, MeterPresenter& owner, PortSurveyor surveyor)
    : m_view(view), m_owner(owner), m_surveyor(std::move(surveyor)) {
    if (!m_surveyor) {
        m_surveyor = [](const std::string& iniPath, int configured) {
            return SurveyPorts(iniPath, configured);
        };
    }
}

// A chooser that goes without a choice gives the port in use back.
PortPresenter::~PortPresenter() { m_owner.ResumePort(); }

void PortPresenter::Start() {
    // The port in use is let go while the chooser is open: it shows free, and a search may try it.
    m_owner.ReleasePort();
    Survey(false);
}

void PortPresenter::OnRefresh() { Survey(true); }

void PortPresenter::OnDevicesChanged() {
    if (!m_searching) Survey(true);
}

void PortPresenter::Survey(bool keepSelection) {
    std::string keep;  // the device selected, to select it again
    if (keepSelection && m_survey && m_selected >= 0 &&
        m_selected < static_cast<int>(m_survey->ports.size())) {
        keep = m_survey->ports[static_cast<std::size_t>(m_selected)].device;
    }
    // The row marked is the one the setting leads to, as the main window maps it: 0, a number
    // beyond 255 or no number at all is COM1 there.
    m_survey = std::make_unique<PortSurvey>(
        m_surveyor(m_owner.Paths().IniPath(), PortNumber(m_owner.Port())));
    m_rows.clear();
    int current = -1, kept = -1;
    for (const SurveyedPort& port : m_survey->ports) {
        const int index = static_cast<int>(m_rows.size());
        if (port.current && current < 0) current = index;
        if (!keep.empty() && port.device == keep) kept = index;
        m_rows.push_back(MakePortRow(port));
    }
    m_selected = kept >= 0 ? kept : current;
    m_view.ShowPorts(m_rows, m_selected);
    std::string findings;
    for (const Reason& finding : m_survey->findings) {
        findings += (findings.empty() ? "" : "\n") + finding.ja;
    }
    m_view.ShowStatus(findings);
    OnSelect(m_selected);
}

void PortPresenter::SetCommands(const PortCommands& state) {
    m_commands = state;
    m_view.EnableCommands(state);
}

void PortPresenter::OnSelect(int row) {
    m_selected = row >= 0 && row < static_cast<int>(m_rows.size()) ? row : -1;
    SetCommands({.ok = m_selected >= 0 && m_rows[static_cast<std::size_t>(m_selected)].choosable});
}

void PortPresenter::OnChoose(int row) {
    if (m_searching || row < 0 || row >= static_cast<int>(m_rows.size())) return;
    const PortRow& chosen = m_rows[static_cast<std::size_t>(row)];
    if (!chosen.choosable) {
        m_view.Message(kPortNotChoosableText, kMbIconExclamation, chosen.reason);
        return;
    }
    Choose(static_cast<std::size_t>(row));
}

bool PortPresenter::Choose(std::size_t index) {
    if (m_owner.ChoosePort(CandidateOf(m_survey->ports[index]))) {
        m_view.Close(true);
        return true;
    }
    // The main window said why; the list shows what changed meanwhile.
    m_owner.ReleasePort();
    Survey(true);
    return false;
}

void PortPresenter::OnCancel() {
    if (m_searching) return;
    m_owner.ResumePort();
    m_view.Close(false);
}

void PortPresenter::OnFindMeter() {
    if (m_searching) return;
    Survey(true);  // as the machine is now
    const std::vector<std::size_t> order = SearchOrder(*m_survey, m_searchHardware);
    if (order.empty()) {
        m_view.Message(kNoSearchPortText, kMbIconExclamation);
        return;
    }
    std::vector<MeterCandidate> candidates;
    for (const std::size_t i : order) candidates.push_back(CandidateOf(m_survey->ports[i]));

    m_searching = true;
    SetCommands({.ok = false, .refresh = false, .find = false});
    m_view.BeginBusy();
    std::size_t shown = candidates.size();
    m_search = FindMeter(
        candidates, m_owner.Log(),
        [this](SerialHandle port, int ms, bool untilInput) {
            return m_view.Pause(port, ms, untilInput);
        },
        [&](std::size_t i, const ExchangeProgress&) {
            if (i != shown) {
                shown = i;
                m_view.ShowStatus(SearchingText(ShownName(candidates[i])));
            }
            // A signal ends the search as it ends a read: the program is ending.
            return InterruptSignal() == 0 && !m_view.Ending();
        });
    m_view.EndBusy();
    m_searching = false;
    m_view.ShowStatus({});
    if (m_search.cancelled) return;  // the program is ending

    if (!m_search.found) {
        Survey(true);
        const Notice notFound = FailureNotice(kMeterNotFoundText, kMbIconExclamation,
                                              FailureOf({}, m_search.Describe()));
        m_view.Message(notFound.text, notFound.flags, notFound.detail);
        return;
    }
    // The row of the port that answered.
    std::size_t found = order.front();
    for (const std::size_t i : order) {
        if (m_survey->ports[i].device == m_search.port.device) found = i;
    }
    const std::string name = ShownName(m_search.port);
    m_selected = static_cast<int>(found);
    m_view.ShowPorts(m_rows, m_selected);
    OnSelect(m_selected);
    if (m_survey->ports[found].current) {
        m_view.Message(MeterFoundText(name), kMbIconInformation, m_search.Describe());
        return;
    }
    if (m_view.Message(AskUseFoundPortText(name), kMbYesNo | kMbIconQuestion,
                       m_search.Describe()) == kIdYes) {
        Choose(found);
    }
}

}  // namespace odomei

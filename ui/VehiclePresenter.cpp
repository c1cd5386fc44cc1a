#include "ui/VehiclePresenter.h"

#include <algorithm>
#include <iterator>

#include "ui/Notice.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

std::string OrEmpty(const std::optional<std::string>& text) { return text.value_or(""); }

// The last read to the minute ("YYYY-MM-DD HH:MM"): the seconds only widen the list.
constexpr std::size_t kLastReadShown = 16;

}  // namespace

VehiclePresenter::VehiclePresenter(VehicleView& view, VehicleRequest request)
    : m_view(view), m_request(std::move(request)) {}

void VehiclePresenter::Start() { Load(m_request.selected); }

// The vehicles as the logbook holds them now, select (else the row the selection was on, else the
// first) selected. Where there is no logbook yet, writing makes it with its first vehicle.
void VehiclePresenter::Load(const std::string& select) {
    Failure error;
    const auto book = Logbook::Open(m_request.logbookPath, &error, LogbookAccess::kWrite);
    const std::optional<std::size_t> was = m_selection;
    m_vehicles.clear();
    if (book) m_vehicles = book->Vehicles(&error);
    if (!book || !error.Empty()) {
        const Notice notice = FailureNotice(kLogbookOpenFailedText, kMbIconHand, OnOneLine(error));
        m_view.Message(notice.text, notice.flags, notice.detail);
    }
    m_selection.reset();
    const auto named = std::find_if(m_vehicles.begin(), m_vehicles.end(),
                                    [&](const Vehicle& v) { return v.name == select; });
    if (named != m_vehicles.end()) {
        m_selection = static_cast<std::size_t>(std::distance(m_vehicles.begin(), named));
    } else if (!m_vehicles.empty()) {
        // A neighbour of the row that went: the one now in its place, or the last.
        m_selection = std::min(was.value_or(0), m_vehicles.size() - 1);
    }
    m_view.Refresh();
}

std::vector<std::string> VehiclePresenter::Captions() const {
    return {std::begin(kVehicleColumns), std::end(kVehicleColumns)};
}

std::size_t VehiclePresenter::RowCount() const { return m_vehicles.size(); }

std::vector<std::string> VehiclePresenter::RowTexts(std::size_t i) const {
    const Vehicle& v = m_vehicles[i];
    return {v.name,
            v.note,
            std::to_string(v.records),
            OrEmpty(v.firstDate),
            OrEmpty(v.lastDate),
            OrEmpty(v.lastRead).substr(0, kLastReadShown)};
}

void VehiclePresenter::Select(std::size_t i) {
    if (i >= m_vehicles.size()) return;
    m_selection = i;
    m_view.Refresh();
}

std::string VehiclePresenter::Prompt() const {
    return Asking() ? m_request.prompt : std::string(kVehicleManagePrompt);
}

std::string VehiclePresenter::ChooseText() const {
    return Asking() ? kVehicleKeepHereText : kVehicleChooseText;
}

std::string VehiclePresenter::CloseText() const {
    return Asking() ? kVehicleKeepNowhereText : kVehicleCloseText;
}

bool VehiclePresenter::CanChoose() const { return m_selection.has_value(); }
bool VehiclePresenter::CanRename() const { return m_selection.has_value(); }
bool VehiclePresenter::CanRemove() const { return m_selection.has_value() && !Asking(); }

void VehiclePresenter::OnChoose() {
    if (!CanChoose()) return;
    m_chosen = m_vehicles[*m_selection].name;
    m_view.Close();
}

void VehiclePresenter::OnAdd() { Edit(true); }

void VehiclePresenter::OnRename() {
    if (CanRename()) Edit(false);
}

void VehiclePresenter::Edit(bool adding) {
    const std::string old = adding ? std::string() : m_vehicles[*m_selection].name;
    VehicleEdit start = adding ? VehicleEdit{} : VehicleEdit{old, m_vehicles[*m_selection].note};
    for (;;) {
        const auto edit = m_view.AskVehicle(start, adding);
        if (!edit) return;
        start = *edit;
        // Said before anything is written, so that the dialog comes back with what was typed.
        if (const auto problem = VehicleNameProblem(edit->name)) {
            m_view.Message(kVehicleNameProblemText, kMbIconExclamation, problem->ja);
            continue;
        }
        const bool renamed = adding || edit->name != old;
        const bool taken = std::any_of(m_vehicles.begin(), m_vehicles.end(),
                                       [&](const Vehicle& v) { return v.name == edit->name; });
        if (renamed && taken) {
            m_view.Message(kVehicleNameTakenText, kMbIconExclamation, edit->name);
            continue;
        }
        Failure error;
        const auto book = Logbook::Open(m_request.logbookPath, &error, LogbookAccess::kWrite);
        bool done = book != nullptr;
        if (done && adding) done = book->AddVehicle(edit->name, edit->note, &error);
        if (done && !adding && renamed) done = book->RenameVehicle(old, edit->name, &error);
        if (done && !adding && edit->note != m_vehicles[*m_selection].note) {
            done = book->SetVehicleNote(edit->name, edit->note, &error);
        }
        if (!done) {
            const Notice notice = FailureNotice(kVehicleNotSavedText, kMbIconHand, error);
            m_view.Message(notice.text, notice.flags, notice.detail);
        }
        // What the file holds now (a rename may have gone through before a note failed).
        Load(done || !adding ? edit->name : old);
        return;
    }
}

void VehiclePresenter::OnRemove() {
    if (!CanRemove()) return;
    const Vehicle& v = m_vehicles[*m_selection];
    if (m_vehicles.size() == 1) {
        m_view.Message(kLastVehicleText, kMbIconExclamation);
        return;
    }
    if (m_view.Message(AskRemoveVehicleText(v.name, v.records), kMbYesNo | kMbIconQuestion) !=
        kIdYes) {
        return;
    }
    const std::string name = v.name;
    Failure error;
    const auto book = Logbook::Open(m_request.logbookPath, &error, LogbookAccess::kWrite);
    if (!book || !book->RemoveVehicle(name, &error)) {
        const Notice notice = FailureNotice(kVehicleNotSavedText, kMbIconHand, error);
        m_view.Message(notice.text, notice.flags, notice.detail);
    }
    Load(name);  // gone: its neighbour is selected
}

void VehiclePresenter::OnClose() {
    m_chosen.reset();
    m_view.Close();
}

}  // namespace odomei

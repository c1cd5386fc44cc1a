// The vehicle dialog's flow, once for every window: the logbook's vehicles in a list, and what
// choosing, adding, renaming and removing one do. It serves two purposes: managing the vehicles
// (from the main window's button and window menu), and the question after a read that cannot be
// kept with the selected vehicle (its prompt says why; OK keeps the read with the one chosen).
// A window implements VehicleView and hands its clicks to VehiclePresenter.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "data/Logbook.h"

namespace odomei {

// What the dialog is opened for.
struct VehicleRequest {
    std::string logbookPath;
    std::string selected;  // the vehicle selected when it opens
    // Empty: the dialog manages the vehicles. Else the read's question, above the list, with
    // detail (why) below it; choosing then keeps the read with the vehicle chosen.
    std::string prompt;
    std::string detail;
};

// A vehicle's name and note as the name-and-note dialog edits them.
struct VehicleEdit {
    std::string name;
    std::string note;
};

class VehicleView {
public:
    virtual ~VehicleView() = default;
    // The rows, the selection or the buttons' state changed: draw them again.
    virtual void Refresh() = 0;
    virtual int Message(const std::string& text, unsigned flags,
                        const std::string& detail = {}) = 0;
    // The name-and-note dialog, filled with start (adding: kVehicleAddCaption, else
    // kVehicleEditCaption); nothing when cancelled.
    virtual std::optional<VehicleEdit> AskVehicle(const VehicleEdit& start, bool adding) = 0;
    // The dialog ends (after a choice, or closed).
    virtual void Close() = 0;
};

class VehiclePresenter {
public:
    // The view must outlive the presenter.
    VehiclePresenter(VehicleView& view, VehicleRequest request);

    // Loads the vehicles (the logbook is made where there is none yet, with its first vehicle)
    // and selects the request's; the view is refreshed.
    void Start();

    std::vector<std::string> Captions() const;  // kVehicleColumns
    std::size_t RowCount() const;
    // Name, note, records, first and last date, last read (to the minute).
    std::vector<std::string> RowTexts(std::size_t i) const;
    std::optional<std::size_t> Selection() const { return m_selection; }
    void Select(std::size_t i);
    // The prompt above the list and the detail below it (the read's question, or what to do).
    std::string Prompt() const;
    const std::string& Detail() const { return m_request.detail; }
    bool Asking() const { return !m_request.prompt.empty(); }
    // The buttons' texts and state: choose (kVehicleChooseText, or kVehicleKeepHereText when
    // asking) needs a selection, remove needs one too and never when asking; close is
    // kVehicleKeepNowhereText when asking.
    std::string ChooseText() const;
    std::string CloseText() const;
    bool CanChoose() const;
    bool CanRename() const;
    bool CanRemove() const;

    // 選択 (or double-click, Enter): the selected vehicle is chosen and the dialog closes.
    void OnChoose();
    // Ask for a name and note, store them, select the new vehicle; a name that cannot be a
    // vehicle's, or is taken, is said and asked again.
    void OnAdd();
    void OnRename();
    // Asks, saying how many records go; the last vehicle is never removed.
    void OnRemove();
    void OnClose();

    // The vehicle chosen; nothing when the dialog was closed without a choice.
    const std::optional<std::string>& Chosen() const { return m_chosen; }
    const std::vector<Vehicle>& Vehicles() const { return m_vehicles; }

private:
    void Load(const std::string& select);
    // Stores an edit (add or rename) until it is accepted or cancelled.
    void Edit(bool adding);

    VehicleView& m_view;
    VehicleRequest m_request;
    std::vector<Vehicle> m_vehicles;
    std::optional<std::size_t> m_selection;
    std::optional<std::string> m_chosen;
};

}  // namespace odomei

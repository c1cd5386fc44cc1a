// The history window's flow, once for every window: the records of the logbook in the chosen
// range and unit, their summary, and the export. A window implements HistoryView and draws what
// the presenter holds whenever it is told to refresh.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data/Logbook.h"
#include "data/LogbookStats.h"
#include "ui/Notice.h"

namespace odomei {

class HistoryView {
public:
    virtual ~HistoryView() = default;
    // The records shown, their summary or the unit changed: draw them again.
    virtual void Refresh() = 0;
    virtual int Message(const std::string& text, unsigned flags,
                        const std::string& detail = {}) = 0;
    virtual std::optional<SaveAsResult> AskSaveName(const SaveAsRequest& request) = 0;
};

class HistoryPresenter {
public:
    // The logbook's records, with the unit kept in iniPath (empty: none kept); the export's
    // dialog starts in directory. The view and the logbook must outlive the presenter.
    // vehicle: the one shown first (empty or unknown: the first).
    HistoryPresenter(HistoryView& view, const Logbook& logbook, std::string vehicle,
                     std::string iniPath, std::string directory);

    // Loads the records and the unit; the view is refreshed.
    void Start();
    // Every record (no range), or those dated from..to ("YYYY-MM-DD", inclusive).
    void ShowAll();
    void ShowRange(const std::string& from, const std::string& to);
    // The vehicle selector: every vehicle's name, and which is shown. Choosing one shows its
    // records alone (every figure, chart, gap and factor stretch is that vehicle's), in the range
    // and unit chosen.
    std::vector<std::string> VehicleNames() const;
    std::size_t VehicleIndex() const { return m_vehicleIndex; }
    void SelectVehicle(std::size_t i);
    // The unit of economy; the choice is kept in the INI file.
    void SetPerHundredKm(bool per100km);
    // The records shown, oldest first, as the window's CSV file.
    void OnExport();
    // ｱﾌﾟﾘ用に保存: the records shown for a fuel app, the app chosen as the save dialog's type;
    // what was left out (and what to enter) is said.
    void OnExportForApp();
    // The price and odometer columns may be edited in a record's row (not a gap's): the text the
    // user typed is stored (an empty one clears the price, or the odometer reading the row's
    // stretch follows from), the records are read again and the view refreshed in the range,
    // unit and vehicle shown (the rows stay where they were, so a selected row stays selected).
    // A text that is none (ParsePriceAmount, ParseOdometer) or a logbook that cannot be written
    // is said, and nothing changes. True when stored, and when the text is the one shown
    // (nothing to store).
    bool IsEditable(std::size_t row, int column) const;
    bool OnEdit(std::size_t row, int column, const std::string& text);

    // The first and last dates of the vehicle shown (for the range's controls); nothing without
    // any.
    std::optional<std::pair<std::string, std::string>> DateSpan() const;
    bool PerHundredKm() const { return m_per100km; }
    const std::string& Directory() const { return m_directory; }         // where save dialogs start
    const std::vector<LogbookRecord>& Shown() const { return m_shown; }  // newest first
    const LogbookSummary& Summary() const { return m_summary; }
    std::vector<std::string> Captions() const;
    // The currency of the vehicle shown (its prices' and the captions').
    std::string Currency() const;
    // The table's rows: a row for each record shown, newest first, and under a record after which
    // refuels may have been lost, a row that marks the gap (never exported).
    std::size_t RowCount() const { return m_rows.size(); }
    bool IsGapRow(std::size_t i) const { return !m_rows[i]; }
    // The texts of row i of the table (0: the newest shown).
    std::vector<std::string> RowTexts(std::size_t i) const;
    // The summary of the records shown, or that the logbook holds none yet, or why it could not
    // be read.
    std::string SummaryText() const;

private:
    void Load();
    void ShowChosen();
    void Choose(std::vector<LogbookRecord> chosen);
    std::string VehicleName() const;
    const LogbookRecord* RecordAt(std::size_t row) const;
    std::int64_t GivenOdometerOf(std::int64_t record) const;

    // The logbook looked at: the one given, or after an edit a look opened afresh (a look at an
    // older layout would not see what the edit's upgrade added).
    const Logbook& Book() const { return m_afterEdit ? *m_afterEdit : m_logbook; }

    HistoryView& m_view;
    const Logbook& m_logbook;
    std::unique_ptr<Logbook> m_afterEdit;
    std::string m_iniPath;
    std::string m_directory;
    std::vector<Vehicle> m_vehicles;
    std::size_t m_vehicleIndex = 0;
    std::string m_wantedVehicle;
    std::optional<std::pair<std::string, std::string>> m_range;  // the range chosen; none: all
    std::vector<LogbookRecord> m_all;                            // oldest first
    std::string m_failure;  // why the logbook's records could not be read
    std::vector<LogbookRecord> m_shown;
    std::vector<std::optional<std::size_t>> m_rows;  // each row's index in m_shown; none: a gap
    LogbookSummary m_summary;
    bool m_per100km = false;
};

}  // namespace odomei

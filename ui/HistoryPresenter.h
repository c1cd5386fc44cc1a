// The history window's flow, once for every window: the records of the logbook in the chosen
// range and unit, their summary, and the export. A window implements HistoryView and draws what
// the presenter holds whenever it is told to refresh.
#pragma once

#include <cstdint>
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
    const std::string& Directory() const { return m_directory; }  // where save dialogs start
    // The vehicle's records, oldest first, and the places among them of those shown (oldest
    // first): what the table, the summary and the charts are made of.
    const RecordSheet& Sheet() const { return m_sheet; }
    const std::vector<std::uint32_t>& Chosen() const { return m_chosen; }
    // The records shown, newest first, made whole (for the exports; the table formats only the
    // cells it shows).
    std::vector<LogbookRecord> Shown() const;
    const LogbookSummary& Summary() const { return m_summary; }
    std::vector<std::string> Captions() const;
    // The currency of the vehicle shown (its prices' and the captions').
    std::string Currency() const;
    // The table's rows: a row for each record shown, newest first, and under a record after which
    // refuels may have been lost, a row that marks the gap (never exported).
    std::size_t RowCount() const { return m_rows.size(); }
    bool IsGapRow(std::size_t i) const { return m_rows[i] == kGapRow; }
    // The text of one cell of row i of the table (0: the newest shown), and all of the row's.
    std::string CellText(std::size_t i, int column) const;
    std::vector<std::string> RowTexts(std::size_t i) const;
    // The summary of the records shown, or that the logbook holds none yet, or why it could not
    // be read.
    std::string SummaryText() const;

private:
    void Load();
    void ShowChosen();
    void Choose(std::vector<std::uint32_t> chosen);
    std::string VehicleName() const;
    // The sheet's place of the record in row; nothing for a gap's row or one past the end.
    std::optional<std::size_t> RecordAt(std::size_t row) const;
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
    // The five figures' texts of the rows around row (a page of them), or of every record shown,
    // read where the sheet has them not yet; it keeps them. False once the logbook could not be
    // read for them (m_textsFailure says why; it is not asked again, and no export is written
    // with texts missing).
    void EnsureTexts(std::size_t row) const;
    bool EnsureAllTexts() const;
    bool ReadTexts(std::vector<std::uint32_t> places) const;
    // The exports' first step: every text shown read, or why not said.
    bool TextsForExport();

    // Oldest first; the figures' texts are read into it as rows are shown.
    mutable RecordSheet m_sheet;
    mutable Failure m_textsFailure;
    std::string m_failure;                // why the logbook's records could not be read
    std::vector<std::uint32_t> m_chosen;  // the records shown: their places in m_sheet
    // Each row's place in m_chosen, newest first; kGapRow under a record after which refuels may
    // have been lost.
    static constexpr std::uint32_t kGapRow = UINT32_MAX;
    std::vector<std::uint32_t> m_rows;
    LogbookSummary m_summary;
    int m_odometerUnknown = 0;  // of the records shown
    bool m_per100km = false;
};

}  // namespace odomei

// The history window: every record of the logbook, newest first, with both economies, the
// prices and the odometer (typed in place), the summary figures and the suggested correction
// factor, two charts, and the export as CSV and for the fuel apps.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

#include "ui/HistoryPresenter.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QTableView;

namespace odomei {

class CChartWidget;
class HistoryModel;

// Draws what the history presenter holds and forwards the controls to it.
class CHistoryDlg : public QDialog, private HistoryView {
    Q_OBJECT
public:
    // Shows the logbook's records; iniPath keeps the unit chosen, directory is where the export
    // dialog starts.
    // vehicle is the one shown first; a selector shows another.
    CHistoryDlg(const Logbook& logbook, std::string vehicle, std::string iniPath,
                std::string directory, QWidget* parent = nullptr);
    ~CHistoryDlg() override;

    // The records shown (all, or the chosen range), newest first, and their summary.
    std::vector<LogbookRecord> Shown() const { return m_presenter.Shown(); }
    const LogbookSummary& Summary() const { return m_presenter.Summary(); }
    QString SummaryText() const;
    bool PerHundredKm() const { return m_presenter.PerHundredKm(); }
    const HistoryPresenter& Presenter() const { return m_presenter; }

    // Chooses the range (empty strings: every record) and the unit, as the controls do.
    void SetRange(const std::string& from, const std::string& to);
    void SetPerHundredKm(bool per100km);
    // Shows vehicle i of the selector, as choosing it there does.
    void SelectVehicle(int i);
    // The export command: the records shown, oldest first, as the window's CSV file.
    void OnExport() { m_presenter.OnExport(); }
    // ｱﾌﾟﾘ用に保存: the records shown for the fuel app chosen as the save dialog's type.
    void OnExportForApp() { m_presenter.OnExportForApp(); }
    // Saves both charts of the records shown as an SVG picture.
    void OnSaveCharts();
    // A cell's text typed in place (the table's editor commits it here once it has closed):
    // stored through the presenter, the rows staying where they are.
    void StoreEdit(int row, int column, const std::string& text);

private:
    void Reload();
    // The range's dates set to the shown vehicle's first and last.
    void ShowSpan();
    void BuildCharts();
    void MeasureColumns();
    void FitColumns();
    // The table's viewport resized: its columns fitted again.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The view.
    void Refresh() override;
    int Message(const std::string& text, unsigned flags, const std::string& detail) override;
    std::optional<SaveAsResult> AskSaveName(const SaveAsRequest& request) override;

    HistoryPresenter m_presenter;
    std::unique_ptr<HistoryModel> m_model;
    QTableView* m_table = nullptr;
    QLabel* m_summaryLabel = nullptr;
    QCheckBox* m_range = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QComboBox* m_units = nullptr;
    QComboBox* m_vehicle = nullptr;
    CChartWidget* m_economyChart = nullptr;
    CChartWidget* m_errorChart = nullptr;
    std::vector<int> m_needed;  // each column's width before the room left is shared
    bool m_keepRows = false;    // the refresh follows an edit: the same rows, the selection kept
};

}  // namespace odomei

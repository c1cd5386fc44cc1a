// The history window: every record of the logbook, newest first, with both economies, the
// summary figures and the suggested correction factor, two charts, and the export as CSV.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

#include "data/Logbook.h"
#include "data/LogbookStats.h"

class QChartView;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QTableView;

namespace odomei {

class HistoryModel;

class CHistoryDlg : public QDialog {
    Q_OBJECT
public:
    // Shows the logbook's records; iniPath keeps the unit chosen, directory is where the export
    // dialog starts.
    CHistoryDlg(const Logbook& logbook, std::string iniPath, std::string directory,
                QWidget* parent = nullptr);
    ~CHistoryDlg() override;

    // The records shown (all, or the chosen range), newest first, and their summary.
    const std::vector<LogbookRecord>& Shown() const { return m_shown; }
    const LogbookSummary& Summary() const { return m_summary; }
    QString SummaryText() const;
    bool PerHundredKm() const;

    // Chooses the range (empty strings: every record) and the unit, as the controls do.
    void SetRange(const std::string& from, const std::string& to);
    void SetPerHundredKm(bool per100km);
    // The export command: the records shown, oldest first, as the window's CSV file.
    void OnExport();

private:
    void Reload();
    void BuildCharts();

    const Logbook& m_logbook;
    std::string m_iniPath;
    std::string m_directory;
    std::vector<LogbookRecord> m_all;    // oldest first
    std::string m_failure;               // why the logbook could not be read
    std::vector<LogbookRecord> m_shown;  // newest first
    LogbookSummary m_summary;
    std::unique_ptr<HistoryModel> m_model;
    QTableView* m_table = nullptr;
    QLabel* m_summaryLabel = nullptr;
    QCheckBox* m_range = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QComboBox* m_units = nullptr;
    QChartView* m_economyChart = nullptr;
    QChartView* m_errorChart = nullptr;
};

}  // namespace odomei

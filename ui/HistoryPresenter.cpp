#include "ui/HistoryPresenter.h"

#include <algorithm>

#include "data/AppExport.h"
#include "data/CsvExport.h"
#include "link/FilePaths.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "ui/HistoryText.h"
#include "ui/Texts.h"

namespace odomei {

HistoryPresenter::HistoryPresenter(HistoryView& view, const Logbook& logbook, std::string vehicle,
                                   std::string iniPath, std::string directory)
    : m_view(view),
      m_logbook(logbook),
      m_iniPath(std::move(iniPath)),
      m_directory(std::move(directory)),
      m_wantedVehicle(std::move(vehicle)) {}

void HistoryPresenter::Start() {
    // The unit last chosen, kept in the INI file.
    m_per100km = !m_iniPath.empty() &&
                 ReadIniString(kLogbookSection, kLogbookUnitsKey, m_iniPath).value_or("") ==
                     kLitresPer100KmUnit;
    Failure error;
    m_vehicles = Book().Vehicles(&error);
    const std::string shown = VehicleOrFirst(m_vehicles, m_wantedVehicle);
    m_vehicleIndex = 0;
    for (std::size_t i = 0; i < m_vehicles.size(); ++i) {
        if (m_vehicles[i].name == shown) m_vehicleIndex = i;
    }
    m_failure = FailureLine(error);
    Load();
    ShowAll();
}

// The shown vehicle's records (the logbook's first where it has none listed: an older layout's).
void HistoryPresenter::Load() {
    Failure error;
    m_all = Book().Records(RecordQuery{VehicleName(), {}, {}}, &error);
    if (m_failure.empty()) m_failure = FailureLine(error);
}

std::string HistoryPresenter::VehicleName() const {
    return m_vehicleIndex < m_vehicles.size() ? m_vehicles[m_vehicleIndex].name : std::string();
}

std::string HistoryPresenter::Currency() const {
    return m_vehicleIndex < m_vehicles.size() ? m_vehicles[m_vehicleIndex].currency
                                              : std::string(kDefaultCurrency);
}

// The range chosen, or every record.
void HistoryPresenter::ShowChosen() {
    if (m_range) {
        ShowRange(m_range->first, m_range->second);
    } else {
        ShowAll();
    }
}

std::vector<std::string> HistoryPresenter::VehicleNames() const {
    std::vector<std::string> names;
    for (const Vehicle& v : m_vehicles) names.push_back(v.name);
    return names;
}

void HistoryPresenter::SelectVehicle(std::size_t i) {
    if (i >= m_vehicles.size() || i == m_vehicleIndex) return;
    m_vehicleIndex = i;
    m_failure.clear();
    Load();
    ShowChosen();
}

void HistoryPresenter::ShowAll() {
    m_range.reset();
    Choose(m_all);
}

void HistoryPresenter::ShowRange(const std::string& from, const std::string& to) {
    m_range = std::pair{from, to};
    std::vector<LogbookRecord> chosen;
    for (const auto& r : m_all) {
        if (r.isoDate && *r.isoDate >= from && *r.isoDate <= to) chosen.push_back(r);
    }
    Choose(std::move(chosen));
}

void HistoryPresenter::Choose(std::vector<LogbookRecord> chosen) {
    m_summary = Summarize(chosen);
    std::reverse(chosen.begin(), chosen.end());
    m_shown = std::move(chosen);
    m_rows.clear();
    for (std::size_t i = 0; i < m_shown.size(); ++i) {
        m_rows.emplace_back(i);
        if (m_shown[i].gapBefore) m_rows.emplace_back();  // older records come below
    }
    m_view.Refresh();
}

void HistoryPresenter::SetPerHundredKm(bool per100km) {
    if (per100km == m_per100km) return;
    m_per100km = per100km;
    if (!m_iniPath.empty()) {
        WriteIniString(kLogbookSection, kLogbookUnitsKey,
                       per100km ? kLitresPer100KmUnit : kKmPerLitreUnit, m_iniPath);
    }
    m_view.Refresh();
}

std::optional<std::pair<std::string, std::string>> HistoryPresenter::DateSpan() const {
    const auto first = std::find_if(m_all.begin(), m_all.end(), [](auto& r) { return r.isoDate; });
    const auto last = std::find_if(m_all.rbegin(), m_all.rend(), [](auto& r) { return r.isoDate; });
    if (first == m_all.end()) return std::nullopt;
    return std::pair{*first->isoDate, *last->isoDate};
}

std::vector<std::string> HistoryPresenter::Captions() const {
    return HistoryCaptions(m_per100km, Currency());
}

std::vector<std::string> HistoryPresenter::RowTexts(std::size_t i) const {
    if (!m_rows[i]) return HistoryGapRowTexts();
    const std::size_t k = *m_rows[i];
    return HistoryRowTexts(m_shown[k], static_cast<int>(m_shown.size() - k), m_per100km);
}

std::string HistoryPresenter::SummaryText() const {
    return HistoryStatusText(m_summary, m_per100km, m_all.empty(), m_failure, m_shown, Currency());
}

void HistoryPresenter::OnExport() {
    if (m_shown.empty()) {
        m_view.Message(kNothingToSave, kMbOk);
        return;
    }
    const auto chosen = m_view.AskSaveName(CsvSaveRequest(m_directory));
    if (!chosen) return;
    std::vector<RecordRow> rows;
    for (auto it = m_shown.rbegin(); it != m_shown.rend(); ++it) rows.push_back(it->texts);
    // A text without a CP932 form (stored by an older version) is said, and nothing is written.
    const Notice notice = SaveText(chosen->path, chosen->fileName, CsvText(rows));
    m_view.Message(notice.text, notice.flags, notice.detail);
}

void HistoryPresenter::OnExportForApp() {
    if (m_shown.empty()) {
        m_view.Message(kNothingToSave, kMbOk);
        return;
    }
    constexpr FuelApp kApps[] = {FuelApp::kLubeLogger, FuelApp::kSpritmonitor, FuelApp::kFuelio};
    SaveAsRequest request = CsvSaveRequest(m_directory);
    request.typeDescription = AppTypeDescription(FuelAppTitle(kApps[0]));
    for (std::size_t i = 1; i < std::size(kApps); ++i) {
        request.moreTypes.push_back({AppTypeDescription(FuelAppTitle(kApps[i])), kCsvTypePattern});
    }
    const auto chosen = m_view.AskSaveName(request);
    if (!chosen) return;
    const FuelApp app = kApps[std::min(chosen->type, std::size(kApps) - 1)];
    const Vehicle vehicle =
        m_vehicleIndex < m_vehicles.size() ? m_vehicles[m_vehicleIndex] : Vehicle{};
    const std::vector<LogbookRecord> oldestFirst(m_shown.rbegin(), m_shown.rend());
    const AppFile file = ExportForApp(app, vehicle, oldestFirst);
    const auto leftOut = LeftOutReason(app, file, vehicle.name);
    if (file.written == 0) {
        // Nothing the app could take: no file, rather than one without refuels.
        m_view.Message(
            NothingForAppText(FuelAppTitle(app)) + (leftOut ? "\n\n" + leftOut->ja : std::string()),
            kMbIconExclamation, leftOut ? leftOut->en : std::string());
        return;
    }
    // UTF-8 as the apps read it, not the list's CP932.
    const Notice notice = SaveFile(chosen->path, chosen->fileName, file.text);
    if (!notice.ok || !leftOut) {
        m_view.Message(notice.text, notice.flags, notice.detail);
        return;
    }
    m_view.Message(notice.text + "\n\n" + leftOut->ja, kMbIconExclamation, leftOut->en);
}

const LogbookRecord* HistoryPresenter::RecordAt(std::size_t row) const {
    if (row >= m_rows.size() || !m_rows[row]) return nullptr;
    return &m_shown[*m_rows[row]];
}

// The record of record's stretch (between two gaps) its odometer reading was given at; record
// itself where none was.
std::int64_t HistoryPresenter::GivenOdometerOf(std::int64_t record) const {
    const auto at = std::find_if(m_all.begin(), m_all.end(),
                                 [record](const LogbookRecord& r) { return r.id == record; });
    if (at == m_all.end()) return record;
    auto start = at;
    while (start != m_all.begin() && !start->gapBefore) --start;
    for (auto r = start; r != m_all.end() && (r == start || !r->gapBefore); ++r) {
        if (r->odometerGiven) return r->id;
    }
    return record;
}

bool HistoryPresenter::IsEditable(std::size_t row, int column) const {
    return RecordAt(row) != nullptr &&
           (column == kPricePerLitreColumn || column == kCostColumn || column == kOdometerColumn);
}

bool HistoryPresenter::OnEdit(std::size_t row, int column, const std::string& text) {
    if (!IsEditable(row, column)) return false;
    const LogbookRecord& record = *RecordAt(row);
    const std::string typed(TrimBlanks(text));
    if (typed == RowTexts(row)[static_cast<std::size_t>(column)]) return true;  // as it was
    // What the text says, before the logbook is opened for it.
    Reason why;
    std::optional<Price> price;
    std::optional<std::int64_t> reading;
    if (!typed.empty()) {
        if (column == kOdometerColumn) {
            reading = ParseOdometer(typed, &why);
        } else if (const auto amount = ParsePriceAmount(typed, &why)) {
            price =
                Price{column == kCostColumn ? PriceKind::kTotal : PriceKind::kPerLitre, *amount};
        }
        if (!reading && !price) {
            const Notice notice =
                FailureNotice(column == kOdometerColumn ? kOdometerProblemText : kPriceProblemText,
                              kMbIconExclamation, Failure{"\"" + typed + "\"", why});
            m_view.Message(notice.text, notice.flags, notice.detail);
            return false;
        }
    }
    // A reading that follows from another is cleared where it was given.
    const std::int64_t at =
        column == kOdometerColumn && !reading ? GivenOdometerOf(record.id) : record.id;
    Failure error;
    auto book = Logbook::Open(m_logbook.Path(), &error, LogbookAccess::kWrite);
    const bool stored =
        book != nullptr &&
        (column == kOdometerColumn ? book->SetOdometer(VehicleName(), at, reading, &error)
                                   : book->SetPrice(VehicleName(), record.id, price, &error));
    if (!stored) {
        const Notice notice = FailureNotice(kHistoryEditFailedText, kMbIconHand, error);
        m_view.Message(notice.text, notice.flags, notice.detail);
        return false;
    }
    book.reset();
    // The edit may have brought the file to today's layout; the look opened before it shows the
    // layout it found.
    if (!m_afterEdit) {
        Failure look;
        m_afterEdit = Logbook::Open(m_logbook.Path(), &look, LogbookAccess::kLook);
    }
    // Read again: a reading given here moves every other of its stretch, and the summary
    // follows the prices.
    m_failure.clear();
    Load();
    ShowChosen();
    return true;
}

}  // namespace odomei

#include "ui/HistoryPresenter.h"

#include <algorithm>

#include "data/AppExport.h"
#include "data/CsvExport.h"
#include "link/FilePaths.h"
#include "platform/Dates.h"
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
    m_textsFailure = {};
    // The figures' texts are read for the rows shown, when they are shown.
    m_sheet =
        Book().Figures(RecordQuery{VehicleName(), {}, {}}, &error, Logbook::SheetTexts::kDates);
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
    Choose(AllOf(m_sheet));
}

void HistoryPresenter::ShowRange(const std::string& from, const std::string& to) {
    m_range = std::pair{from, to};
    const DateRange range(from, to);
    std::vector<std::uint32_t> chosen;
    for (std::size_t i = 0; i < m_sheet.Size(); ++i) {
        if (range.Holds(m_sheet[i])) chosen.push_back(static_cast<std::uint32_t>(i));
    }
    Choose(std::move(chosen));
}

void HistoryPresenter::Choose(std::vector<std::uint32_t> chosen) {
    m_summary = Summarize(m_sheet, chosen);
    m_chosen = std::move(chosen);
    m_odometerUnknown = 0;
    m_rows.clear();
    m_rows.reserve(m_chosen.size() + static_cast<std::size_t>(m_summary.gaps));
    for (std::size_t k = m_chosen.size(); k-- > 0;) {
        const RecordFigures& r = m_sheet[m_chosen[k]];
        if (!r.OdometerKnown()) ++m_odometerUnknown;
        m_rows.push_back(static_cast<std::uint32_t>(k));
        if (r.GapBefore()) m_rows.push_back(kGapRow);  // older records come below
    }
    m_view.Refresh();
}

namespace {

// The rows whose texts are read at once: a screen's worth or two, in a millisecond.
constexpr std::size_t kTextPage = 64;

}  // namespace

void HistoryPresenter::EnsureTexts(std::size_t row) const {
    if (!m_textsFailure.Empty()) return;  // the cells stay empty
    const std::size_t first = row / kTextPage * kTextPage;
    std::vector<std::uint32_t> places;
    for (std::size_t r = first; r < m_rows.size() && r < first + kTextPage; ++r) {
        if (!IsGapRow(r) && !m_sheet.HasTexts(m_chosen[m_rows[r]])) {
            places.push_back(m_chosen[m_rows[r]]);
        }
    }
    ReadTexts(std::move(places));
}

bool HistoryPresenter::EnsureAllTexts() const {
    std::vector<std::uint32_t> places;
    for (const std::uint32_t k : m_chosen) {
        if (!m_sheet.HasTexts(k)) places.push_back(k);
    }
    return ReadTexts(std::move(places));
}

bool HistoryPresenter::ReadTexts(std::vector<std::uint32_t> places) const {
    if (places.empty()) return true;
    if (!m_textsFailure.Empty()) return false;
    // In the order of their ids, as the logbook reads many of them.
    std::sort(places.begin(), places.end(),
              [this](std::uint32_t a, std::uint32_t b) { return m_sheet[a].id < m_sheet[b].id; });
    std::vector<std::int64_t> ids;
    ids.reserve(places.size());
    for (const std::uint32_t k : places) ids.push_back(m_sheet[k].id);
    Failure error;
    const std::vector<RecordRow> texts = Book().TextsOf(VehicleName(), ids, &error);
    if (!error.Empty() || texts.size() != places.size()) {
        m_textsFailure =
            error.Empty() ? FailureOf(m_logbook.Path(), "the records' texts are gone") : error;
        return false;
    }
    for (std::size_t i = 0; i < places.size(); ++i) m_sheet.SetTexts(places[i], texts[i]);
    return true;
}

bool HistoryPresenter::TextsForExport() {
    if (EnsureAllTexts()) return true;
    const Notice notice = FailureNotice(kLogbookOpenFailedText, kMbIconHand, m_textsFailure);
    m_view.Message(notice.text, notice.flags, notice.detail);
    return false;
}

std::vector<LogbookRecord> HistoryPresenter::Shown() const {
    EnsureAllTexts();
    std::vector<LogbookRecord> shown;
    shown.reserve(m_chosen.size());
    for (auto k = m_chosen.rbegin(); k != m_chosen.rend(); ++k) shown.push_back(m_sheet.Record(*k));
    return shown;
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
    const auto& all = m_sheet.Figures();
    auto dated = [](const RecordFigures& r) { return r.Dated(); };
    const auto first = std::find_if(all.begin(), all.end(), dated);
    const auto last = std::find_if(all.rbegin(), all.rend(), dated);
    if (first == all.end()) return std::nullopt;
    return std::pair{IsoDate(first->day), IsoDate(last->day)};
}

std::vector<std::string> HistoryPresenter::Captions() const {
    return HistoryCaptions(m_per100km, Currency());
}

std::string HistoryPresenter::CellText(std::size_t i, int column) const {
    if (IsGapRow(i)) return HistoryGapRowTexts()[static_cast<std::size_t>(column)];
    const std::size_t k = m_rows[i];
    if (column >= kFirstFigureTextColumn && column <= kLastFigureTextColumn &&
        !m_sheet.HasTexts(m_chosen[k])) {
        EnsureTexts(i);
    }
    return HistoryCellText(m_sheet, m_chosen[k], column, static_cast<int>(k + 1), m_per100km);
}

std::vector<std::string> HistoryPresenter::RowTexts(std::size_t i) const {
    std::vector<std::string> texts;
    for (int c = 0; c < kHistoryColumnCount; ++c) texts.push_back(CellText(i, c));
    return texts;
}

std::string HistoryPresenter::SummaryText() const {
    return HistoryStatusText(m_summary, m_per100km, m_sheet.Empty(), m_failure, m_odometerUnknown,
                             Currency());
}

void HistoryPresenter::OnExport() {
    if (m_chosen.empty()) {
        m_view.Message(kNothingToSave, kMbOk);
        return;
    }
    if (!TextsForExport()) return;
    const auto chosen = m_view.AskSaveName(CsvSaveRequest(m_directory));
    if (!chosen) return;
    // A text without a CP932 form (stored by an older version) is said, and nothing is written.
    const Notice notice = SaveText(chosen->path, chosen->fileName, CsvText(m_sheet, m_chosen));
    m_view.Message(notice.text, notice.flags, notice.detail);
}

void HistoryPresenter::OnExportForApp() {
    if (m_chosen.empty()) {
        m_view.Message(kNothingToSave, kMbOk);
        return;
    }
    if (!TextsForExport()) return;
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
    std::vector<LogbookRecord> oldestFirst;
    oldestFirst.reserve(m_chosen.size());
    for (const std::uint32_t k : m_chosen) oldestFirst.push_back(m_sheet.Record(k));
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

std::optional<std::size_t> HistoryPresenter::RecordAt(std::size_t row) const {
    if (row >= m_rows.size() || IsGapRow(row)) return std::nullopt;
    return m_chosen[m_rows[row]];
}

// The record of record's stretch (between two gaps) its odometer reading was given at; record
// itself where none was.
std::int64_t HistoryPresenter::GivenOdometerOf(std::int64_t record) const {
    const auto& all = m_sheet.Figures();
    const auto at = std::find_if(all.begin(), all.end(),
                                 [record](const RecordFigures& r) { return r.id == record; });
    if (at == all.end()) return record;
    auto start = at;
    while (start != all.begin() && !start->GapBefore()) --start;
    for (auto r = start; r != all.end() && (r == start || !r->GapBefore()); ++r) {
        if (r->odometerGiven) return r->id;
    }
    return record;
}

bool HistoryPresenter::IsEditable(std::size_t row, int column) const {
    return RecordAt(row).has_value() &&
           (column == kPricePerLitreColumn || column == kCostColumn || column == kOdometerColumn);
}

bool HistoryPresenter::OnEdit(std::size_t row, int column, const std::string& text) {
    if (!IsEditable(row, column)) return false;
    const RecordFigures& record = m_sheet[*RecordAt(row)];
    const std::string typed(TrimBlanks(text));
    if (typed == CellText(row, column)) return true;  // as it was
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

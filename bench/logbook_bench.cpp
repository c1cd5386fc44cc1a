// Logbook benchmark: a read merged into a logbook that already holds 100 000 records (one vehicle,
// and ten vehicles of 10 000 each), and the history window (table, summary and both charts)
// opened on it, both charts written as SVG, and the records written for each fuel app.
// Prints figures; passes or fails nothing.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/HistoryDlg.h"
#include "bench/BenchSetup.h"
#include "bench/BenchTiming.h"
#include "data/AppExport.h"
#include "data/Logbook.h"
#include "platform/AtomicFile.h"
#include "platform/Dates.h"
#include "tools/metersim/MeterSim.h"
#include "ui/ChartModel.h"
#include "ui/ChartSvg.h"

namespace {

using odomei::bench::Clock;
using odomei::bench::Median;
using odomei::bench::Ms;
using odomei::bench::ScratchFolder;
constexpr int kRecords = 100000;
constexpr int kVehicles = 10;
constexpr int kRuns = 9;
constexpr int kExportRuns = 5;
// The odometer at the first refuel (hundredths of a km), and the prices per litre the refuels are
// given (hundredths: 150.00 up to 159.99).
constexpr std::int64_t kFirstOdometer = 1'000'000;
constexpr std::int64_t kFirstPrice = 15'000;
constexpr int kPriceSteps = 1'000;
const odomei::LocalTime kAt{2026, 12, 7, 10, 0, 0, 0};

// Refuels over many years, as rows: the first of them, count of them.
std::vector<odomei::RecordRow> BenchRows(int first, int count) {
    std::vector<odomei::RecordRow> rows;
    for (int i = first; i < first + count; ++i) {
        char distance[32], fuel[32], refuel[32], err[32];
        const std::string date =
            odomei::MeterDateText({2010 + i / 4000 % 90, 1 + i / 300 % 12, 1 + i % 28});
        std::snprintf(distance, sizeof distance, "%d.%02d", 300 + i % 200, i % 100);
        std::snprintf(fuel, sizeof fuel, "%d.%02d", 25 + i % 10, (i * 7) % 100);
        std::snprintf(refuel, sizeof refuel, "%d.%02d", 25 + i % 11, (i * 3) % 100);
        std::snprintf(err, sizeof err, "%d.%02d", i % 3, (i * 13) % 100);
        rows.push_back({date, distance, fuel, "100.00", refuel, err});
    }
    return rows;
}

// The median time of merging reads with fifteen records of which three are new each time, as a
// real car gives them, into vehicle (the first of them told the meter now sits there: its dates
// lie inside the imported span). Negative when a merge failed.
double MergeMedian(odomei::Logbook& book, const std::string& vehicle) {
    std::vector<double> merges;
    odomei::Failure error;
    for (int run = 0; run < kRuns; ++run) {
        const auto reading =
            odomei::DecodeReading(odomei::MeasurementBlock(metersim::SequenceBlock(run)));
        const odomei::ReadTarget target{vehicle, true, run == 0};
        const auto start = Clock::now();
        const auto counts = book.Merge(reading, kAt, target, &error);
        merges.push_back(Ms(Clock::now() - start));
        if (!counts || counts->place.conflict != odomei::ReadConflict::kNone ||
            counts->added != (run == 0 ? 15 : 3)) {
            std::fprintf(stderr, "merge: %s%s\n", odomei::FailureLine(error).c_str(),
                         counts ? counts->place.why.en.c_str() : "");
            return -1;
        }
    }
    return Median(merges);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const ScratchFolder folder("odomei-logbook-bench", ScratchFolder::Enter::kNo);
    const std::filesystem::path& work = folder.Path();
    const std::string path = (work / odomei::kLogbookFileName).string();
    odomei::Failure error;
    auto book = odomei::Logbook::Open(path, &error, odomei::LogbookAccess::kWrite);
    if (!book) {
        std::fprintf(stderr, "%s\n", odomei::FailureLine(error).c_str());
        return 1;
    }
    // 100 000 refuels over many years, as rows (one transaction).
    const std::vector<odomei::RecordRow> rows = BenchRows(0, kRecords);
    const auto filled = Clock::now();
    if (!book->Import(rows, "bench", {}, kAt, &error)) {
        std::fprintf(stderr, "%s\n", odomei::FailureLine(error).c_str());
        return 1;
    }
    std::printf("logbook filled with %lld records in %.0f ms\n",
                static_cast<long long>(book->CountRecords()), Ms(Clock::now() - filled));
    const double oneVehicle = MergeMedian(*book, {});
    if (oneVehicle < 0) return 1;
    std::printf("merge of a read into %d records: median %.1f ms over %d runs (goal <= 50 ms)\n",
                kRecords, oneVehicle, kRuns);

    // The same records shared among ten vehicles; the read merged into one of them.
    {
        const std::string shared = (work / "vehicles.sqlite3").string();
        auto vehicles = odomei::Logbook::Open(shared, &error, odomei::LogbookAccess::kWrite);
        if (!vehicles) {
            std::fprintf(stderr, "%s\n", odomei::FailureLine(error).c_str());
            return 1;
        }
        const int each = kRecords / kVehicles;
        for (int v = 0; v < kVehicles; ++v) {
            const std::string name = "car" + std::to_string(v);
            if ((v > 0 && !vehicles->AddVehicle(name, {}, &error)) ||
                !vehicles->Import(BenchRows(v * each, each), "bench", v == 0 ? std::string() : name,
                                  kAt, &error)) {
                std::fprintf(stderr, "%s\n", odomei::FailureLine(error).c_str());
                return 1;
            }
        }
        const double tenVehicles = MergeMedian(*vehicles, "car5");
        if (tenVehicles < 0) return 1;
        std::printf(
            "merge of a read into %d vehicles of %d records: median %.1f ms over %d runs (goal <= "
            "50 ms, one vehicle %.1f ms)\n",
            kVehicles, each, tenVehicles, kRuns, oneVehicle);
    }

    std::vector<double> opens;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        odomei::CHistoryDlg history(*book, {}, {}, work.string());
        history.resize(1000, 760);
        history.show();
        QApplication::processEvents();
        history.grab();  // painted once, charts included
        opens.push_back(Ms(Clock::now() - start));
    }
    std::printf("history window with charts on %lld records: median %.0f ms (goal <= 200 ms)\n",
                static_cast<long long>(book->CountRecords()), Median(opens));

    // Both charts as the command line and the windows' save write them: the model made from the
    // records, laid out, written as SVG and the file replaced.
    const auto loaded = Clock::now();
    const auto records = book->Records({}, &error);
    std::printf("records read from the logbook: %.0f ms\n", Ms(Clock::now() - loaded));
    // What the charts add to the window: the model from the records shown and both charts laid
    // out at the window's size (painting them is part of the window's figure above).
    std::vector<double> scenes;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        const auto model = odomei::ChartModel::FromNewestFirst(records, false);
        const auto economy = model.Scene(odomei::ChartKind::kEconomy, 480, 230);
        const auto errors = model.Scene(odomei::ChartKind::kError, 480, 230);
        scenes.push_back(Ms(Clock::now() - start));
        if (economy.items.empty() || errors.items.empty()) return 1;
    }
    std::printf("chart model and both window charts laid out: median %.1f ms over %d runs\n",
                Median(scenes), kRuns);
    std::vector<double> svgs;
    std::size_t bytes = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        const odomei::ChartModel model(records, false);
        const std::string svg =
            odomei::ChartSvg(model.Scene({odomei::ChartKind::kEconomy, odomei::ChartKind::kError},
                                         odomei::kSavedChartWidth, odomei::kSavedChartHeight));
        if (odomei::ReplaceFileAtomically((work / "charts.svg").string(), svg) !=
            odomei::ReplaceResult::kDone) {
            std::fprintf(stderr, "the SVG could not be written\n");
            return 1;
        }
        svgs.push_back(Ms(Clock::now() - start));
        bytes = svg.size();
    }
    std::printf(
        "both charts of %zu records as SVG (%zu bytes): median %.1f ms over %d runs "
        "(goal <= 100 ms)\n",
        records.size(), bytes, Median(svgs), kRuns);

    // The refuels for each fuel app, as the command line writes them: the odometer given at the
    // first refuel and every refuel priced from a card statement (one line for each refuel of a
    // date), the records read, and each app's file made and written.
    if (!book->SetOdometer({}, records.front().id, kFirstOdometer, &error)) {
        std::fprintf(stderr, "%s\n", odomei::FailureLine(error).c_str());
        return 1;
    }
    std::vector<odomei::StatementLine> statement;
    for (const auto& r : records) {
        const int line = static_cast<int>(statement.size()) + 1;
        statement.push_back({line, r.isoDate.value_or(""), kFirstPrice + line % kPriceSteps});
    }
    const auto priced = book->SetPrices({}, statement, odomei::PriceKind::kPerLitre, &error);
    if (!priced || priced->set != static_cast<int>(records.size())) {
        std::fprintf(stderr, "prices: %s (%d of %zu set)\n", odomei::FailureLine(error).c_str(),
                     priced ? priced->set : 0, records.size());
        return 1;
    }
    const auto refuels = book->Records({}, &error);
    const auto vehicles = book->Vehicles(&error);
    if (refuels.empty() || vehicles.empty()) {
        std::fprintf(stderr, "%s\n", odomei::FailureLine(error).c_str());
        return 1;
    }
    for (const auto fuelApp :
         {odomei::FuelApp::kLubeLogger, odomei::FuelApp::kSpritmonitor, odomei::FuelApp::kFuelio}) {
        std::vector<double> exports;
        odomei::AppFile file;
        for (int run = 0; run < kExportRuns; ++run) {
            const auto start = Clock::now();
            file = odomei::ExportForApp(fuelApp, vehicles.front(), refuels);
            if (odomei::ReplaceFileAtomically((work / "app.csv").string(), file.text) !=
                odomei::ReplaceResult::kDone) {
                std::fprintf(stderr, "the %s file could not be written\n",
                             odomei::FuelAppTitle(fuelApp));
                return 1;
            }
            exports.push_back(Ms(Clock::now() - start));
        }
        if (file.written != static_cast<int>(refuels.size())) {
            std::fprintf(stderr, "%s: %zu refuels left out\n", odomei::FuelAppTitle(fuelApp),
                         file.leftOut.size());
            return 1;
        }
        std::printf(
            "%s file of %d refuels (%zu bytes): median %.0f ms over %d runs (goal <= 1 s)\n",
            odomei::FuelAppTitle(fuelApp), file.written, file.text.size(), Median(exports),
            kExportRuns);
    }
    return 0;
}

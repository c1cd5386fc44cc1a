// Logbook benchmark: a read merged into a logbook that already holds 100 000 records, and the
// history window (table, summary and both charts) opened on it, and both charts written as SVG.
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
constexpr int kRuns = 9;
const odomei::LocalTime kAt{2026, 12, 7, 10, 0, 0, 0};

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
    std::vector<odomei::RecordRow> rows;
    for (int i = 0; i < kRecords; ++i) {
        char distance[32], fuel[32], refuel[32], err[32];
        const std::string date =
            odomei::MeterDateText({2010 + i / 4000 % 90, 1 + i / 300 % 12, 1 + i % 28});
        std::snprintf(distance, sizeof distance, "%d.%02d", 300 + i % 200, i % 100);
        std::snprintf(fuel, sizeof fuel, "%d.%02d", 25 + i % 10, (i * 7) % 100);
        std::snprintf(refuel, sizeof refuel, "%d.%02d", 25 + i % 11, (i * 3) % 100);
        std::snprintf(err, sizeof err, "%d.%02d", i % 3, (i * 13) % 100);
        rows.push_back({date, distance, fuel, "100.00", refuel, err});
    }
    const auto filled = Clock::now();
    if (!book->Import(rows, "bench", {}, kAt, &error)) {
        std::fprintf(stderr, "%s\n", odomei::FailureLine(error).c_str());
        return 1;
    }
    std::printf("logbook filled with %lld records in %.0f ms\n",
                static_cast<long long>(book->CountRecords()), Ms(Clock::now() - filled));

    // A read with fifteen records of which three are new each time, as a real car gives them.
    std::vector<double> merges;
    for (int run = 0; run < kRuns; ++run) {
        const auto reading =
            odomei::DecodeReading(odomei::MeasurementBlock(metersim::SequenceBlock(run)));
        const auto start = Clock::now();
        if (!book->Merge(reading, kAt, odomei::ReadTarget{}, &error)) {
            std::fprintf(stderr, "%s\n", odomei::FailureLine(error).c_str());
            return 1;
        }
        merges.push_back(Ms(Clock::now() - start));
    }
    std::printf("merge of a read into %d records: median %.1f ms over %d runs (goal <= 50 ms)\n",
                kRecords, Median(merges), kRuns);

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
    return 0;
}

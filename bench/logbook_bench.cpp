// Logbook benchmark: a read merged into a logbook that already holds 100 000 records (one vehicle,
// and ten vehicles of 10 000 each); the history window (table, summary and both charts) opened on
// 100 000 and on 1 000 000 records, drawn again for another range and unit, and the memory it
// takes; both charts written as SVG; the records written for each fuel app; and odomei-cli's
// history, stats and chart on the million. Prints every figure with its goal; passes or fails
// nothing.
//
// logbook_bench --window-memory LOGBOOK (run by the benchmark itself) prints what the window on
// LOGBOOK takes above an empty one, in a process of its own so that nothing before it counts.
#include <sqlite3.h>
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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
using odomei::bench::PrintFigure;
using odomei::bench::ScratchFolder;
using odomei::bench::SpreadOf;
constexpr int kRecords = 100000;
constexpr int kMillion = 1000000;
constexpr int kVehicles = 10;
constexpr int kRuns = 9;
constexpr int kMillionRuns = 5;
constexpr int kExportRuns = 5;
// The window's size in the figures, as a user's at 96 DPI.
constexpr int kWindowWidth = 1000;
constexpr int kWindowHeight = 760;
// The odometer at the first refuel (hundredths of a km), and the prices per litre the refuels are
// given (hundredths: 150.00 up to 159.99).
constexpr std::int64_t kFirstOdometer = 1'000'000;
constexpr std::int64_t kFirstPrice = 15'000;
constexpr int kPriceSteps = 1'000;
// The million's refuels: this many a day from the first day on (a large fleet's, over ten years).
constexpr int kRefuelsPerDay = 274;
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

// Says why on standard error: false, and 1 as the benchmark's status.
bool Fail(const odomei::Failure& error) {
    std::fprintf(stderr, "%s\n", odomei::FailureLine(error).c_str());
    return false;
}
int Failed(const odomei::Failure& error) { return Fail(error) ? 0 : 1; }

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

// A logbook of count refuels, kRefuelsPerDay a day, every one priced and the odometer given at
// the first: one record imported through the logbook (which makes the file, its vehicle and a
// read), the rest written by SQLite itself in one statement, far faster than importing them.
bool MakeLargeLogbook(const std::string& path, int count) {
    odomei::Failure error;
    {
        auto book = odomei::Logbook::Open(path, &error, odomei::LogbookAccess::kWrite);
        if (!book || !book->Import(BenchRows(0, 1), "bench", {}, kAt, &error)) return Fail(error);
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
    char sql[2048];
    std::snprintf(
        sql, sizeof sql,
        "BEGIN;"
        "DELETE FROM records;"
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %d),"
        " d(i, iso) AS (SELECT i, date('2015-01-01', '+' || (i / %d) || ' days') FROM n)"
        " INSERT INTO records(raw, read_id, date_text, distance_text, fuel_text, correction_text,"
        " refuel_text, error_text, iso_date, distance, fuel, correction, refuel, vehicle_id)"
        " SELECT NULL, (SELECT min(id) FROM reads), strftime('%%Y年%%m月%%d日', iso),"
        " printf('%%d.%%02d', 300 + i %% 200, i %% 100), printf('%%d.%%02d', 25 + i %% 10,"
        " i * 7 %% 100), '100.00', printf('%%d.%%02d', 25 + i %% 11, i * 3 %% 100),"
        " printf('%%d.%%02d', i %% 3, i * 13 %% 100), iso, (300 + i %% 200) * 100 + i %% 100,"
        " (25 + i %% 10) * 100 + i * 7 %% 100, 10000, (25 + i %% 11) * 100 + i * 3 %% 100,"
        " (SELECT min(id) FROM vehicles) FROM d;"
        "INSERT INTO prices SELECT id, 'litre', %lld + id %% %d FROM records;"
        "INSERT INTO odometer SELECT min(id), %lld FROM records;"
        "COMMIT;",
        count - 1, kRefuelsPerDay, static_cast<long long>(kFirstPrice), kPriceSteps,
        static_cast<long long>(kFirstOdometer));
    char* message = nullptr;
    const bool made = sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK;
    if (!made) std::fprintf(stderr, "the large logbook: %s\n", message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
    return made;
}

// The window at the figures' size, shown and painted once with its charts.
void ShowPainted(odomei::CHistoryDlg& history) {
    history.resize(kWindowWidth, kWindowHeight);
    history.show();
    QApplication::processEvents();
    history.grab();
}

// The window opened on book, shown and painted once with its charts: runs times.
std::vector<double> OpenWindow(const odomei::Logbook& book, const std::filesystem::path& work,
                               int runs) {
    std::vector<double> opens;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        odomei::CHistoryDlg history(book, {}, {}, work.string());
        ShowPainted(history);  // painted once, charts included
        opens.push_back(Ms(Clock::now() - start));
    }
    return opens;
}

// The window on book drawn again, painted, for a range of the newer half of its records and for
// the other unit (alternately, from the whole and back): the median of runs of each.
void RedrawWindow(const odomei::Logbook& book, const std::filesystem::path& work, int runs,
                  const char* what, double goalMs) {
    odomei::CHistoryDlg history(book, {}, {}, work.string());
    ShowPainted(history);
    const auto span = history.Presenter().DateSpan();
    if (!span) return;
    const auto first = odomei::DayNumber(span->first), last = odomei::DayNumber(span->second);
    const std::string middle = odomei::IsoDate((*first + *last) / 2);
    std::vector<double> ranges, units;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        history.SetRange(run % 2 == 0 ? middle : std::string(), {});
        history.grab();
        ranges.push_back(Ms(Clock::now() - start));
        start = Clock::now();
        history.SetPerHundredKm(run % 2 == 0);
        history.grab();
        units.push_back(Ms(Clock::now() - start));
    }
    PrintFigure((std::string("history window drawn again for another range, ") + what).c_str(),
                SpreadOf(ranges), runs, goalMs);
    PrintFigure((std::string("history window drawn again for the other unit, ") + what).c_str(),
                SpreadOf(units), runs, goalMs);
}

// A figure of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
    }
    return 0;
}

// In a process of its own: the resident memory with an empty logbook's window shown, then with
// the window on path shown (closed the empty one), now and at its peak.
int WindowMemory(int argc, char** argv, const std::string& path, const std::string& empty) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    odomei::Failure error;
    long before = 0;
    {
        auto none = odomei::Logbook::Open(empty, &error, odomei::LogbookAccess::kLook);
        if (!none) return Failed(error);
        odomei::CHistoryDlg history(*none, {}, {}, {});
        ShowPainted(history);
        before = StatusKb("VmRSS");
    }
    auto book = odomei::Logbook::Open(path, &error, odomei::LogbookAccess::kLook);
    if (!book) return Failed(error);
    odomei::CHistoryDlg history(*book, {}, {}, {});
    ShowPainted(history);
    std::printf(
        "%lld records: %.0f MB above the empty window's %.0f MB, %.0f MB at its peak "
        "(goal <= 200 MB)\n",
        static_cast<long long>(history.Presenter().Sheet().Size()),
        static_cast<double>(StatusKb("VmRSS") - before) / 1024.0,
        static_cast<double>(before) / 1024.0,
        static_cast<double>(StatusKb("VmHWM") - before) / 1024.0);
    return 0;
}

// odomei-cli's command on the logbook at path, run times: its time and peak memory.
void TimeCli(odomei::bench::Launcher& launcher, const std::vector<std::string>& command,
             const std::string& path, const std::filesystem::path& work, int runs) {
    std::vector<std::string> args{ODOMEI_CLI};
    args.insert(args.end(), command.begin(), command.end());
    args.insert(args.end(), {"--logbook", path});
    std::vector<double> times;
    long peakKb = 0;
    std::string what = "odomei-cli";
    for (const std::string& word : command) what += " " + word;
    for (int run = 0; run < runs; ++run) {
        const auto done = launcher.Run(args, work);
        if (done.status != 0) {
            std::fprintf(stderr, "%s ended with status %d\n", what.c_str(), done.status);
            return;
        }
        times.push_back(done.ms);
        peakKb = std::max(peakKb, done.peakKb);
    }
    what += " on the million";
    PrintFigure(what.c_str(), SpreadOf(times), runs, 2000);
    std::printf("  at most %.0f MB (goal <= 300 MB)\n", static_cast<double>(peakKb) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--window-memory") {
        return WindowMemory(1, argv, argv[2], argv[3]);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Before anything large: the programs it starts are measured from it.
    odomei::bench::Launcher launcher;
    QApplication app(argc, argv);
    const ScratchFolder folder("odomei-logbook-bench", ScratchFolder::Enter::kNo);
    const std::filesystem::path& work = folder.Path();
    const std::string path = (work / odomei::kLogbookFileName).string();
    odomei::Failure error;
    auto book = odomei::Logbook::Open(path, &error, odomei::LogbookAccess::kWrite);
    if (!book) return Failed(error);
    // 100 000 refuels over many years, as rows (one transaction).
    const std::vector<odomei::RecordRow> rows = BenchRows(0, kRecords);
    const auto filled = Clock::now();
    if (!book->Import(rows, "bench", {}, kAt, &error)) return Failed(error);
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
        if (!vehicles) return Failed(error);
        const int each = kRecords / kVehicles;
        for (int v = 0; v < kVehicles; ++v) {
            const std::string name = "car" + std::to_string(v);
            if ((v > 0 && !vehicles->AddVehicle(name, {}, &error)) ||
                !vehicles->Import(BenchRows(v * each, each), "bench", v == 0 ? std::string() : name,
                                  kAt, &error)) {
                return Failed(error);
            }
        }
        const double tenVehicles = MergeMedian(*vehicles, "car5");
        if (tenVehicles < 0) return 1;
        std::printf(
            "merge of a read into %d vehicles of %d records: median %.1f ms over %d runs (goal <= "
            "50 ms, one vehicle %.1f ms)\n",
            kVehicles, each, tenVehicles, kRuns, oneVehicle);
    }

    const std::string count = std::to_string(book->CountRecords());
    PrintFigure(("history window with charts on " + count + " records").c_str(),
                SpreadOf(OpenWindow(*book, work, kRuns)), kRuns, 100);
    RedrawWindow(*book, work, kRuns, (count + " records").c_str(), 100);

    // Both charts as the command line and the windows' save write them: the model made from the
    // records, laid out, written as SVG and the file replaced.
    auto loaded = Clock::now();
    const auto sheet = book->Figures({}, &error);
    std::printf("records read from the logbook as figures: %.0f ms\n", Ms(Clock::now() - loaded));
    loaded = Clock::now();
    const auto records = book->Records({}, &error);
    std::printf("records read from the logbook whole: %.0f ms\n", Ms(Clock::now() - loaded));
    // What the charts add to the window: the model from the records shown and both charts laid
    // out at the window's size (painting them is part of the window's figure above).
    std::vector<double> scenes;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        const odomei::ChartModel model(sheet, odomei::AllOf(sheet), false);
        const auto economy = model.Scene(odomei::ChartKind::kEconomy, 480, 230);
        const auto errors = model.Scene(odomei::ChartKind::kError, 480, 230);
        scenes.push_back(Ms(Clock::now() - start));
        if (economy.items.empty() || errors.items.empty()) return 1;
    }
    PrintFigure("chart model and both window charts laid out", SpreadOf(scenes), kRuns, 0);
    std::vector<double> svgs;
    std::size_t bytes = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        const odomei::ChartModel model(sheet, odomei::AllOf(sheet), false);
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
    PrintFigure(
        ("both charts of " + count + " records as SVG (" + std::to_string(bytes) + " bytes)")
            .c_str(),
        SpreadOf(svgs), kRuns, 100);

    // The refuels for each fuel app, as the command line writes them: the odometer given at the
    // first refuel and every refuel priced from a card statement (one line for each refuel of a
    // date), the records read, and each app's file made and written.
    if (!book->SetOdometer({}, records.front().id, kFirstOdometer, &error)) return Failed(error);
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
    if (refuels.empty() || vehicles.empty()) return Failed(error);
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
        PrintFigure((std::string(odomei::FuelAppTitle(fuelApp)) + " file of " +
                     std::to_string(file.written) + " refuels (" +
                     std::to_string(file.text.size()) + " bytes)")
                        .c_str(),
                    SpreadOf(exports), kExportRuns, 1000);
    }
    book.reset();

    // A million refuels, priced, in one vehicle.
    const std::string large = (work / "million.sqlite3").string();
    const auto made = Clock::now();
    if (!MakeLargeLogbook(large, kMillion)) return 1;
    std::printf("logbook of %d records made in %.0f ms\n", kMillion, Ms(Clock::now() - made));
    {
        auto million = odomei::Logbook::Open(large, &error, odomei::LogbookAccess::kLook);
        if (!million) return Failed(error);
        PrintFigure("history window with charts on 1000000 records",
                    SpreadOf(OpenWindow(*million, work, kMillionRuns)), kMillionRuns, 1000);
        RedrawWindow(*million, work, kMillionRuns, "1000000 records", 1000);
    }
    std::fflush(stdout);
    std::printf("history window's memory on ");
    std::fflush(stdout);
    const auto memory = launcher.Run({std::filesystem::read_symlink("/proc/self/exe").string(),
                                      "--window-memory", large, (work / "empty.sqlite3").string()},
                                     work, odomei::bench::Output::kKept);
    if (memory.status != 0) std::fprintf(stderr, "the window's memory was not measured\n");
    for (const std::vector<std::string>& command : {std::vector<std::string>{"history"},
                                                    {"history", "--format", "table"},
                                                    {"history", "--format", "json"},
                                                    {"stats"},
                                                    {"chart"}}) {
        TimeCli(launcher, command, large, work, kMillionRuns);
    }
    return 0;
}

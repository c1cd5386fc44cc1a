// Port chooser benchmark: how long the chooser takes to open over ten USB adapters (from the
// click on ポート設定 to the dialog shown with its rows), and how long a search takes over two and
// over ten silent ports and the meter paced at 19200 baud (and its CPU time, against a single
// silent port's: one read's wait). Prints figures; it passes or fails nothing.
#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include "app/MessageBox.h"
#include "app/MeterDlg.h"
#include "app/PortDlg.h"
#include "bench/BenchSetup.h"
#include "bench/BenchTiming.h"
#include "link/FindMeter.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "tests/FakeMachine.h"
#include "tests/FakeSerial.h"
#include "tools/metersim/MeterSim.h"

namespace {

using odomei::bench::Clock;
using odomei::bench::Median;
using odomei::bench::Ms;
constexpr int kOpenRuns = 25;
constexpr int kSearchRuns = 5;
constexpr int kAdapters = 10;
constexpr double kOpenGoalMs = 100.0;
constexpr int kSilentPorts = 10;
// One silent port's wait (1.5 s) and a little: the search asks every port at once.
constexpr double kSearchGoalMs = 1700.0;

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    odomei::SetMessageBoxHook([](const odomei::MessageBoxCall&) { return odomei::kIdOk; });
    odomei::test::TempDir dir;
    odomei::test::ScopedCwd cwd(dir.Path());
    odomei::test::FakeMachine machine;
    std::string first;
    for (int i = 0; i < kAdapters; ++i) {
        const std::string node =
            machine.AddUsbAdapter("ttyUSB" + std::to_string(i), "0403", "6001", "FT232R USB UART",
                                  "A" + std::to_string(1000 + i));
        if (first.empty()) first = node;
    }
    // COM1 leads to the first adapter's node, a plain file: no real port is ever opened.
    odomei::WriteIniString(odomei::kPortsSection, "COM1", first, dir.File("KORVANA.ini"));
    odomei::SetPortSurveyor(machine.Surveyor());

    odomei::CMeterDlg dlg;
    dlg.OnInitDialog();
    dlg.show();
    std::vector<double> opens;
    int rows = 0;
    for (int run = 0; run < kOpenRuns; ++run) {
        const auto start = Clock::now();
        QTimer::singleShot(0, [&] {
            auto* chooser = qobject_cast<odomei::CPortDlg*>(QApplication::activeModalWidget());
            if (chooser == nullptr) return;
            opens.push_back(Ms(Clock::now() - start));
            rows = static_cast<int>(chooser->Presenter().Rows().size());
            chooser->reject();
        });
        qobject_cast<QPushButton*>(dlg.GetDlgItem(odomei::IDC_PORT_SETTINGS))->click();
    }
    std::printf(
        "chooser opened over %d ports (%d rows): median %.1f ms over %d runs (goal <= %.0f "
        "ms)\n",
        kAdapters, rows, Median(opens), kOpenRuns, kOpenGoalMs);

    // Silent ports, then the meter at 19200 baud: every port is asked at once, so a search costs
    // one silent port's wait (the setting's port, first, is waited out), however many there are.
    odomei::test::RealSerialOpener real;
    std::vector<std::unique_ptr<metersim::MeterSim>> sims;
    std::vector<odomei::MeterCandidate> silent;
    for (int i = 0; i < kSilentPorts; ++i) {
        metersim::Options options;
        options.silent = true;
        options.linkPath = dir.File("tty" + std::to_string(i));
        sims.push_back(std::make_unique<metersim::MeterSim>(options));
        odomei::bench::StartMeter(*sims.back());
        silent.push_back({i + 1, options.linkPath, {}});
    }
    metersim::Options meterOptions;
    meterOptions.linkPath = dir.File("meter-tty");
    sims.push_back(std::make_unique<metersim::MeterSim>(meterOptions));
    odomei::bench::StartMeter(*sims.back());
    const odomei::MeterCandidate meter{kSilentPorts + 1, meterOptions.linkPath, {}};

    const odomei::CommLog log;
    // Wall time and the process's CPU time (its simulated meters' included) of each run.
    auto timeSearch = [&](int silentPorts, bool withMeter) {
        std::vector<odomei::MeterCandidate> ports(silent.begin(), silent.begin() + silentPorts);
        if (withMeter) ports.push_back(meter);
        std::vector<double> times, cpu;
        for (int run = 0; run < kSearchRuns; ++run) {
            const auto start = Clock::now();
            const std::clock_t cpuStart = std::clock();
            const auto search =
                odomei::FindMeter(ports, log, odomei::PlainPause, {}, machine.roots);
            cpu.push_back(1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
            times.push_back(Ms(Clock::now() - start));
            if (search.found != withMeter)
                std::fprintf(stderr, "run %d: the search found %s\n", run,
                             search.found ? "a meter where none is" : "no meter");
        }
        return std::pair{odomei::bench::SpreadOf(times), Median(cpu)};
    };
    auto print = [](const char* what, const std::pair<odomei::bench::Spread, double>& r,
                    double goal) {
        std::printf("%s: median %.0f ms (min %.0f, max %.0f) over %d runs", what, r.first.median,
                    r.first.min, r.first.max, kSearchRuns);
        if (goal > 0) std::printf(" (goal <= %.0f ms)", goal);
        std::printf("; CPU %.0f ms\n", r.second);
    };
    // What the searches' CPU is measured against: a read on the caller's thread waiting as long
    // on a silent port.
    auto timeRead = [&] {
        std::vector<double> times, cpu;
        for (int run = 0; run < kSearchRuns; ++run) {
            odomei::SerialHandle port = nullptr;
            if (odomei::OpenSerialPortByName(&port, silent.front().device, odomei::kLineBaud,
                                             odomei::kLineDataBits, odomei::kLineParityNone,
                                             odomei::kLineOneStopBit, 0, {}, nullptr) == 0) {
                std::fprintf(stderr, "the silent port cannot be opened\n");
                return std::pair{odomei::bench::Spread{}, 0.0};
            }
            const auto start = Clock::now();
            const std::clock_t cpuStart = std::clock();
            odomei::RunReadExchange(
                port, log,
                [port](int ms, bool untilInput) {
                    return odomei::PlainPause(port, ms, untilInput);
                },
                [&](const odomei::ExchangeProgress&) {
                    return Ms(Clock::now() - start) < odomei::kSearchAnswerWaitMs;
                });
            cpu.push_back(1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
            times.push_back(Ms(Clock::now() - start));
            odomei::CloseSerialPort(port);
        }
        return std::pair{odomei::bench::SpreadOf(times), Median(cpu)};
    };
    print("a read waiting on a silent port", timeRead(), 0);
    print("search over the meter alone", timeSearch(0, true), 0);
    print("search over 1 silent port", timeSearch(1, false), 0);
    print("search over 2 silent ports and the meter", timeSearch(2, true), kSearchGoalMs);
    print("search over 10 silent ports and the meter", timeSearch(kSilentPorts, true),
          kSearchGoalMs);
    return 0;
}

// Port chooser benchmark: how long the chooser takes to open over ten USB adapters (from the
// click on ポート設定 to the dialog shown with its rows), and how long a search takes over two
// silent ports and the meter paced at 19200 baud. Prints figures; it passes or fails nothing.
#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
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

    // Two silent ports, then the meter at 19200 baud.
    odomei::test::RealSerialOpener real;
    std::vector<std::unique_ptr<metersim::MeterSim>> sims;
    std::vector<odomei::MeterCandidate> candidates;
    for (int i = 0; i < 3; ++i) {
        metersim::Options options;
        options.silent = i < 2;
        options.linkPath = dir.File("tty" + std::to_string(i));
        sims.push_back(std::make_unique<metersim::MeterSim>(options));
        odomei::bench::StartMeter(*sims.back());
        candidates.push_back({i + 1, options.linkPath, {}});
    }
    const odomei::CommLog log;
    auto timeSearch = [&](const std::vector<odomei::MeterCandidate>& ports) {
        std::vector<double> times;
        for (int run = 0; run < kSearchRuns; ++run) {
            const auto start = Clock::now();
            const auto search =
                odomei::FindMeter(ports, log, odomei::PlainPause, {}, machine.roots);
            times.push_back(Ms(Clock::now() - start));
            if (!search.found) std::fprintf(stderr, "run %d: the meter was not found\n", run);
        }
        return Median(times);
    };
    const double all = timeSearch(candidates);
    const double meterOnly = timeSearch({candidates.back()});
    std::printf(
        "search over 2 silent ports and the meter: median %.0f ms over %d runs; the "
        "meter alone %.0f ms, so %.0f ms per silent port\n",
        all, kSearchRuns, meterOnly, (all - meterOnly) / 2);
    return 0;
}

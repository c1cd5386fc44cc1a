// Read-out benchmark: how long a read takes against a meter paced at 19200 baud, compared with
// the time the line itself needs, and how much CPU the program uses while a silent meter keeps
// it waiting. Prints figures; it passes or fails nothing.
#include <sys/resource.h>

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/MessageBox.h"
#include "app/MeterDlg.h"
#include "bench/BenchSetup.h"
#include "bench/BenchTiming.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "tools/metersim/MeterSim.h"

namespace {

using odomei::bench::Clock;
using odomei::bench::kBaud;
using odomei::bench::kLineMs;
using odomei::bench::Ms;
using odomei::bench::PrintLineTime;
using odomei::bench::ScratchFolder;
using odomei::bench::Spread;
using odomei::bench::SpreadOf;
constexpr int kRuns = 25;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::unique_ptr<metersim::MeterSim> StartMeter(const std::filesystem::path& work, bool silent) {
    metersim::Options options;
    options.linkPath = (work / "meter-tty").string();
    options.baud = kBaud;
    options.silent = silent;
    auto sim = std::make_unique<metersim::MeterSim>(options);
    odomei::bench::StartMeter(*sim);
    return sim;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const ScratchFolder folder("odomei-bench", ScratchFolder::Enter::kYes);
    const std::filesystem::path& work = folder.Path();
    odomei::WriteIniString(odomei::kPortsSection, "COM1", (work / "meter-tty").string(),
                           (work / "KORVANA.ini").string());
    odomei::SetMessageBoxHook([](const odomei::MessageBoxCall& call) {
        if ((call.flags & odomei::kMbTypeMask) == odomei::kMbYesNo) return odomei::kIdYes;
        std::fprintf(stderr, "message: %s\n", call.text.c_str());
        return odomei::kIdOk;
    });

    // 1. Reads against a meter paced like a real line.
    std::vector<double> times;
    {
        auto sim = StartMeter(work, false);
        odomei::CMeterDlg dlg;
        dlg.OnInitDialog();
        dlg.show();
        for (int i = 0; i < kRuns; ++i) {
            // The question is answered at once: this is confirmed read to filled list.
            const auto start = Clock::now();
            dlg.OnRead();
            times.push_back(Ms(Clock::now() - start));
            if (dlg.Records().m_nRecordCount != 15) {
                std::fprintf(stderr, "run %d did not fill the list\n", i);
                return 1;
            }
            dlg.OnClear();
        }
    }
    const Spread read = SpreadOf(times);
    std::printf("read-out: median %.1f ms over %d runs (min %.1f, max %.1f)\n", read.median, kRuns,
                read.min, read.max);
    PrintLineTime();
    std::printf("ratio: %.3f (goal <= 1.15)\n", read.median / kLineMs);

    // 2. CPU used while a silent meter keeps the program waiting for its time-out.
    {
        auto sim = StartMeter(work, true);
        odomei::CMeterDlg dlg;
        dlg.OnInitDialog();
        dlg.show();
        const double cpu0 = CpuSeconds();
        const auto start = Clock::now();
        dlg.OnRead();
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = CpuSeconds() - cpu0;
        std::printf(
            "silent meter: waited %.2f s, CPU %.3f s = %.2f %% of one core (goal <= 2 %%)\n", wall,
            cpu, 100.0 * cpu / wall);
    }
    return 0;
}

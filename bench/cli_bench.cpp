// odomei-cli benchmark: the whole program, from process start to the output file written, against
// the time a 19200-baud line needs for the bytes exchanged, and the time from process start to
// the STX reaching the meter; 'doctor' against it; and 'ports' with a [Ports] entry numbered far
// beyond any machine's ports. Prints figures; it passes or fails nothing.
//
// cli_bench --wine ODOMEI-CLI.EXE LINK measures the Windows program under Wine instead, reading
// COM1, which the Wine prefix (WINEPREFIX, as scripts/windows.sh makes it) maps to LINK.
#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSetup.h"
#include "bench/BenchTiming.h"
#include "tools/metersim/MeterSim.h"

extern char** environ;

namespace {

using odomei::bench::Clock;
using odomei::bench::kBaud;
using odomei::bench::kLineMs;
using odomei::bench::Median;
using odomei::bench::Ms;
using odomei::bench::PrintLineTime;
using odomei::bench::ScratchFolder;
using odomei::bench::Spread;
using odomei::bench::SpreadOf;
constexpr int kRuns = 25;

// 'odomei-cli <command>' in the working folder, its output thrown away: milliseconds per run, or
// nothing when a run fails.
std::vector<double> TimeCommand(std::string cli, std::string command) {
    std::vector<char*> argv = {cli.data(), command.data(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = Clock::now();
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            times.clear();
            break;
        }
        times.push_back(Ms(Clock::now() - start));
    }
    posix_spawn_file_actions_destroy(&quiet);
    return times;
}

}  // namespace

int main(int argc, char** argv0) {
    const bool wine = argc == 4 && std::string(argv0[1]) == "--wine";
    if (argc != 1 && !wine) {
        std::fprintf(stderr, "usage: cli_bench [--wine ODOMEI-CLI.EXE LINK]\n");
        return 2;
    }
    const ScratchFolder folder("odomei-cli-bench", ScratchFolder::Enter::kYes);
    const std::filesystem::path& work = folder.Path();

    metersim::Options options;
    options.linkPath = wine ? std::string(argv0[3]) : (work / "meter-tty").string();
    options.baud = kBaud;
    metersim::MeterSim sim(options);
    odomei::bench::StartMeter(sim);
    std::string cli = ODOMEI_CLI, read = "read", port = "--port", tty = options.linkPath,
                out = "-o", file = (work / "out.csv").string(), winePath = "/usr/bin/wine";
    std::vector<char*> args = {cli.data(), read.data(), port.data(), tty.data(),
                               out.data(), file.data(), nullptr};
    if (wine) {
        cli = argv0[2];
        tty = "COM1";
        file = "out.csv";  // in the working folder, which Wine knows as a folder of drive Z:
        args = {winePath.data(), cli.data(), read.data(), port.data(),
                tty.data(),      out.data(), file.data(), nullptr};
    }
    char** argv = args.data();

    std::vector<double> total, toStx;
    for (int i = 0; i < kRuns; ++i) {
        const std::size_t before = sim.Received().size();
        const auto start = Clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
            std::perror("posix_spawn");
            return 1;
        }
        sim.WaitForReceived(before + 1, 5000);
        const auto stx = Clock::now();
        int status = 0;
        waitpid(pid, &status, 0);
        const auto end = Clock::now();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "run %d failed with status %d\n", i, status);
            return 1;
        }
        total.push_back(Ms(end - start));
        toStx.push_back(Ms(stx - start));
        std::filesystem::remove(file);
    }
    const Spread reads = SpreadOf(total);
    std::printf(
        "%s read: median %.1f ms from process start to the file written over %d runs"
        " (min %.1f, max %.1f)\n",
        wine ? "odomei-cli.exe under Wine" : "odomei-cli", reads.median, kRuns, reads.min,
        reads.max);
    PrintLineTime();
    std::printf(wine ? "ratio: %.3f (Wine's own overhead included; no goal)\n"
                     : "ratio: %.3f (goal <= 1.05)\n",
                reads.median / kLineMs);
    std::printf("process start to STX at the meter: median %.1f ms (goal <= 30 ms)\n",
                Median(toStx));
    if (!wine) {
        // Everything a read needs looked at, with the meter's line as COM1: every process's open
        // files, sysfs, the INI, the log and the logbook.
        std::ofstream(work / "KORVANA.ini") << "[Ports]\r\nCOM1=" << tty << "\r\n";
        const auto doctor = TimeCommand(cli, "doctor");
        if (doctor.empty()) {
            std::fprintf(stderr, "odomei-cli doctor failed\n");
            return 1;
        }
        std::printf("doctor: median %.1f ms over %d runs (goal <= 200 ms)\n", Median(doctor),
                    kRuns);
    }
    sim.Stop();

    if (!wine) {
        // An entry far beyond the machine's ports: every number up to it is considered.
        std::ofstream(work / "KORVANA.ini") << "[Ports]\r\nCOM9999=/dev/null\r\n";
        const auto ports = TimeCommand(cli, "ports");
        if (ports.empty()) {
            std::fprintf(stderr, "odomei-cli ports failed\n");
            return 1;
        }
        std::printf("ports with [Ports] COM9999: median %.1f ms over %d runs (goal < 50 ms)\n",
                    Median(ports), kRuns);
    }
    return 0;
}

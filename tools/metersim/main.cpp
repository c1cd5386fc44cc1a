// metersim: a simulated fuel-economy meter on a pseudo-terminal, for the demo and the tests.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/metersim/MeterSim.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

void Usage() {
    std::puts(
        "usage: metersim [options]\n"
        "  --link PATH         make PATH a symbolic link to the meter's serial device\n"
        "  --answer FILE       answer with the bytes of FILE (216 bytes get a correct check byte)\n"
        "  --write-sample FILE write the built-in sample block to FILE and exit\n"
        "  --sequence K        answer as a meter at read K of months of refuels (0, 1, ...)\n"
        "  --car N             with --sequence: the meter of another car (1, 2, ...), whose\n"
        "                      refuels fall between the first car's\n"
        "  --baud N            pace the answer as a line at N baud, 8N1 (default 19200)\n"
        "  --no-pace           send every piece at once\n"
        "  --silent            never answer\n"
        "  --stop-after N      send only the first N bytes of each answer\n"
        "  --pieces N --gap MS send in pieces of N bytes, MS milliseconds apart\n"
        "  --extra N           append N bytes to each answer\n"
        "  --garbage N         send N stray bytes before each answer\n"
        "  --bad-checks K      give the first K answers a wrong check byte\n"
        "  --hangup-after N    hang the line up after N bytes of the first answer\n"
        "  --stuck             take no byte from the program (its output stays stopped)\n"
        "  --slow-read MS      look at the line only MS milliseconds after each answer; what the\n"
        "                      program purges from its output before then is lost\n"
        "  --verbose           print every byte received\n"
        "Runs until interrupted; prints the device path on its first line.");
}

}  // namespace

int main(int argc, char** argv) {
    metersim::Options options;
    bool verbose = false;
    int sequence = -1;  // --sequence, once --car is known too
    int car = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "metersim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        auto number = [&]() { return std::atoi(next().c_str()); };
        if (a == "--link")
            options.linkPath = next();
        else if (a == "--answer") {
            std::ifstream in(next(), std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "metersim: cannot read the answer file\n");
                return 2;
            }
            options.answer.assign(std::istreambuf_iterator<char>(in), {});
        } else if (a == "--write-sample") {
            const auto block = metersim::SampleBlock();
            std::ofstream out(next(), std::ios::binary);
            out.write(reinterpret_cast<const char*>(block.data()), block.size());
            return out ? 0 : 1;
        } else if (a == "--sequence") {
            sequence = std::max(number(), 0);
        } else if (a == "--car") {
            car = std::max(number(), 0);
        } else if (a == "--baud")
            options.baud = number();
        else if (a == "--no-pace")
            options.pace = false;
        else if (a == "--silent")
            options.silent = true;
        else if (a == "--stop-after")
            options.stopAfter = number();
        else if (a == "--pieces")
            options.pieceSize = number();
        else if (a == "--gap")
            options.pieceGapMs = number();
        else if (a == "--extra")
            options.extraBytes = number();
        else if (a == "--garbage")
            options.leadingGarbage = number();
        else if (a == "--bad-checks")
            options.badChecks = number();
        else if (a == "--hangup-after")
            options.hangupAfter = number();
        else if (a == "--stuck")
            options.stuck = true;
        else if (a == "--slow-read")
            options.slowReadMs = number();
        else if (a == "--verbose")
            verbose = true;
        else {
            Usage();
            return a == "--help" || a == "-h" ? 0 : 2;
        }
    }
    if (options.baud <= 0) options.baud = 19200;
    if (sequence >= 0) {
        const auto block = metersim::SequenceBlock(sequence, car);
        options.answer.assign(block.begin(), block.end());
    }

    metersim::MeterSim sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "metersim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::size_t shown = 0;
    while (!g_stop) {
        usleep(20000);
        if (verbose) {
            const auto received = sim.Received();
            for (; shown < received.size(); ++shown) {
                const std::uint8_t b = received[shown];
                std::printf("received %02X%s\n", b,
                            b == metersim::STX   ? " STX"
                            : b == metersim::ACK ? " ACK"
                            : b == metersim::NAK ? " NAK"
                                                 : "");
            }
            std::fflush(stdout);
        }
    }
    sim.Stop();
    return 0;
}

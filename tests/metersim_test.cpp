// The simulated meter as the demo and the tests rely on it: it always stops when told, even when
// the program on the line has stopped reading.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>

#include "data/Decoder.h"
#include "tests/TestSupport.h"
#include "tools/metersim/MeterSim.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// Waits up to limit for the process to end; kills it after that. Its exit status, or -1.
int WaitAtMost(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(20ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

TEST(MeterSimulator, StopsOnSigtermWhileAProgramThatDoesNotReadFillsTheLine) {
    odomei::test::TempDir dir;
    std::string link = dir.File("tty");
    std::string program = ODOMEI_METERSIM, linkOption = "--link", noPace = "--no-pace",
                extra = "--extra", many = "20000";
    char* argv[] = {program.data(), linkOption.data(), link.data(), noPace.data(),
                    extra.data(),   many.data(),       nullptr};
    pid_t pid = 0;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    ASSERT_EQ(posix_spawn(&pid, argv[0], &quiet, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&quiet);
    int fd = -1;
    for (int i = 0; i < 100 && fd < 0; ++i) {
        std::this_thread::sleep_for(20ms);
        fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    }
    ASSERT_GE(fd, 0);
    const std::uint8_t stx = metersim::STX;
    ASSERT_EQ(write(fd, &stx, 1), 1);  // asks for an answer far larger than the line holds
    std::this_thread::sleep_for(300ms);
    const auto start = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitAtMost(pid, 8s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
    close(fd);
}

TEST(MeterSimulator, AFailedStartLeavesNoDescriptorOpen) {
    odomei::test::TempDir dir;
    metersim::Options options;
    options.linkPath = dir.File("no-such-folder/tty");  // the link cannot be made
    const auto count = [] {
        int n = 0;
        for (int fd = 0; fd < 1024; ++fd) n += fcntl(fd, F_GETFD) != -1;
        return n;
    };
    const int before = count();
    {
        metersim::MeterSim sim(options);
        std::string error;
        EXPECT_FALSE(sim.Start(&error));
        EXPECT_NE(error.find("symlink"), std::string::npos) << error;
        EXPECT_EQ(count(), before);
    }
}

// The histories the tests of several cars rely on: one car's consecutive reads overlap (its records
// are its fingerprint), two cars' never do, and the second car's refuels fall between the first's.
TEST(MeterSimulator, TwoCarsHaveHistoriesOfTheirOwnOnInterleavedDays) {
    auto reading = [](int read, int car) {
        return odomei::DecodeReading(odomei::MeasurementBlock(metersim::SequenceBlock(read, car)));
    };
    auto raws = [](const odomei::MeterReading& r) {
        std::set<std::array<std::uint8_t, 14>> out;
        for (const auto& record : r.records) out.insert(record.raw);
        return out;
    };
    EXPECT_EQ(metersim::SequenceBlock(4), metersim::SequenceBlock(4, 0));  // car 0 as before
    std::set<std::array<std::uint8_t, 14>> first, second;
    for (int read = 0; read < 4; ++read) {
        const auto a = raws(reading(read, 0));
        const auto b = raws(reading(read, 1));
        ASSERT_EQ(a.size(), 15u);
        ASSERT_EQ(b.size(), 15u);
        first.insert(a.begin(), a.end());
        second.insert(b.begin(), b.end());
        const auto next = raws(reading(read + 1, 0));
        int shared = 0;
        for (const auto& r : next) shared += a.count(r) != 0;
        EXPECT_EQ(shared, 15 - metersim::kSequenceStep) << read;
    }
    for (const auto& r : second) EXPECT_EQ(first.count(r), 0u);
    // Each of the second car's dates lies strictly between two of the first car's.
    const auto a = reading(0, 0), b = reading(0, 1);
    for (std::size_t i = 0; i + 1 < a.records.size(); ++i) {
        const std::string before = *odomei::IsoDate(a.records[i]);
        const std::string between = *odomei::IsoDate(b.records[i]);
        const std::string after = *odomei::IsoDate(a.records[i + 1]);
        EXPECT_LT(before, between);
        EXPECT_LT(between, after);
    }
}

}  // namespace

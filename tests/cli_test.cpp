// odomei-cli as a user or a script runs it: the real program against the simulated meter on a
// pseudo-terminal, its output files and streams, its exit statuses, and signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#include "cli/JsonText.h"
#include "data/Logbook.h"
#include "link/FilePaths.h"
#include "link/PortSetting.h"
#include "link/ReadExchange.h"
#include "link/SerialPort.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "tests/LogExpect.h"
#include "tests/MeterLine.h"

namespace odomei {
namespace {

using test::Bytes;
using test::ReadBytes;

// Long enough for any run on a loaded machine; only a program that never ends gets near it.
constexpr int kNoHangMs = 60000;

struct CliRun {
    int status = -1;  // the exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

// Starts odomei-cli in dir with the arguments; standard output and error go to files (or error
// to a terminal when asked, output to outFd when given).
class CliProcess {
public:
    // env: NAME=value pairs added to the program's environment; program: another binary;
    // inFromTerminal: standard input from the terminal as well (see Type).
    CliProcess(const std::string& dir, std::vector<std::string> args, bool errToTerminal = false,
               std::vector<std::string> env = {}, const char* program = ODOMEI_CLI, int outFd = -1,
               bool inFromTerminal = false)
        : m_out(dir + "/.stdout"), m_err(dir + "/.stderr") {
        int terminal = -1;
        if (errToTerminal) {
            int child = -1;
            if (openpty(&terminal, &child, nullptr, nullptr, nullptr) != 0) return;
            m_terminal = terminal;
            m_childTerminal = child;
        }
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            if (chdir(dir.c_str()) != 0) _exit(126);
            const int out =
                outFd >= 0 ? outFd : open(m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = errToTerminal ? m_childTerminal
                                          : open(m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int in = inFromTerminal ? m_childTerminal : open("/dev/null", O_RDONLY);
            signal(SIGPIPE, SIG_DFL);  // as a shell starts a program, whatever the tests ignore
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            for (auto& e : env) putenv(e.data());
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~CliProcess() {
        if (m_pid > 0 && !m_done) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_terminal >= 0) close(m_terminal);
        if (m_childTerminal >= 0) close(m_childTerminal);
    }
    void Signal(int s) const { kill(m_pid, s); }
    // What a user types on the terminal.
    void Type(const std::string& text) const {
        EXPECT_EQ(write(m_terminal, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // Whether the program ends within ms; Wait then gives its result.
    bool EndsWithin(int ms) {
        for (int waited = 0; waitpid(m_pid, &m_status, WNOHANG) == 0; waited += kPollMs) {
            if (waited >= ms) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        }
        m_reaped = m_done = true;
        return true;
    }
    CliRun Wait() {
        CliRun r;
        int status = m_status;
        // The terminal is read as the program writes, so that it never blocks on a full one.
        while (!m_reaped && waitpid(m_pid, &status, m_terminal >= 0 ? WNOHANG : 0) == 0) {
            char buf[512];
            fcntl(m_terminal, F_SETFL, O_NONBLOCK);
            const ssize_t n = read(m_terminal, buf, sizeof buf);
            if (n > 0) m_terminalText.append(buf, static_cast<std::size_t>(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // What it wrote just before it ended is still in the terminal.
        if (m_terminal >= 0) {
            fcntl(m_terminal, F_SETFL, O_NONBLOCK);
            char buf[512];
            for (ssize_t n; (n = read(m_terminal, buf, sizeof buf)) > 0;)
                m_terminalText.append(buf, static_cast<std::size_t>(n));
        }
        m_done = true;
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = ReadBytes(m_out);
        r.err = m_terminal >= 0 ? m_terminalText : ReadBytes(m_err);
        return r;
    }

private:
    static constexpr int kPollMs = 10;
    std::string m_out, m_err;
    int m_pid = -1;
    int m_status = 0;
    bool m_reaped = false;
    bool m_done = false;
    int m_terminal = -1;
    int m_childTerminal = -1;
    std::string m_terminalText;
};

CliRun RunCli(const std::string& dir, std::vector<std::string> args) {
    return CliProcess(dir, std::move(args)).Wait();
}

// The environment that preloads the misbehaving filesystem (see shim/fs_shim.cpp).
std::vector<std::string> Shim(const std::string& faults) {
    return {"LD_PRELOAD=" ODOMEI_FS_SHIM, "ODOMEI_SHIM=" + faults,
            // A sanitizer build wants its runtime first; the shim comes first here on purpose.
            "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
}

// The log with every time stamp set to the fixed clock's, so it compares with ExpectLog.
std::string StampsFixed(const std::string& log) {
    const std::regex stamp("[0-9]{2}" + Sjis("時") + "[0-9]{2}" + Sjis("分") + "[0-9]{2}" +
                           Sjis("秒") + "[0-9]{3}" + Sjis("："));
    return std::regex_replace(log, stamp, test::FixedClock::Stamp());
}

std::string Hex(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(c));
        out += pair;
    }
    return out;
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name[0] != '.') names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Cli : public ::testing::Test {
protected:
    void Start(metersim::Options options = {}) {
        meter = std::make_unique<test::MeterLine>(dir, options);
        ASSERT_TRUE(meter->Started());
        const auto sample = metersim::SampleBlock();
        block.assign(sample.begin(), sample.end());
    }
    std::string Golden() const { return ReadBytes(ODOMEI_TEST_DATA "/sample_history.csv"); }
    // `read -o out.csv` of the simulated meter holding the history of its read-th month, unpaced.
    CliRun ReadSequence(int read) {
        metersim::Options options;
        const auto answer = metersim::SequenceBlock(read);
        options.answer.assign(answer.begin(), answer.end());
        options.pace = false;
        meter.reset();
        Start(options);
        return RunCli(dir.Path(), {"read", "-o", "out.csv"});
    }

    test::TempDir dir;
    std::unique_ptr<test::MeterLine> meter;
    Bytes block;
};

TEST_F(Cli, ReadWritesTheWindowsCsvBytesAndTheWindowsLog) {
    Start();
    const test::DateWatch date;
    const CliRun r = RunCli(dir.Path(), {"read", "-o", "out.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir.File("out.csv")), Golden());
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");  // no progress when standard error is no terminal
    if (date.SameDate()) {
        EXPECT_EQ(
            StampsFixed(ReadBytes(dir.File("KORVANA.log"))),
            test::FixedClock::Stamp() +
                Sjis("＊＊＊＊＊＊＊＊アプリケーション起動＊＊＊＊＊＊＊＊") + "\r\n" +
                test::ExpectLog({{"onSend", {STX}}, {"onReceive", block}, {"onSend", {ACK}}}));
    }
    // The INI file is read, never written back.
    EXPECT_EQ(ReadIniString("シリアル通信設定", "ｼﾘｱﾙﾎﾟｰﾄ番号", meter->Ini()), std::nullopt);
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::vector<std::string>{"KORVANA.ini", "KORVANA.log", "meter-tty", kLogbookFileName,
                                        "out.csv"}));

    // The same text in UTF-8, on standard output; the log elsewhere, or none.
    const CliRun utf8 = RunCli(dir.Path(), {"read", "--encoding", "utf-8", "--log", "other.log"});
    ASSERT_EQ(utf8.status, 0) << utf8.err;
    EXPECT_EQ(utf8.out, Cp932ToUtf8(Golden()));
    EXPECT_NE(ReadBytes(dir.File("other.log")).find(Sjis("onReceive")), std::string::npos);
    const std::string logBefore = ReadBytes(dir.File("KORVANA.log"));
    const CliRun quiet = RunCli(dir.Path(), {"read", "--no-log", "--format", "csv", "-o", "-",
                                             "--encoding", "Cp932"});  // in any case
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.out, Golden());
    EXPECT_EQ(ReadBytes(dir.File("KORVANA.log")), logBefore);
}

TEST_F(Cli, JsonHasTypedValuesWithTheListsTwoDecimals) {
    // Record 1 has no date but figures; record 2 is fourteen 0xFF bytes; record 3 a real one.
    std::vector<std::uint8_t> answer(216, 0);
    const std::uint8_t noDate[14] = {0x80, 0x96, 0x98, 0,    0xF4, 0x09, 0,
                                     0,    0x10, 0x27, 0x64, 0,    0,    0};
    std::copy(std::begin(noDate), std::end(noDate), answer.begin() + 1);
    std::fill(answer.begin() + 15, answer.begin() + 29, 0xFF);
    const auto sample = metersim::SampleBlock();
    std::copy(sample.begin() + 1, sample.begin() + 15, answer.begin() + 29);
    answer[211] = '3';
    answer[212] = '0';
    answer[213] = '1';
    answer[214] = '0';
    metersim::Options options;
    options.answer = answer;
    Start(options);
    const CliRun r =
        RunCli(dir.Path(), {"read", "--port", meter->Sim().SlavePath(), "--format", "json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["firmwareVersion"], "01.03");
    ASSERT_EQ(json["records"].size(), 3u);
    const auto& first = json["records"][0];
    EXPECT_EQ(first["no"], 1);
    EXPECT_TRUE(first["date"].is_null());
    EXPECT_EQ(first["dateText"], "-");
    EXPECT_DOUBLE_EQ(first["distanceKm"].get<double>(), 1.0);
    EXPECT_DOUBLE_EQ(first["fuelL"].get<double>(), 1.0);
    EXPECT_DOUBLE_EQ(first["correctionPercent"].get<double>(), 100.0);
    EXPECT_DOUBLE_EQ(first["refuelL"].get<double>(), 1.0);
    EXPECT_DOUBLE_EQ(first["errorPercent"].get<double>(), 0.0);
    EXPECT_EQ(first["raw"], "80969800f4090000102764000000");
    const auto& ones = json["records"][1];
    EXPECT_TRUE(ones["date"].is_null());
    EXPECT_DOUBLE_EQ(ones["correctionPercent"].get<double>(), 655.35);
    EXPECT_DOUBLE_EQ(ones["refuelL"].get<double>(), 655.35);
    EXPECT_EQ(ones["raw"], std::string(28, 'f'));
    const auto& third = json["records"][2];
    EXPECT_EQ(third["date"], "2015-01-09");
    EXPECT_EQ(third["dateText"], "2015年01月09日");
    EXPECT_DOUBLE_EQ(third["distanceKm"].get<double>(), 412.6);
    EXPECT_DOUBLE_EQ(third["errorPercent"].get<double>(), 1.12);
    // The numbers are written with exactly the list's two decimals.
    EXPECT_NE(r.out.find("\"distanceKm\": 412.60,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"errorPercent\": 0.00,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"fuelL\": 1.00,"), std::string::npos) << r.out;
}

TEST_F(Cli, TableIsAlignedLikeTheList) {
    Start();
    const CliRun r = RunCli(dir.Path(), {"read", "--format", "table"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[0], "F/W Version:01.03");
    EXPECT_EQ(lines[2],
              "01  2015年01月09日        412.60        30.85     100.00        31.20         1.12");
    EXPECT_EQ(lines[16].substr(0, 4), "15  ");
    // Every row is as long as the first: the columns line up.
    for (std::size_t i = 2; i < lines.size(); ++i) EXPECT_EQ(lines[i].size(), lines[2].size()) << i;
}

TEST_F(Cli, EveryFailureHasItsOwnStatusAndTheWindowsMessage) {
    // One run of odomei-cli: what makes it fail (the meter and the INI as the case needs them,
    // done before it runs; the cases run in order, each on what the ones before left), and what
    // it must say.
    struct Case {
        std::string what;
        std::function<void()> provoke;
        std::vector<std::string> args;
        int status;
        std::string errStarts = {};              // standard error begins so, where given
        std::vector<std::string> errHolds = {};  // and holds each of these
        std::string absent = {};                 // a file the run must not leave, where given
        std::string outStarts = {};              // standard output begins so, where given
        std::vector<std::string> outHolds = {};  // and holds each of these
    };
    auto meterThat = [this](metersim::Options options) {
        return [this, options] {
            meter.reset();
            Start(options);
        };
    };
    auto portNumber = [this](const char* number) {
        return [this, number] {
            WriteIniString("シリアル通信設定", "ｼﾘｱﾙﾎﾟｰﾄ番号", number, meter->Ini());
        };
    };
    const std::string kHint = "Try 'odomei-cli --help'";
    // Usage errors: one line and a hint.
    auto usage = [&kHint](std::string what, std::vector<std::string> args) {
        return Case{std::move(what), {}, std::move(args), 2, {}, {kHint}};
    };
    const std::string unplugged = dir.File("unplugged");
    metersim::Options badChecks, stuck, hangUp, empty;
    badChecks.badChecks = 3;
    badChecks.pace = false;
    stuck.stuck = true;
    hangUp.hangupAfter = 100;
    empty.answer.assign(216, 0);
    const std::vector<std::string> readToFile = {"read", "-o", "out.csv"};
    const Case cases[] = {
        {"three bad check bytes",
         meterThat(badChecks),
         readToFile,
         5,
         "odomei-cli: ＢＣＣエラーが発生しました\n",
         {"wrong 3 times"},
         "out.csv"},
        {"a line that takes nothing",
         meterThat(stuck),
         readToFile,
         6,
         "odomei-cli: コマンド送信処理でエラーが発生しました(STX)\n",
         {"took no byte"},
         "out.csv"},
        {"an adapter pulled out",
         meterThat(hangUp),
         readToFile,
         4,
         "odomei-cli: コマンド受信処理でエラーが発生しました(タイムアウト)\n",
         {"went away"},
         "out.csv"},
        {"no record",
         meterThat(empty),
         readToFile,
         7,
         "odomei-cli: 計測データを受信しましたが、有効なデータが有りませんでした\n",
         {"holds no record"},
         "out.csv"},
        // A port that cannot be opened, named as configured.
        {"a device that is not there",
         {},
         {"read", "--port", unplugged},
         3,
         "odomei-cli: 通信ポートの初期化に失敗しました。環境を確認して再起動して下さい(" +
             unplugged + ")\n通信ポートを変更する場合はINIファイルを編集して下さい\n",
         {"no such device"}},
        // The ports listed are where the names lead: COM1 is the meter's line by its entry.
        {"a configured port that is not there",
         [&] {
             portNumber("12")();
             WriteIniString(kPortsSection, "COM12", unplugged, meter->Ini());
         },
         {"read"},
         3,
         {},
         {"(COM12)", unplugged,
          "Serial ports found: COM1 = " + dir.File("meter-tty") + " (from [Ports])."}},
        // Beyond 255 there is no COM port: COM1 is read, the meter of the last case, which
        // answers with no record.
        {"a port number beyond 255", portNumber("256"), {"read", "-o", "beyond.csv"}, 7},
        usage("an unknown option", {"read", "--bogus"}),
        usage("an unknown format", {"read", "--format", "xml"}),
        usage("no command", {}),
        usage("a log and none", {"read", "--log", "x", "--no-log"}),
        // An empty port or file is no way to ask for the default.
        usage("an empty port", {"read", "--port", ""}),
        usage("an empty output", {"read", "-o", ""}),
        usage("an empty logbook to read into", {"read", "--logbook", ""}),
        usage("an empty logbook to print", {"history", "--logbook", ""}),
        usage("an empty logbook to import into", {"import", "--logbook", "", "x.csv"}),
        // A period must not end before it begins.
        usage("a period ending before it begins",
              {"history", "--from", "2024-02-02", "--to", "2024-02-01"}),
        // Exactly YYYY-MM-DD: no blanks, signs or missing digits that sscanf would take.
        usage("a blank in a date", {"history", "--from", "2000-01- 1"}),
        usage("a sign in a date", {"stats", "--to", "2000-01-+1"}),
        usage("a blank before a date", {"chart", "--from", " 200-01-01"}),
        usage("a digit missing", {"history", "--to", "2000-1-01"}),
        usage("full-width digits", {"history", "--from", "２０００-01-01"}),
        {"an unknown command", {}, {"erase"}, 2, "odomei-cli: unknown command 'erase'\n"},
        // Not failures: the help and the version.
        {"the help", {}, {"--help"}, 0, {}, {}, {}, {}, {"Exit status:"}},
        {"the version", {}, {"--version"}, 0, {}, {}, {}, "odomei-cli (ODOMEI) "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.provoke) c.provoke();
        const CliRun r = RunCli(dir.Path(), c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (!c.errStarts.empty()) {
            EXPECT_EQ(r.err.rfind(c.errStarts, 0), 0u) << r.err;
        }
        for (const std::string& part : c.errHolds) {
            EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
        }
        if (!c.outStarts.empty()) {
            EXPECT_EQ(r.out.rfind(c.outStarts, 0), 0u) << r.out;
        }
        for (const std::string& part : c.outHolds) {
            EXPECT_NE(r.out.find(part), std::string::npos) << r.out;
        }
        if (!c.absent.empty()) {
            EXPECT_FALSE(test::Exists(dir.File(c.absent)));
        }
    }
}

TEST_F(Cli, SilenceTimesOutWithStatusFourAndTheBytesThatCameInTheLog) {
    metersim::Options options;
    options.stopAfter = 100;
    Start(options);
    const test::DateWatch date;
    const CliRun r = RunCli(dir.Path(), {"read", "-q"});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("about ten seconds after 100 of 216 bytes"), std::string::npos) << r.err;
    if (date.SameDate()) {
        EXPECT_NE(
            StampsFixed(ReadBytes(dir.File("KORVANA.log")))
                .find(test::ExpectLog({{"onReceive", Bytes(block.begin(), block.begin() + 100)}})),
            std::string::npos);
    }
}

TEST_F(Cli, AnOutputThatCannotBeWrittenLeavesTheOldFileAsItWas) {
    test::ScratchMount folder(64 * 1024);
    if (!folder.Usable()) GTEST_SKIP() << "no mount to make read-only here";
    Start();
    test::WriteBytes(folder.File("out.csv"), "the old file\r\n");
    ASSERT_TRUE(folder.MakeReadOnly());
    const CliRun r = RunCli(dir.Path(), {"read", "-o", folder.File("out.csv")});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(
        r.err.rfind("odomei-cli: ファイルオープンに失敗しました\n  " + folder.File("out.csv"), 0),
        0u)
        << r.err;
    EXPECT_EQ(ReadBytes(folder.File("out.csv")), "the old file\r\n");
}

TEST_F(Cli, AFilesystemThatRefusesModeChangesStillGetsTheFile) {
    Start();
    test::WriteBytes(dir.File("out.csv"), "older\r\n");
    const CliRun r =
        CliProcess(dir.Path(), {"read", "-o", "out.csv"}, false, Shim("nochmod")).Wait();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir.File("out.csv")), Golden());
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::vector<std::string>{"KORVANA.ini", "KORVANA.log", "meter-tty", kLogbookFileName,
                                        "out.csv"}));
}

TEST_F(Cli, AFolderThatCannotBeFlushedIsAWriteFailure) {
    Start();
    const CliRun r =
        CliProcess(dir.Path(), {"read", "-o", "out.csv"}, false, Shim("dirsync")).Wait();
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.err.rfind("odomei-cli: ファイルの書き込みに失敗しました\n", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("flush folder"), std::string::npos) << r.err;
}

TEST_F(Cli, EveryCommandChecksItsOutput) {
    test::WriteBytes(dir.File("saved.csv"), Golden());
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"ports"},
                                                 {"import", "saved.csv"},
                                                 {"chart"},
                                                 {"price", "2015-01-09", "--per-litre", "170"},
                                                 {"export", "spritmonitor", "-o", "-"},
                                                 {"--help"}}) {
        const CliRun r = CliProcess(dir.Path(), args, false, {}, ODOMEI_CLI, full).Wait();
        EXPECT_EQ(r.status, 8) << args[0] << ": " << r.err;
    }
    close(full);

    // A loop of symbolic links leads to no file: nothing is replaced.
    Start();
    ASSERT_EQ(symlink("B", dir.File("A").c_str()), 0);
    ASSERT_EQ(symlink("A", dir.File("B").c_str()), 0);
    const CliRun loop = RunCli(dir.Path(), {"read", "-o", "A"});
    EXPECT_EQ(loop.status, 8);
    EXPECT_NE(loop.err.find(std::strerror(ELOOP)), std::string::npos) << loop.err;
    EXPECT_EQ(std::filesystem::read_symlink(dir.File("A")), "B");
    EXPECT_EQ(std::filesystem::read_symlink(dir.File("B")), "A");
}

TEST_F(Cli, TheAckReachesAMeterThatReadsItsLineSlowly) {
    // The meter looks for the ACK only after the program has closed the port: a close that
    // purged the output would have thrown it away.
    metersim::Options options;
    options.pace = false;
    options.slowReadMs = 300;
    Start(options);
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        const std::size_t before = meter->Sim().Received().size();
        const CliRun r = RunCli(dir.Path(), {"read", "--no-logbook", "-o", "out.csv"});
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_TRUE(meter->Sim().WaitForReceived(before + 2, 3000));
        EXPECT_EQ(meter->Sim().Received()[before + 1], ACK);
    }
}

TEST_F(Cli, ASignalEndsACommandWhoseOutputCannotGo) {
    Start();
    const struct {
        std::vector<std::string> args;
        int signal;
    } cases[] = {{{"read", "--no-logbook"}, SIGTERM},
                 {{"read", "--no-logbook"}, SIGHUP},
                 {{"ports"}, SIGINT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + std::to_string(c.signal));
        // Standard output is a pipe nobody reads, full already.
        int pipeEnds[2];
        ASSERT_EQ(pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK), 0);
        const std::string chunk(4096, 'x');
        for (const std::size_t size : {chunk.size(), std::size_t{1}}) {
            while (write(pipeEnds[1], chunk.data(), size) > 0) {
            }
        }
        fcntl(pipeEnds[1], F_SETFL, 0);
        const std::size_t before = meter->Sim().Received().size();
        CliProcess cli(dir.Path(), c.args, false, {}, ODOMEI_CLI, pipeEnds[1]);
        if (c.args[0] == "read") {
            ASSERT_TRUE(meter->Sim().WaitForReceived(before + 2, 5000));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // writing by now
        cli.Signal(c.signal);
        EXPECT_TRUE(cli.EndsWithin(3000));
        close(pipeEnds[0]);  // lets a program that is still writing end
        EXPECT_EQ(cli.Wait().status, 128 + c.signal);
        close(pipeEnds[1]);
    }
}

TEST_F(Cli, AnOutputWhoseReaderHasGoneFailsEveryCommandWithStatus8AndStillKeepsTheRead) {
    // As "odomei-cli read --format json | jq" where jq failed, or "| head -c100" done reading.
    Start();
    const std::vector<std::string> commands[] = {
        {"read", "--format", "json"}, {"history"}, {"stats"}, {"chart"}, {"ports"}, {"doctor"}};
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        int ends[2];
        ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
        close(ends[0]);
        CliProcess cli(dir.Path(), args, false, {}, ODOMEI_CLI, ends[1]);
        close(ends[1]);
        const CliRun r = cli.Wait();
        EXPECT_EQ(r.status, 8) << r.err;
        EXPECT_NE(r.err.find("standard output could not be written"), std::string::npos) << r.err;
    }
    const CliRun kept = RunCli(dir.Path(), {"history", "--format", "json"});
    ASSERT_EQ(kept.status, 0) << kept.err;
    EXPECT_EQ(nlohmann::json::parse(kept.out)["records"].size(), 15u);
}

#ifdef ODOMEI_WINDOW
TEST_F(Cli, TheWindowEndsCleanlyOnASignalDuringItsFirstIniWrite) {
    // The INI write at start takes a second (a slow disk); SIGTERM comes in the middle of it.
    const std::string ini = Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1\r\n[Ports]\r\nCOM1=") +
                            dir.File("unplugged") + "\r\n";
    test::WriteBytes(dir.File("KORVANA.ini"), ini + "; " + std::string(100000, 'x') + "\r\n");
    auto env = Shim("slowsync");
    env.push_back("QT_QPA_PLATFORM=offscreen");
    CliProcess window(dir.Path(), {}, false, env, ODOMEI_WINDOW);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const auto start = std::chrono::steady_clock::now();
    window.Signal(SIGTERM);
    const CliRun r = window.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("odomei: ending on signal 15"), std::string::npos) << r.err;
    // The write finished whole and nothing was left beside it.
    EXPECT_EQ(ReadBytes(dir.File("KORVANA.ini")).substr(0, ini.size()), ini);
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"KORVANA.ini"});
}

#endif

TEST_F(Cli, InterruptOrTerminateEndsTheReadCleanly) {
    metersim::Options options;
    options.silent = true;
    Start(options);
    for (const int s : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(s);
        const std::size_t before = meter->Sim().Received().size();
        CliProcess cli(dir.Path(), {"read", "-o", "out.csv"});
        ASSERT_TRUE(meter->Sim().WaitForReceived(before + 1, 5000));  // STX sent: reading
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto start = std::chrono::steady_clock::now();
        cli.Signal(s);
        const CliRun r = cli.Wait();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(r.status, 128 + s) << r.err;
        EXPECT_EQ(FilesIn(dir.Path()),
                  (std::vector<std::string>{"KORVANA.ini", "KORVANA.log", "meter-tty"}));
    }
    // The port was closed: it can be had again at once.
    SerialHandle port = nullptr;
    test::RealSerialOpener real;
    EXPECT_EQ(OpenSerialPort(&port, 1, 19200, 8, 0, 1, 0, meter->Ports()), 1);
    CloseSerialPort(port);
}

TEST_F(Cli, ProgressShowsOnATerminalUnlessQuiet) {
    metersim::Options options;
    options.pieceSize = 40;
    options.pieceGapMs = 150;
    Start(options);
    const CliRun shown = CliProcess(dir.Path(), {"read", "-o", "out.csv"}, true).Wait();
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.err.find("reading: 40/216 bytes, attempt 1/3, time-out in 10 s"),
              std::string::npos)
        << shown.err;
    const CliRun quiet = CliProcess(dir.Path(), {"read", "-q", "-o", "out.csv"}, true).Wait();
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
}

TEST_F(Cli, EveryReadGoesIntoTheLogbookWhichHistoryStatsAndImportShow) {
    // A window-saved CSV of the sample history first, then reads of months of refuels.
    test::WriteBytes(dir.File("saved.csv"), Golden());
    const CliRun imported = RunCli(dir.Path(), {"import", "saved.csv"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.out, "saved.csv: 15 records added, 0 already in the logbook\n");
    for (int read : {0, 2}) {
        const CliRun r = ReadSequence(read);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
    }
    // The sample read from the meter now: the imported records, not fifteen more.
    meter.reset();
    Start();
    ASSERT_EQ(RunCli(dir.Path(), {"read", "-o", "out.csv"}).status, 0);
    EXPECT_TRUE(test::Exists(dir.File(kLogbookFileName)));

    const CliRun csv = RunCli(dir.Path(), {"history", "--format", "csv", "--encoding", "utf-8"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 1 + 21 + 15);
    EXPECT_EQ(
        csv.out.rfind("日付,走行距離,消費燃料,使用補正値,実給油量,測定誤差\r\n2013年01月05日,", 0),
        0u)
        << csv.out.substr(0, 200);
    // In date order, the 2015 sample after the 2013 sequence; CP932 by default, as the window's.
    EXPECT_NE(csv.out.find("2015年11月08日"), std::string::npos);
    EXPECT_EQ(RunCli(dir.Path(), {"history", "--format", "csv"}).out, Sjis(csv.out));
    EXPECT_EQ(RunCli(dir.Path(), {"history", "--format", "csv", "--encoding", "Cp932"}).out,
              Sjis(csv.out));

    const CliRun json = RunCli(dir.Path(), {"history", "--format", "json", "--from", "2015-01-01"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto records = nlohmann::json::parse(json.out)["records"];
    ASSERT_EQ(records.size(), 15u);
    EXPECT_EQ(records[0]["date"], "2015-01-09");
    EXPECT_FALSE(records[0]["imported"].get<bool>());  // the meter's read gave its bytes
    EXPECT_DOUBLE_EQ(records[0]["kmPerLitre"].get<double>(), 13.22);  // 412.60 km / 31.20 L

    const CliRun stats = RunCli(dir.Path(), {"stats", "--format", "json"});
    ASSERT_EQ(stats.status, 0) << stats.err;
    const auto summary = nlohmann::json::parse(stats.out);
    EXPECT_EQ(summary["records"], 36);
    EXPECT_GT(summary["suggestedCorrectionPercent"].get<double>(), 100.5);
    EXPECT_LT(summary["suggestedCorrectionPercent"].get<double>(), 102.5);

    // Statuses of their own: a file that is no saved CSV, a date that is none.
    test::WriteBytes(dir.File("other.csv"), "name,value\r\n");
    EXPECT_EQ(RunCli(dir.Path(), {"import", "other.csv"}).status, 10);
    EXPECT_EQ(RunCli(dir.Path(), {"history", "--from", "2015-13-01"}).status, 2);
    EXPECT_EQ(RunCli(dir.Path(), {"history", "--from", "2015-02-29"}).status, 2);
    EXPECT_EQ(RunCli(dir.Path(), {"history", "--from", "2016-02-29"}).status, 0);
}

TEST_F(Cli, AReadAfterTooManyRefuelsWarnsAndHistoryAndStatsShowTheGap) {
    // Reads 0 and 10 of the simulated months: thirty refuels apart, the factor changed between.
    std::vector<CliRun> reads;
    for (int read : {0, 10}) {
        reads.push_back(ReadSequence(read));
        EXPECT_EQ(reads.back().status, 0) << reads.back().err;
    }
    EXPECT_EQ(reads[0].err, "");
    EXPECT_EQ(reads[1].err.rfind("odomei-cli: warning: refuels between ", 0), 0u) << reads[1].err;
    EXPECT_NE(reads[1].err.find("may have been lost"), std::string::npos) << reads[1].err;

    const CliRun json = RunCli(dir.Path(), {"history", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto records = nlohmann::json::parse(json.out)["records"];
    ASSERT_EQ(records.size(), 30u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i]["gapBefore"].is_object(), i == 15) << i;
        EXPECT_EQ(records[i]["gapBefore"].is_null(), i != 15) << i;
    }
    EXPECT_TRUE(records[15]["gapBefore"]["foundAt"].is_string());
    // The table says it on a line of its own between the two records.
    const CliRun table = RunCli(dir.Path(), {"history", "--format", "table"});
    ASSERT_EQ(table.status, 0) << table.err;
    const std::size_t marker = table.out.find("\n-- refuels may be missing here");
    ASSERT_NE(marker, std::string::npos) << table.out;
    EXPECT_EQ(table.out.substr(table.out.rfind('\n', marker - 1) + 1, 2), "15");
    EXPECT_EQ(table.out.substr(table.out.find('\n', marker + 1) + 1, 2), "16");
    EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 1 + 30 + 1);

    const CliRun stats = RunCli(dir.Path(), {"stats", "--format", "json"});
    ASSERT_EQ(stats.status, 0) << stats.err;
    const auto summary = nlohmann::json::parse(stats.out);
    EXPECT_EQ(summary["gaps"], 1);
    const auto periods = summary["factorPeriods"];
    ASSERT_EQ(periods.size(), 2u);
    EXPECT_DOUBLE_EQ(periods[0]["correctionPercent"].get<double>(), 100.0);
    EXPECT_DOUBLE_EQ(periods[1]["correctionPercent"].get<double>(), 101.5);
    EXPECT_EQ(periods[0]["records"], 15);
    EXPECT_EQ(periods[0]["firstDate"], records[0]["date"]);
    EXPECT_EQ(periods[1]["firstDate"], records[15]["date"]);
    EXPECT_EQ(periods[1]["lastDate"], records[29]["date"]);
    // The meter read 1.5 % low before the change: its own stretch wants about 101.5 %.
    EXPECT_NEAR(periods[0]["suggestedCorrectionPercent"].get<double>(), 101.5, 0.3);
    const CliRun text = RunCli(dir.Path(), {"stats"});
    EXPECT_NE(text.out.find("\ngaps: 1 "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\nfactor 101.50 %, "), std::string::npos) << text.out;

    // The refuels in between, from a CSV saved at a read kept out of the logbook: imported, they
    // close the gap, which neither history nor stats show any more.
    metersim::Options between;
    const auto answer = metersim::SequenceBlock(5);
    between.answer.assign(answer.begin(), answer.end());
    between.pace = false;
    meter.reset();
    Start(between);
    ASSERT_EQ(RunCli(dir.Path(), {"read", "--no-logbook", "-o", "between.csv"}).status, 0);
    EXPECT_EQ(RunCli(dir.Path(), {"import", "between.csv"}).out,
              "between.csv: 15 records added, 0 already in the logbook\n");
    const CliRun filled = RunCli(dir.Path(), {"history", "--format", "table"});
    ASSERT_EQ(filled.status, 0) << filled.err;
    EXPECT_EQ(filled.out.find("refuels may be missing"), std::string::npos) << filled.out;
    EXPECT_EQ(std::count(filled.out.begin(), filled.out.end(), '\n'), 1 + 45);
    EXPECT_EQ(nlohmann::json::parse(RunCli(dir.Path(), {"stats", "--format", "json"}).out)["gaps"],
              0);
}

TEST_F(Cli, ImportIsAllFilesOrNoneAndHistoryWritesOnlyValidFiles) {
    // One good file and one whose lines 2 to 4 hold texts no decoder writes: nothing is stored.
    const std::string golden = Golden();
    test::WriteBytes(dir.File("a.csv"), golden);
    const std::string header = "日付,走行距離,消費燃料,使用補正値,実給油量,測定誤差\r\n";
    test::WriteBytes(dir.File("bad.csv"), header +
                                              "2015年01月09日😀,412.60,30.85,100.00,31.20,1.12\r\n"
                                              "2015年01月09日,0412.60,30.85,100.00,31.20,1.12\r\n"
                                              "2015年01月09日,412.6,30.85,100.00,31.20,1.12\r\n");
    const CliRun bad = RunCli(dir.Path(), {"import", "a.csv", "bad.csv"});
    EXPECT_EQ(bad.status, 10);
    EXPECT_NE(bad.err.find("bad.csv"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("line 2"), std::string::npos) << bad.err;
    EXPECT_FALSE(test::Exists(dir.File(kLogbookFileName)));  // not even made

    // As a spreadsheet saves it again: a byte-order mark, quotes; the same refuels as a.csv.
    std::string sheet = "\xEF\xBB\xBF" + header;
    for (std::size_t at = Sjis(header).size(), end;
         (end = golden.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const std::string line = Cp932ToUtf8(golden.substr(at, end - at)).value();
        sheet += "\"" + line.substr(0, line.find(',')) + "\"" + line.substr(line.find(',')) + "\n";
    }
    test::WriteBytes(dir.File("sheet.csv"), sheet);
    const CliRun both = RunCli(dir.Path(), {"import", "sheet.csv", "a.csv"});
    EXPECT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(both.out,
              "sheet.csv: 15 records added, 0 already in the logbook\n"
              "a.csv: 0 records added, 15 already in the logbook\n");

    // A logbook an older version filled with texts it took unchecked: JSON stays valid, with the
    // figures as numbers; CSV cannot hold the emoji, so it fails with status 8 and no output.
    const std::string old = dir.File("old.sqlite3");
    test::StoreUncheckedRecord(old,
                               {"2015年01月09日😀", "0412.60", "30.85", "100.00", "31.20", "1.12"});
    test::StoreUncheckedRecord(old, {"2015年01月09日\xE9", "1.00", "1.00", "100.00", "1.00", "x"});
    const CliRun csv = RunCli(dir.Path(), {"history", "--logbook", old, "--format", "csv"});
    EXPECT_EQ(csv.status, 8);
    EXPECT_EQ(csv.out, "");
    EXPECT_NE(csv.err.find("ファイルの書き込みに失敗しました"), std::string::npos) << csv.err;
    const CliRun json = RunCli(dir.Path(), {"history", "--logbook", old, "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto records = nlohmann::json::parse(json.out)["records"];
    ASSERT_EQ(records.size(), 2u);
    EXPECT_DOUBLE_EQ(records[0]["distanceKm"].get<double>(), 412.6);
    EXPECT_EQ(records[0]["dateText"], "2015年01月09日😀");
    EXPECT_EQ(records[1]["dateText"], "2015年01月09日\uFFFD");
    // The bytes that were no UTF-8 are kept beside it, in hexadecimal.
    EXPECT_EQ(records[1]["dateTextHex"], Hex("2015年01月09日\xE9"));
    EXPECT_FALSE(records[0].contains("dateTextHex"));
    EXPECT_TRUE(records[1]["errorPercent"].is_null());
    const CliRun stats = RunCli(dir.Path(), {"stats", "--logbook", old, "--format", "json"});
    ASSERT_EQ(stats.status, 0) << stats.err;
    const auto period = nlohmann::json::parse(stats.out)["factorPeriods"].at(0);
    EXPECT_EQ(period["lastDateText"], "2015年01月09日\uFFFD");
    EXPECT_EQ(period["lastDateTextHex"], Hex("2015年01月09日\xE9"));
}

TEST_F(Cli, ALogbookThatCannotBeWrittenNeverCostsTheRead) {
    Start();
    std::string noise(4096, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 31 % 251);
    test::WriteBytes(dir.File(kLogbookFileName), noise);
    const CliRun warned = RunCli(dir.Path(), {"read", "-o", "out.csv"});
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(warned.err.rfind(std::string("odomei-cli: warning: ") + kLogbookWriteFailedText, 0),
              0u)
        << warned.err;
    EXPECT_EQ(ReadBytes(dir.File("out.csv")), Golden());
    const CliRun required = RunCli(dir.Path(), {"read", "--require-logbook", "-o", "again.csv"});
    EXPECT_EQ(required.status, 9);
    EXPECT_EQ(ReadBytes(dir.File("again.csv")), Golden());
    EXPECT_EQ(ReadBytes(dir.File(kLogbookFileName)), noise);  // never overwritten
    EXPECT_EQ(RunCli(dir.Path(), {"history"}).status, 9);
    // Elsewhere, or not at all.
    ASSERT_EQ(RunCli(dir.Path(), {"read", "--logbook", "car.sqlite3", "-o", "out.csv"}).status, 0);
    EXPECT_TRUE(test::Exists(dir.File("car.sqlite3")));
    EXPECT_EQ(
        RunCli(dir.Path(), {"read", "--no-logbook", "--require-logbook", "-o", "x.csv"}).status, 2);

    // An import that cannot be stored says so, and speaks of no read: nothing was read.
    test::MakeDatabase(dir.File("car.sqlite3"),
                       "CREATE TRIGGER refuse BEFORE INSERT ON reads "
                       "BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    const CliRun import = RunCli(dir.Path(), {"import", "--logbook", "car.sqlite3", "out.csv"});
    EXPECT_EQ(import.status, 9);
    EXPECT_EQ(import.err.rfind(std::string("odomei-cli: ") + kLogbookImportFailedText + "\n", 0),
              0u)
        << import.err;
    EXPECT_NE(import.err.find("store the import"), std::string::npos) << import.err;
    EXPECT_EQ(import.err.find("read"), std::string::npos) << import.err;
}

TEST_F(Cli, HistoryAndStatsNeverCreateOrChangeALogbookAndFailWhereItCannotBeRead) {
    // None there yet (a typing error, say): said, with the path, and nothing made.
    for (const char* command : {"history", "stats", "chart"}) {
        const CliRun r = RunCli(dir.Path(), {command, "--logbook", "typo.sqlite3"});
        EXPECT_EQ(r.status, 9) << command;
        EXPECT_NE(r.err.find("typo.sqlite3: no logbook there yet"), std::string::npos) << r.err;
        EXPECT_FALSE(test::Exists(dir.File("typo.sqlite3")));
    }
    // Another program's database: refused and left as it was, by writing commands as well.
    test::MakeDatabase(dir.File("other.sqlite3"), "CREATE TABLE notes(text TEXT);");
    const std::string other = ReadBytes(dir.File("other.sqlite3"));
    test::WriteBytes(dir.File("saved.csv"), Golden());
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"stats", "--logbook", "other.sqlite3"},
             {"import", "--logbook", "other.sqlite3", "saved.csv"}}) {
        const CliRun r = RunCli(dir.Path(), args);
        EXPECT_EQ(r.status, 9) << args[0];
        EXPECT_NE(r.err.find("other.sqlite3: not an ODOMEI logbook"), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadBytes(dir.File("other.sqlite3")), other);
    // A logbook whose records cannot be read is a failure, not a summary of nothing.
    ASSERT_EQ(RunCli(dir.Path(), {"import", "saved.csv"}).status, 0);
    test::SpoilPagesAfterFirst(dir.File(kLogbookFileName));
    for (const char* command : {"history", "stats", "chart"}) {
        const CliRun r = RunCli(dir.Path(), {command});
        EXPECT_EQ(r.status, 9) << command << r.out;
        EXPECT_EQ(r.out, "") << command;
    }
    // Another program's database in WAL mode, where SQLite makes a -shm and a -wal file beside it
    // even to look: no command opens it, so none appears. The doctor finds it through the INI's
    // logbook setting (COM1 leads nowhere: it looks at no port of this machine).
    test::MakeDatabase(dir.File("wal.sqlite3"),
                       "PRAGMA journal_mode = WAL; PRAGMA application_id = "
                       "305419896; CREATE TABLE notes(text TEXT);");
    test::WriteBytes(dir.File("KORVANA.ini"), "[Ports]\r\nCOM1=" + dir.File("unplugged") +
                                                  "\r\n[Logbook]\r\nPath=wal.sqlite3\r\n");
    const auto files = FilesIn(dir.Path());
    const std::string wal = ReadBytes(dir.File("wal.sqlite3"));
    for (const char* command : {"history", "stats", "chart", "doctor"}) {
        const CliRun r = RunCli(dir.Path(), {command});
        EXPECT_NE((r.err + r.out).find("wal.sqlite3: not an ODOMEI logbook"), std::string::npos)
            << command << r.err << r.out;
        EXPECT_EQ(FilesIn(dir.Path()), files) << command;
        EXPECT_TRUE(ReadBytes(dir.File("wal.sqlite3")) == wal) << command;
    }
}

TEST_F(Cli, ChartDrawsTheLogbookAsSvgToAFileOrStandardOutput) {
    test::WriteBytes(dir.File("saved.csv"), Golden());
    ASSERT_EQ(RunCli(dir.Path(), {"import", "saved.csv"}).status, 0);
    auto count = [](const std::string& svg, const std::string& what) {
        std::size_t n = 0;
        for (auto at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) ++n;
        return n;
    };
    // Both charts, one below the other, replacing the file whole.
    test::WriteBytes(dir.File("charts.svg"), "old");
    const CliRun both = RunCli(dir.Path(), {"chart", "-o", "charts.svg"});
    ASSERT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(both.out, "");
    const std::string svg = ReadBytes(dir.File("charts.svg"));
    EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u) << svg;
    EXPECT_NE(svg.find("width=\"800\" height=\"640\""), std::string::npos);
    EXPECT_EQ(count(svg, "<polyline "), 4u);
    EXPECT_EQ(count(svg, ">燃費計から</text>"), 1u);
    EXPECT_EQ(count(svg, ">補正値</text>"), 1u);
    EXPECT_EQ(count(svg, "[km/L]"), 1u);
    EXPECT_EQ(RunCli(dir.Path(), {"chart", "-o", "-"}).out, svg);

    // One chart at a size of its own, in the other unit.
    const CliRun economy = RunCli(dir.Path(), {"chart", "--what", "economy", "--width", "500",
                                               "--height", "200", "--units", "L/100km"});
    ASSERT_EQ(economy.status, 0) << economy.err;
    EXPECT_NE(economy.out.find("width=\"500\" height=\"200\""), std::string::npos);
    EXPECT_EQ(count(economy.out, "<polyline "), 2u);
    EXPECT_EQ(count(economy.out, "[L/100km]"), 1u);
    EXPECT_EQ(count(economy.out, "補正値"), 0u);
    // A range without records draws the frame and says so.
    const CliRun none = RunCli(
        dir.Path(), {"chart", "--what", "error", "--from", "1999-01-01", "--to", "1999-12-31"});
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(count(none.out, "<polyline "), 0u);
    EXPECT_EQ(count(none.out, "表示できる記録がありません"), 1u);
    // Economies one unit in the last place apart (700000.01 km on 700000.00 L, then 700000.02 on
    // 700000.01) draw as the one figure they are, and the program ends (bounded generously: a
    // wrong axis used to fill the memory in seconds).
    const std::string golden = Golden();
    test::WriteBytes(dir.File("flat.csv"),
                     golden.substr(0, golden.find("\r\n") + 2) +
                         Sjis("2015年01月09日,700000.01,700000.00,100.00,700000.00,0.00\r\n"
                              "2015年01月30日,700000.02,700000.01,100.00,700000.01,0.00\r\n"));
    ASSERT_EQ(RunCli(dir.Path(), {"import", "--logbook", "flat.sqlite3", "flat.csv"}).status, 0);
    CliProcess flat(dir.Path(),
                    {"chart", "--logbook", "flat.sqlite3", "--what", "economy", "-o", "flat.svg"});
    ASSERT_TRUE(flat.EndsWithin(kNoHangMs));
    ASSERT_EQ(flat.Wait().status, 0);
    const std::string flatSvg = ReadBytes(dir.File("flat.svg"));
    EXPECT_EQ(count(flatSvg, "<polyline "), 2u);
    EXPECT_EQ(count(flatSvg, ">1.0</text>"), 1u) << flatSvg;
    // Sizes out of bounds and unknown charts are usage errors.
    for (const auto& args : std::vector<std::vector<std::string>>{{"chart", "--width", "10"},
                                                                  {"chart", "--height", "100000"},
                                                                  {"chart", "--what", "fuel"}}) {
        EXPECT_EQ(RunCli(dir.Path(), args).status, 2) << args[1];
    }
    // A size that is no whole number is called so, not out of range.
    for (const char* size : {"1e3", "800.0", "0x320", "-800", " 800"}) {
        const CliRun r = RunCli(dir.Path(), {"chart", "--width", size});
        EXPECT_EQ(r.status, 2) << size;
        EXPECT_NE(r.err.find("not a whole number"), std::string::npos) << r.err;
    }
    EXPECT_EQ(RunCli(dir.Path(), {"chart", "--height", "240", "-o", "c.svg"}).status, 0);
}

TEST_F(Cli, AReadOnlyLogbookIsNotWrittenEvenByRoot) {
    Start();
    ASSERT_EQ(RunCli(dir.Path(), {"read", "-o", "out.csv"}).status, 0);
    ASSERT_EQ(chmod(dir.File(kLogbookFileName).c_str(), 0444), 0);
    const std::string kept = ReadBytes(dir.File(kLogbookFileName));
    const CliRun warned = RunCli(dir.Path(), {"read", "-o", "out.csv"});
    EXPECT_EQ(warned.status, 0);
    EXPECT_NE(warned.err.find(kLogbookFileName + std::string(": read-only file")),
              std::string::npos)
        << warned.err;
    EXPECT_EQ(RunCli(dir.Path(), {"read", "--require-logbook", "-o", "out.csv"}).status, 9);
    EXPECT_EQ(ReadBytes(dir.File(kLogbookFileName)), kept);
}

TEST(JsonText, EveryTextThatIsNotUtf8IsMendedWithItsBytesBesideIt) {
    const std::string bad = "a\x83z";
    EXPECT_EQ(cli::JsonTextMember("path", "/tmp/a"), "\"path\": \"/tmp/a\"");
    EXPECT_EQ(cli::JsonTextMember("path", bad), "\"path\": \"a\uFFFDz\", \"pathHex\": \"61837a\"");
    nlohmann::json doc = {{"path", bad},
                          {"fine", "テスト"},
                          {"count", 3},
                          {"findings", {"ok", bad}},
                          {"ports", {{{"device", bad}}, {{"device", "/dev/ttyUSB0"}}}}};
    cli::MendUtf8(doc, cli::kSnakeHexSuffix);
    EXPECT_NO_THROW(doc.dump());
    EXPECT_EQ(doc["path"], "a\uFFFDz");
    EXPECT_EQ(doc["path_hex"], "61837a");
    EXPECT_EQ(doc["fine"], "テスト");
    EXPECT_FALSE(doc.contains("fine_hex"));
    EXPECT_EQ(doc["findings"], nlohmann::json({"ok", "a\uFFFDz"}));
    EXPECT_EQ(doc["findings_hex"], nlohmann::json({nullptr, "61837a"}));
    EXPECT_EQ(doc["ports"][0]["device_hex"], "61837a");
    EXPECT_FALSE(doc["ports"][1].contains("device_hex"));
    EXPECT_FALSE(doc.contains("ports_hex"));
}

TEST_F(Cli, DoctorsJsonStaysValidInAFolderWhoseNameIsNotUtf8) {
    // テスト in CP932, as a folder unzipped from a Windows machine is named.
    const std::string name = "\x83\x65\x83\x58\x83\x67";
    const std::string work = dir.File(name);
    ASSERT_EQ(mkdir(work.c_str(), 0700), 0);
    WriteIniString(kPortsSection, "COM1", dir.File("unplugged"), work + "/KORVANA.ini");
    const CliRun r = RunCli(work, {"doctor", "--format", "json"});
    EXPECT_EQ(r.status, 3) << r.err;  // COM1 is not there: said, not an internal error
    const auto doc = nlohmann::json::parse(r.out);
    for (const char* part : {"ini", "log", "logbook"}) {
        SCOPED_TRACE(part);
        const std::string path = doc[part]["path"];
        EXPECT_EQ(path.rfind(dir.Path() + "/\uFFFD", 0), 0u) << path;
        EXPECT_EQ(doc[part]["path_hex"].get<std::string>().rfind(Hex(work + "/"), 0), 0u);
    }
    EXPECT_EQ(doc["ini"]["found"], true);
    EXPECT_FALSE(doc["port"].contains("device_hex"));  // a path that is UTF-8 gets nothing beside
}

TEST_F(Cli, DoctorCallsALogbookInAFolderThatTakesNoJournalUnwritableAsImportFindsIt) {
    test::LockedFolder folder;
    const std::string ini = dir.File("KORVANA.ini");
    WriteIniString(kPortsSection, "COM1", dir.File("unplugged"), ini);
    WriteIniString(kLogbookSection, kLogbookPathKey, folder.File(kLogbookFileName), ini);
    test::WriteBytes(dir.File("saved.csv"), Golden());
    auto logbook = [&] {
        return nlohmann::json::parse(
            RunCli(dir.Path(), {"doctor", "--format", "json"}).out)["logbook"];
    };
    EXPECT_EQ(logbook()["writable"], true);  // the first import makes it
    ASSERT_EQ(RunCli(dir.Path(), {"import", "saved.csv"}).status, 0);
    EXPECT_EQ(logbook()["exists"], true);
    EXPECT_EQ(logbook()["writable"], true);

    if (!folder.Lock()) GTEST_SKIP() << "no folder to lock here (root without mounts)";
    const auto locked = logbook();
    EXPECT_EQ(locked["exists"], true);
    EXPECT_EQ(locked["writable"], false);
    EXPECT_NE(
        locked["note"].get<std::string>().find("its folder " + folder.Path() + " is read-only"),
        std::string::npos)
        << locked;
    // The file itself could be written: SQLite's journal is what the folder refuses.
    EXPECT_EQ(RunCli(dir.Path(), {"import", "saved.csv"}).status, 9);
    const CliRun text = RunCli(dir.Path(), {"doctor"});
    EXPECT_NE(text.out.find("Logbook: " + folder.File(kLogbookFileName) + "\n  not writable: "),
              std::string::npos)
        << text.out;

    // A new logbook there cannot be made either.
    WriteIniString(kLogbookSection, kLogbookPathKey, folder.File("other.sqlite3"), ini);
    EXPECT_EQ(logbook()["writable"], false);
}

TEST_F(Cli, PortsListsTheMachinesPortsAndThePortsEntries) {
    // Without [Ports]: the machine's own list, numbered as the window numbers it.
    const auto lister = SystemPortLister();
    const auto system = PortMap({}, lister.get()).SystemPorts();
    const CliRun plain = RunCli(dir.Path(), {"ports"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    std::string expected;
    for (std::size_t i = 0; i < system.size(); ++i) {
        expected += ComName(static_cast<int>(i) + 1) + "\t" + system[i].device + "\n";
    }
    std::string listed;
    std::istringstream in(plain.out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("COM", 0) == 0) listed += line + "\n";
    }
    EXPECT_EQ(listed, expected) << plain.out;
    if (system.empty()) {
        EXPECT_EQ(plain.out, "No serial port was found on this computer.\n");
    }

    // With [Ports]: the entries win and are marked as such.
    Start();
    WriteIniString(kPortsSection, "COM9", "/dev/ttyUSB7", meter->Ini());
    const CliRun mapped = RunCli(dir.Path(), {"ports"});
    ASSERT_EQ(mapped.status, 0) << mapped.err;
    const std::string from = "\tmapped by: [Ports] in " + dir.File("KORVANA.ini") + "\n";
    EXPECT_NE(mapped.out.find("COM1\t" + dir.File("meter-tty") + "\n" + from), std::string::npos)
        << mapped.out;
    EXPECT_NE(mapped.out.find("COM9\t/dev/ttyUSB7\n" + from), std::string::npos) << mapped.out;
}

TEST_F(Cli, PortAutoFindsTheMeterBehindASilentPortAndOneThatAnswersGarbage) {
    // COM1 never answers, COM2 sends what a GPS receiver would, COM3 is the meter; the search
    // tries the ports [Ports] names, the setting's (COM1) first. Nothing else of this machine's
    // is tried without --all-ports.
    metersim::Options silent, junk;
    silent.silent = true;
    silent.linkPath = dir.File("silent-tty");
    std::string nmea;
    while (nmea.size() < 300) nmea += "$GPGGA,101500.00,3540.1,N,13945.3,E,1,08,1.0,40.0,M*5B\r\n";
    junk.answer.assign(nmea.begin(), nmea.begin() + 300);
    junk.pace = false;
    junk.linkPath = dir.File("junk-tty");
    metersim::MeterSim silentSim(silent), junkSim(junk);
    std::string error;
    ASSERT_TRUE(silentSim.Start(&error)) << error;
    ASSERT_TRUE(junkSim.Start(&error)) << error;
    Start();  // the meter, COM1 in KORVANA.ini: moved to COM3
    const std::string ini = meter->Ini();
    WriteIniString(kPortsSection, "COM3", dir.File("meter-tty"), ini);
    WriteIniString(kPortsSection, "COM1", dir.File("silent-tty"), ini);
    WriteIniString(kPortsSection, "COM2", dir.File("junk-tty"), ini);
    WriteIniString(kPortsSection, "COM4", "/dev/null", ini);  // named, and left out with why

    const test::DateWatch date;
    const CliRun found = RunCli(dir.Path(), {"read", "--port", "auto", "-o", "found.csv"});
    ASSERT_EQ(found.status, 0) << found.err;
    EXPECT_NE(found.err.find("odomei-cli: COM4 (/dev/null) is not searched: /dev/null is not a "
                             "serial port: it is a character device that is not a terminal.\n"),
              std::string::npos)
        << found.err;
    EXPECT_EQ(ReadBytes(dir.File("found.csv")), Golden());
    EXPECT_NE(found.err.find("the meter answered on COM3 (" + dir.File("meter-tty") + ")"),
              std::string::npos)
        << found.err;
    // Every port was asked at once: the GPS receiver, left once the meter had answered, had
    // each answer it gave refused, and was not left in the middle of one.
    EXPECT_EQ(silentSim.Received(), Bytes{STX});
    const Bytes junkGot = junkSim.Received();
    ASSERT_GE(junkGot.size(), 2u);
    EXPECT_LE(junkGot.size(), 6u);
    for (std::size_t i = 0; i < junkGot.size(); ++i) EXPECT_EQ(junkGot[i], i % 2 ? NAK : STX) << i;
    EXPECT_EQ(junkGot.size() % 2, 0u);
    if (date.SameDate()) {
        EXPECT_NE(
            ReadBytes(dir.File("KORVANA.log")).find("onSearch COM1 (" + dir.File("silent-tty")),
            std::string::npos);
    }
    // The setting is only read, never changed by the command line.
    EXPECT_FALSE(IniHasKey(kPortSection, kPortKey, ini));

    // Without the meter: the most telling failure, with every port tried named. The GPS
    // receiver's answer has a bad check byte, as a read of that port would say ...
    WriteIniString(kPortsSection, "COM3", dir.File("unplugged"), ini);
    const CliRun none = RunCli(dir.Path(), {"read", "--port", "auto", "-o", "none.csv"});
    EXPECT_EQ(none.status, 5);
    EXPECT_NE(none.err.find("odomei-cli: ＢＣＣエラーが発生しました\n"), std::string::npos)
        << none.err;
    EXPECT_NE(none.err.find("  no meter answered on any port searched:\n  COM1 (" +
                            dir.File("silent-tty") + "): no answer"),
              std::string::npos)
        << none.err;
    EXPECT_NE(none.err.find("\n  COM2 (" + dir.File("junk-tty") + "): "), std::string::npos)
        << none.err;
    EXPECT_EQ(none.err.find("::"), std::string::npos) << none.err;
    EXPECT_EQ(junkSim.Received().size(), junkGot.size() + 6);  // all three tries this time
    EXPECT_FALSE(test::Exists(dir.File("none.csv")));
    // ... and where nothing answered at all, it is a time-out.
    WriteIniString(kPortsSection, "COM2", dir.File("unplugged"), ini);
    const CliRun silence = RunCli(dir.Path(), {"read", "--port", "auto"});
    EXPECT_EQ(silence.status, 4);
    EXPECT_NE(
        silence.err.find("odomei-cli: コマンド受信処理でエラーが発生しました(タイムアウト)\n"),
        std::string::npos)
        << silence.err;
    EXPECT_EQ(RunCli(dir.Path(), {"read", "--port", "COM1", "--all-ports"}).status, 2);
}

TEST_F(Cli, DoctorSaysWhetherAReadCouldStartAndWhatStandsInTheWay) {
    Start();
    const std::string tty = dir.File("meter-tty");
    WriteIniString(kPortSection, kPortKey, "1", meter->Ini());  // CP932 text in the file
    const CliRun ok = RunCli(dir.Path(), {"doctor"});
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
    for (const std::string& part :
         {"Port: COM1 (" + std::string(kPortKey) + "=1)\n  leads to: " + tty + "\n",
          "  mapped by: [Ports] in " + dir.File("KORVANA.ini") + "\n", "* COM1   " + tty,
          "INI file: " + dir.File("KORVANA.ini") + "\n  found, CP932\n",
          "Communication log: " + dir.File("KORVANA.log") + "\n  writable",
          std::string("Verdict: a read can start now.\n")}) {
        EXPECT_NE(ok.out.find(part), std::string::npos) << part << "\n" << ok.out;
    }
    EXPECT_TRUE(meter->Sim().Received().empty());  // looking sends nothing

    // The same as JSON, with a log that cannot be written and an INI saved as UTF-8.
    test::WriteBytes(dir.File("KORVANA.log"), "");
    chmod(dir.File("KORVANA.log").c_str(), 0444);
    test::WriteBytes(meter->Ini(), "\xEF\xBB\xBF[Ports]\r\nCOM1=" + tty + "\r\n");
    const CliRun json = RunCli(dir.Path(), {"doctor", "--format", "json"});
    EXPECT_EQ(json.status, 0) << json.out << json.err;
    const auto doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc["verdict"]["usable"], true);
    EXPECT_EQ(doc["verdict"]["state"], "free");
    EXPECT_EQ(doc["port"]["device"], tty);
    EXPECT_EQ(doc["ini"]["encoding"], "UTF-8 with BOM");
    EXPECT_EQ(doc["ini"]["setting_present"], false);
    EXPECT_EQ(doc["log"]["exists"], true);
    EXPECT_EQ(doc["log"]["writable"], false);
    EXPECT_EQ(doc["logbook"]["exists"], false);
    EXPECT_EQ(doc["logbook"]["writable"], true);
    const auto current = std::find_if(doc["ports"].begin(), doc["ports"].end(),
                                      [](const auto& p) { return p["current"] == true; });
    ASSERT_NE(current, doc["ports"].end()) << json.out;
    EXPECT_EQ((*current)["device"], tty);
    EXPECT_EQ((*current)["from_ini"], true);
    test::WriteBytes(meter->Ini(), "[シリアル通信設定]\r\n[Ports]\r\nCOM1=" + tty + "\r\n");
    EXPECT_EQ(nlohmann::json::parse(
                  RunCli(dir.Path(), {"doctor", "--format", "json"}).out)["ini"]["encoding"],
              "UTF-8 without BOM");
    // Notepad's "Unicode" is read; a file of no known encoding is named, and left as it was.
    test::WriteBytes(meter->Ini(), std::string("\xFF\xFE[\0P\0o\0r\0t\0s\0]\0", 16));
    EXPECT_EQ(nlohmann::json::parse(
                  RunCli(dir.Path(), {"doctor", "--format", "json"}).out)["ini"]["encoding"],
              "UTF-16 LE with BOM");
    const std::string mixed =
        "; 設定\r\n" + Sjis("[シリアル通信設定]\r\n") + "[Ports]\r\nCOM1=" + tty + "\r\n";
    test::WriteBytes(meter->Ini(), mixed);
    const CliRun unknown = RunCli(dir.Path(), {"doctor"});
    EXPECT_NE(unknown.out.find("unknown encoding: bytes that are neither CP932 nor UTF-8"),
              std::string::npos)
        << unknown.out;
    EXPECT_NE(unknown.out.find("never written"), std::string::npos) << unknown.out;
    EXPECT_EQ(test::ReadBytes(meter->Ini()), mixed);
    test::WriteBytes(meter->Ini(), "[Ports]\r\nCOM1=" + tty + "\r\n");

    // A [Ports] entry that names nothing: status 3, the cause, and the same for a read.
    const std::string gone = dir.File("unplugged");
    WriteIniString(kPortsSection, "COM1", gone, meter->Ini());
    const CliRun missing = RunCli(dir.Path(), {"doctor"});
    EXPECT_EQ(missing.status, 3) << missing.out;
    EXPECT_NE(missing.out.find("Verdict: a read cannot start (missing).\n  the entry COM1=" + gone +
                               " of section [Ports] names a device that is not there"),
              std::string::npos)
        << missing.out;
    const auto missingJson =
        nlohmann::json::parse(RunCli(dir.Path(), {"doctor", "--format", "json"}).out);
    EXPECT_EQ(missingJson["verdict"]["usable"], false);
    EXPECT_EQ(missingJson["verdict"]["state"], "missing");
    const CliRun read = RunCli(dir.Path(), {"read", "-o", "out.csv"});
    EXPECT_EQ(read.status, 3);
    EXPECT_NE(read.err.find("names a device that is not there: is the adapter plugged in?"),
              std::string::npos)
        << read.err;

    // A named pipe, a folder and /dev/null are no serial port, however many programs have them
    // open, and a read there fails as said.
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.File("folder"));
    for (const auto& [path, what] :
         {std::pair<std::string, std::string>{fifo, "a named pipe (FIFO)"},
          {dir.File("folder"), "a folder"},
          {"/dev/null", "a character device that is not a terminal"}}) {
        WriteIniString(kPortsSection, "COM1", path, meter->Ini());
        const CliRun looked = RunCli(dir.Path(), {"doctor"});
        EXPECT_EQ(looked.status, 3) << looked.out;
        EXPECT_NE(looked.out.find("Verdict: a read cannot start (not a serial port).\n  " + path +
                                  " is not a serial port: it is " + what + "."),
                  std::string::npos)
            << looked.out;
        EXPECT_EQ(looked.out.find(path + " is in use"), std::string::npos) << looked.out;
        const auto looking =
            nlohmann::json::parse(RunCli(dir.Path(), {"doctor", "--format", "json"}).out);
        EXPECT_EQ(looking["verdict"]["state"], "not a serial port");
        EXPECT_EQ(looking["verdict"]["usable"], false);
        EXPECT_EQ(RunCli(dir.Path(), {"read", "-o", "out.csv"}).status, 3);
    }

    // --port names the device itself.
    const CliRun direct = RunCli(dir.Path(), {"doctor", "--port", tty});
    EXPECT_EQ(direct.status, 0) << direct.out;
    EXPECT_NE(direct.out.find("Port: " + tty + "\n  leads to: " + tty + "\n  mapped by: --port\n"),
              std::string::npos)
        << direct.out;
}

// ---- Several cars in one logbook ----------------------------------------------------------------

class CliVehicles : public Cli {
protected:
    // A read of car's meter at its read `read` (metersim::SequenceBlock) to out.csv unless args
    // name another output, into the logbook and, as a second read of the same meter, into `alone`
    // where given (a logbook of that car's reads only).
    CliRun ReadCar(int read, int car, std::vector<std::string> args = {},
                   const std::string& alone = {}) {
        metersim::Options options;
        const auto answer = metersim::SequenceBlock(read, car);
        options.answer.assign(answer.begin(), answer.end());
        options.pace = false;
        meter.reset();
        Start(options);
        if (!alone.empty()) {
            const CliRun separate =
                RunCli(dir.Path(), {"read", "--no-log", "--logbook", alone, "-o", "alone.csv"});
            EXPECT_EQ(separate.status, 0) << separate.err;
        }
        if (std::find(args.begin(), args.end(), "-o") == args.end())
            args.insert(args.begin(), {"-o", "out.csv"});
        args.insert(args.begin(), "read");
        return RunCli(dir.Path(), args);
    }
    // What `vehicles --format json` says, parsed.
    nlohmann::json Vehicles() {
        const CliRun r = RunCli(dir.Path(), {"vehicles", "--format", "json"});
        EXPECT_EQ(r.status, 0) << r.err;
        return nlohmann::json::parse(r.out);
    }
    nlohmann::json Stats(std::vector<std::string> args) {
        args.insert(args.begin(), {"stats", "--format", "json"});
        const CliRun r = RunCli(dir.Path(), args);
        EXPECT_EQ(r.status, 0) << r.err;
        return nlohmann::json::parse(r.out);
    }
    std::string Selection() {
        return ReadIniString(kLogbookSection, kLogbookVehicleKey, dir.File("KORVANA.ini"))
            .value_or("");
    }
};

TEST_F(CliVehicles, EachCarsReadsGoToItsOwnVehicleWhicheverIsSelected) {
    const std::string first = kFirstVehicleName;
    // Car A (the logbook's first vehicle) and car B, read in turns; each read also goes into a
    // logbook of its car alone.
    ASSERT_EQ(ReadCar(0, 0, {}, "a.sqlite3").status, 0);
    const CliRun added =
        RunCli(dir.Path(), {"vehicles", "add", "B", "--note", "品川 300 あ 12-34"});
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(RunCli(dir.Path(), {"vehicles", "add", "B"}).status, 2);  // taken
    // A read of another vehicle than the selected one says where it went; the others say nothing.
    for (const auto& [read, car, args, said] :
         std::vector<std::tuple<int, int, std::vector<std::string>, std::string>>{
             {0, 1, {"--vehicle", "B"}, ""}, {1, 0, {}, ""}, {1, 1, {}, "B"}}) {
        const CliRun r = ReadCar(read, car, args, car == 0 ? "a.sqlite3" : "b.sqlite3");
        ASSERT_EQ(r.status, 0) << read << " " << car << r.err;
        EXPECT_EQ(r.err, said.empty()
                             ? ""
                             : "odomei-cli: the read was kept with vehicle " + said +
                                   ": its records are that vehicle's (" + first + " is selected)\n")
            << read << " " << car;
    }
    // With B selected (as the window would have it), B's meter says nothing, A's meter still goes
    // to A.
    ASSERT_EQ(RunCli(dir.Path(), {"vehicles", "select", "B"}).status, 0);
    EXPECT_EQ(Selection(), "B");
    const CliRun quiet = ReadCar(2, 1, {}, "b.sqlite3");
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    const CliRun toA = ReadCar(2, 0, {"--format", "json", "-o", "-"}, "a.sqlite3");
    ASSERT_EQ(toA.status, 0) << toA.err;
    EXPECT_EQ(nlohmann::json::parse(toA.out)["vehicle"], first);
    EXPECT_NE(toA.err.find("kept with vehicle " + first), std::string::npos) << toA.err;
    const CliRun toB = ReadCar(3, 1, {"--format", "json", "-o", "-"}, "b.sqlite3");
    ASSERT_EQ(toB.status, 0) << toB.err;
    EXPECT_EQ(nlohmann::json::parse(toB.out)["vehicle"], "B");
    EXPECT_EQ(toB.err, "");

    const auto vehicles = Vehicles();
    ASSERT_EQ(vehicles.size(), 1u);
    ASSERT_EQ(vehicles["vehicles"].size(), 2u);
    const auto& a = vehicles["vehicles"][0];
    const auto& b = vehicles["vehicles"][1];
    EXPECT_EQ(a["name"], first);
    EXPECT_EQ(a["note"], "");
    EXPECT_EQ(a["records"], 15 + 2 * metersim::kSequenceStep);
    EXPECT_EQ(a["firstDate"], "2013-01-05");
    EXPECT_EQ(b["name"], "B");
    EXPECT_EQ(b["note"], "品川 300 あ 12-34");
    EXPECT_EQ(b["records"], 15 + 3 * metersim::kSequenceStep);
    EXPECT_EQ(b["firstDate"], "2013-01-10");
    for (const auto& v : vehicles["vehicles"]) {
        EXPECT_EQ(v.size(), 8u);
        EXPECT_EQ(v["currency"], "JPY");
        EXPECT_EQ(v["odometer"], nlohmann::json::array());
        EXPECT_TRUE(std::regex_match(v["lastRead"].get<std::string>(),
                                     std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}")));
        EXPECT_LT(v["firstDate"].get<std::string>(), v["lastDate"].get<std::string>());
    }
    // The table marks the selected one.
    const CliRun table = RunCli(dir.Path(), {"vehicles"});
    EXPECT_NE(table.out.find("\n*  B "), std::string::npos) << table.out;

    // Each vehicle's figures are those of a logbook holding only its car's reads.
    for (const auto& [name, alone] : std::vector<std::pair<std::string, std::string>>{
             {first, "a.sqlite3"}, {"B", "b.sqlite3"}}) {
        auto shown = Stats({"--vehicle", name});
        EXPECT_EQ(shown["vehicle"], name);
        shown.erase("vehicle");
        auto separate = Stats({"--logbook", alone});
        EXPECT_EQ(separate["vehicle"], first);
        separate.erase("vehicle");
        EXPECT_EQ(shown, separate) << name;
        const CliRun history =
            RunCli(dir.Path(), {"history", "--vehicle", name, "--format", "csv"});
        EXPECT_EQ(history.out,
                  RunCli(dir.Path(), {"history", "--logbook", alone, "--format", "csv"}).out);
    }
    // Without --vehicle: the one KORVANA.ini selects.
    EXPECT_EQ(Stats({})["vehicle"], "B");
    const CliRun json = RunCli(dir.Path(), {"history", "--format", "json"});
    EXPECT_EQ(nlohmann::json::parse(json.out)["vehicle"], "B");

    // Named for a read of A's meter, B keeps nothing; the output is written all the same.
    const auto before = Vehicles();
    const CliRun refused = ReadCar(3, 0, {"--vehicle", "B"});
    EXPECT_EQ(refused.status, 11) << refused.err;
    EXPECT_NE(refused.err.find(first), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--meter-moved"), std::string::npos) << refused.err;
    ASSERT_EQ(RunCli(dir.Path(), {"read", "--no-logbook", "-o", "expected.csv"}).status, 0);
    EXPECT_EQ(ReadBytes(dir.File("out.csv")), ReadBytes(dir.File("expected.csv")));
    EXPECT_EQ(Vehicles(), before);
}

TEST_F(CliVehicles, AMeterMovedToAnotherCarLeavesTheOldCarsRecordsWhereTheyAre) {
    const std::string first = kFirstVehicleName;
    ASSERT_EQ(ReadCar(0, 0).status, 0);
    ASSERT_EQ(ReadCar(1, 0).status, 0);
    ASSERT_EQ(RunCli(dir.Path(), {"vehicles", "add", "C"}).status, 0);
    // Its memory still holds twelve of A's refuels; three are C's.
    EXPECT_EQ(RunCli(dir.Path(), {"read", "--meter-moved", "-o", "x.csv"}).status, 2);
    const CliRun moved = ReadCar(2, 0, {"--vehicle", "C", "--meter-moved"});
    ASSERT_EQ(moved.status, 0) << moved.err;
    EXPECT_NE(moved.err.find("12 records the meter still holds stay with " + first +
                             "; 3 new records kept with C"),
              std::string::npos)
        << moved.err;
    const auto vehicles = Vehicles()["vehicles"];
    EXPECT_EQ(vehicles[0]["records"], 18);
    EXPECT_EQ(vehicles[1]["records"], 3);
    // C holds the three newest, none of A's.
    const auto c = nlohmann::json::parse(
        RunCli(dir.Path(), {"history", "--vehicle", "C", "--format", "json"}).out);
    const auto a = nlohmann::json::parse(
        RunCli(dir.Path(), {"history", "--vehicle", first, "--format", "json"}).out);
    ASSERT_EQ(c["records"].size(), 3u);
    ASSERT_EQ(a["records"].size(), 18u);
    EXPECT_LT(a["records"][17]["date"].get<std::string>(),
              c["records"][0]["date"].get<std::string>());

    // The meter's next reads overlap both A's refuels and C's: they follow the move, with the
    // first vehicle selected or C named, and A's records stay where they are.
    const CliRun next = ReadCar(3, 0, {"--format", "json", "-o", "-"});
    ASSERT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(nlohmann::json::parse(next.out)["vehicle"], "C");
    EXPECT_NE(next.err.find("kept with vehicle C"), std::string::npos) << next.err;
    EXPECT_NE(next.err.find("9 records the meter still holds stay with " + first +
                            "; 3 new records kept with C"),
              std::string::npos)
        << next.err;
    const CliRun named = ReadCar(4, 0, {"--vehicle", "C"});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(Vehicles()["vehicles"][0]["records"], 18);
    EXPECT_EQ(Vehicles()["vehicles"][1]["records"], 9);
    // Named for A, it is refused: the meter sits in C.
    EXPECT_EQ(ReadCar(5, 0, {"--vehicle", first}).status, 11);
    EXPECT_EQ(Vehicles()["vehicles"][1]["records"], 9);
}

TEST_F(CliVehicles, AFirstReadOfAnotherCarsMeterIsKeptNowhereUntilTheUserSaysWhose) {
    // A's refuels since January 2013; B's first read holds refuels dated in between.
    ASSERT_EQ(ReadCar(0, 0).status, 0);
    ASSERT_EQ(ReadCar(1, 0).status, 0);
    const auto before = Vehicles();
    const CliRun mixed = ReadCar(0, 1, {"--format", "json"});
    EXPECT_EQ(mixed.status, 11) << mixed.err;
    EXPECT_TRUE(nlohmann::json::parse(ReadBytes(dir.File("out.csv")))["vehicle"].is_null());
    EXPECT_EQ(mixed.err.rfind(std::string("odomei-cli: error: ") + kKeptNowhereText + "\n", 0), 0u)
        << mixed.err;
    EXPECT_NE(mixed.err.find("vehicles add"), std::string::npos) << mixed.err;
    EXPECT_EQ(Vehicles(), before);
    // With the logbook left out nothing is asked of it; named, the read is kept.
    EXPECT_EQ(RunCli(dir.Path(), {"read", "--no-logbook", "-o", "x.csv"}).status, 0);
    ASSERT_EQ(RunCli(dir.Path(), {"vehicles", "add", "B"}).status, 0);
    const CliRun named = RunCli(dir.Path(), {"read", "--vehicle", "B", "-o", "x.csv"});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(Vehicles()["vehicles"][1]["records"], 15);
}

TEST_F(CliVehicles, AVehicleIsNamedOnlyAsTheLogbookHasItAndNamesAreChecked) {
    const std::string first = kFirstVehicleName;
    const std::string ini = dir.File("KORVANA.ini");
    WriteIniString(kPortsSection, "COM1", dir.File("unplugged"), ini);
    // No logbook yet: only its first vehicle can be named, and nothing is made by a refusal.
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"read", "--vehicle", "B"},
                                               {"import", "--vehicle", "B", "saved.csv"},
                                               {"vehicles", "rename", "B", "C"},
                                               {"vehicles", "select", "B"}}) {
        test::WriteBytes(dir.File("saved.csv"), Golden());
        const CliRun r = RunCli(dir.Path(), args);
        EXPECT_EQ(r.status, 2) << args[0] << r.err;
        EXPECT_NE(r.err.find("its vehicles: " + first + "\n"), std::string::npos) << r.err;
        EXPECT_FALSE(test::Exists(dir.File(kLogbookFileName))) << args[0];
    }
    EXPECT_EQ(RunCli(dir.Path(), {"vehicles"}).status, 9);
    // Names that cannot be a vehicle's.
    for (const std::string name : {"", " ", " B", "B ", "a\tb", "a\nb", "\xF0\x9F\x9A\x97"}) {
        const CliRun r = RunCli(dir.Path(), {"vehicles", "add", name});
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_NE(r.err.find(kVehicleNameProblemText), std::string::npos) << r.err;
    }
    EXPECT_FALSE(test::Exists(dir.File(kLogbookFileName)));
    ASSERT_EQ(RunCli(dir.Path(), {"vehicles", "add", "ﾌﾟﾘｳｽ", "--note", "練馬 500"}).status, 0);
    ASSERT_EQ(RunCli(dir.Path(), {"vehicles", "add", "B"}).status, 0);

    // Unknown names are usage errors listing the vehicles, on every command, before the meter is
    // read (the port leads nowhere: a read that got that far would be status 3).
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"read", "--vehicle", "X"},
                                               {"history", "--vehicle", "X"},
                                               {"stats", "--vehicle", "X"},
                                               {"chart", "--vehicle", "X"},
                                               {"import", "--vehicle", "X", "saved.csv"},
                                               {"vehicles", "rename", "X", "Y"},
                                               {"vehicles", "note", "X", "text"},
                                               {"vehicles", "remove", "X", "--yes"},
                                               {"vehicles", "select", "X"}}) {
        const CliRun r = RunCli(dir.Path(), args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << r.err;
        EXPECT_NE(r.err.find("no vehicle 'X'"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("its vehicles: " + first + ", ﾌﾟﾘｳｽ, B\n"), std::string::npos)
            << r.err;
    }
    EXPECT_EQ(RunCli(dir.Path(), {"vehicles", "rename", "B", "ﾌﾟﾘｳｽ"}).status, 2);  // taken

    // The selection follows a rename and goes with a removal.
    ASSERT_EQ(RunCli(dir.Path(), {"vehicles", "select", "B"}).status, 0);
    ASSERT_EQ(RunCli(dir.Path(), {"vehicles", "rename", "B", "軽トラ"}).status, 0);
    EXPECT_EQ(Selection(), "軽トラ");
    ASSERT_EQ(RunCli(dir.Path(), {"vehicles", "note", "軽トラ", "農道用"}).status, 0);
    ASSERT_EQ(RunCli(dir.Path(), {"import", "saved.csv"}).status, 0);  // into the selected one
    const auto vehicles = Vehicles()["vehicles"];
    ASSERT_EQ(vehicles.size(), 3u);
    EXPECT_EQ(vehicles[2]["name"], "軽トラ");
    EXPECT_EQ(vehicles[2]["note"], "農道用");
    EXPECT_EQ(vehicles[2]["records"], 15);
    EXPECT_EQ(vehicles[0]["records"], 0);
    EXPECT_TRUE(vehicles[0]["firstDate"].is_null());
    EXPECT_TRUE(vehicles[0]["lastRead"].is_null());
    // No terminal to ask on: --yes or nothing.
    const CliRun unasked = RunCli(dir.Path(), {"vehicles", "remove", "軽トラ"});
    EXPECT_EQ(unasked.status, 2);
    EXPECT_NE(unasked.err.find("--yes"), std::string::npos) << unasked.err;
    EXPECT_EQ(Vehicles()["vehicles"].size(), 3u);
    // On a terminal it asks; only a yes removes.
    for (const char* answer : {"\n", "n\n", "yes please\n"}) {
        CliProcess asked(dir.Path(), {"vehicles", "remove", "軽トラ"}, true, {}, ODOMEI_CLI, -1,
                         true);
        asked.Type(answer);
        const CliRun r = asked.Wait();
        EXPECT_EQ(r.status, 0) << answer;
        EXPECT_NE(r.err.find("remove 軽トラ and its 15 records? [y/N] "), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("nothing removed"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Vehicles()["vehicles"].size(), 3u);
    CliProcess yes(dir.Path(), {"vehicles", "remove", "軽トラ"}, true, {}, ODOMEI_CLI, -1, true);
    yes.Type("y\n");
    const CliRun removed = yes.Wait();
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(removed.out, "removed vehicle 軽トラ and its 15 records\n");
    EXPECT_EQ(Selection(), "");
    ASSERT_EQ(RunCli(dir.Path(), {"vehicles", "remove", "ﾌﾟﾘｳｽ", "-y"}).status, 0);
    // The last one is renamed, never removed.
    EXPECT_EQ(RunCli(dir.Path(), {"vehicles", "remove", first, "--yes"}).status, 2);
    EXPECT_EQ(Vehicles()["vehicles"].size(), 1u);
}

TEST_F(CliVehicles, AWholeLogbookOfOneCarBecomesOneVehicleOnce) {
    // A folder per car, as before: the car's name is the folder's.
    std::filesystem::create_directories(dir.File("cars/ミラ"));
    const std::string other = dir.File("cars/ミラ/") + kLogbookFileName;
    ASSERT_EQ(ReadCar(0, 1, {"--logbook", other}).status, 0);
    ASSERT_EQ(ReadCar(1, 1, {"--logbook", other}).status, 0);
    ASSERT_EQ(ReadCar(0, 0).status, 0);
    const std::string bytes = ReadBytes(other);
    const CliRun merged = RunCli(dir.Path(), {"vehicles", "merge-logbook", other});
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(merged.out, other +
                              ": into vehicle ミラ (made now): 2 reads and 18 records added, 0 "
                              "records already there, 0 gaps added\n");
    const CliRun again = RunCli(dir.Path(), {"vehicles", "merge-logbook", other});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, other +
                             ": into vehicle ミラ (already there): 0 reads and 0 records added, 18 "
                             "records already there, 0 gaps added\n");
    EXPECT_EQ(ReadBytes(other), bytes);  // only read
    auto shown = Stats({"--vehicle", "ミラ"});
    auto alone = Stats({"--logbook", other});
    shown.erase("vehicle");
    alone.erase("vehicle");
    EXPECT_EQ(shown, alone);
    // Named otherwise; a later read of that car's meter finds its vehicle.
    const CliRun as = RunCli(dir.Path(), {"vehicles", "merge-logbook", other, "--as", "妻の車"});
    ASSERT_EQ(as.status, 0) << as.err;
    EXPECT_NE(as.out.find("into vehicle 妻の車 (made now)"), std::string::npos) << as.out;
    EXPECT_EQ(RunCli(dir.Path(), {"vehicles", "merge-logbook", other, "--as", " x"}).status, 2);
    test::WriteBytes(dir.File("notes.sqlite3"), std::string(4096, 'x'));
    const CliRun foreign = RunCli(dir.Path(), {"vehicles", "merge-logbook", "notes.sqlite3"});
    EXPECT_EQ(foreign.status, 9);
    EXPECT_NE(foreign.err.find(kLogbookMergeFailedText), std::string::npos) << foreign.err;
    EXPECT_EQ(Vehicles()["vehicles"].size(), 3u);
}

// ---- Prices, the odometer, and the fuel apps' files ---------------------------------------------

class CliPrices : public Cli {
protected:
    // Five refuels of one car, two of them on 2015-05-20 (listed in this order), the last with no
    // fuel refilled; saved by a spreadsheet in UTF-8.
    void SetUp() override {
        test::WriteBytes(dir.File("saved.csv"),
                         "\xEF\xBB\xBF日付,走行距離,消費燃料,使用補正値,実給油量,測定誤差\r\n"
                         "2015年05月01日,400.00,30.00,100.00,25.00,1.00\r\n"
                         "2015年05月20日,500.00,35.00,100.00,40.00,0.50\r\n"
                         "2015年05月20日,100.00,8.00,100.00,10.00,0.00\r\n"
                         "2015年06月10日,450.00,32.00,100.00,30.00,-0.50\r\n"
                         "2015年07月03日,380.00,28.00,100.00,0.00,0.00\r\n");
        const CliRun imported = RunCli(dir.Path(), {"import", "saved.csv"});
        ASSERT_EQ(imported.status, 0) << imported.err;
    }
    CliRun Run(std::vector<std::string> args) { return RunCli(dir.Path(), std::move(args)); }
    nlohmann::json Json(std::vector<std::string> args) {
        args.insert(args.end(), {"--format", "json"});
        const CliRun r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return nlohmann::json::parse(r.out);
    }
    nlohmann::json Records() { return Json({"history"})["records"]; }
    // A refusal: status 2, the words in English and in Japanese, and nothing stored.
    void ExpectRefused(const std::vector<std::string>& args, const std::string& en,
                       const std::string& ja) {
        const std::string before = ReadBytes(dir.File(kLogbookFileName));
        const CliRun r = Run(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_NE(r.err.find(en), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(ja), std::string::npos) << r.err;
        EXPECT_EQ(ReadBytes(dir.File(kLogbookFileName)), before) << args[1];
    }
};

TEST_F(CliPrices, PriceGivesTheRefuelOfADayItsPriceAndADayOfTwoMustSayWhich) {
    const std::string csv = Run({"history", "--format", "csv"}).out;
    EXPECT_EQ(Run({"history", "--format", "table"}).out.find("単価"), std::string::npos);

    const CliRun perLitre = Run({"price", "2015-05-01", "--per-litre", "168,5"});
    ASSERT_EQ(perLitre.status, 0) << perLitre.err;
    // Two refuels that day: both named, with the option that picks each; nothing stored.
    ExpectRefused({"price", "2015-05-20", "--total", "5432"},
                  "vehicle 車両1 has 2 refuels on 2015-05-20: --no N says which",
                  "2015-05-20の給油が2件あります");
    const CliRun two = Run({"price", "2015-05-20", "--total", "5432"});
    EXPECT_NE(two.err.find("odomei-cli price 2015-05-20 --total 5432 --no 1: 2015年05月20日, "
                           "500.00 km, refuel 40.00 L\n"),
              std::string::npos)
        << two.err;
    EXPECT_NE(two.err.find("--no 2: 2015年05月20日, 100.00 km, refuel 10.00 L\n"),
              std::string::npos)
        << two.err;
    ExpectRefused({"price", "2015-05-20", "--total", "5432", "--no", "3"}, "--no 3 is none of them",
                  "2件あります");
    const CliRun second = Run({"price", "2015-05-20", "--total", "5432", "--no", "2"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.out.find("5432.00 JPY paid; cost 5432.00 JPY, a litre 543.20 JPY"),
              std::string::npos)
        << second.out;

    auto records = Records();
    EXPECT_EQ(records[0]["priceEntered"], "perLitre");
    EXPECT_DOUBLE_EQ(records[0]["pricePerLitre"].get<double>(), 168.5);
    EXPECT_DOUBLE_EQ(records[0]["cost"].get<double>(), 4212.5);  // 25.00 L at 168.50
    EXPECT_TRUE(records[1]["cost"].is_null());
    EXPECT_TRUE(records[1]["pricePerLitre"].is_null());
    EXPECT_EQ(records[2]["priceEntered"], "total");
    EXPECT_DOUBLE_EQ(records[2]["cost"].get<double>(), 5432.0);
    EXPECT_DOUBLE_EQ(records[2]["pricePerLitre"].get<double>(), 543.2);  // 5432 / 10.00 L

    // Days without a refuel, amounts that are none, an option too many.
    ExpectRefused({"price", "2015-05-21", "--total", "1"},
                  "vehicle 車両1 has no refuel on 2015-05-21 (its records: 2015-05-01 to "
                  "2015-07-03)",
                  "2015-05-21の給油がありません");
    for (const char* amount : {"1.234", "-5", "0", "1,000.00", "abc"}) {
        ExpectRefused({"price", "2015-05-01", "--per-litre", amount},
                      "--per-litre " + std::string(amount) + ": ", "価格");
    }
    EXPECT_EQ(Run({"price", "2015-05-01", "--per-litre", "1", "--clear"}).status, 2);
    EXPECT_EQ(Run({"price", "2015-05-01", "--total"}).status, 2);
    EXPECT_EQ(Run({"price", "2015-05-01"}).status, 2);
    EXPECT_EQ(Run({"price", "2015-05-01", "--total", "1", "--vehicle", "他の車"}).status, 2);

    // The table shows the prices; the CSV stays the window's, byte for byte.
    const std::string table = Run({"history", "--format", "table"}).out;
    EXPECT_NE(table.find("単価(JPY/L)  金額(JPY)"), std::string::npos) << table;
    EXPECT_NE(table.find("543.20    5432.00"), std::string::npos) << table;
    EXPECT_EQ(Run({"history", "--format", "csv"}).out, csv);

    const CliRun clear = Run({"price", "2015-05-01", "--clear"});
    ASSERT_EQ(clear.status, 0) << clear.err;
    records = Records();
    EXPECT_TRUE(records[0]["cost"].is_null());
    EXPECT_TRUE(records[0]["priceEntered"].is_null());
    EXPECT_DOUBLE_EQ(records[2]["cost"].get<double>(), 5432.0);
}

TEST_F(CliPrices, AStatementPricesTheRefuelsOfItsDaysOrNothingWhenALineIsBad) {
    // A bad line anywhere: its number said, and not even the good lines before it stored.
    test::WriteBytes(dir.File("bad.csv"), "date,amount\r\n2015-05-01,168.5\r\n2015-6-10,3\r\n");
    ExpectRefused({"price", "--from-csv", "bad.csv"}, "bad.csv: nothing stored: line 3: ", "3行目");
    EXPECT_TRUE(Records()[0]["cost"].is_null());
    ExpectRefused({"price", "--from-csv", "missing.csv"}, "cannot read the statement missing.csv",
                  "");
    EXPECT_EQ(Run({"price", "--from-csv", "bad.csv", "--total", "3"}).status, 2);
    EXPECT_EQ(Run({"price", "2015-05-01", "--from-csv", "bad.csv"}).status, 2);

    // As a card statement gives it: one line for the day of two refuels, one for a day of none.
    test::WriteBytes(dir.File("card.csv"),
                     "date,amount\r\n2015-05-01,\"4250,00\"\r\n2015-05-20,100\r\n"
                     "2015-06-11,5\r\n2015-06-10,4515\r\n");
    const CliRun set = Run({"price", "--from-csv", "card.csv", "--total"});
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out,
              "card.csv: 2 refuels of 車両1 given a price (total paid, JPY); lines unmatched: 1, "
              "ambiguous: 1\n"
              "unmatched: line 4: 2015-06-11,5.00: no refuel of 車両1 that day\n"
              "ambiguous: line 3: 2015-05-20,100.00: that day's refuels and lines do not pair up "
              "one to one (odomei-cli price 2015-05-20 --no N ... gives each its own)\n");
    const auto records = Records();
    EXPECT_DOUBLE_EQ(records[0]["cost"].get<double>(), 4250.0);
    EXPECT_DOUBLE_EQ(records[0]["pricePerLitre"].get<double>(), 170.0);  // 4250 / 25.00 L
    EXPECT_TRUE(records[1]["cost"].is_null());
    EXPECT_TRUE(records[2]["cost"].is_null());
    EXPECT_EQ(records[3]["priceEntered"], "total");
    EXPECT_DOUBLE_EQ(records[3]["cost"].get<double>(), 4515.0);
}

TEST_F(CliPrices, StatsGiveTheCostOverThePricedRefuelsInTheVehiclesCurrency) {
    auto stats = Json({"stats"});
    EXPECT_EQ(stats["priced"], 0);
    for (const char* none : {"cost", "costPerKm", "costPerMonth", "pricePerLitre"})
        EXPECT_TRUE(stats[none].is_null()) << none;
    EXPECT_EQ(stats["currency"], "JPY");
    EXPECT_NE(Run({"stats"}).out.find("\npriced records: 0 of 5 ("), std::string::npos);

    // 25.00 L at 170.00, 10.00 L for 1000, 30.00 L at 150.50: 4250 + 1000 + 4515 = 9765 over
    // 400 + 100 + 450 km and 65 L, in May and June. The refuel of no fuel counts for nothing.
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"2015-05-01", "--per-litre", "170"},
                                               {"2015-05-20", "--no", "2", "--total", "1000"},
                                               {"2015-06-10", "--per-litre", "150.50"},
                                               {"2015-07-03", "--total", "800"}}) {
        std::vector<std::string> price{"price"};
        price.insert(price.end(), args.begin(), args.end());
        ASSERT_EQ(Run(price).status, 0) << args[0];
    }
    ASSERT_EQ(Run({"vehicles", "set", "車両1", "--currency", "eur"}).status, 0);
    stats = Json({"stats"});
    EXPECT_EQ(stats["priced"], 3);
    EXPECT_EQ(stats["records"], 5);
    EXPECT_DOUBLE_EQ(stats["cost"].get<double>(), 9765.0);
    EXPECT_DOUBLE_EQ(stats["costPerKm"].get<double>(), 10.28);  // 9765 / 950 km = 10.279
    EXPECT_DOUBLE_EQ(stats["costPerMonth"].get<double>(), 4882.5);
    EXPECT_EQ(stats["pricedMonths"], 2);
    EXPECT_DOUBLE_EQ(stats["pricePerLitre"].get<double>(), 150.23);  // 9765 / 65 L = 150.231
    EXPECT_EQ(stats["currency"], "EUR");
    const std::string text = Run({"stats"}).out;
    EXPECT_NE(text.find("priced records: 3 of 5\ntotal cost: 9765.00 EUR\ncost per km: 10.28 "
                        "EUR\ncost per month: 4882.50 EUR (over 2 months)\naverage price per "
                        "litre: 150.23 EUR\n"),
              std::string::npos)
        << text;
    // A range narrows the figures as it narrows the others.
    stats = Json({"stats", "--from", "2015-06-01"});
    EXPECT_EQ(stats["priced"], 1);
    EXPECT_DOUBLE_EQ(stats["costPerKm"].get<double>(), 10.03);  // 4515 / 450 km
    EXPECT_DOUBLE_EQ(stats["costPerMonth"].get<double>(), 4515.0);
}

TEST_F(CliPrices, VehiclesSetGivesTheOdometerAtOneRefuelAndTheCurrency) {
    ExpectRefused({"vehicles", "set", "車両1", "--odometer", "48 210", "--at", "2015-05-20"},
                  "has 2 refuels on 2015-05-20", "2件あります");
    const CliRun given = Run(
        {"vehicles", "set", "車両1", "--odometer", "48 210", "--at", "2015-05-20", "--no", "2"});
    ASSERT_EQ(given.status, 0) << given.err;
    // The others follow by the distances: 48210 at the third, 100 km after the second, ...
    const auto records = Records();
    const double expected[] = {47610, 48110, 48210, 48660, 49040};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(records[i]["odometerKm"].get<double>(), expected[i]) << i;
        EXPECT_EQ(records[i]["odometerGiven"], i == 2) << i;
    }
    const std::string history = Run({"history", "--format", "table"}).out;
    EXPECT_NE(history.find("総走行距離(km)\n"), std::string::npos) << history;
    const std::size_t fourth = history.find("\n04  ") + 1;
    const std::string row = history.substr(fourth, history.find('\n', fourth) - fourth);
    EXPECT_EQ(row.substr(row.size() - 7), "  48660") << history;

    ASSERT_EQ(Run({"vehicles", "set", "車両1", "--currency", "usd"}).status, 0);
    const auto vehicle = Json({"vehicles"})["vehicles"][0];
    EXPECT_EQ(vehicle["currency"], "USD");
    ASSERT_EQ(vehicle["odometer"].size(), 1u);
    EXPECT_DOUBLE_EQ(vehicle["odometer"][0]["km"].get<double>(), 48210.0);
    EXPECT_EQ(vehicle["odometer"][0]["date"], "2015-05-20");
    const std::string table = Run({"vehicles"}).out;
    EXPECT_NE(table.find("  USD       48210 km at 2015-05-20\n"), std::string::npos) << table;

    ExpectRefused({"vehicles", "set", "車両1", "--odometer", "4x", "--at", "2015-05-01"},
                  "--odometer 4x: ", "走行距離計の値ではありません");
    ExpectRefused({"vehicles", "set", "車両1", "--currency", "EURO"},
                  "--currency EURO: ", "通貨ではありません");
    ExpectRefused({"vehicles", "set", "車両1", "--odometer", "1", "--at", "2015-05-02"},
                  "has no refuel on 2015-05-02", "給油がありません");
    EXPECT_EQ(Run({"vehicles", "set", "車両1", "--odometer", "1"}).status, 2);
    EXPECT_EQ(Run({"vehicles", "set", "車両1"}).status, 2);
    EXPECT_EQ(Run({"vehicles", "set", "他の車", "--currency", "EUR"}).status, 2);
    EXPECT_EQ(Json({"vehicles"})["vehicles"][0]["currency"], "USD");
}

TEST_F(CliPrices, ExportWritesTheAppsFileWholeOrNoneAndNamesWhatItLeftOut) {
    ASSERT_EQ(Run({"vehicles", "set", "車両1", "--odometer", "47610", "--at", "2015-05-01"}).status,
              0);
    ASSERT_EQ(Run({"price", "2015-05-01", "--per-litre", "170"}).status, 0);
    ASSERT_EQ(Run({"price", "2015-06-10", "--total", "4515"}).status, 0);

    const CliRun lube = Run({"export", "lubelogger", "-o", "lube.csv"});
    ASSERT_EQ(lube.status, 0) << lube.err;
    const std::string file = ReadBytes(dir.File("lube.csv"));
    EXPECT_EQ(
        file.rfind("Date,Odometer,FuelConsumed,Cost,IsFillToFull,MissedFuelUp,Notes,Tags,", 0), 0u)
        << file;
    EXPECT_NE(file.find("\n2015-05-01,47610,25.00,4250.00,"), std::string::npos) << file;
    EXPECT_NE(file.find("\n2015-06-10,48660,30.00,4515.00,"), std::string::npos) << file;
    // The two refuels of 05-20 lack a price, the last one fuel: named, with what to do.
    EXPECT_NE(lube.err.find("odomei-cli: 3 refuels were left out of the LubeLogger file (2 "
                            "written).\n"),
              std::string::npos)
        << lube.err;
    EXPECT_NE(lube.err.find("2015-05-20"), std::string::npos) << lube.err;
    EXPECT_NE(lube.err.find("2015-07-03"), std::string::npos) << lube.err;
    EXPECT_NE(lube.err.find("odomei-cli price 2015-05-20 --per-litre"), std::string::npos)
        << lube.err;
    EXPECT_NE(lube.err.find("LubeLogger用のファイルに書けなかった給油が3件"), std::string::npos)
        << lube.err;

    const CliRun sprit = Run({"export", "spritmonitor", "--to", "2015-06-10", "-o", "sprit.csv"});
    ASSERT_EQ(sprit.status, 0) << sprit.err;
    EXPECT_EQ(sprit.err, "");  // every refuel in the range could be written
    EXPECT_EQ(ReadBytes(dir.File("sprit.csv")).rfind("Date;Odometer;Trip;Quantity;Total price;", 0),
              0u);
    EXPECT_NE(ReadBytes(dir.File("sprit.csv")).find("\n01.05.2015;47610;400,00;25,00;4250,00;"),
              std::string::npos);
    const CliRun fuelio = Run({"export", "fuelio", "-o", "-"});
    ASSERT_EQ(fuelio.status, 0) << fuelio.err;
    EXPECT_EQ(fuelio.out.rfind("\"## Vehicle\"\n", 0), 0u) << fuelio.out.substr(0, 100);

    // Nothing to write: status 2 and no file, and a file there already stays as it was.
    const CliRun none = Run({"export", "lubelogger", "--from", "2015-07-01", "-o", "none.csv"});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("2015-07-03"), std::string::npos) << none.err;
    EXPECT_NE(none.err.find("no file written"), std::string::npos) << none.err;
    EXPECT_FALSE(test::Exists(dir.File("none.csv")));
    EXPECT_EQ(Run({"export", "lubelogger", "--from", "2015-08-01", "-o", "lube.csv"}).status, 2);
    EXPECT_EQ(ReadBytes(dir.File("lube.csv")), file);
    EXPECT_EQ(Run({"export", "numbers", "-o", "x.csv"}).status, 2);
    EXPECT_EQ(Run({"export", "fuelio"}).status, 2);  // -o is needed
    EXPECT_EQ(Run({"export", "fuelio", "--vehicle", "他の車", "-o", "x.csv"}).status, 2);
    EXPECT_FALSE(test::Exists(dir.File("x.csv")));
}

TEST_F(Cli, AfterAGapTheOdometerIsUnknownUntilGivenAndTheExportNamesThoseDays) {
    // Reads 0 and 10 of the simulated months: thirty refuels apart, a gap between.
    for (int read : {0, 10}) {
        ASSERT_EQ(ReadSequence(read).status, 0);
    }
    auto records =
        nlohmann::json::parse(RunCli(dir.Path(), {"history", "--format", "json"}).out)["records"];
    ASSERT_EQ(records.size(), 30u);
    const std::string first = records[0]["date"], afterGap = records[15]["date"];
    ASSERT_EQ(RunCli(dir.Path(), {"vehicles", "set", "車両1", "--odometer", "10000", "--at", first})
                  .status,
              0);
    records =
        nlohmann::json::parse(RunCli(dir.Path(), {"history", "--format", "json"}).out)["records"];
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i]["odometerKm"].is_null(), i >= 15) << i;
    const std::string table = RunCli(dir.Path(), {"history", "--format", "table"}).out;
    EXPECT_NE(table.find("; the odometer is not known from here until a reading is given"),
              std::string::npos)
        << table;

    const CliRun exported = RunCli(dir.Path(), {"export", "fuelio", "-o", "fuelio.csv"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.err.find("15 refuels were left out of the Fuelio file (15 written)"),
              std::string::npos)
        << exported.err;
    EXPECT_NE(exported.err.find("--odometer KM --at " + afterGap), std::string::npos)
        << exported.err;
    EXPECT_TRUE(test::Exists(dir.File("fuelio.csv")));
}

}  // namespace
}  // namespace odomei

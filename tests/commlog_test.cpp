// The communication log: entries byte for byte, the day change, and failures that never stop
// the caller.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <vector>

#include "log/CommLog.h"
#include "platform/Clock.h"
#include "platform/Text.h"
#include "tests/TestSupport.h"

namespace odomei {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ReadBytes;

// A dump line as the file holds it: the offset, the hexadecimal column padded to 48 characters,
// the character column, and the line end given.
std::string Line(const char* offset, std::string hex, const std::string& chars,
                 const char* end = "\r\n") {
    hex.resize(48, ' ');
    return std::string(offset) + " ; " + hex + " : " + chars + end;
}

std::string Dump(const Bytes& b) { return CommLogDump(b.data(), static_cast<int>(b.size())); }

TEST(CommLogDump, LaysOutLinesOfSixteenBytes) {
    EXPECT_EQ(Dump({}), "");
    // The single STX byte, written out in full once.
    EXPECT_EQ(Dump({0x02}), "0000 ; 02                                               : .\r\n");
    Bytes sixteen;
    for (int i = 0; i < 16; ++i) sixteen.push_back(static_cast<std::uint8_t>(0x30 + i));
    EXPECT_EQ(Dump(sixteen),
              Line("0000", "30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F ", "0123456789:;<=>?"));
    Bytes seventeen = sixteen;
    seventeen.push_back(0x7F);
    EXPECT_EQ(Dump(seventeen), Dump(sixteen) + Line("0010", "7F ", "."));
    EXPECT_EQ(Dump({0x00, 0x1F, 0x7F, 0x80, 0xA0, 0xFD, 0xFE, 0xFF}),
              Line("0000", "00 1F 7F 80 A0 FD FE FF ", "........"));
}

TEST(CommLogDump, ShowsShiftJisCharactersWhole) {
    // A, the character 82 A0, B.
    EXPECT_EQ(Dump({0x41, 0x82, 0xA0, 0x42}), Line("0000", "41 82 A0 42 ",
                                                   "A\x82\xA0"
                                                   "B"));
    // The second byte is copied whatever it is: 81 0D.
    EXPECT_EQ(Dump({0x81, 0x0D, 0x41}), Line("0000", "81 0D 41 ",
                                             "\x81\x0D"
                                             "A"));
    // A character begun at the sixteenth byte: 17 bytes in the column, a space on the next line.
    Bytes split(15, 0x41);
    split.push_back(0x88);
    split.push_back(0xA4);
    split.push_back(0x42);
    EXPECT_EQ(Dump(split), Line("0000", "41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 88 ",
                                std::string(15, 'A') + "\x88\xA4") +
                               Line("0010", "A4 42 ", " B"));
}

TEST(CommLogDump, PartialLineEndingInAHighByteGetsOneSpace) {
    EXPECT_EQ(Dump({0x41, 0xB1}), Line("0000", "41 B1 ", "A\xB1", " \r\n"));     // katakana
    EXPECT_EQ(Dump({0x41, 0x82}), Line("0000", "41 82 ", "A\x82", " \r\n"));     // lone lead byte
    EXPECT_EQ(Dump({0x82, 0xA0}), Line("0000", "82 A0 ", "\x82\xA0", " \r\n"));  // 2nd byte >= 0x80
    EXPECT_EQ(Dump({0x82, 0x60}), Line("0000", "82 60 ", "\x82\x60"));           // 2nd byte ASCII
    EXPECT_EQ(Dump({0x41, 0x42}), Line("0000", "41 42 ", "AB"));
    EXPECT_EQ(Dump({0x41, 0x80}), Line("0000", "41 80 ", "A."));
    Bytes full(15, 0x41);
    full.push_back(0xB1);  // a full line never gets it
    EXPECT_EQ(Dump(full), Line("0000", "41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 B1 ",
                               std::string(15, 'A') + "\xB1"));
}

// The log in a fresh folder with the clock set by the test.
class CommLogFile : public ::testing::Test {
protected:
    CommLogFile() {
        SetClock([this] { return now; });
    }
    ~CommLogFile() override { SetClock({}); }
    std::string Log() const { return ReadBytes(log.Path()); }
    void Text(const char* s, char mode = 't') { log.WriteCommLog(s, 0, mode); }
    // The texts of the failures reported so far.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& p : problems) texts.push_back(p.reason.ja);
        return texts;
    }
    // Sets the file's last-write time to a local date and time of the test's clock.
    void SetFileTime(int year, int month, int day, int hour = 12) {
        const std::int64_t ms = FileMillisFor(LocalTime{year, month, day, hour, 0, 0, 0});
        const timespec at{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
        const timespec times[2] = {at, at};
        ASSERT_EQ(utimensat(AT_FDCWD, log.Path().c_str(), times, 0), 0);
    }
    test::TempDir dir;
    LocalTime now{2001, 2, 3, 9, 5, 7, 42};
    std::vector<Failure> problems;
    CommLog log{dir.File("KORVANA.log"), [this](const Failure& p) { problems.push_back(p); }};
};

TEST_F(CommLogFile, TextEntriesCarryTheTimeStamp) {
    Text("＊＊＊＊＊＊＊＊アプリケーション起動＊＊＊＊＊＊＊＊");
    now.millisecond = 43;
    Text("");
    now = {2001, 2, 3, 23, 59, 59, 999};
    Text("onSend", 'T');
    EXPECT_EQ(Log(),
              Sjis("09時05分07秒042：＊＊＊＊＊＊＊＊アプリケーション起動＊＊＊＊＊＊＊＊\r\n"
                   "09時05分07秒043：\r\n"
                   "23時59分59秒999：onSend\r\n"));
    EXPECT_TRUE(problems.empty());
}

TEST_F(CommLogFile, OtherModesDumpAndEntriesAppend) {
    const std::uint8_t stx = 0x02;
    Text("onSend");
    log.WriteCommLog(&stx, 1, 'd');
    log.WriteCommLog("AB", 2, 'x');
    log.WriteCommLog(&stx, 0, 'd');  // nothing
    EXPECT_EQ(Log(), Sjis("09時05分07秒042：onSend\r\n") + Dump({0x02}) + Dump({0x41, 0x42}));
}

// Entries held (as each port's during a search) reach the file only when written out, in one
// piece, each with the time it was made; the day the file starts afresh on is the writing's.
TEST_F(CommLogFile, HeldEntriesKeepTheirTimeAndAreWrittenTogether) {
    const std::uint8_t stx = 0x02;
    const CommLog first = log.Holding(), second = log.Holding();
    first.WriteCommLog("onSearch COM1", 0, 't');
    now.millisecond = 50;
    second.WriteCommLog("onSearch COM2", 0, 't');
    now.millisecond = 60;
    first.WriteCommLog(&stx, 1, 'd');
    Text("direct");
    EXPECT_EQ(Log(), Sjis("09時05分07秒060：direct\r\n"));
    now = {2001, 2, 3, 9, 5, 9, 0};
    log.WriteHeld(second);
    log.WriteHeld(first);
    log.WriteHeld(first);  // emptied: nothing twice
    EXPECT_EQ(Log(), Sjis("09時05分07秒060：direct\r\n"
                          "09時05分07秒050：onSearch COM2\r\n"
                          "09時05分07秒042：onSearch COM1\r\n") +
                         Dump({0x02}));
    // Written on a later day than it was held: the file is the later day's.
    const CommLog late = log.Holding();
    late.WriteCommLog("yesterday", 0, 't');
    SetFileTime(2001, 2, 3, 12);
    now = {2001, 2, 4, 0, 0, 1, 0};
    log.WriteHeld(late);
    EXPECT_EQ(Log(), Sjis("09時05分09秒000：yesterday\r\n"));
    // A log that writes nothing holds nothing.
    const CommLog none;
    const CommLog held = none.Holding();
    held.WriteCommLog("lost", 0, 't');
    log.WriteHeld(held);
    EXPECT_EQ(Log(), Sjis("09時05分09秒000：yesterday\r\n"));
    EXPECT_TRUE(problems.empty());
}

TEST_F(CommLogFile, FirstEntryOfAnotherDateEmptiesTheFile) {
    Text("first");
    SetFileTime(2001, 2, 3, 1);
    Text("same day");
    EXPECT_EQ(Log(), Sjis("09時05分07秒042：first\r\n09時05分07秒042：same day\r\n"));

    // The next day: only the new entry remains.
    SetFileTime(2001, 2, 3, 23);
    now.day = 4;
    Text("next day");
    EXPECT_EQ(Log(), Sjis("09時05分07秒042：next day\r\n"));

    // The same day of the month in an earlier month is another date too.
    SetFileTime(2001, 1, 4);
    Text("a month later");
    EXPECT_EQ(Log(), Sjis("09時05分07秒042：a month later\r\n"));

    // And so is the same day and month of an earlier year; a dump also starts the file afresh.
    SetFileTime(2000, 2, 4);
    const std::uint8_t ack = 0x06;
    log.WriteCommLog(&ack, 1, 'd');
    EXPECT_EQ(Log(), Dump({0x06}));
}

TEST_F(CommLogFile, UnwritableFolderShowsTheOpenErrorAndTheCallerGoesOn) {
    test::UnwritableDir locked;
    if (locked.Path().empty()) GTEST_SKIP() << "no folder that this user cannot write";
    log.SetPath(locked.Path() + "/KORVANA.log");
    Text("onSend");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].reason.ja,
              "通信ログ処理時にエラーが発生しました\n\nファイルオープンエラー");
    EXPECT_EQ(problems[0].subject, locked.Path() + "/KORVANA.log");
    EXPECT_FALSE(problems[0].reason.en.empty());
}

TEST_F(CommLogFile, SomethingOtherThanAFileShowsTheOpenErrorWithoutWaiting) {
    // A FIFO nobody reads (opening it for writing would wait for a reader), and a folder.
    ASSERT_EQ(mkfifo(log.Path().c_str(), 0644), 0);
    Text("onSend");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].reason.ja,
              "通信ログ処理時にエラーが発生しました\n\nファイルオープンエラー");
    // With a reader waiting, it is still no file to write the log to.
    const int reader = open(log.Path().c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    Text("onSend");
    close(reader);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[1].reason.en.find("not a regular file"), std::string::npos);
    unlink(log.Path().c_str());
    mkdir(log.Path().c_str(), 0755);
    Text("onSend");
    EXPECT_EQ(problems.size(), 3u);
}

TEST_F(CommLogFile, FileLockedElsewhereShowsTheOpenErrorAndIsLeftAlone) {
    Text("kept");
    SetFileTime(2001, 2, 2);  // a day change would empty it, but it is not ours to touch now
    const std::string before = Log();

    // Held by another open descriptor of this process.
    const int fd = open(log.Path().c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    Text("lost");
    close(fd);

    // Held by another process.
    {
        test::LockHolder holder(log.Path());
        ASSERT_TRUE(holder.Holding());
        Text("lost too");
    }

    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "通信ログ処理時にエラーが発生しました\n\nファイルオープンエラー",
                           "通信ログ処理時にエラーが発生しました\n\nファイルオープンエラー"}));
    EXPECT_EQ(Log(), before);

    // Once the lock is gone the log works again.
    Text("back");
    EXPECT_EQ(Log(), Sjis("09時05分07秒042：back\r\n"));
}

TEST_F(CommLogFile, WriteFailingPartWayShowsTheErrorAndKeepsWhatWasWritten) {
    Text("before");
    const std::string before = Log();
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = before.size() + 100;  // room for the first line of the dump only
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    std::vector<std::uint8_t> block(216, 0x41);
    log.WriteCommLog(block.data(), static_cast<int>(block.size()), 'd');
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(Texts(),
              std::vector<std::string>{"通信ログ処理時にエラーが発生しました\n\n例外エラー"});
    const std::string after = Log();
    EXPECT_EQ(after.size(), before.size() + 100);
    EXPECT_EQ(after, (before + Dump(block)).substr(0, after.size()));
}

}  // namespace
}  // namespace odomei

// What a user meets when the line or the files misbehave, through the real window on a
// pseudo-terminal: a clear message or the documented behaviour, no hang, no crash, nothing lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QPushButton>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/MeterDlg.h"
#include "data/Logbook.h"
#include "link/ReadExchange.h"
#include "platform/Text.h"
#include "tests/LogExpect.h"
#include "tests/MeterWindow.h"
#include "tests/WindowSupport.h"

namespace odomei {
namespace {

using namespace std::chrono_literals;

constexpr const char* kTimeout = "コマンド受信処理でエラーが発生しました(タイムアウト)";
constexpr const char* kLogOpenError =
    "通信ログ処理時にエラーが発生しました\n\nファイルオープンエラー";

class Fault : public test::MeterWindowTest {};

TEST_F(Fault, AdapterUnpluggedBeforeAReadGivesTheSendErrorAtOnce) {
    Start();
    meter->Sim().Stop();  // the line hangs up
    EXPECT_LT(Read(), 3s);
    EXPECT_EQ(Messages(), std::vector<std::string>{"コマンド送信処理でエラーが発生しました(STX)"});
    EXPECT_EQ(Count(), 0);
    EXPECT_TRUE(dlg->GetDlgItem(IDC_READ)->isEnabled());
}

TEST_F(Fault, AdapterUnpluggedBetweenAnswerAndAckEndsPromptlyWithoutRecords) {
    metersim::Options options;
    options.pace = false;
    options.hangupAfter = 216;
    Start(options);
    EXPECT_LT(Read(), 3s);
    // The answer may or may not be read before the line goes, and on a busy machine the line may
    // go before the write of the STX has seen its byte leave: either way the read fails cleanly.
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0] == kTimeout ||
                messages[0] == "コマンド送信処理でエラーが発生しました(ACK)" ||
                messages[0] == "コマンド送信処理でエラーが発生しました(STX)")
        << messages[0];
    EXPECT_EQ(Count(), 0);
}

TEST_F(Fault, GarbageBeforeTheAnswerIsRejectedByTheCheckByte) {
    metersim::Options options;
    options.leadingGarbage = 7;
    options.pace = false;
    Start(options);
    Read();
    EXPECT_EQ(Messages(), std::vector<std::string>{"ＢＣＣエラーが発生しました"});
    meter->Sim().WaitForReceived(6, 2000);
    EXPECT_EQ(meter->Sim().Received(), (test::Bytes{STX, NAK, STX, NAK, STX, NAK}));
    EXPECT_EQ(Count(), 0);
}

TEST_F(Fault, AnswerCutOneByteShortTimesOutAndKeepsTheBytesInTheLog) {
    metersim::Options options;
    options.stopAfter = 215;
    Start(options);
    // About ten seconds of waiting, although the bytes came one by one and ended many pauses early.
    EXPECT_GE(Read(), 9900ms);
    EXPECT_EQ(Messages(), std::vector<std::string>{kTimeout});
    const auto sample = metersim::SampleBlock();
    const std::string log = Log();
    EXPECT_NE(log.find(CommLogDump(sample.data(), 215)), std::string::npos);
    EXPECT_EQ(Count(), 0);
}

TEST_F(Fault, AdapterPulledOutAndPluggedBackWorksAtTheNextRead) {
    metersim::Options options;
    options.hangupAfter = 100;
    Start(options);
    EXPECT_LT(Read(), 3s);
    EXPECT_EQ(Messages(), std::vector<std::string>{kTimeout});
    // Still unplugged: the send error at once, as before.
    boxes.Clear();
    EXPECT_LT(Read(), 3s);
    EXPECT_EQ(Messages(), std::vector<std::string>{"コマンド送信処理でエラーが発生しました(STX)"});
    // Plugged back in: the same COM1 leads to the meter again, and the read works.
    meter.reset();
    meter = std::make_unique<test::MeterLine>(dir);
    ASSERT_TRUE(meter->Started());
    boxes.Clear();
    Read();
    EXPECT_TRUE(Messages().empty()) << Messages()[0];
    ExpectFilled();
}

TEST_F(Fault, SecondInstanceOnTheSamePortGetsTheStartUpFailureAndTheFirstKeepsWorking) {
    Start();
    // The second instance is this test program again, running only the helper below.
    const std::string command = "env " + std::string(test::kSecondInstanceEnv) + "=" + dir.Path() +
                                " QT_QPA_PLATFORM=offscreen /proc/" + std::to_string(getpid()) +
                                "/exe 2>/dev/null";
    FILE* child = popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    std::string output;
    std::array<char, 512> buf;
    while (fgets(buf.data(), buf.size(), child) != nullptr) output += buf.data();
    EXPECT_EQ(pclose(child), 0) << output;
    EXPECT_NE(output.find("MESSAGE 通信ポートの初期化に失敗しました"), std::string::npos) << output;
    EXPECT_NE(output.find("busy"), std::string::npos) << output;
    EXPECT_NE(output.find("READ disabled"), std::string::npos) << output;

    Read();
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Count(), 15);
}

TEST_F(Fault, LogLockedByAnotherProgramDuringAReadShowsMessagesAndTheReadCompletes) {
    Start();
    const std::string before = test::ReadBytes(dir.File("KORVANA.log"));
    {
        test::LockHolder holder(dir.File("KORVANA.log"));
        ASSERT_TRUE(holder.Holding());
        Read();
    }
    // Six entries (onSend, STX, onReceive, the block, onSend, ACK) could not be written.
    EXPECT_EQ(Messages(), std::vector<std::string>(6, kLogOpenError));
    EXPECT_EQ(boxes.Calls().back().flags, kMbIconHand);
    EXPECT_EQ(boxes.Calls().back().detail.rfind(dir.File("KORVANA.log") + "\n", 0), 0u);
    EXPECT_EQ(Count(), 15);
    EXPECT_EQ(test::ReadBytes(dir.File("KORVANA.log")), before);
}

TEST_F(Fault, WorkingFolderMadeReadOnlyAfterStartStillReadsAndSavesElsewhere) {
    test::ScratchMount folder(256 * 1024);
    if (!folder.Usable() && geteuid() == 0) GTEST_SKIP() << "no read-only folder to be had";
    // Without a mount of its own (a user's lot), a folder this user then may not write.
    if (!folder.Usable()) {
        ASSERT_EQ(mkdir((dir.Path() + "/work").c_str(), 0755), 0);
    }
    Start({}, folder.Usable() ? folder.Path() : dir.Path() + "/work");
    if (folder.Usable()) {
        ASSERT_TRUE(folder.MakeReadOnly());
    } else {
        // As a read-only mount is: nothing in it can be made or written.
        ASSERT_EQ(chmod((work + "/KORVANA.log").c_str(), 0444), 0);
        ASSERT_EQ(chmod(work.c_str(), 0555), 0);
    }
    Read();
    // Six log entries, and once the logbook: the read still shows.
    std::vector<std::string> expected(6, kLogOpenError);
    expected.push_back(kLogbookWriteFailedText);
    EXPECT_EQ(Messages(), expected);
    EXPECT_EQ(Count(), 15);

    test::TempDir elsewhere;
    test::ScriptedSaveAs saveAs;
    saveAs.Choose(elsewhere.File("history.csv"));
    boxes.Clear();
    dlg->OnSaveCsv();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"\"history.csv\"を保存しました。"});
    EXPECT_TRUE(test::Exists(elsewhere.File("history.csv")));
    if (!folder.Usable()) chmod(work.c_str(), 0755);
}

// What the INI file says that cannot be used is said, never replaced by a guess.
TEST(UnusableSettings, ABrokenPortsEntryNamesItselfAndNeverOpensAnotherPort) {
    test::TempDir dir;
    test::ScopedCwd cwd(dir.Path());
    test::RealSerialOpener real;
    for (const std::string& value : {std::string("/tmp/x/tty\x81\x20"), std::string()}) {
        SCOPED_TRACE(value);
        test::WriteBytes(dir.File("KORVANA.ini"), "[Ports]\r\nCOM1=" + value + "\r\n");
        test::ScriptedMessageBoxes boxes;
        CMeterDlg dlg;
        dlg.OnInitDialog();
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text.rfind("通信ポートの初期化に失敗しました", 0), 0u);
        const std::string& detail = boxes.Calls()[0].detail;
        EXPECT_NE(detail.find("the entry COM1 of section [Ports]"), std::string::npos) << detail;
        EXPECT_EQ(detail.find("/dev/ttyS"), std::string::npos) << detail;  // no fallback
        EXPECT_FALSE(dlg.Session().IsOpen());
    }
}

TEST(UnusableSettings, AnIniSavedAsUtf8ByNotepadIsReadAndKeptAsItIs) {
    test::TempDir dir;
    test::ScopedCwd cwd(dir.Path());
    test::RealSerialOpener real;
    const std::string before =
        "\xEF\xBB\xBF[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=2\r\n[Ports]\r\nCOM2=" +
        dir.File("unplugged") + "\r\n";
    test::WriteBytes(dir.File("KORVANA.ini"), before);
    test::ScriptedMessageBoxes boxes;
    CMeterDlg dlg;
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.Port(), 2);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_NE(boxes.Calls()[0].text.find("(COM2)"), std::string::npos) << boxes.Calls()[0].text;
    EXPECT_NE(boxes.Calls()[0].detail.find(dir.File("unplugged")), std::string::npos)
        << boxes.Calls()[0].detail;
    EXPECT_EQ(test::ReadBytes(dir.File("KORVANA.ini")), before);
}

TEST(UnusableSettings, AWorkingFolderThatIsGoneIsSaidAndNothingIsWrittenElsewhere) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.File("gone"));
    test::ScopedCwd cwd(dir.File("gone"));
    std::filesystem::remove(dir.File("gone"));
    const bool rootHadFiles = test::Exists("/KORVANA.ini") || test::Exists("/KORVANA.log");
    test::ScriptedMessageBoxes boxes;
    CMeterDlg dlg;
    dlg.OnInitDialog();  // the scripted line opens: the banner would go to the log
    ASSERT_GE(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text,
              "作業フォルダを取得できませんでした。INIファイルと通信ログを使わずに続けます");
    EXPECT_EQ(boxes.Calls()[0].flags, kMbIconHand);
    EXPECT_EQ(boxes.Calls().size(), 1u);  // no log failures: there is no log
    EXPECT_TRUE(dlg.GetDlgItem(IDC_READ)->isEnabled());
    if (!rootHadFiles) {
        EXPECT_FALSE(test::Exists("/KORVANA.ini"));
        EXPECT_FALSE(test::Exists("/KORVANA.log"));
    }
}

// Damaged INI files: the program starts, reads what it can and keeps every other line.
TEST(DamagedIniFile, StartsTheWindowAndKeepsTheOtherLines) {
    const std::string section = Sjis("[シリアル通信設定]\r\n");
    const std::string key = Sjis("ｼﾘｱﾙﾎﾟｰﾄ番号");
    const struct {
        const char* what;
        std::string before;
        int port;
        std::string after;
    } cases[] = {
        {"invalid CP932 bytes", "[\x81]\r\n\xFF\xFE=\x80\r\n" + section + key + "=3\r\n", 3,
         "[\x81]\r\n\xFF\xFE=\x80\r\n" + section + key + "=3\r\n"},
        // Beyond any port number: COM1, and the file keeps what was written.
        {"a huge value", section + key + "=" + std::string(100000, '7') + "\r\n", 2147483647,
         section + key + "=" + std::string(100000, '7') + "\r\n"},
        {"a missing =", section + key + " 4\r\n", 1, section + key + " 4\r\n" + key + "=1\r\n"},
        // A byte-order mark says UTF-8: CP932 after it is not read, and the setting is added
        // in UTF-8.
        {"a byte order mark before CP932", "\xEF\xBB\xBF" + section + key + "=2\r\n", 1,
         "\xEF\xBB\xBF" + section + key + "=2\r\n[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        test::ScopedCwd cwd(dir.Path());
        test::WriteBytes(dir.File("KORVANA.ini"), c.before);
        CMeterDlg dlg;
        dlg.OnInitDialog();
        EXPECT_TRUE(dlg.GetDlgItem(IDC_READ)->isEnabled());  // the scripted line opens
        EXPECT_EQ(dlg.Port(), c.port);
        EXPECT_EQ(test::ReadBytes(dir.File("KORVANA.ini")), c.after);
    }
}

}  // namespace
}  // namespace odomei

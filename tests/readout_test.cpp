// Reading the meter through the window, end to end: the simulated meter on a pseudo-terminal,
// the message boxes scripted. Each case checks what the meter received, the list, the version,
// the buttons and the log byte for byte.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <chrono>

#include "app/MeterDlg.h"
#include "link/ReadExchange.h"
#include "tests/LogExpect.h"
#include "tests/MeterWindow.h"

namespace odomei {
namespace {

using test::Bytes;
using test::ExpectLog;

constexpr const char* kTimeout = "コマンド受信処理でエラーが発生しました(タイムアウト)";

class ReadOut : public test::MeterWindowTest {};

TEST_F(ReadOut, DeclinedReadSendsAndLogsNothing) {
    Start();
    boxes.Answer(kIdNo);
    dlg->OnRead();
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{"計測データの読込を開始します。よろしいですか？"});
    EXPECT_EQ(boxes.Calls()[0].flags, kMbYesNo | kMbIconInformation);
    EXPECT_TRUE(meter->Sim().Received().empty());
    EXPECT_EQ(Log(), BannerLog());
    ExpectUnchangedEmpty();
}

TEST_F(ReadOut, AnswerInPiecesIsCollectedIntoOneDumpThenAcknowledged) {
    metersim::Options options;
    options.pieceSize = 50;
    options.pieceGapMs = 40;
    Start(options);
    Read();
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Received(2), (Bytes{metersim::STX, metersim::ACK}));
    EXPECT_EQ(Log(), BannerLog() +
                         ExpectLog({{"onSend", {STX}}, {"onReceive", block}, {"onSend", {ACK}}}));
    ExpectFilled();
}

TEST_F(ReadOut, TheSimulatorsHistorySavesAsTheGoldenFile) {
    Start();
    Read();
    ExpectFilled();
    test::ScriptedSaveAs saveAs;
    saveAs.Choose(dir.File("history.csv"));
    dlg->OnSaveCsv();
    // odomei-cli's CSV is checked against the same file.
    EXPECT_EQ(test::ReadBytes(dir.File("history.csv")),
              test::ReadBytes(ODOMEI_TEST_DATA "/sample_history.csv"));
}

TEST_F(ReadOut, MoreThan216BytesInOnePieceAreAllDumpedAndOnlyTheFirst216Decoded) {
    metersim::Options options;
    options.extraBytes = 30;
    options.pace = false;
    Start(options);
    Read();
    Bytes answer = block;
    for (int i = 0; i < 30; ++i) answer.push_back(static_cast<std::uint8_t>(0xE0 + i % 16));
    EXPECT_EQ(Received(2), (Bytes{metersim::STX, metersim::ACK}));
    EXPECT_EQ(Log(), BannerLog() +
                         ExpectLog({{"onSend", {STX}}, {"onReceive", answer}, {"onSend", {ACK}}}));
    ExpectFilled();
}

TEST_F(ReadOut, SilentMeterTimesOutWithOnlyStxInTheLog) {
    metersim::Options options;
    options.silent = true;
    Start(options);
    const auto took = Read();
    EXPECT_GE(took, std::chrono::seconds(9));  // about ten seconds of idle polls
    EXPECT_EQ(Messages(), std::vector<std::string>{kTimeout});
    EXPECT_EQ(boxes.Calls().back().flags, kMbIconHand);
    EXPECT_EQ(Received(1), Bytes{metersim::STX});
    EXPECT_EQ(Log(), BannerLog() + ExpectLog({{"onSend", {STX}}}));
    ExpectUnchangedEmpty();
}

TEST_F(ReadOut, HundredBytesThenSilenceTimesOutWithThoseBytesLogged) {
    metersim::Options options;
    options.stopAfter = 100;
    Start(options);
    Read();
    EXPECT_EQ(Messages(), std::vector<std::string>{kTimeout});
    EXPECT_EQ(Received(1), Bytes{metersim::STX});
    EXPECT_EQ(Log(),
              BannerLog() + ExpectLog({{"onSend", {STX}},
                                       {"onReceive", Bytes(block.begin(), block.begin() + 100)}}));
    ExpectUnchangedEmpty();
}

TEST_F(ReadOut, ThreeWrongCheckBytesGiveThreeNaksAndTheBccError) {
    metersim::Options options;
    options.badChecks = 3;
    options.pace = false;
    Start(options);
    Read();
    Bytes bad = block;
    bad.back() ^= 0xFF;
    EXPECT_EQ(Messages(), std::vector<std::string>{"ＢＣＣエラーが発生しました"});
    EXPECT_EQ(Received(6), (Bytes{STX, NAK, STX, NAK, STX, NAK}));
    EXPECT_EQ(Log(), BannerLog() + ExpectLog({{"onSend", {STX}},
                                              {"onReceive", bad},
                                              {"onSend", {NAK}},
                                              {"onSend", {STX}},
                                              {"onReceive", bad},
                                              {"onSend", {NAK}},
                                              {"onSend", {STX}},
                                              {"onReceive", bad},
                                              {"onSend", {NAK}}}));
    ExpectUnchangedEmpty();
}

TEST_F(ReadOut, WrongThenRightCheckByteGivesOneNakThenAckAndDecodesTheSecondBlock) {
    metersim::Options options;
    options.badChecks = 1;
    Start(options);
    Read();
    Bytes bad = block;
    bad.back() ^= 0xFF;
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Received(4), (Bytes{STX, NAK, STX, ACK}));
    EXPECT_EQ(Log(), BannerLog() + ExpectLog({{"onSend", {STX}},
                                              {"onReceive", bad},
                                              {"onSend", {NAK}},
                                              {"onSend", {STX}},
                                              {"onReceive", block},
                                              {"onSend", {ACK}}}));
    ExpectFilled();
}

TEST_F(ReadOut, HangUpMidAnswerEndsPromptlyAsATimeOut) {
    metersim::Options options;
    options.hangupAfter = 100;
    Start(options);
    const auto took = Read();
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(Messages(), std::vector<std::string>{kTimeout});
    EXPECT_EQ(Received(1), Bytes{STX});
    ExpectUnchangedEmpty();
    // The port stays as it is: another read fails at once, without hanging.
    boxes.Clear();
    const auto again = Read();
    EXPECT_LT(again, std::chrono::seconds(5));
    EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(ReadOut, NoShortcutOfTheWindowActsDuringARead) {
    metersim::Options options;
    options.pieceSize = 20;
    options.pieceGapMs = 30;
    Start(options);
    bool menuShown = true;
    bool reading = false;
    QTimer::singleShot(100, [&] {
        reading = dlg->IsReading();
        // Alt+Space opens the window menu (and from it the About box) when the window is idle.
        QTest::keyClick(dlg->GetDlgItem(IDOK_EXIT), Qt::Key_Space, Qt::AltModifier);
        menuShown = dlg->SystemMenu()->isVisible();
    });
    const auto took = Read();
    EXPECT_TRUE(reading);
    EXPECT_FALSE(menuShown);
    EXPECT_LT(took, std::chrono::seconds(3));
    ExpectFilled();
    // Idle again, the shortcut works as before.
    QTest::keyClick(dlg->GetDlgItem(IDOK_EXIT), Qt::Key_Space, Qt::AltModifier);
    EXPECT_TRUE(dlg->SystemMenu()->isVisible());
    dlg->SystemMenu()->hide();
}

TEST_F(ReadOut, ReadWhileRecordsAreHeldEmptiesThemFirstAndTheWindowIgnoresInputMeanwhile) {
    metersim::Options options;
    options.pieceSize = 20;
    options.pieceGapMs = 30;
    Start(options);
    Read();
    ExpectFilled();
    meter->Sim().WaitForReceived(2, 2000);

    // The read command reaching the window while records are held (the button is disabled).
    bool sawReading = false;
    int rowsDuringRead = -1;
    QTimer::singleShot(100, [&] {
        sawReading = dlg->IsReading();
        rowsDuringRead = Rows();
        // Clicks on exit and clear, and a close, do nothing while the meter is being read.
        QTest::mouseClick(dlg->GetDlgItem(IDOK_EXIT), Qt::LeftButton);
        QTest::mouseClick(dlg->GetDlgItem(IDC_CLEAR), Qt::LeftButton);
        dlg->close();
    });
    boxes.Clear();
    boxes.Answer(kIdYes);
    dlg->OnRead();
    EXPECT_TRUE(sawReading);
    EXPECT_EQ(rowsDuringRead, 0);
    EXPECT_EQ(boxes.Texts().size(), 1u);  // only the read question: no exit or clear question
    EXPECT_TRUE(dlg->isVisible());
    ExpectFilled();
    EXPECT_EQ(Received(4), (Bytes{STX, ACK, STX, ACK}));
}

}  // namespace
}  // namespace odomei

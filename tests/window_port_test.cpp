// The window's start-up with the serial port: opened, refused, and closed at the end.
#include <gtest/gtest.h>

#include <regex>

#include "app/MeterDlg.h"
#include "link/SerialPort.h"
#include "platform/PortMap.h"
#include "platform/Text.h"
#include "tests/FakeSerial.h"
#include "tests/MeterLine.h"
#include "tests/WindowSupport.h"

namespace odomei {
namespace {

using test::ScriptedMessageBoxes;

constexpr const char* kBanner = "＊＊＊＊＊＊＊＊アプリケーション起動＊＊＊＊＊＊＊＊";

// The log with its time stamps replaced by "hh時mm分ss秒nnn".
std::string MaskedLog(const std::string& path) {
    const std::string text = Cp932ToUtf8(test::ReadBytes(path)).value_or("<not CP932>");
    static const std::regex stamp("^[0-9]{2}時[0-9]{2}分[0-9]{2}秒[0-9]{3}：",
                                  std::regex::multiline);
    return std::regex_replace(text, stamp, "hh時mm分ss秒nnn：");
}

TEST(WindowPort, OpensTheMappedPseudoTerminalEnablesReadAndLogsTheBanner) {
    test::TempDir dir;
    test::ScopedCwd cwd(dir.Path());
    test::MeterLine meter(dir);
    {
        CMeterDlg dlg;
        dlg.OnInitDialog();
        EXPECT_TRUE(dlg.GetDlgItem(IDC_READ)->isEnabled());
        EXPECT_FALSE(dlg.GetDlgItem(IDC_SAVE_CSV)->isEnabled());
        EXPECT_TRUE(dlg.Session().IsOpen());
        EXPECT_EQ(MaskedLog(dir.File("KORVANA.log")),
                  std::string("hh時mm分ss秒nnn：") + kBanner + "\r\n");
        // The write-back of the port number leaves [Ports] alone.
        EXPECT_EQ(ReadIniString(kPortsSection, "COM1", meter.Ini()), dir.File("meter-tty"));
    }
    // Closed with the window: the port can be had again.
    SerialHandle again = nullptr;
    EXPECT_EQ(OpenSerialPort(&again, 1, 19200, 8, 0, 1, 0, meter.Ports()), 1);
    CloseSerialPort(again);
}

TEST(WindowPort, RaisesRtsThenDtrAndClosesThePortWhenDestroyed) {
    test::TempDir dir;
    test::ScopedCwd cwd(dir.Path());
    auto line = std::make_shared<test::FakeLine>();
    test::FakeOpener opener(line);
    {
        CMeterDlg dlg;
        dlg.OnInitDialog();
        EXPECT_EQ(opener.names, std::vector<std::string>{"COM1"});
        EXPECT_EQ(line->Only({"EscapeCommFunction"}),
                  (std::vector<std::string>{"EscapeCommFunction(3)", "EscapeCommFunction(5)"}));
        EXPECT_EQ(line->state.BaudRate, 19200u);
        EXPECT_EQ(line->state.ByteSize, 8);
        EXPECT_EQ(line->state.Parity, kNoParity);
        EXPECT_EQ(line->state.StopBits, kOneStopBit);
        EXPECT_FALSE(line->closed);
    }
    EXPECT_TRUE(line->closed);
    EXPECT_EQ(line->calls.back(), "CloseHandle");
}

TEST(WindowPort, MissingDeviceShowsTheConfiguredNumberAndTheDeviceTried) {
    test::TempDir dir;
    test::ScopedCwd cwd(dir.Path());
    test::RealSerialOpener real;
    const std::string ini = dir.File("KORVANA.ini");
    WriteIniString("シリアル通信設定", "ｼﾘｱﾙﾎﾟｰﾄ番号", "12", ini);
    WriteIniString(kPortsSection, "COM12", dir.File("unplugged"), ini);
    ScriptedMessageBoxes boxes;
    CMeterDlg dlg;
    dlg.OnInitDialog();
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text,
              "通信ポートの初期化に失敗しました。環境を確認して再起動して下さい(COM12)\n"
              "通信ポートを変更する場合はINIファイルを編集して下さい");
    EXPECT_EQ(boxes.Calls()[0].flags, kMbIconHand);
    EXPECT_NE(boxes.Calls()[0].detail.find(dir.File("unplugged")), std::string::npos);
    EXPECT_NE(boxes.Calls()[0].detail.find("no such device"), std::string::npos);
    EXPECT_FALSE(dlg.GetDlgItem(IDC_READ)->isEnabled());
    EXPECT_FALSE(dlg.GetDlgItem(IDC_CLEAR)->isEnabled());
    EXPECT_TRUE(dlg.GetDlgItem(IDOK_EXIT)->isEnabled());
    EXPECT_FALSE(dlg.Session().IsOpen());
    EXPECT_FALSE(test::Exists(dir.File("KORVANA.log")));  // no banner without a port
}

}  // namespace
}  // namespace odomei

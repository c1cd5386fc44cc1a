// A main window on the simulated meter, with the message boxes scripted and the clock fixed:
// the fixture of the tests that read through the window.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/MeterDlg.h"
#include "tests/LogExpect.h"
#include "tests/MeterLine.h"
#include "tests/WindowSupport.h"

namespace odomei::test {

inline constexpr const char* kBanner = "＊＊＊＊＊＊＊＊アプリケーション起動＊＊＊＊＊＊＊＊";

class MeterWindowTest : public ::testing::Test {
protected:
    // Starts the meter and the window, working in workDir (default: the test's folder).
    void Start(metersim::Options options = {}, const std::string& workDir = {}) {
        work = workDir.empty() ? dir.Path() : workDir;
        cwd = std::make_unique<ScopedCwd>(work);
        meter = std::make_unique<MeterLine>(dir, options);
        ASSERT_TRUE(meter->Started());
        if (work != dir.Path()) WriteBytes(work + "/KORVANA.ini", ReadBytes(meter->Ini()));
        dlg = std::make_unique<CMeterDlg>();
        dlg->OnInitDialog();
        dlg->show();
        ASSERT_TRUE(dlg->GetDlgItem(IDC_READ)->isEnabled());
        const auto sample = metersim::SampleBlock();
        block.assign(sample.begin(), sample.end());
    }
    // Presses read, answers Yes, and returns how long the command took.
    std::chrono::milliseconds Read() {
        boxes.Answer(kIdYes);
        const auto start = std::chrono::steady_clock::now();
        qobject_cast<QPushButton*>(dlg->GetDlgItem(IDC_READ))->click();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    }
    Bytes Received(std::size_t atLeast) {
        meter->Sim().WaitForReceived(atLeast, 2000);
        return meter->Sim().Received();
    }
    std::string Log() const { return ReadBytes(work + "/KORVANA.log"); }
    std::string BannerLog() const { return FixedClock::Stamp() + Sjis(kBanner) + "\r\n"; }
    int Rows() const {
        return qobject_cast<QTableWidget*>(dlg->GetDlgItem(IDC_RECORD_LIST))->rowCount();
    }
    QString Version() const {
        return qobject_cast<QLabel*>(dlg->GetDlgItem(IDC_VERSION_TEXT))->text();
    }
    std::vector<bool> Buttons() const {
        return {dlg->GetDlgItem(IDC_READ)->isEnabled(), dlg->GetDlgItem(IDC_SAVE_CSV)->isEnabled(),
                dlg->GetDlgItem(IDC_CLEAR)->isEnabled()};
    }
    // The texts of the boxes after the read question.
    std::vector<std::string> Messages() const {
        auto texts = boxes.Texts();
        if (!texts.empty()) texts.erase(texts.begin());
        return texts;
    }
    int Count() const { return dlg->Records().m_nRecordCount; }
    void ExpectFilled() {
        EXPECT_EQ(Rows(), 15);
        EXPECT_EQ(Version(), "F/W Version:01.03");
        EXPECT_EQ(Buttons(), (std::vector<bool>{false, true, true}));
        EXPECT_EQ(dlg->Records().m_nRecordCount, 15);
    }
    void ExpectUnchangedEmpty() {
        EXPECT_EQ(Rows(), 0);
        EXPECT_EQ(Version(), "");
        EXPECT_EQ(Buttons(), (std::vector<bool>{true, false, false}));
    }

    TempDir dir;
    std::string work;
    std::unique_ptr<ScopedCwd> cwd;
    FixedClock clock;
    ScriptedMessageBoxes boxes;
    std::unique_ptr<MeterLine> meter;
    std::unique_ptr<CMeterDlg> dlg;
    Bytes block;
};

}  // namespace odomei::test

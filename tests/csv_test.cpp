// The CSV export through the window's save command: the file's bytes, the dialog and failures.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "app/MeterDlg.h"
#include "app/SaveAs.h"
#include "data/CsvExport.h"
#include "tests/WindowSupport.h"

namespace odomei {
namespace {

using test::ReadBytes;
using test::ScriptedMessageBoxes;
using test::ScriptedSaveAs;

RecordTable FifteenRows() {
    RecordTable t;
    for (int i = 1; i <= kMaxRecords; ++i) {
        char date[32], distance[16], fuel[16], refuel[16], error[16];
        std::snprintf(date, sizeof date, "2026年%02d月%02d日", (i + 1) / 2, i * 2);
        std::snprintf(distance, sizeof distance, "%d.%02d", 300 + i, i);
        std::snprintf(fuel, sizeof fuel, "%d.5%d", 20 + i, i % 10);
        std::snprintf(refuel, sizeof refuel, "%d.00", 21 + i);
        std::snprintf(error, sizeof error, "%d.25", i - 7);
        t.m_rows[i - 1] = {i == 3 ? "-" : date, distance, fuel, "100.00", refuel, error};
    }
    t.m_nRecordCount = kMaxRecords;
    return t;
}

class SaveCommand : public ::testing::Test {
protected:
    SaveCommand() : cwd(dir.Path()) { dlg.OnInitDialog(); }
    void Hold(const RecordTable& t) {
        dlg.Records() = t;
        dlg.ShowRecords("01.03");
    }
    test::TempDir dir;
    test::ScopedCwd cwd;
    CMeterDlg dlg;
    ScriptedMessageBoxes boxes;
    ScriptedSaveAs saveAs;
};

TEST_F(SaveCommand, WritesTheGoldenFileAndNamesOnlyTheFile) {
    Hold(FifteenRows());
    const std::string path = dir.File("履歴.csv");
    saveAs.Choose(path);
    qobject_cast<QPushButton*>(dlg.GetDlgItem(IDC_SAVE_CSV))->click();

    EXPECT_EQ(ReadBytes(path), ReadBytes(ODOMEI_TEST_DATA "/fifteen_rows.csv"));
    ASSERT_EQ(saveAs.Requests().size(), 1u);
    const SaveAsRequest& r = saveAs.Requests()[0];
    EXPECT_EQ(r.initialName, "*.csv");
    EXPECT_EQ(r.typeDescription, "CSV(ｶﾝﾏ区切り)");
    EXPECT_EQ(r.typePattern, "*.csv");
    EXPECT_EQ(r.directory, dlg.Paths().strCurDir);
    EXPECT_TRUE(r.confirmOverwrite);  // replacing an existing file asks first
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "\"履歴.csv\"を保存しました。");
    EXPECT_EQ(boxes.Calls()[0].flags, kMbIconInformation);
    // Saving changes nothing in the window; the same records can be saved again.
    EXPECT_EQ(dlg.Records().m_nRecordCount, 15);
    EXPECT_TRUE(dlg.GetDlgItem(IDC_SAVE_CSV)->isEnabled());
}

TEST_F(SaveCommand, OneRowWithoutADateStartsWithADash) {
    RecordTable t;
    t.m_rows[0] = {"-", "1.00", "2.00", "100.00", "2.00", "0.00"};
    t.m_nRecordCount = 1;
    const std::string golden = ReadBytes(ODOMEI_TEST_DATA "/fifteen_rows.csv");
    EXPECT_EQ(CsvContent(t),
              golden.substr(0, golden.find("\r\n") + 2) + "-,1.00,2.00,100.00,2.00,0.00\r\n");
}

TEST_F(SaveCommand, NothingHeldOrCancelledShowsNoDialogOrNoMessage) {
    dlg.OnSaveCsv();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"保存する情報がありません"});
    EXPECT_EQ(boxes.Calls()[0].shown, kMbIconExclamation);
    EXPECT_TRUE(saveAs.Requests().empty());

    boxes.Clear();
    Hold(FifteenRows());
    saveAs.Cancel();
    dlg.OnSaveCsv();
    EXPECT_EQ(saveAs.Requests().size(), 1u);
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST(SaveAsDialog, APatternInTheNameFieldFiltersAndIsNeverAFileName) {
    test::TempDir dir;
    QString typeBox;
    bool stillOpenAfterEnter = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        typeBox = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))->currentText();
        QTest::keyClick(dialog, Qt::Key_Return);  // the offered "*.csv" accepted at once
        stillOpenAfterEnter = dialog->isVisible();
        dialog->reject();
    });
    const SaveAsHook scripted = SetSaveAsHook({});  // the real dialog
    const auto chosen = ShowSaveAsDialog(CsvSaveRequest(dir.Path()));
    SetSaveAsHook(scripted);
    EXPECT_FALSE(chosen);
    EXPECT_TRUE(stillOpenAfterEnter);
    EXPECT_FALSE(test::Exists(dir.File("*.csv")));
    EXPECT_EQ(typeBox.toStdString(), "CSV(ｶﾝﾏ区切り)");
}

TEST_F(SaveCommand, ReplacesAnExistingFileWhole) {
    Hold(FifteenRows());
    const std::string path = dir.File("old.csv");
    test::WriteBytes(path, std::string(5000, 'x'));
    saveAs.Choose(path);
    dlg.OnSaveCsv();
    EXPECT_EQ(ReadBytes(path), ReadBytes(ODOMEI_TEST_DATA "/fifteen_rows.csv"));
}

TEST_F(SaveCommand, UnwritableFolderShowsTheOpenFailure) {
    test::UnwritableDir locked;
    if (locked.Path().empty()) GTEST_SKIP() << "no folder that this user cannot write";
    Hold(FifteenRows());
    saveAs.Choose(locked.Path() + "/out.csv");
    dlg.OnSaveCsv();
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "ファイルオープンに失敗しました");
    EXPECT_EQ(boxes.Calls()[0].flags, kMbIconHand);
    EXPECT_NE(boxes.Calls()[0].detail.find(locked.Path()), std::string::npos);
}

TEST_F(SaveCommand, AReadOnlyFileIsNotReplacedAndTheOpenFailureSaysWhy) {
    Hold(FifteenRows());
    const std::string path = dir.File("protected.csv");
    test::WriteBytes(path, "kept\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    saveAs.Choose(path);
    dlg.OnSaveCsv();
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "ファイルオープンに失敗しました");
    EXPECT_EQ(boxes.Calls()[0].flags, kMbIconHand);
    EXPECT_NE(boxes.Calls()[0].detail.find("read-only"), std::string::npos);
    EXPECT_EQ(ReadBytes(path), "kept\r\n");
}

// A write that fails part-way leaves the earlier file byte for byte and is not called a success.
TEST_F(SaveCommand, FailedWriteKeepsTheEarlierFileAndSaysSo) {
    Hold(FifteenRows());
    const std::string earlier = "the earlier export\r\n";

    // On a device that is full before the new content fits.
    test::ScratchMount full(4096);
    if (full.Usable()) {
        const std::string path = full.File("out.csv");
        test::WriteBytes(path, earlier);
        test::WriteBytes(full.File("filler"), std::string(4096 - 512, 'f'));
        test::WriteBytes(full.File("filler2"), std::string(3000, 'f'));  // fills the device
        saveAs.Choose(path);
        dlg.OnSaveCsv();
        EXPECT_EQ(ReadBytes(path), earlier);
        ASSERT_EQ(boxes.Calls().size(), 1u);
        EXPECT_EQ(boxes.Calls()[0].text, "ファイルの書き込みに失敗しました");
        EXPECT_EQ(boxes.Calls()[0].flags, kMbIconHand);
        boxes.Clear();
    }

    // With a file size limit below the content, which any user can set.
    const std::string path = dir.File("limited.csv");
    test::WriteBytes(path, earlier);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    saveAs.Choose(path);
    dlg.OnSaveCsv();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(ReadBytes(path), earlier);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"ファイルの書き込みに失敗しました"});
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_NE(e.path().filename().string().rfind("limited.csv.", 0), 0u)
            << "temporary file left behind: " << e.path();
    }
}

}  // namespace
}  // namespace odomei

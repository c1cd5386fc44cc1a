// The main window on the offscreen platform: its initial state, keys, menu, exit and the list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/AboutBox.h"
#include "app/MeterDlg.h"
#include "app/VehicleDlg.h"
#include "link/MeterSession.h"
#include "tests/FakeSerial.h"
#include "tests/WindowSupport.h"
#include "ui/ColumnLayout.h"

namespace odomei {
namespace {

using test::ScriptedMessageBoxes;

// A main window initialised in a fresh working folder, shown offscreen, on a scripted line
// that does not open: the window's state before any port.
class MainWindow : public ::testing::Test {
protected:
    MainWindow() : cwd(dir.Path()) {
        line->failing = {"CreateFile"};
        ScriptedMessageBoxes startBoxes;  // the port failure message
        dlg.OnInitDialog();
        dlg.show();
        QApplication::setActiveWindow(&dlg);
    }
    QWidget* Item(int id) const { return dlg.GetDlgItem(id); }
    QTableWidget* List() const { return qobject_cast<QTableWidget*>(Item(IDC_RECORD_LIST)); }
    QString Version() const { return qobject_cast<QLabel*>(Item(IDC_VERSION_TEXT))->text(); }
    bool Enabled(int id) const { return Item(id)->isEnabled(); }
    QString Cell(int row, int column) const { return List()->item(row, column)->text(); }

    void Fill(int count) {
        RecordTable& t = dlg.Records();
        for (int i = 0; i < count; ++i) {
            t.m_rows[i] = {"2026年01月" + std::to_string(10 + i) + "日",
                           std::to_string(300 + i) + ".25",
                           "30.10",
                           "100.00",
                           "31.00",
                           "2.90"};
        }
        t.m_nRecordCount = count;
    }

    test::TempDir dir;
    test::ScopedCwd cwd;
    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    test::FakeOpener opener{line};
    CMeterDlg dlg;
};

TEST_F(MainWindow, StartsWithFocusOnExitTheCommandsDisabledAndSevenColumns) {
    EXPECT_EQ(dlg.windowTitle(), "ODOMEI");
    EXPECT_EQ(dlg.focusWidget(), Item(IDOK_EXIT));
    EXPECT_TRUE(Enabled(IDOK_EXIT));
    EXPECT_FALSE(Enabled(IDC_READ));
    EXPECT_FALSE(Enabled(IDC_SAVE_CSV));
    EXPECT_FALSE(Enabled(IDC_CLEAR));
    EXPECT_EQ(Version(), "");
    const QStringList captions{"No",        "日付",        "走行距離[km]", "消費燃料[L]",
                               "補正値[%]", "実給油量[L]", "測定誤差[%]"};
    ASSERT_EQ(List()->columnCount(), 7);
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(List()->horizontalHeaderItem(c)->text(), captions[c]);
    }
    // At the program's font every caption fits its column and the columns fit the list: no
    // sideways scrolling before or after a read of plausible records.
    int total = 0;
    for (int c = 0; c < 7; ++c) {
        EXPECT_GE(List()->columnWidth(c),
                  List()->horizontalHeader()->fontMetrics().horizontalAdvance(captions[c]))
            << c;
        total += List()->columnWidth(c);
    }
    EXPECT_LE(total, List()->width() - 2 * List()->frameWidth());
    EXPECT_EQ(dlg.Port(), 1);
    EXPECT_TRUE(test::Exists(dir.File("KORVANA.ini")));
    // The buttons stand in one row: read, save, clear, exit; the tab order starts at exit.
    EXPECT_LT(Item(IDC_READ)->x(), Item(IDC_SAVE_CSV)->x());
    EXPECT_LT(Item(IDC_CLEAR)->x(), Item(IDOK_EXIT)->x());
    EXPECT_EQ(Item(IDOK_EXIT)->nextInFocusChain(), Item(IDC_RECORD_LIST));
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainWindow, EnterAndEscapeDoNothingWhereverTheFocusIs) {
    ScriptedMessageBoxes boxes;  // any question asked would fail the test
    Fill(3);
    dlg.ShowRecords("01.03");
    for (int id : {IDOK_EXIT, IDC_RECORD_LIST, IDC_SAVE_CSV, IDC_CLEAR}) {
        Item(id)->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(Item(id), key);
        }
    }
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(List()->rowCount(), 3);
}

TEST_F(MainWindow, TabGoesRoundEveryControlAlsoFromAFilledList) {
    Fill(3);
    dlg.ShowRecords("01.03");
    Item(IDOK_EXIT)->setFocus();
    std::vector<QWidget*> forward, backward;
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        forward.push_back(QApplication::focusWidget());
    }
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        backward.push_back(QApplication::focusWidget());
    }
    // Read is disabled once the list is filled.
    EXPECT_EQ(forward,
              (std::vector<QWidget*>{Item(IDC_RECORD_LIST), Item(IDC_SAVE_CSV), Item(IDC_CLEAR),
                                     Item(IDC_HISTORY), Item(IDC_PORT_SETTINGS), Item(IDC_VEHICLES),
                                     Item(IDOK_EXIT)}));
    EXPECT_EQ(backward,
              (std::vector<QWidget*>{Item(IDC_VEHICLES), Item(IDC_PORT_SETTINGS), Item(IDC_HISTORY),
                                     Item(IDC_CLEAR), Item(IDC_SAVE_CSV), Item(IDC_RECORD_LIST),
                                     Item(IDOK_EXIT)}));
}

// The buttons the window gained stand in a second row under the template's, each in the column
// of the button above it, inside the list's edges; the version and the vehicle under the list.
TEST_F(MainWindow, TheSecondRowStandsUnderTheFourButtonsAndEverythingInsideTheWindow) {
    const QRect list = Item(IDC_RECORD_LIST)->geometry();
    int firstRowBottom = 0;
    for (int id : {IDC_READ, IDC_SAVE_CSV, IDC_CLEAR, IDOK_EXIT}) {
        firstRowBottom = std::max(firstRowBottom, Item(id)->geometry().bottom());
    }
    const std::vector<std::pair<int, int>> columns{
        {IDC_HISTORY, IDC_READ}, {IDC_PORT_SETTINGS, IDC_SAVE_CSV}, {IDC_VEHICLES, IDC_CLEAR}};
    for (const auto& [id, above] : columns) {
        SCOPED_TRACE(id);
        const QRect r = Item(id)->geometry();
        EXPECT_EQ(r.left(), Item(above)->x());
        EXPECT_EQ(r.width(), Item(above)->width());
        EXPECT_GT(r.top(), firstRowBottom);
        EXPECT_LT(r.bottom(), list.top());
        EXPECT_GE(r.left(), list.left());
        EXPECT_LE(r.right(), list.right());
        EXPECT_EQ(r.top(), Item(IDC_HISTORY)->y());
        // The whole caption shows.
        const auto* button = qobject_cast<QPushButton*>(Item(id));
        EXPECT_LT(button->fontMetrics().horizontalAdvance(button->text()), r.width());
        EXPECT_GE(button->height(), button->fontMetrics().height());
    }
    EXPECT_EQ(qobject_cast<QPushButton*>(Item(IDC_VEHICLES))->text(), "車両");
    const QRect version = Item(IDC_VERSION_TEXT)->geometry();
    const QRect vehicle = Item(IDC_VEHICLE_TEXT)->geometry();
    EXPECT_GT(version.top(), list.bottom());
    EXPECT_GT(vehicle.top(), list.bottom());
    EXPECT_EQ(vehicle.left(), list.left());
    EXPECT_FALSE(vehicle.intersects(version));
    for (int id : {IDOK_EXIT, IDC_RECORD_LIST, IDC_READ, IDC_SAVE_CSV, IDC_CLEAR, IDC_HISTORY,
                   IDC_PORT_SETTINGS, IDC_VEHICLES, IDC_VEHICLE_TEXT, IDC_VERSION_TEXT}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(dlg.rect().contains(Item(id)->geometry()))
            << Item(id)->objectName().toStdString();
    }
    // The first vehicle of a logbook not made yet.
    EXPECT_EQ(qobject_cast<QLabel*>(Item(IDC_VEHICLE_TEXT))->text().toStdString(),
              VehicleShownText(kFirstVehicleName));
}

TEST_F(MainWindow, TheVehicleDialogOpensFromTheButtonAndFromTheWindowMenu) {
    int opened = 0;
    auto look = [&] {
        QTimer::singleShot(0, [&] {
            auto* vehicles = qobject_cast<CVehicleDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(vehicles, nullptr);
            ++opened;
            auto* list = qobject_cast<QTableWidget*>(vehicles->GetDlgItem(IDC_VEHICLE_LIST));
            EXPECT_EQ(list->rowCount(), 1);
            EXPECT_EQ(list->item(0, 0)->text().toStdString(), kFirstVehicleName);
            EXPECT_EQ(qobject_cast<QLabel*>(vehicles->GetDlgItem(IDC_VEHICLE_PROMPT))
                          ->text()
                          .toStdString(),
                      kVehicleManagePrompt);
            // Every control inside the dialog.
            for (int id : {IDC_VEHICLE_PROMPT, IDC_VEHICLE_LIST, IDOK_EXIT, IDC_VEHICLE_ADD,
                           IDC_VEHICLE_RENAME, IDC_VEHICLE_REMOVE, kIdCancel}) {
                EXPECT_TRUE(vehicles->rect().contains(vehicles->GetDlgItem(id)->geometry()));
            }
            vehicles->reject();
        });
    };
    look();
    qobject_cast<QPushButton*>(Item(IDC_VEHICLES))->click();
    EXPECT_EQ(opened, 1);
    QAction* entry = nullptr;
    for (QAction* action : dlg.SystemMenu()->actions()) {
        if (action->text() == QString::fromUtf8(kVehicleMenuText)) entry = action;
    }
    ASSERT_NE(entry, nullptr);
    look();
    entry->trigger();
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(dlg.Vehicle(), kFirstVehicleName);
}

TEST_F(MainWindow, ExitAsksAndNoKeepsEverythingWhileYesEnds) {
    ScriptedMessageBoxes boxes;
    Fill(2);
    dlg.ShowRecords("01.03");
    boxes.Answer(kIdNo);
    qobject_cast<QPushButton*>(Item(IDOK_EXIT))->click();
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "終了します。よろしいですか？");
    EXPECT_EQ(boxes.Calls()[0].flags, kMbYesNo | kMbIconInformation);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(List()->rowCount(), 2);
    EXPECT_EQ(dlg.Records().m_nRecordCount, 2);

    boxes.Answer(kIdYes);
    qobject_cast<QPushButton*>(Item(IDOK_EXIT))->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(MainWindow, ClosingFromTheTitleBarAsksNothing) {
    ScriptedMessageBoxes boxes;
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(MainWindow, WindowMenuEndsWithTheAboutEntryWhichOpensTheAboutBox) {
    const QList<QAction*> actions = dlg.SystemMenu()->actions();
    ASSERT_GE(actions.size(), 3);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), "Korvana のﾊﾞｰｼﾞｮﾝ情報(&A)...");

    QString aboutTitle, aboutName;
    bool aboutEndedByEnter = false;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<CAboutBox*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        aboutTitle = about->windowTitle();
        aboutName = about->findChild<QLabel*>("name")->text();
        QTest::keyClick(about, Qt::Key_Return);  // Enter ends the About box as usual
        aboutEndedByEnter = !about->isVisible();
        if (about->isVisible()) about->reject();
    });
    actions.back()->trigger();
    EXPECT_EQ(aboutTitle, "Korvanaのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(aboutName, "Korvana Version 2.0");
    EXPECT_TRUE(aboutEndedByEnter);
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(MainWindow, ShowRecordsListsTheRowsAndFillsTheVersion) {
    for (int count : {10, 15}) {
        SCOPED_TRACE(count);
        dlg.Records() = {};
        Fill(count);
        dlg.ShowRecords("01.03");
        ASSERT_EQ(List()->rowCount(), count);
        EXPECT_EQ(Cell(0, 0), "01");
        EXPECT_EQ(Cell(count - 1, 0), QString::asprintf("%02d", count));
        EXPECT_EQ(Cell(count - 1, 1),
                  QString::fromStdString(dlg.Records().m_rows[count - 1].m_strDate));
        EXPECT_EQ(Cell(0, 6), "2.90");
        EXPECT_EQ(List()->item(0, 3)->textAlignment(), Qt::AlignCenter);
        EXPECT_EQ(Version(), "F/W Version:01.03");
        EXPECT_FALSE(Enabled(IDC_READ));
        EXPECT_TRUE(Enabled(IDC_SAVE_CSV));
        EXPECT_TRUE(Enabled(IDC_CLEAR));
    }
    // The whole version text shows at the window's font.
    auto* label = qobject_cast<QLabel*>(Item(IDC_VERSION_TEXT));
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
}

TEST_F(MainWindow, BlockWithoutValidRecordsOnlyTellsSo) {
    ScriptedMessageBoxes boxes;
    dlg.ShowRecords("01.03");
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "計測データを受信しましたが、有効なデータが有りませんでした");
    EXPECT_EQ(boxes.Calls()[0].flags, kMbIconInformation);
    EXPECT_EQ(List()->rowCount(), 0);
    EXPECT_EQ(Version(), "");
    EXPECT_FALSE(Enabled(IDC_SAVE_CSV));
    EXPECT_FALSE(Enabled(IDC_CLEAR));
}

TEST_F(MainWindow, ClearAsksAndYesEmptiesTheListButKeepsTheVersion) {
    ScriptedMessageBoxes boxes;
    Fill(4);
    dlg.ShowRecords("01.03");

    boxes.Answer(kIdNo);
    qobject_cast<QPushButton*>(Item(IDC_CLEAR))->click();
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{"読み出したデータをクリアします。よろしいですか？"});
    EXPECT_EQ(boxes.Calls()[0].flags, kMbYesNo | kMbIconInformation);
    EXPECT_EQ(List()->rowCount(), 4);
    EXPECT_EQ(dlg.Records().m_nRecordCount, 4);
    EXPECT_TRUE(Enabled(IDC_CLEAR));

    boxes.Answer(kIdYes);
    qobject_cast<QPushButton*>(Item(IDC_CLEAR))->click();
    EXPECT_EQ(List()->rowCount(), 0);
    EXPECT_EQ(dlg.Records().m_nRecordCount, 0);
    for (const RecordRow& row : dlg.Records().m_rows) EXPECT_EQ(row, RecordRow{});
    EXPECT_TRUE(Enabled(IDC_READ));
    EXPECT_FALSE(Enabled(IDC_SAVE_CSV));
    EXPECT_FALSE(Enabled(IDC_CLEAR));
    EXPECT_EQ(Version(), "F/W Version:01.03");

    // With nothing held, a clear that reaches the window anyway only says so.
    boxes.Clear();
    dlg.OnClear();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"クリアする情報がありません"});
    EXPECT_EQ(boxes.Calls()[0].shown, kMbIconExclamation);
}

TEST(ColumnWidths, DesignedWhereTheyFitAndTakenFromSpareRoomWhereTheyDoNot) {
    const std::vector<int> designed{0, 100, 90, 90, 80, 90, 90};
    // A list wide enough: the designed widths, column 0 taking the rest.
    EXPECT_EQ(FitColumns(designed, {30, 60, 60, 60, 60, 60, 60}, 600),
              (std::vector<int>{60, 100, 90, 90, 80, 90, 90}));
    // Column 0 needs 40 and the date 118 on a 580-pixel list: 598 pixels, 18 too many, taken
    // from the others' spare room (30, 30, 20, 30, 30 = 140) in proportion (3, 3, 2, 3, 3), the
    // four left by rounding one each from the last columns.
    EXPECT_EQ(FitColumns(designed, {40, 118, 60, 60, 60, 60, 60}, 580),
              (std::vector<int>{40, 118, 87, 86, 77, 86, 86}));
    // Not enough spare room: every column gets what it needs and the list scrolls.
    EXPECT_EQ(FitColumns(designed, {50, 130, 95, 95, 85, 95, 95}, 500),
              (std::vector<int>{50, 130, 95, 95, 85, 95, 95}));
    // Column 0 gives way too: 30 too many, from 170 pixels of spare room (its own 30 among them).
    EXPECT_EQ(FitColumns(designed, {30, 130, 60, 60, 60, 60, 60}, 600),
              (std::vector<int>{55, 130, 85, 85, 77, 84, 84}));
    // At 150 % (a Win32 dialog's 741-pixel list, its font half as large again) the designed
    // widths grow by half: the list holds every column without scrolling, and column 0 does not
    // take the 201 pixels that unscaled widths would leave it.
    const std::vector<int> at150 =
        FitColumns(designed, {36, 132, 105, 100, 90, 100, 100}, 741, ColumnScale{3, 2});
    EXPECT_EQ(at150, (std::vector<int>{36, 140, 118, 115, 103, 115, 114}));
}

TEST(MessageBoxRules, ThePortMessageKeepsEachOfItsTwoLinesWhole) {
    const MessageBoxCall call{PortFailureText("COM12"), kMbIconHand, kMbIconHand, "detail",
                              kAppTitle};
    const auto box = MakeMessageBox(call);
    box->show();
    QApplication::processEvents();
    const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    for (const QString& line : QString::fromStdString(call.text).split('\n')) {
        EXPECT_GE(label->contentsRect().width(), label->fontMetrics().horizontalAdvance(line))
            << line.toStdString();
    }
    box->hide();
}

TEST(MessageBoxRules, PlainBoxesGetTheExclamationIcon) {
    EXPECT_EQ(ShownMessageBoxFlags(kMbOk), kMbIconExclamation);
    EXPECT_EQ(ShownMessageBoxFlags(kMbYesNo), kMbYesNo | kMbIconExclamation);
    EXPECT_EQ(ShownMessageBoxFlags(kMbIconHand), kMbIconHand);
    EXPECT_EQ(ShownMessageBoxFlags(kMbYesNo | kMbIconInformation), kMbYesNo | kMbIconInformation);
}

}  // namespace
}  // namespace odomei

// The port chooser in the Qt window on the offscreen platform: opened from its button, a port
// plugged in while it is open, the simulator's port picked among ports that cannot be opened, a
// read on it, and the choice found again at the next start.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/MeterDlg.h"
#include "app/PortDlg.h"
#include "link/PortSetting.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "tests/FakeMachine.h"
#include "tests/FakeSerial.h"
#include "tests/WindowSupport.h"
#include "tools/metersim/MeterSim.h"

namespace odomei {
namespace {

using test::ScriptedMessageBoxes;

// The chooser over the tests' own machine for as long as it lives.
class ScopedSurveyor {
public:
    explicit ScopedSurveyor(PortSurveyor surveyor)
        : m_previous(SetPortSurveyor(std::move(surveyor))) {}
    ~ScopedSurveyor() { SetPortSurveyor(std::move(m_previous)); }

private:
    PortSurveyor m_previous;
};

int RowOf(const QTableWidget* list, const QString& name) {
    for (int r = 0; r < list->rowCount(); ++r) {
        if (list->item(r, 0)->text() == name) return r;
    }
    return -1;
}

TEST(PortDialog, PicksTheMetersPortAmongUnusableOnesReadsAndKeepsItForTheNextStart) {
    test::TempDir dir;
    test::ScopedCwd cwd(dir.Path());
    test::RealSerialOpener real;
    test::FakeMachine machine;
    const ScopedSurveyor surveyor(machine.Surveyor());
    const std::string ini = dir.File("KORVANA.ini");
    WriteIniString(kPortsSection, "COM1", dir.File("unplugged-1"), ini);
    WriteIniString(kPortsSection, "COM2", dir.File("meter-tty"), ini);
    WriteIniString(kPortsSection, "COM3", dir.File("unplugged-3"), ini);
    metersim::Options options;
    options.pace = false;
    options.linkPath = dir.File("meter-tty");
    metersim::MeterSim sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;

    ScriptedMessageBoxes boxes;
    {
        CMeterDlg dlg;
        dlg.OnInitDialog();  // COM1 is not there: said, read disabled
        dlg.show();
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{PortFailureText("COM1")});
        QWidget* ports = dlg.GetDlgItem(IDC_PORT_SETTINGS);
        QWidget* history = dlg.GetDlgItem(IDC_HISTORY);
        ASSERT_NE(ports, nullptr);
        EXPECT_EQ(qobject_cast<QPushButton*>(ports)->text(), "ポート設定");
        // After 履歴 in the second row, of the same size, under 保存.
        EXPECT_EQ(ports->y(), history->y());
        EXPECT_EQ(ports->size(), history->size());
        EXPECT_EQ(ports->x(), dlg.GetDlgItem(IDC_SAVE_CSV)->x());
        EXPECT_LE(ports->geometry().right(), dlg.width());
        EXPECT_TRUE(ports->isEnabled());
        EXPECT_FALSE(dlg.GetDlgItem(IDC_READ)->isEnabled());
        bool inMenu = false;
        for (QAction* a : dlg.SystemMenu()->actions()) inMenu |= a->text() == "ポート設定(&P)...";
        EXPECT_TRUE(inMenu);

        QStringList states;
        int rowsBefore = -1, rowsAfterPlug = -1;
        bool okForMissing = true;
        QTimer::singleShot(0, [&] {
            auto* chooser = qobject_cast<CPortDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(chooser, nullptr);
            auto* list = qobject_cast<QTableWidget*>(chooser->GetDlgItem(IDC_PORT_LIST));
            rowsBefore = list->rowCount();
            for (int r = 0; r < list->rowCount(); ++r) states << list->item(r, 5)->text();
            list->selectRow(RowOf(list, "COM3"));
            okForMissing = chooser->GetDlgItem(IDOK_EXIT)->isEnabled();
            // An adapter plugged in while the chooser is open appears by itself.
            chooser->WatchFolders({machine.roots.dev});
            machine.AddUsbAdapter("ttyUSB0", "0403", "6001", "FT232R USB UART", "A1B2C3");
            EXPECT_TRUE(QTest::qWaitFor([&] { return list->rowCount() > rowsBefore; }, 10000));
            rowsAfterPlug = list->rowCount();
            list->selectRow(RowOf(list, "COM2"));
            qobject_cast<QPushButton*>(chooser->GetDlgItem(IDOK_EXIT))->click();
            if (chooser->isVisible()) chooser->reject();
        });
        qobject_cast<QPushButton*>(ports)->click();
        EXPECT_EQ(rowsBefore, 3);
        EXPECT_EQ(rowsAfterPlug, 4);
        EXPECT_FALSE(okForMissing);
        ASSERT_EQ(states.size(), 3);
        EXPECT_NE(states[0], states[1]);  // missing, free
        EXPECT_EQ(dlg.Port(), 2);
        EXPECT_TRUE(dlg.GetDlgItem(IDC_READ)->isEnabled());

        boxes.Answer(kIdYes);
        qobject_cast<QPushButton*>(dlg.GetDlgItem(IDC_READ))->click();
        EXPECT_EQ(dlg.Records().m_nRecordCount, 15);
        EXPECT_TRUE(ports->isEnabled());  // off only while the read ran
    }
    EXPECT_EQ(ReadIniInt(kPortSection, kPortKey, 0, ini), 2u);

    // The next start finds the choice in KORVANA.ini.
    boxes.Clear();
    CMeterDlg next;
    next.OnInitDialog();
    EXPECT_TRUE(boxes.Calls().empty());
    EXPECT_EQ(next.Port(), 2);
    EXPECT_TRUE(next.Session().IsOpen());
    EXPECT_TRUE(next.GetDlgItem(IDC_READ)->isEnabled());
}

}  // namespace
}  // namespace odomei

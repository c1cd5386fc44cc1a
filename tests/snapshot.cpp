// Renders the main window, filled with the simulated meter's fifteen records, to a PNG file, the
// history window over a logbook of months of simulated reads to a second one, and, given more
// names, that history's charts as SVG (the picture in the README), the port chooser over a
// machine of its own as PNG, and the vehicle dialog over a logbook of three cars as PNG.
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/HistoryDlg.h"
#include "app/MessageBox.h"
#include "app/MeterDlg.h"
#include "app/PortDlg.h"
#include "app/VehicleDlg.h"
#include "data/Decoder.h"
#include "data/Logbook.h"
#include "link/PortSurvey.h"
#include "platform/AtomicFile.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "tests/FakeMachine.h"
#include "tests/FakeSerial.h"
#include "tests/TestSupport.h"
#include "tools/metersim/MeterSim.h"
#include "ui/ChartModel.h"
#include "ui/ChartSvg.h"

namespace {

namespace fs = std::filesystem;

// A machine as a user might have it: a hardware port that is the console, the meter's adapter,
// and a second adapter a terminal program holds. Shown with the trees' folder taken out of the
// names, as the real machine would show them.
odomei::PortSurveyor ChooserMachine(odomei::test::FakeMachine& machine) {
    const auto& roots = machine.roots;
    const std::string uart = roots.sys + "/devices/platform/serial8250/tty/ttyS0";
    fs::create_directories(uart);
    fs::create_directories(roots.sys + "/class/tty/ttyS0");
    odomei::test::WriteBytes(roots.sys + "/class/tty/ttyS0/type", "4\n");
    fs::create_directory_symlink(uart, roots.sys + "/class/tty/ttyS0/device");
    machine.AddTerminal("ttyS0");
    odomei::test::WriteBytes(roots.proc + "/cmdline", "BOOT_IMAGE=/vmlinuz console=ttyS0,115200");
    machine.AddUsbAdapter("ttyUSB0", "0403", "6001", "FT232R USB UART", "A10KQ3FV");
    const std::string held = machine.AddUsbAdapter(
        "ttyUSB1", "067b", "2303", "USB-Serial Controller", "00A7F2", "Prolific Technology Inc.");
    fs::create_directories(roots.proc + "/4242/fd");
    odomei::test::WriteBytes(roots.proc + "/4242/comm", "minicom\n");
    fs::create_symlink(held, roots.proc + "/4242/fd/3");
    return [roots](const std::string& iniPath, int configured) {
        odomei::PortSurvey survey = odomei::SurveyPorts(iniPath, configured, roots);
        auto plain = [&](std::string& text) {
            for (std::size_t at; (at = text.find(roots.dev)) != std::string::npos;) {
                text.replace(at, roots.dev.size(), "/dev");
            }
        };
        for (odomei::SurveyedPort& p : survey.ports) {
            plain(p.device);
            plain(p.stableName);
            plain(p.reason.en);
            plain(p.reason.ja);
        }
        return survey;
    };
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s WINDOW.png HISTORY.png [CHART.svg [PORTS.png [VEHICLES.png]]]\n",
                     argv[0]);
        return 2;
    }
    const std::filesystem::path historyOut = std::filesystem::absolute(argv[2]);
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    const std::filesystem::path chartOut =
        argc > 3 ? std::filesystem::absolute(argv[3]) : std::filesystem::path();
    // Work in a scratch folder of this run's own so that the window's own files go there, with
    // COM1 mapped to a device that does not exist: no real port is ever opened.
    const odomei::test::TempDir scratch;
    const std::filesystem::path work(scratch.Path());
    std::filesystem::current_path(work);
    odomei::WriteIniString(odomei::kPortsSection, "COM1", scratch.File("no-meter"),
                           scratch.File("KORVANA.ini"));
    odomei::SetMessageBoxHook([](const odomei::MessageBoxCall& call) {
        std::fprintf(stderr, "message: %s\n", call.text.c_str());
        return odomei::kIdOk;
    });

    odomei::CMeterDlg dlg;
    dlg.OnInitDialog();
    // The simulated meter's history, decoded as a read would decode it.
    const auto block = metersim::SampleBlock();
    const std::string version = odomei::DecodeBlock(odomei::MeasurementBlock(block), dlg.Records());
    dlg.ShowRecords(version);
    dlg.show();
    QApplication::processEvents();
    if (!dlg.grab().save(QString::fromStdString(out.string()))) {
        std::fprintf(stderr, "could not write %s\n", out.c_str());
        return 1;
    }
    std::printf("wrote %s\n", out.c_str());

    // Sixteen reads, three refuels apart: sixty records, the correction factor changed half-way.
    std::filesystem::remove(work / odomei::kLogbookFileName);
    odomei::Failure error;
    auto book = odomei::Logbook::Open((work / odomei::kLogbookFileName).string(), &error,
                                      odomei::LogbookAccess::kWrite);
    for (int read = 0; book && read < 16; ++read) {
        const auto reading =
            odomei::DecodeReading(odomei::MeasurementBlock(metersim::SequenceBlock(read)));
        if (!book->Merge(reading, odomei::LocalTime{2015, 1, 1, 12, 0, 0, 0}, {}, &error)) {
            book.reset();
        }
    }
    // The odometer as it read at the first refuel, and a price per litre for the later ones (a
    // few yen up and down), so that the picture shows the cost columns and their summary.
    if (book) {
        const auto records = book->Records({}, &error);
        bool ok = !records.empty() && book->SetOdometer({}, records[0].id, 4123000, &error);
        for (std::size_t i = records.size() / 2; ok && i < records.size(); ++i) {
            const odomei::Price price{odomei::PriceKind::kPerLitre,
                                      static_cast<std::int64_t>(15800 + 100 * (i % 7))};
            ok = book->SetPrice({}, records[i].id, price, &error);
        }
        if (!ok) book.reset();
    }
    if (!book) {
        std::fprintf(stderr, "logbook: %s\n", odomei::FailureLine(error).c_str());
        return 1;
    }
    odomei::CHistoryDlg history(*book, {}, {}, work.string());
    history.resize(1000, 760);
    history.show();
    QApplication::processEvents();
    if (!history.grab().save(QString::fromStdString(historyOut.string()))) {
        std::fprintf(stderr, "could not write %s\n", historyOut.c_str());
        return 1;
    }
    std::printf("wrote %s\n", historyOut.c_str());
    if (!chartOut.empty()) {
        const odomei::ChartModel model(book->Records(), false);
        const std::string svg =
            odomei::ChartSvg(model.Scene({odomei::ChartKind::kEconomy, odomei::ChartKind::kError},
                                         odomei::kSavedChartWidth, odomei::kSavedChartHeight));
        if (odomei::ReplaceFileAtomically(chartOut.string(), svg) != odomei::ReplaceResult::kDone) {
            std::fprintf(stderr, "could not write %s\n", chartOut.c_str());
            return 1;
        }
        std::printf("wrote %s\n", chartOut.c_str());
    }
    if (argc < 5) return 0;

    // The chooser, with no device ever opened: the main window's port is the adapter's node in
    // the trees, and every open fails.
    const fs::path chooserOut = fs::absolute(argv[4]);
    odomei::SetSerialOpener([](const std::string& name, bool, odomei::Failure* failure) {
        if (failure) *failure = odomei::FailureOf(name, "not opened for the picture");
        return std::unique_ptr<odomei::SerialDevice>();
    });
    odomei::test::FakeMachine machine;
    odomei::SetPortSurveyor(ChooserMachine(machine));
    odomei::WriteIniString("シリアル通信設定", "ｼﾘｱﾙﾎﾟｰﾄ番号", "2",
                           (work / "KORVANA.ini").string());
    odomei::CMeterDlg owner;
    owner.OnInitDialog();
    bool saved = false;
    QTimer::singleShot(0, [&] {
        if (auto* chooser = qobject_cast<odomei::CPortDlg*>(QApplication::activeModalWidget())) {
            QApplication::processEvents();
            saved = chooser->grab().save(QString::fromStdString(chooserOut.string()));
            chooser->reject();
        }
    });
    qobject_cast<QPushButton*>(owner.GetDlgItem(odomei::IDC_PORT_SETTINGS))->click();
    if (!saved) {
        std::fprintf(stderr, "could not write %s\n", chooserOut.c_str());
        return 1;
    }
    std::printf("wrote %s\n", chooserOut.c_str());
    if (argc < 6) return 0;

    // The vehicle dialog over the history's logbook as a household would keep it: its car named,
    // a second car read a few times, a third not read yet.
    const fs::path vehiclesOut = fs::absolute(argv[5]);
    const odomei::LocalTime at{2015, 1, 1, 12, 0, 0, 0};
    bool kept = book->RenameVehicle(odomei::kFirstVehicleName, "アクア", &error) &&
                book->SetVehicleNote("アクア", "品川 500 さ 12-34", &error) &&
                book->AddVehicle("軽トラ", "農作業用", &error) &&
                book->AddVehicle("ハイエース", "配送用 足立 400 あ 56-78", &error);
    for (int read = 0; kept && read < 3; ++read) {
        auto other = metersim::SequenceBlock(read);
        for (int r = 0; r < 15; ++r) other[1 + 14 * r + 4] ^= 0x01;  // another car's refuels
        const auto reading = odomei::DecodeReading(odomei::MeasurementBlock(other));
        kept = book->Merge(reading, at, {"軽トラ", true}, &error).has_value();
    }
    if (!kept) {
        std::fprintf(stderr, "logbook: %s\n", odomei::FailureLine(error).c_str());
        return 1;
    }
    odomei::CVehicleDlg vehicles({book->Path(), "アクア", {}, {}});
    vehicles.show();
    QApplication::processEvents();
    if (!vehicles.grab().save(QString::fromStdString(vehiclesOut.string()))) {
        std::fprintf(stderr, "could not write %s\n", vehiclesOut.c_str());
        return 1;
    }
    std::printf("wrote %s\n", vehiclesOut.c_str());
    return 0;
}

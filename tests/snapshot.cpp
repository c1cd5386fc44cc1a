// Renders the main window, filled with the simulated meter's fifteen records, to a PNG file.
#include <QApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/MeterDlg.h"
#include "data/Decoder.h"
#include "app/MessageBox.h"
#include "tools/metersim/MeterSim.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    // Work in a scratch folder so that the window's own files go there.
    const auto work = std::filesystem::temp_directory_path() / "odomei-snapshot";
    std::filesystem::create_directories(work);
    std::filesystem::current_path(work);
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
    return 0;
}

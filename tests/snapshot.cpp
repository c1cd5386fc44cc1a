// Renders the main window, filled with fifteen sample rows, to a PNG file.
#include <QApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/MeterDlg.h"
#include "platform/MessageBox.h"

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
        return odomei::IDOK;
    });

    odomei::CMeterDlg dlg;
    dlg.OnInitDialog();
    odomei::RecordTable& table = dlg.Records();
    for (int i = 0; i < odomei::kMaxRecords; ++i) {
        char date[64], distance[16], fuel[16], refuel[16], error[16];
        std::snprintf(date, sizeof date, "2026年%02d月%02d日", 1 + i * 3 / 4, 3 + (i * 7) % 25);
        std::snprintf(distance, sizeof distance, "%d.%02d", 380 + i * 13 % 97, i * 17 % 100);
        std::snprintf(fuel, sizeof fuel, "%d.%02d", 28 + i % 9, i * 31 % 100);
        std::snprintf(refuel, sizeof refuel, "%d.%02d", 29 + i % 9, i * 29 % 100);
        std::snprintf(error, sizeof error, "%.2f", 2.5 - i * 0.37);
        table.m_rows[i] = {date, distance, fuel, "100.00", refuel, error};
    }
    table.m_nRecordCount = odomei::kMaxRecords;
    dlg.ShowRecords("01.03");
    dlg.show();
    QApplication::processEvents();
    if (!dlg.grab().save(QString::fromStdString(out.string()))) {
        std::fprintf(stderr, "could not write %s\n", out.c_str());
        return 1;
    }
    std::printf("wrote %s\n", out.c_str());
    return 0;
}

// Renders the main window, filled with the simulated meter's fifteen records, to a PNG file, and
// the history window over a logbook of months of simulated reads to a second one, and, given a
// third name, that history's charts as SVG (the picture in the README).
#include <QApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/HistoryDlg.h"
#include "app/MessageBox.h"
#include "app/MeterDlg.h"
#include "data/Decoder.h"
#include "data/Logbook.h"
#include "platform/AtomicFile.h"
#include "tools/metersim/MeterSim.h"
#include "ui/ChartModel.h"
#include "ui/ChartSvg.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WINDOW.png HISTORY.png [CHART.svg]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path historyOut = std::filesystem::absolute(argv[2]);
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    const std::filesystem::path chartOut =
        argc > 3 ? std::filesystem::absolute(argv[3]) : std::filesystem::path();
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

    // Sixteen reads, three refuels apart: sixty records, the correction factor changed half-way.
    std::filesystem::remove(work / odomei::kLogbookFileName);
    odomei::LogbookError error;
    auto book = odomei::Logbook::Open((work / odomei::kLogbookFileName).string(), &error,
                                      odomei::LogbookAccess::kWrite);
    for (int read = 0; book && read < 16; ++read) {
        const auto reading =
            odomei::DecodeReading(odomei::MeasurementBlock(metersim::SequenceBlock(read)));
        if (!book->Merge(reading, odomei::LocalTime{2015, 1, 1, 12, 0, 0, 0}, &error)) book.reset();
    }
    if (!book) {
        std::fprintf(stderr, "logbook: %s\n", error.what.c_str());
        return 1;
    }
    odomei::CHistoryDlg history(*book, {}, work.string());
    history.resize(1000, 760);
    history.show();
    QApplication::processEvents();
    if (!history.grab().save(QString::fromStdString(historyOut.string()))) {
        std::fprintf(stderr, "could not write %s\n", historyOut.c_str());
        return 1;
    }
    std::printf("wrote %s\n", historyOut.c_str());
    if (chartOut.empty()) return 0;
    const odomei::ChartModel model(book->Records(), false);
    const std::string svg =
        odomei::ChartSvg(model.Scene({odomei::ChartKind::kEconomy, odomei::ChartKind::kError},
                                     odomei::kSavedChartWidth, odomei::kSavedChartHeight));
    if (odomei::ReplaceFileAtomically(chartOut.string(), svg) != odomei::ReplaceResult::kDone) {
        std::fprintf(stderr, "could not write %s\n", chartOut.c_str());
        return 1;
    }
    std::printf("wrote %s\n", chartOut.c_str());
    return 0;
}

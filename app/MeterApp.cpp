#include "app/MeterApp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QTranslator>

#include <cstdio>
#include <memory>

#include "app/MessageBox.h"
#include "app/MeterDlg.h"
#include "platform/Interrupt.h"

namespace odomei {

bool CMeterApp::InitInstance() {
    // No display name: Qt would append it to every title that does not end with it.
    QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    QApplication::setWindowIcon(AppIcon());
    // The interface is Japanese, so the standard dialogs (the save-as dialog) are too.
    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtJapanese);
    }
    CMeterDlg dlg;
    // SIGINT, SIGTERM or SIGHUP (a logout, a kill) end the program as closing the window does:
    // a save or INI write in progress finishes, a read stops, every box closes, the port closes.
    std::unique_ptr<QSocketNotifier> interrupts;
    if (InterruptWakeFd() >= 0) {
        interrupts = std::make_unique<QSocketNotifier>(InterruptWakeFd(), QSocketNotifier::Read);
        QObject::connect(interrupts.get(), &QSocketNotifier::activated, [] {
            std::fprintf(stderr, "odomei: ending on signal %d\n", InterruptSignal());
            QCoreApplication::exit(0);
        });
    }
    dlg.DoModal();
    return false;
}

}  // namespace odomei

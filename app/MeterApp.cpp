#include "app/MeterApp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/MeterDlg.h"
#include "app/MessageBox.h"

namespace odomei {

bool CMeterApp::InitInstance() {
    QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    QApplication::setApplicationDisplayName(QString::fromUtf8(kAppTitle));
    QApplication::setWindowIcon(AppIcon());
    // The interface is Japanese, so the standard dialogs (the save-as dialog) are too.
    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtJapanese);
    }
    CMeterDlg dlg;
    dlg.DoModal();
    return false;
}

}  // namespace odomei

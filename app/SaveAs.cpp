#include "app/SaveAs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

#include <utility>

namespace odomei {
namespace {

SaveAsHook& Hook() {
    static SaveAsHook hook;
    return hook;
}

}  // namespace

std::optional<SaveAsResult> ShowSaveAsDialog(const SaveAsRequest& request) {
    if (Hook()) return Hook()(request);
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDirectory(QString::fromUtf8(request.directory));
    dialog.setNameFilter(
        QString::fromUtf8(request.typeDescription + " (" + request.typePattern + ")"));
    dialog.selectFile(QString::fromUtf8(request.initialName));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString path = dialog.selectedFiles().constFirst();
    return SaveAsResult{path.toStdString(), QFileInfo(path).fileName().toStdString()};
}

SaveAsHook SetSaveAsHook(SaveAsHook hook) { return std::exchange(Hook(), std::move(hook)); }

}  // namespace odomei

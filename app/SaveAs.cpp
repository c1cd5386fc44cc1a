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

// A name with a wildcard is a pattern that narrows the list, as Windows' own dialog takes it,
// never a file name: "*.csv" offered in the name field and accepted at once saves nothing.
class SaveAsDialog final : public QFileDialog {
public:
    SaveAsDialog(QWidget* parent, QString description)
        : QFileDialog(parent), m_description(std::move(description)) {}
    void accept() override {
        const QStringList files = selectedFiles();
        const QString name = files.isEmpty() ? QString() : QFileInfo(files.first()).fileName();
        if (name.contains(u'*') || name.contains(u'?')) {
            setNameFilter(m_description + QStringLiteral(" (") + name + u')');
            return;
        }
        QFileDialog::accept();
    }

private:
    QString m_description;
};

}  // namespace

std::optional<SaveAsResult> ShowSaveAsDialog(const SaveAsRequest& request) {
    if (Hook()) return Hook()(request);
    SaveAsDialog dialog(QApplication::activeWindow(), QString::fromUtf8(request.typeDescription));
    // Qt's own dialog everywhere, so that a pattern is never a name; the type box shows the
    // description alone, without the pattern Qt would add.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
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

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

// The type box's entries: the request's type, then its further ones.
QStringList Descriptions(const SaveAsRequest& request) {
    QStringList descriptions{QString::fromUtf8(request.typeDescription)};
    for (const SaveType& t : request.moreTypes) descriptions << QString::fromUtf8(t.description);
    return descriptions;
}
QStringList Patterns(const SaveAsRequest& request) {
    QStringList patterns{QString::fromUtf8(request.typePattern)};
    for (const SaveType& t : request.moreTypes) patterns << QString::fromUtf8(t.pattern);
    return patterns;
}
QStringList Filters(const QStringList& descriptions, const QStringList& patterns) {
    QStringList filters;
    for (qsizetype i = 0; i < descriptions.size(); ++i) {
        filters << descriptions[i] + QStringLiteral(" (") + patterns[i] + u')';
    }
    return filters;
}

// The type chosen in dialog: its place among descriptions (the type box names a type by its
// description alone, where details are hidden).
qsizetype ChosenType(const QFileDialog& dialog, const QStringList& descriptions) {
    const QString chosen = dialog.selectedNameFilter();
    const QStringList filters = dialog.nameFilters();
    for (qsizetype i = 0; i < filters.size(); ++i) {
        if (filters[i] == chosen || descriptions.value(i) == chosen) return i;
    }
    return 0;
}

// A name with a wildcard is a pattern that narrows the list, as Windows' own dialog takes it,
// never a file name: "*.csv" offered in the name field and accepted at once saves nothing. The
// type chosen stays chosen.
class SaveAsDialog final : public QFileDialog {
public:
    SaveAsDialog(QWidget* parent, QStringList descriptions)
        : QFileDialog(parent), m_descriptions(std::move(descriptions)) {}
    void accept() override {
        const QStringList files = selectedFiles();
        const QString name = files.isEmpty() ? QString() : QFileInfo(files.first()).fileName();
        if (name.contains(u'*') || name.contains(u'?')) {
            const qsizetype type = ChosenType(*this, m_descriptions);
            const QStringList filters =
                Filters(m_descriptions, QStringList(m_descriptions.size(), name));
            setNameFilters(filters);
            selectNameFilter(filters[type]);
            return;
        }
        QFileDialog::accept();
    }

private:
    QStringList m_descriptions;
};

}  // namespace

std::optional<SaveAsResult> ShowSaveAsDialog(const SaveAsRequest& request) {
    if (Hook()) return Hook()(request);
    SaveAsDialog dialog(QApplication::activeWindow(), Descriptions(request));
    // Qt's own dialog everywhere, so that a pattern is never a name; the type box shows the
    // description alone, without the pattern Qt would add.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDirectory(QString::fromUtf8(request.directory));
    dialog.setNameFilters(Filters(Descriptions(request), Patterns(request)));
    dialog.selectFile(QString::fromUtf8(request.initialName));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString path = dialog.selectedFiles().constFirst();
    return SaveAsResult{path.toStdString(), QFileInfo(path).fileName().toStdString(),
                        static_cast<std::size_t>(ChosenType(dialog, Descriptions(request)))};
}

SaveAsHook SetSaveAsHook(SaveAsHook hook) { return std::exchange(Hook(), std::move(hook)); }

}  // namespace odomei

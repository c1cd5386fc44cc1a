#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace odomei {
namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

QMessageBox::Icon IconOf(unsigned shown) {
    switch (shown & MB_ICONMASK) {
        case MB_ICONHAND: return QMessageBox::Critical;
        case MB_ICONQUESTION: return QMessageBox::Question;
        case MB_ICONEXCLAMATION: return QMessageBox::Warning;
        case MB_ICONINFORMATION: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

// The program's window, so the box is modal over it; none before the window exists.
QWidget* Owner() {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    if (QWidget* w = QApplication::activeWindow()) return w;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->isWindow()) return w;
    }
    return nullptr;
}

int ShowBox(const MessageBoxCall& call) {
    QMessageBox box(IconOf(call.shown), QString::fromUtf8(call.caption),
                    QString::fromUtf8(call.text), QMessageBox::NoButton, Owner());
    box.setWindowModality(Qt::ApplicationModal);
    if (!call.detail.empty()) box.setDetailedText(QString::fromUtf8(call.detail));
    const unsigned type = call.shown & MB_TYPEMASK;
    if (type == MB_YESNO || type == MB_YESNOCANCEL) {
        QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        QPushButton* cancel = nullptr;
        if (type == MB_YESNOCANCEL) {
            cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        }
        box.setDefaultButton(yes);
        box.exec();
        if (box.clickedButton() == yes) return IDYES;
        if (cancel != nullptr && box.clickedButton() == cancel) return IDCANCEL;
        (void)no;
        return IDNO;
    }
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if (type == MB_OKCANCEL) {
        cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    }
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel != nullptr ? cancel : ok);
    box.exec();
    return (cancel != nullptr && box.clickedButton() == cancel) ? IDCANCEL : IDOK;
}

}  // namespace

unsigned ShownMessageBoxFlags(unsigned flags) {
    const unsigned type = flags & MB_TYPEMASK;
    const bool plainButtons =
        type == MB_OK || type == MB_OKCANCEL || type == MB_YESNO || type == MB_YESNOCANCEL;
    if ((flags & MB_ICONMASK) == 0 && plainButtons) return flags | MB_ICONEXCLAMATION;
    return flags;
}

int AfxMessageBox(const std::string& text, unsigned flags, const std::string& detail) {
    const MessageBoxCall call{text, flags, ShownMessageBoxFlags(flags), detail, kAppTitle};
    if (Hook()) return Hook()(call);
    return ShowBox(call);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

}  // namespace odomei

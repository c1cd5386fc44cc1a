#include "app/MessageBox.h"

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
    switch (shown & kMbIconMask) {
        case kMbIconHand: return QMessageBox::Critical;
        case kMbIconQuestion: return QMessageBox::Question;
        case kMbIconExclamation: return QMessageBox::Warning;
        case kMbIconInformation: return QMessageBox::Information;
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
    const unsigned type = call.shown & kMbTypeMask;
    if (type == kMbYesNo || type == kMbYesNoCancel) {
        QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        QPushButton* cancel = nullptr;
        if (type == kMbYesNoCancel) {
            cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
        }
        box.setDefaultButton(yes);
        box.exec();
        if (box.clickedButton() == yes) return kIdYes;
        if (cancel != nullptr && box.clickedButton() == cancel) return kIdCancel;
        (void)no;
        return kIdNo;
    }
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if (type == kMbOkCancel) {
        cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    }
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel != nullptr ? cancel : ok);
    box.exec();
    return (cancel != nullptr && box.clickedButton() == cancel) ? kIdCancel : kIdOk;
}

}  // namespace

unsigned ShownMessageBoxFlags(unsigned flags) {
    const unsigned type = flags & kMbTypeMask;
    const bool plainButtons =
        type == kMbOk || type == kMbOkCancel || type == kMbYesNo || type == kMbYesNoCancel;
    if ((flags & kMbIconMask) == 0 && plainButtons) return flags | kMbIconExclamation;
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

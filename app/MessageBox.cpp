#include "app/MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <utility>

#include "data/TextsJa.h"

namespace odomei {
namespace {

constexpr int kLabelSlack = 4;  // rounding of the text's width against the label's

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
    const auto box = MakeMessageBox(call, Owner());
    box->exec();
    switch (box->buttonRole(box->clickedButton())) {
        case QMessageBox::YesRole: return kIdYes;
        case QMessageBox::NoRole: return kIdNo;
        case QMessageBox::RejectRole: return kIdCancel;
        default: break;
    }
    // No button (the box was closed as the program ends): the safe answer of its kind.
    const unsigned type = call.shown & kMbTypeMask;
    return type == kMbYesNo || type == kMbYesNoCancel ? kIdNo : kIdOk;
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(const MessageBoxCall& call, QWidget* owner) {
    auto box =
        std::make_unique<QMessageBox>(IconOf(call.shown), QString::fromUtf8(call.caption),
                                      QString::fromUtf8(call.text), QMessageBox::NoButton, owner);
    box->setWindowModality(Qt::ApplicationModal);
    if (!call.detail.empty()) box->setDetailedText(QString::fromUtf8(call.detail));
    // Each line of the text stays whole: the box is as wide as its widest line needs (the port
    // message's "(COM12)" would otherwise wrap onto a line of its own).
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        int widest = 0;
        for (const QString& line : QString::fromUtf8(call.text).split(QLatin1Char('\n'))) {
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
        }
        label->setMinimumWidth(widest + kLabelSlack);
    }
    const unsigned type = call.shown & kMbTypeMask;
    if (type == kMbYesNo || type == kMbYesNoCancel) {
        QPushButton* yes = box->addButton(QString::fromUtf8(kYesButtonText), QMessageBox::YesRole);
        box->addButton(QString::fromUtf8(kNoButtonText), QMessageBox::NoRole);
        if (type == kMbYesNoCancel) {
            box->addButton(QString::fromUtf8(kCancelText), QMessageBox::RejectRole);
        }
        box->setDefaultButton(yes);
        return box;
    }
    QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if (type == kMbOkCancel) {
        cancel = box->addButton(QString::fromUtf8(kCancelText), QMessageBox::RejectRole);
    }
    box->setDefaultButton(ok);
    box->setEscapeButton(cancel != nullptr ? cancel : ok);
    return box;
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

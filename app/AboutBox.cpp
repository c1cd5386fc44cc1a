#include "app/AboutBox.h"

#include <QLabel>
#include <QPushButton>

#include "app/DialogUnits.h"
#include "app/MeterDlg.h"

namespace odomei {

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(kAboutCaption));
    const QFont font = DialogFont();
    setFont(font);
    setFixedSize(DluToPixels(font, 0, 0, 235, 55).size());

    auto* icon = new QLabel(this);
    icon->setGeometry(DluToPixels(font, 11, 17, 20, 20));
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* name = new QLabel(QString::fromUtf8(kAboutName), this);
    name->setObjectName(QStringLiteral("name"));
    name->setTextFormat(Qt::PlainText);
    name->setGeometry(DluToPixels(font, 40, 10, 119, 8));

    auto* notice = new QLabel(QString::fromUtf8(kAboutNotice), this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setTextFormat(Qt::PlainText);
    notice->setGeometry(DluToPixels(font, 40, 25, 119, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setGeometry(DluToPixels(font, 178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace odomei

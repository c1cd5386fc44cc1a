// The About box: the icon, the program's name and version, and a one-line notice.
#pragma once

#include <QDialog>

namespace odomei {

class CAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit CAboutBox(QWidget* parent = nullptr);
};

}  // namespace odomei

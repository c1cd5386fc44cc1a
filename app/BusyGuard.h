// A window busy with a read: it keeps painting but takes no input, for as long as the guard lives.
#pragma once

#include <QObject>

class QWidget;

namespace odomei {

class BusyGuard final : public QObject {
public:
    // window and its controls take no input, and the cursor waits, until the guard goes.
    explicit BusyGuard(QWidget* window);
    ~BusyGuard() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
};

}  // namespace odomei

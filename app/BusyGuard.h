// A window busy with a read: it keeps painting but takes no input, for as long as the guard lives;
// and the read's pauses, during which the window keeps painting.
#pragma once

#include <QObject>

#include "link/SerialPort.h"

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

// One of the exchange's pauses: the windows repaint and message boxes work while it waits, then
// the rest of the pause is spent waiting (on the port, where the pause may end at its input).
// Returns the milliseconds spent.
int PaintingPause(SerialHandle port, int ms, bool untilInput);

}  // namespace odomei

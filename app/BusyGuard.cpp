#include "app/BusyGuard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QWidget>

#include "link/ReadExchange.h"

namespace odomei {

// While the exchange runs the window keeps painting but takes no input: no second read, no
// clear, no exit in the middle. Other windows (the log's message boxes) work as usual.
BusyGuard::BusyGuard(QWidget* window) : m_window(window) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(this);
}

BusyGuard::~BusyGuard() {
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
}

bool BusyGuard::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != m_window) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            // Accepted, the key is the widget's own, so no shortcut of the window fires
            // (Alt+Space would open the window menu, and its About box stall the read); the key
            // press that follows is dropped below.
            event->accept();
            return true;
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Close: event->ignore(); return true;
        default: return false;
    }
}

int PaintingPause(SerialHandle port, int ms, bool untilInput) {
    QElapsedTimer timer;
    timer.start();
    QApplication::processEvents(QEventLoop::AllEvents, ms);
    const qint64 left = ms - timer.elapsed();
    if (left > 0) PlainPause(port, static_cast<int>(left), untilInput);
    return static_cast<int>((timer.nsecsElapsed() + 500000) / 1000000);
}

}  // namespace odomei

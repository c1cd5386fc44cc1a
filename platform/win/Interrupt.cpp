#include "platform/Interrupt.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace odomei {
namespace {

std::atomic<int> g_signal{0};

// Runs on a thread of its own: sets the flag and lets the program end at its next look at it.
// Closing the console or logging off gives the program a few seconds, enough for that.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    int signal = 0;
    switch (event) {
        case CTRL_C_EVENT: signal = SIGINT; break;
        case CTRL_BREAK_EVENT: signal = SIGBREAK; break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: signal = SIGTERM; break;
        default: return FALSE;
    }
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        Sleep(INFINITE);  // returning would end the process at once; its own exit ends this
    }
    return TRUE;
}

constexpr int kSignalExitBase = 128;

}  // namespace

void IgnoreBrokenPipes() {}

void CatchInterrupts() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

int InterruptSignal() { return g_signal.load(); }

int InterruptWakeFd() { return -1; }  // the window looks at the flag instead

int InterruptExitStatus(int signal) { return kSignalExitBase + signal; }

}  // namespace odomei

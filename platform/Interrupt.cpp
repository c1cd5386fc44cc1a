#include "platform/Interrupt.h"

#include <signal.h>

#include <initializer_list>

namespace odomei {
namespace {

volatile sig_atomic_t g_signal = 0;

void OnSignal(int signal) {
    if (g_signal == 0) g_signal = signal;
}

constexpr int kSignalExitBase = 128;

}  // namespace

void CatchInterrupts() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a wait in progress ends and sees the flag
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
}

int InterruptSignal() { return g_signal; }

int InterruptExitStatus(int signal) { return kSignalExitBase + signal; }

}  // namespace odomei

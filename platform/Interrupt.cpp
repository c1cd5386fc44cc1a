#include "platform/Interrupt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace odomei {
namespace {

volatile sig_atomic_t g_signal = 0;
int g_wake[2] = {-1, -1};

void OnSignal(int signal) {
    if (g_signal == 0) g_signal = signal;
    if (g_wake[1] >= 0) {
        const int saved = errno;
        (void)!write(g_wake[1], "!", 1);
        errno = saved;
    }
}

constexpr int kSignalExitBase = 128;

}  // namespace

void CatchInterrupts() {
    if (g_wake[0] < 0 && pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) g_wake[0] = g_wake[1] = -1;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a wait in progress ends and sees the flag
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
}

void IgnoreBrokenPipes() { signal(SIGPIPE, SIG_IGN); }

int InterruptSignal() { return g_signal; }

int InterruptWakeFd() { return g_wake[0]; }

int InterruptExitStatus(int signal) { return kSignalExitBase + signal; }

}  // namespace odomei

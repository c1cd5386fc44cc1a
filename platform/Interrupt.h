// Interrupt and termination requests (Ctrl+C, SIGTERM, a closed terminal), turned into a flag
// the program looks at, so that it can end cleanly instead of dying wherever it stands.
#pragma once

namespace odomei {

// From now on SIGINT, SIGTERM and SIGHUP only record that they arrived; waits they interrupt end
// early.
void CatchInterrupts();

// From now on a write to a pipe or socket whose reader has gone fails (EPIPE) instead of ending the
// program with SIGPIPE, so that the failure is said and what was done is kept. Nothing on Windows,
// where such a write only fails.
void IgnoreBrokenPipes();

// The signal that arrived first, or 0 while none has.
int InterruptSignal();

// A descriptor that becomes readable when a signal arrives, for an event loop to watch; -1 before
// CatchInterrupts.
int InterruptWakeFd();

// The exit status a shell gives a program ended by that signal (128 + its number).
int InterruptExitStatus(int signal);

}  // namespace odomei

// The signal hold of the tavolin command: the signals it catches to clean up
// and the hold of every signal while TARGET and the outputs are put in
// place. A signal that came before the first rename ends the command with
// everything as it was; one that comes later stays held until the command
// ends, so that its status tells of the outputs in place, and is said then
// (hostLateSignal).
#pragma once

#include <vector>

// The signals that end the command by default and that it catches to clean
// up (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
// SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSTKFLT and the
// real-time signals), then ends by the same signal: held back while TARGET
// and the outputs are put in place.
const std::vector<int>& hostCleanupSignals();
// The signals that end the command by default with a core and that it
// catches to clean up, then ends by the same signal (SIGABRT, also the end
// of an uncaught exception, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP,
// SIGSYS): held back like the others.
const std::vector<int>& hostDeathSignals();
// Notes that the command's own handler ends it on sig (one of the two lists
// above): only such a signal, pending when the outputs are put in place,
// stops that or is said afterwards.
void hostSignalHandled(int sig);
// Once the outputs were being put in place: the first signal the command
// handles (hostSignalHandled) that came since and is held back until the
// command ends (it then ends with the status the compile had); 0 for none,
// or while nothing was put in place.
int hostLateSignal();

// Holds every signal back, keeping the ones held before; false when one the
// command handles (and that was not held before) is pending already: the
// caller then discards what it would have put in place and lets it through
// (hostReleaseSignals). A fault while held ends the process by the kernel.
bool hostHoldSignals();
// Lets through again what hostHoldSignals held back.
void hostReleaseSignals();
// Notes that the first rename of the outputs is next: every signal stays
// held from then until the command ends, and hostLateSignal tells of them.
void hostStartPlacing();
// Whether hostStartPlacing was called. Async-signal-safe: a handler that
// runs after it (an abort() of the command itself) cannot say that the
// outputs are as they were.
bool hostPlacing();

// The signal hold of the tavolin command (see signal_hold.h): which signals
// it catches, which of them its own handler ends it on, and the hold of
// every signal while the outputs are put in place.
#include "host/signal_hold.h"

#include <pthread.h>

#include <csignal>
#include <vector>

const std::vector<int>& hostCleanupSignals()
{
    static const std::vector<int> signals = [] {
        std::vector<int> s = {SIGHUP,  SIGINT,    SIGQUIT,   SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
                              SIGXCPU, SIGXFSZ,   SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSTKFLT};
        for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) s.push_back(sig);
        return s;
    }();
    return signals;
}

const std::vector<int>& hostDeathSignals()
{
    static const std::vector<int> signals = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};
    return signals;
}

namespace {

// Set once the first rename of the outputs is next: every signal is held
// back from then until the command ends. Read by the signal handlers.
volatile sig_atomic_t g_placing = 0;
// The signals held back before that (by whoever started the command).
sigset_t g_heldBefore;
// The signals whose handler is the command's own (hostSignalHandled).
sigset_t g_handled;
bool g_handledSet = false;

// The first pending signal that the command's own handler ends it on and
// that was not held back before; 0 for none. A signal another part of the
// process handles (a profiler's timer) does not count.
int firstCaughtPending()
{
    sigset_t pending;
    if (!g_handledSet || sigpending(&pending) != 0) return 0;
    for (const std::vector<int>* list : {&hostCleanupSignals(), &hostDeathSignals()})
        for (int sig : *list)
            if (sigismember(&pending, sig) == 1 && sigismember(&g_handled, sig) == 1 &&
                sigismember(&g_heldBefore, sig) != 1)
                return sig;
    return 0;
}

}  // namespace

void hostSignalHandled(int sig)
{
    if (!g_handledSet) sigemptyset(&g_handled);
    g_handledSet = true;
    sigaddset(&g_handled, sig);
}

int hostLateSignal()
{
    return g_placing ? firstCaughtPending() : 0;
}

bool hostHoldSignals()
{
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &g_heldBefore);
    return firstCaughtPending() == 0;
}

void hostReleaseSignals()
{
    pthread_sigmask(SIG_SETMASK, &g_heldBefore, nullptr);
}

void hostStartPlacing()
{
    g_placing = 1;
}

bool hostPlacing()
{
    return g_placing != 0;
}

#include "tav/hardening.h"

#include <sodium.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace tav {

namespace {

std::atomic<const char*> g_pendingTemporary{nullptr};
std::atomic<const termios*> g_terminal{nullptr};

// Every signal whose default action ends the process and that a handler can
// catch. SIGXFSZ is not among them: it is ignored, so that the write fails.
constexpr int kFatalSignals[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV, SIGUSR2,
    SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS,
};

// Runs in signal context: only async-signal-safe calls.
void CleanUpAndDie(int signal) {
    if (const char* temporary = g_pendingTemporary.load()) ::unlink(temporary);
    if (const termios* saved = g_terminal.load()) ::tcsetattr(STDIN_FILENO, TCSANOW, saved);
    // Ends the process by the same signal, so the parent sees what happened;
    // a fault signal repeats on return from here with the default action.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void InstallCleanupHandlers() {
    for (const int signal : kFatalSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = CleanUpAndDie;
        sigfillset(&action.sa_mask);  // one cleanup at a time
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace

void HardenProcess() {
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    std::signal(SIGXFSZ, SIG_IGN);
    InstallCleanupHandlers();
}

void SetPendingTemporary(const char* path) { g_pendingTemporary.store(path); }

void SetTerminalToRestore(const termios* saved) { g_terminal.store(saved); }

__attribute__((noinline)) void WipeStack() {
    volatile unsigned char area[64 * 1024];
    sodium_memzero(const_cast<unsigned char*>(area), sizeof area);
    __asm__ __volatile__("" : : "r"(area) : "memory");
}

}  // namespace tav

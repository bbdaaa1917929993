#include "tav/hardening.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>

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
    if (const char* temporary = g_pendingTemporary.load(); temporary != nullptr && ::unlink(temporary) != 0) {
        RemoveTree(temporary);
    }
    if (const termios* saved = g_terminal.load()) ::tcsetattr(STDIN_FILENO, TCSANOW, saved);
    // Ends the process by the same signal, so the parent sees what happened;
    // a fault signal repeats on return from here with the default action.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The kernel's directory entry, as getdents64 returns it.
struct DirectoryEntry {
    std::uint64_t inode;
    std::int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
};

bool IsDotOrDotDot(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

// Removes one batch of the folder's entries; false when it held none.
// Only system calls and no allocation: the directory is read with
// getdents64 into a buffer on the stack.
bool RemoveSomeEntries(int folder) {
    alignas(8) char buffer[1024];
    bool removed = false;
    for (;;) {
        const long got = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer);
        if (got <= 0) return removed;
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const DirectoryEntry*>(buffer + at);
            at += entry->length;
            if (IsDotOrDotDot(entry->name)) continue;
            if (::unlinkat(folder, entry->name, 0) != 0) {
                const int child = ::openat(folder, entry->name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (child < 0) continue;
                ::fchmod(child, 0700);  // a restored mode may deny removing what is inside
                while (RemoveSomeEntries(child)) ::lseek(child, 0, SEEK_SET);
                ::close(child);
                ::unlinkat(folder, entry->name, AT_REMOVEDIR);
            }
            removed = true;
        }
    }
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

namespace {
sigset_t g_maskBeforeHold;
}

void HoldSignals() {
    sigset_t all;
    sigfillset(&all);
    ::sigprocmask(SIG_BLOCK, &all, &g_maskBeforeHold);
}

void ReleaseSignals() {
    const int error = errno;
    ::sigprocmask(SIG_SETMASK, &g_maskBeforeHold, nullptr);
    errno = error;
}

void RemoveTree(const char* path) {
    const int folder = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return;
    ::fchmod(folder, 0700);
    while (RemoveSomeEntries(folder)) ::lseek(folder, 0, SEEK_SET);
    ::close(folder);
    ::rmdir(path);
}

void SetTerminalToRestore(const termios* saved) { g_terminal.store(saved); }

}  // namespace tav

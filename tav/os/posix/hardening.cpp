#include "tav/os/hardening.h"
#include "tav/os/posix/hardening.h"

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

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Folders that could not be emptied, so that a removal never goes into the
// same one twice. A fixed array: the removal runs in signal context too.
class StuckFolders {
public:
    bool Holds(const struct stat& st) const {
        for (int i = 0; i < count_; ++i) {
            if (inodes_[i] == st.st_ino && devices_[i] == st.st_dev) return true;
        }
        return false;
    }
    // False when there is no room left: the removal then gives up.
    bool Add(const struct stat& st) {
        if (count_ == kCapacity) return false;
        inodes_[count_] = st.st_ino;
        devices_[count_++] = st.st_dev;
        return true;
    }

private:
    static constexpr int kCapacity = 64;
    ino_t inodes_[kCapacity];
    dev_t devices_[kCapacity];
    int count_ = 0;
};

// Opens the folder `name` inside `parent` to empty it, first giving it back
// the owner's permissions when a restored mode keeps even its owner out.
// Only a folder of this user's is touched, and no link is followed.
int OpenToEmpty(int parent, const char* name) {
    int fd = ::openat(parent, name, kFolderFlags);
    struct stat st;
    if (fd < 0 && errno == EACCES && ::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && ::fchmodat(parent, name, 0700, 0) == 0) {
        fd = ::openat(parent, name, kFolderFlags);
    }
    if (fd >= 0) ::fchmod(fd, 0700);  // a restored mode may deny removing what is inside
    return fd;
}

// Removes what it can of the folder's entries in one pass. Returns a
// descriptor of a subfolder that must be emptied first, or -1 when the pass
// is done; `leftSome` tells whether anything could not be removed.
int EmptyOnePass(int folder, const StuckFolders& stuck, bool& leftSome) {
    ::lseek(folder, 0, SEEK_SET);
    leftSome = false;
    alignas(8) char buffer[1024];
    for (;;) {
        const long got = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer);
        if (got <= 0) return -1;
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const DirectoryEntry*>(buffer + at);
            at += entry->length;
            if (IsDotOrDotDot(entry->name) || ::unlinkat(folder, entry->name, 0) == 0) continue;
            if (errno != EISDIR) {  // a file that stays (ENOENT: gone meanwhile)
                leftSome |= errno != ENOENT;
                continue;
            }
            if (::unlinkat(folder, entry->name, AT_REMOVEDIR) == 0) continue;
            struct stat st;
            const bool known = ::fstatat(folder, entry->name, &st, AT_SYMLINK_NOFOLLOW) == 0 && stuck.Holds(st);
            const int child = known ? -1 : OpenToEmpty(folder, entry->name);
            if (child >= 0) return child;
            leftSome = true;
        }
    }
}

}  // namespace

// Depth first, holding one descriptor at a time: a folder is left through
// "..", so a tree of any depth needs no more descriptors than a flat one.
// Every folder is entered at most once more than it has subfolders, and one
// that cannot be emptied is never entered again, so the work is bounded
// whatever the tree holds; a step budget guards against a tree that grows
// while it is removed.
void RemoveTree(const char* path) {
    int current = OpenToEmpty(AT_FDCWD, path);
    StuckFolders stuck;
    unsigned depth = 0;
    for (long steps = 0; current >= 0 && steps < (1L << 24); ++steps) {
        bool leftSome = false;
        const int child = EmptyOnePass(current, stuck, leftSome);
        if (child >= 0) {
            ::close(current);
            current = child;
            ++depth;
            continue;
        }
        if (depth == 0) break;
        struct stat st;
        if (leftSome && (::fstat(current, &st) != 0 || !stuck.Add(st))) break;
        const int parent = ::openat(current, "..", kFolderFlags);
        ::close(current);
        current = parent;
        --depth;
    }
    if (current >= 0) ::close(current);
    ::rmdir(path);
}

namespace {

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

void SetTerminalToRestore(const termios* saved) { g_terminal.store(saved); }

}  // namespace tav

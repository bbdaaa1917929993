#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tav/base/failure.h"
#include "tav/os/notify.h"
#include "tav/os/terminal.h"

extern char** environ;

namespace tav {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr const char* kGdbus = "/usr/bin/gdbus";
// gdbus's own limit covers only the call, not connecting to the bus or
// authenticating, so TAV bounds every wait itself: a run spends at most a
// second on all its progress notifications and a second on its failure
// notification, whatever the bus does. What runs out of time is dropped.
constexpr const char* kCallTimeoutSeconds = "1";
Milliseconds g_progressTimeLeft{1000};
Milliseconds g_failureTimeLeft{1000};

std::string SessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address != 0) {
        return address;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == 0) return "";
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st;
    return ::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) ? "unix:path=" + socket : "";
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != 0;
}

// gdbus reads each argument as GVariant text: a string in double quotes.
// Every other argument carries its type, since without the service there
// is no introspection for gdbus to take the types from.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

// Reads what the child prints until it closes its output or `deadline`
// passes; false on the deadline.
bool ReadUntil(int fd, Clock::time_point deadline, std::string& printed) {
    char buffer[256];
    for (;;) {
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        printed.append(buffer, static_cast<std::size_t>(got));
    }
}

// Runs gdbus with `arguments` for at most `timeLeft`, which it uses up, and
// returns what it printed (a few bytes); a gdbus still running then is killed.
std::string RunGdbus(const std::vector<std::string>& arguments, Milliseconds& timeLeft) {
    if (timeLeft <= Milliseconds::zero()) return "";
    const Clock::time_point start = Clock::now();
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) return "";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>(kGdbus)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // The bus found through XDG_RUNTIME_DIR is passed on explicitly.
    const std::string address = "DBUS_SESSION_BUS_ADDRESS=" + SessionBusAddress();
    std::vector<char*> env{const_cast<char*>(address.c_str())};
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "DBUS_SESSION_BUS_ADDRESS=", 25) != 0) env.push_back(*variable);
    }
    env.push_back(nullptr);
    pid_t child;
    const bool started = ::posix_spawn(&child, kGdbus, &actions, nullptr, argv.data(), env.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    std::string printed;
    if (started) {
        if (!ReadUntil(output[0], start + timeLeft, printed)) {
            ::kill(child, SIGKILL);
            printed.clear();
        }
        ::waitpid(child, nullptr, 0);
    }
    ::close(output[0]);
    timeLeft -= std::chrono::duration_cast<Milliseconds>(Clock::now() - start);
    return printed;
}

// Notification servers read a subset of markup in the body; a name that
// holds "<a href=...>" or "&" is shown as it is.
std::string EscapedMarkup(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

}  // namespace

bool NotificationsAvailable() {
    return !NotificationsTurnedOff() && !ErrorsGoToATerminal() && (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) && !SessionBusAddress().empty() &&
           ::access(kGdbus, X_OK) == 0;
}

std::uint32_t ShowNotification(const std::string& body, std::uint32_t replaces, bool failure) {
    const std::string reply = RunGdbus({"call", "--session", "--timeout", kCallTimeoutSeconds, "--dest",
                                        "org.freedesktop.Notifications", "--object-path",
                                        "/org/freedesktop/Notifications", "--method",
                                        "org.freedesktop.Notifications.Notify", "--", Quoted("TAV"),
                                        "uint32 " + std::to_string(replaces),
                                        Quoted(failure ? "dialog-error" : "dialog-information"), Quoted("TAV"),
                                        Quoted(EscapedMarkup(body)), "@as []", "@a{sv} {}",
                                        failure ? "int32 -1" : "int32 5000"},
                                       failure ? g_failureTimeLeft : g_progressTimeLeft);
    // The reply reads "(uint32 7,)".
    constexpr const char* kPrefix = "(uint32 ";
    if (reply.rfind(kPrefix, 0) != 0) return 0;
    return static_cast<std::uint32_t>(std::strtoul(reply.c_str() + std::strlen(kPrefix), nullptr, 10));
}

// The desktop's notification service shows failures here.
int RunNoticeWindow() { throw Failure(Exit::Usage, "no notice window here: failures are desktop notifications"); }

}  // namespace tav

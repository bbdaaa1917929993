#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "tav/notify.h"

extern char** environ;

namespace tav {

namespace {

constexpr const char* kGdbus = "/usr/bin/gdbus";
constexpr const char* kTimeoutSeconds = "3";  // a service that hangs cannot hold the run

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

// Runs gdbus with `arguments` and returns what it printed (a few bytes).
std::string RunGdbus(const std::vector<std::string>& arguments) {
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
    char buffer[256];
    for (ssize_t got; started && (got = ::read(output[0], buffer, sizeof buffer)) > 0;) printed.append(buffer, got);
    ::close(output[0]);
    if (started) ::waitpid(child, nullptr, 0);
    return printed;
}

}  // namespace

bool NotificationsAvailable() {
    const char* choice = std::getenv("TAV_NOTIFY");
    if (choice != nullptr && (std::strcmp(choice, "off") == 0 || std::strcmp(choice, "0") == 0)) return false;
    return ::isatty(STDERR_FILENO) == 0 && (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) && !SessionBusAddress().empty() &&
           ::access(kGdbus, X_OK) == 0;
}

std::uint32_t ShowNotification(const std::string& body, std::uint32_t replaces, bool failure) {
    const std::string reply = RunGdbus({"call", "--session", "--timeout", kTimeoutSeconds, "--dest",
                                        "org.freedesktop.Notifications", "--object-path",
                                        "/org/freedesktop/Notifications", "--method",
                                        "org.freedesktop.Notifications.Notify", "--", Quoted("TAV"),
                                        "uint32 " + std::to_string(replaces),
                                        Quoted(failure ? "dialog-error" : "dialog-information"), Quoted("TAV"),
                                        Quoted(body), "@as []", "@a{sv} {}", failure ? "int32 -1" : "int32 5000"});
    // The reply reads "(uint32 7,)".
    constexpr const char* kPrefix = "(uint32 ";
    if (reply.rfind(kPrefix, 0) != 0) return 0;
    return static_cast<std::uint32_t>(std::strtoul(reply.c_str() + std::strlen(kPrefix), nullptr, 10));
}

}  // namespace tav

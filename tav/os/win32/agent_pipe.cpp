#include "tav/os/win32/agent_pipe.h"

#include <sddl.h>

#include "tav/os/files.h"
#include "tav/os/win32/unicode.h"

#include <algorithm>
#include <vector>

namespace tav {

namespace {

constexpr DWORD kIoTimeoutMilliseconds = 2000;

// The SID of the user of the process whose token is `token`, as text.
std::string UserSidOf(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    char* text = nullptr;
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        return {};
    }
    std::string sid = text;
    LocalFree(text);
    return sid;
}

// The integrity level of the process whose token is `token`: the last
// part of its mandatory label (low 0x1000, medium 0x2000, high 0x3000);
// none (0) when it cannot be read.
DWORD IntegrityOf(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) return 0;
    const PSID label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    return *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1u);
}

// Who runs a process: its user's SID, and its integrity level.
struct Runner {
    std::string sid;
    DWORD integrity = 0;
};

Runner RunnerOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    Runner runner{UserSidOf(token), IntegrityOf(token)};
    CloseHandle(token);
    return runner;
}

const Runner& ThisRunner() {
    static const Runner runner = RunnerOf(GetCurrentProcess());
    return runner;
}

const std::string& ThisUsersSid() { return ThisRunner().sid; }

// The process `pid` runs as this user, and, with `atLeastThisIntegrity`,
// at no lower integrity level than this process: a sandboxed process of
// the same user runs at a lower one.
bool ProcessIsThisUser(DWORD pid, bool atLeastThisIntegrity) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return false;
    const Runner runner = RunnerOf(process);
    CloseHandle(process);
    return !runner.sid.empty() && runner.sid == ThisUsersSid() &&
           (!atLeastThisIntegrity || runner.integrity >= ThisRunner().integrity);
}

// The agent may not impersonate its client beyond learning who it is.
HANDLE OpenPipe(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
}

// Starts this program as an agent, detached, in the system's folder so
// that it holds no folder of the user's busy, inheriting nothing (not even
// standard handles, which would keep whoever reads the caller's output
// waiting). A window it shows is shown without taking the keyboard.
bool StartAgent(const char* argument) {
    std::wstring program, wideArgument;
    if (!WideFromUtf8(OwnProgramPath(), program) || !WideFromUtf8(argument, wideArgument)) return false;
    std::wstring line = L"\"" + program + L"\" " + wideArgument;
    wchar_t folder[MAX_PATH];
    if (GetSystemDirectoryW(folder, MAX_PATH) == 0) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;  // no handles: nothing of the caller's stays open
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, folder, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

std::string AgentPipeName(const char* purpose) {
    if (ThisUsersSid().empty()) return {};
    return std::string("\\\\.\\pipe\\TAV-") + purpose + "-" + ThisUsersSid();
}

HANDLE CreateAgentPipe(const std::string& name) {
    const std::string ownerOnly = "D:P(A;;GA;;;" + ThisUsersSid() + ")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(ownerOnly.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    const HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                         1, 4096, 4096, 0, &security);
    LocalFree(descriptor);
    return pipe;
}

bool AwaitClient(HANDLE pipe, HANDLE event, DWORD milliseconds) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    ResetEvent(event);
    if (ConnectNamedPipe(pipe, &overlapped)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED) return true;
    if (error != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(event, milliseconds) != WAIT_OBJECT_0) CancelIo(pipe);
    DWORD ignored = 0;
    return GetOverlappedResult(pipe, &overlapped, &ignored, TRUE) != 0;
}

std::unique_ptr<PipeConnection> ConnectToAgent(const std::string& name, const char* argument) {
    if (name.empty()) return nullptr;
    HANDLE pipe = OpenPipe(name);
    bool started = false;
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (pipe == INVALID_HANDLE_VALUE && GetTickCount64() < deadline) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND && !started) {
            if (!StartAgent(argument)) return nullptr;
            started = true;
        } else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PIPE_BUSY) {
            return nullptr;
        }
        if (!WaitNamedPipeA(name.c_str(), 100)) Sleep(50);
        pipe = OpenPipe(name);
    }
    if (pipe == INVALID_HANDLE_VALUE) return nullptr;
    auto agent = std::make_unique<PipeConnection>(pipe, false);
    if (!agent->PeerIsThisUser()) return nullptr;
    return agent;
}

PipeConnection::PipeConnection(HANDLE pipe, bool agentSide)
    : pipe_(pipe), event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), agentSide_(agentSide) {}

PipeConnection::~PipeConnection() {
    if (event_ != nullptr) CloseHandle(event_);
    if (!agentSide_) CloseHandle(pipe_);
}

bool PipeConnection::Send(const void* data, std::size_t size) {
    return Transfer(const_cast<void*>(data), size, true);
}

bool PipeConnection::Receive(void* data, std::size_t size) { return Transfer(data, size, false); }

// Each piece waits two seconds at most; a piece that does not come in time
// is cancelled, so the buffer is not touched after this returns.
bool PipeConnection::Transfer(void* data, std::size_t size, bool sending) {
    auto* bytes = static_cast<unsigned char*>(data);
    while (size > 0 && event_ != nullptr) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event_;
        ResetEvent(event_);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
        const BOOL started = sending ? WriteFile(pipe_, bytes, want, nullptr, &overlapped)
                                     : ReadFile(pipe_, bytes, want, nullptr, &overlapped);
        if (!started && GetLastError() != ERROR_IO_PENDING) return false;
        if (WaitForSingleObject(event_, kIoTimeoutMilliseconds) != WAIT_OBJECT_0) CancelIo(pipe_);
        DWORD done = 0;
        if (!GetOverlappedResult(pipe_, &overlapped, &done, TRUE) || done == 0) return false;
        bytes += done;
        size -= done;
    }
    return size == 0;
}

// A client is about to send its key to the agent, or its message to the
// notice window, whichever process made the pipe first: that process must
// not run at a lower integrity level than the client.
bool PipeConnection::PeerIsThisUser() {
    ULONG pid = 0;
    const BOOL known =
        agentSide_ ? GetNamedPipeClientProcessId(pipe_, &pid) : GetNamedPipeServerProcessId(pipe_, &pid);
    return known && ProcessIsThisUser(pid, !agentSide_);
}

}  // namespace tav

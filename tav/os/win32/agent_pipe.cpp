#include "tav/os/win32/agent_pipe.h"

#include <sddl.h>

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

std::string SidOfProcess(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    std::string sid = UserSidOf(token);
    CloseHandle(token);
    return sid;
}

const std::string& ThisUsersSid() {
    static const std::string sid = SidOfProcess(GetCurrentProcess());
    return sid;
}

}  // namespace

std::string AgentPipeName() {
    return ThisUsersSid().empty() ? std::string() : "\\\\.\\pipe\\TAV-keys-" + ThisUsersSid();
}

std::string OwnerOnlyDescriptor() { return "D:P(A;;GA;;;" + ThisUsersSid() + ")"; }

bool ProcessIsThisUser(DWORD pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return false;
    const std::string sid = SidOfProcess(process);
    CloseHandle(process);
    return !sid.empty() && sid == ThisUsersSid();
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

bool PipeConnection::PeerIsThisUser() {
    ULONG pid = 0;
    const BOOL known =
        agentSide_ ? GetNamedPipeClientProcessId(pipe_, &pid) : GetNamedPipeServerProcessId(pipe_, &pid);
    return known && ProcessIsThisUser(pid);
}

}  // namespace tav

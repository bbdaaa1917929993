// The notice window that collects the failures of TAV.exe runs started as
// Druvel starts them. The display's keyboard focus is one for all its
// windows, so these cases run alone (see tests.cmake).
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/system/process.h"
#include "platform/system/win32/wide.h"
#include "tests/support/workspace.h"

namespace {

namespace fs = std::filesystem;

// The notice windows of this user's failing TAV runs ("TAV", a dialog).
std::vector<HWND> NoticeWindows() {
    std::vector<HWND> found;
    for (HWND window = FindWindowExA(nullptr, nullptr, "#32770", "TAV"); window != nullptr;
         window = FindWindowExA(nullptr, window, "#32770", "TAV")) {
        found.push_back(window);
    }
    return found;
}

std::wstring NoticeText(HWND notice) {
    wchar_t text[8192] = L"";
    SendDlgItemMessageW(notice, 100, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text));
    return text;
}

// Sends `message` to the running notice window as TAV does: its length,
// its bytes, and waits for the window's answer.
bool SendNotice(const std::string& message) {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    std::vector<unsigned char> user(256);
    DWORD size = 0;
    char* sid = nullptr;
    const bool known = GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size) &&
                       ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid);
    CloseHandle(token);
    if (!known) return false;
    const std::string name = std::string("\\\\.\\pipe\\TAV-notices-") + sid;
    LocalFree(sid);
    const HANDLE pipe = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return false;
    const auto length = static_cast<std::uint32_t>(message.size());
    DWORD done = 0;
    unsigned char shown = 0;
    const bool sent = WriteFile(pipe, &length, sizeof length, &done, nullptr) &&
                      WriteFile(pipe, message.data(), length, &done, nullptr) &&
                      ReadFile(pipe, &shown, 1, &done, nullptr) && shown == 1;
    CloseHandle(pipe);
    return sent;
}

// Closes a notice window as its user would, and waits until its program ended.
void CloseNotice(HWND notice) {
    DWORD id = 0;
    GetWindowThreadProcessId(notice, &id);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    PostMessageA(notice, WM_COMMAND, IDOK, 0);
    if (process != nullptr) {
        EXPECT_EQ(WaitForSingleObject(process, 10000), static_cast<DWORD>(WAIT_OBJECT_0)) << "it stayed";
        CloseHandle(process);
    }
}

// Started as Druvel starts it (a console of its own, in the current
// folder, while Druvel's window keeps handling its messages), a failing
// TAV ends at once; its message stays readable in the one notice window of
// all such failures, which never takes the keyboard from Druvel's window.
TEST(NoticeWindow, FailuresEndAtOnceAndLeaveTheirMessagesInOneWindow) {
    const test::TempFolder folder;
    for (const HWND stale : NoticeWindows()) CloseNotice(stale);
    const HWND main = CreateWindowExA(0, "STATIC", "Druvel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                      nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(main);
    if (GetForegroundWindow() != main) GTEST_SKIP() << "this display gives the test's window no keyboard";
    platform::SetWaitPump([] {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(10);
    });
    SetCurrentDirectoryA(fs::path(TAV_PATH).parent_path().string().c_str());
    SetEnvironmentVariableA("TAV_NOTIFY", "on");
    for (const char* name : {"first.TAV", "second.TAV", "third.TAV"}) {
        const std::string missing = folder.file(name);
        EXPECT_EQ(platform::RunProgramAndWait("TAV", {}, "D \"" + missing + "\" \"" + folder.file("out") + "\" \"k\""), 5);
        const std::vector<HWND> notices = NoticeWindows();
        ASSERT_EQ(notices.size(), 1u) << "after " << name;
        EXPECT_NE(NoticeText(notices[0]).find(platform::Wide("cannot open " + missing)), std::wstring::npos);
        EXPECT_EQ(GetForegroundWindow(), main) << "the notice took the keyboard";
    }
    // Another program of the user's may send what is not UTF-8: it shows,
    // with the replacement character for what is not.
    ASSERT_TRUE(SendNotice("not \xff UTF-8"));
    EXPECT_NE(NoticeText(NoticeWindows().at(0)).find(L"not \xFFFD UTF-8"), std::wstring::npos);
    for (const HWND notice : NoticeWindows()) CloseNotice(notice);
    DestroyWindow(main);
}

}  // namespace

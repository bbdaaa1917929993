// The notice window that collects the failures of TAV.exe runs started as
// Druvel starts them. The display's keyboard focus is one for all its
// windows, so these cases run alone (see tests.cmake).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/system/process.h"
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

std::string NoticeText(HWND notice) {
    char text[8192] = "";
    SendDlgItemMessageA(notice, 100, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
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
    char here[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, here);
    SetCurrentDirectoryA(fs::path(TAV_PATH).parent_path().string().c_str());
    SetEnvironmentVariableA("TAV_NOTIFY", "on");
    for (const char* name : {"first.TAV", "second.TAV", "third.TAV"}) {
        const std::string missing = folder.file(name);
        EXPECT_EQ(platform::RunProgramAndWait("TAV", {}, "D \"" + missing + "\" \"" + folder.file("out") + "\" \"k\""), 5);
        const std::vector<HWND> notices = NoticeWindows();
        ASSERT_EQ(notices.size(), 1u) << "after " << name;
        EXPECT_NE(NoticeText(notices[0]).find("cannot open " + missing), std::string::npos) << NoticeText(notices[0]);
        EXPECT_EQ(GetForegroundWindow(), main) << "the notice took the keyboard";
    }
    SetEnvironmentVariableA("TAV_NOTIFY", nullptr);
    SetCurrentDirectoryA(here);
    platform::SetWaitPump(nullptr);
    for (const HWND notice : NoticeWindows()) CloseNotice(notice);
    DestroyWindow(main);
}

}  // namespace

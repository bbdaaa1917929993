// The notice window: one window per user that collects the failure
// messages of TAV runs which had a console of their own (as under Druvel),
// so that each run can end at once and its message stays readable. Reached
// through a per-user named pipe like the key agent; each message arrives
// as its length (4 bytes, the machine's order, like the key agent's
// requests) and its UTF-8 text, and is answered with one byte once it is
// shown. The window is shown, and raised for each new message, without
// taking the keyboard from whatever has it; it stays until the user closes
// it (Close, Enter, Escape or the close box), and the process ends with it.
//
// TAV.exe does not import user32.dll: loading it costs every run, the ones
// that succeed too, noticeable time (about 80 ms under Wine), and only this
// window needs it. It is loaded here, when the window is made.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tav/os/notify.h"
#include "tav/os/win32/agent_pipe.h"
#include "tav/os/win32/notice.h"

namespace tav {

namespace {

constexpr WORD kTextId = 100;
constexpr UINT kAddMessage = WM_APP + 1;

// The functions of user32.dll the window uses, looked up by name.
struct User32 {
    decltype(&CreateDialogIndirectParamW) createDialog = nullptr;
    decltype(&ShowWindow) showWindow = nullptr;
    decltype(&SetWindowPos) setWindowPos = nullptr;
    decltype(&GetWindowRect) getWindowRect = nullptr;
    decltype(&SystemParametersInfoW) systemParametersInfo = nullptr;
    decltype(&GetMessageW) getMessage = nullptr;
    decltype(&IsDialogMessageW) isDialogMessage = nullptr;
    decltype(&TranslateMessage) translateMessage = nullptr;
    decltype(&DispatchMessageW) dispatchMessage = nullptr;
    decltype(&DestroyWindow) destroyWindow = nullptr;
    decltype(&PostQuitMessage) postQuitMessage = nullptr;
    decltype(&SendDlgItemMessageW) sendDlgItemMessage = nullptr;
    decltype(&SendMessageW) sendMessage = nullptr;

    bool Load() {
        const HMODULE user32 = LoadLibraryW(L"user32.dll");
        return user32 != nullptr && Find(user32, "CreateDialogIndirectParamW", createDialog) &&
               Find(user32, "ShowWindow", showWindow) && Find(user32, "SetWindowPos", setWindowPos) &&
               Find(user32, "GetWindowRect", getWindowRect) &&
               Find(user32, "SystemParametersInfoW", systemParametersInfo) && Find(user32, "GetMessageW", getMessage) &&
               Find(user32, "IsDialogMessageW", isDialogMessage) &&
               Find(user32, "TranslateMessage", translateMessage) &&
               Find(user32, "DispatchMessageW", dispatchMessage) && Find(user32, "DestroyWindow", destroyWindow) &&
               Find(user32, "PostQuitMessage", postQuitMessage) &&
               Find(user32, "SendDlgItemMessageW", sendDlgItemMessage) && Find(user32, "SendMessageW", sendMessage);
    }

private:
    template <typename Function>
    static bool Find(HMODULE module, const char* name, Function& function) {
        function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        return function != nullptr;
    }
};

User32 g_user32;

// A dialog template in memory (DLGTEMPLATE and its items): a read-only
// text of several lines with a scroll bar, and a Close button below it.
class NoticeTemplate {
public:
    NoticeTemplate() {
        Header(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_MODALFRAME, 2, {0, 0, 300, 130});
        Text(L"TAV");  // the title
        words_.push_back(8);
        Text(L"MS Shell Dlg");
        Item(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
             {7, 7, 286, 96}, kTextId, kEditClass, L"");
        Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, {243, 109, 50, 14}, IDOK, kButtonClass, L"Close");
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Long(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    // Position and size in dialog units.
    struct Box {
        WORD x, y, cx, cy;
    };
    static constexpr WORD kButtonClass = 0x0080;
    static constexpr WORD kEditClass = 0x0081;

    void Header(DWORD style, WORD items, Box box) {
        Long(style);
        Long(0);  // extended style
        words_.insert(words_.end(), {items, box.x, box.y, box.cx, box.cy, 0, 0});  // no menu, the standard class
    }
    void Item(DWORD style, Box box, WORD id, WORD controlClass, const wchar_t* text) {
        if (words_.size() % 2 != 0) words_.push_back(0);  // items start on a DWORD
        Long(style);
        Long(0);
        words_.insert(words_.end(), {box.x, box.y, box.cx, box.cy, id, 0xFFFF, controlClass});
        Text(text);
        words_.push_back(0);  // no creation data
    }
    void Text(const wchar_t* text) {
        for (; *text != 0; ++text) words_.push_back(static_cast<WORD>(*text));
        words_.push_back(0);
    }

    std::vector<WORD> words_;
};

// TAV's messages are UTF-8 with other bytes escaped; whatever else a
// client of this user sends is shown too, what is not UTF-8 in it as the
// replacement character.
std::wstring Shown(const std::string& message) {
    const int size = static_cast<int>(message.size());
    std::wstring text(message.size(), L'\0');
    text.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, message.data(), size, text.data(), size)));
    return text;
}

// "14:03:22  <message>" on a line of its own, at the end of the text.
void AppendMessage(HWND window, const std::string& message) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::wstring time;
    for (const WORD part : {now.wHour, now.wMinute, now.wSecond}) {
        time += {static_cast<wchar_t>(L'0' + part / 10), static_cast<wchar_t>(L'0' + part % 10), L':'};
    }
    time.back() = L' ';
    time += L' ';
    const bool first = g_user32.sendDlgItemMessage(window, kTextId, WM_GETTEXTLENGTH, 0, 0) == 0;
    const std::wstring line = (first ? L"" : L"\r\n") + time + Shown(message);
    g_user32.sendDlgItemMessage(window, kTextId, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    g_user32.sendDlgItemMessage(window, kTextId, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
}

// In the lower right corner of the work area, where notices appear.
void PlaceInCorner(HWND window) {
    RECT work, frame;
    if (!g_user32.systemParametersInfo(SPI_GETWORKAREA, 0, &work, 0) || !g_user32.getWindowRect(window, &frame)) return;
    const int margin = 16;
    g_user32.setWindowPos(window, nullptr, work.right - (frame.right - frame.left) - margin,
                          work.bottom - (frame.bottom - frame.top) - margin, 0, 0,
                          SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK NoticeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            g_user32.sendDlgItemMessage(window, kTextId, EM_SETLIMITTEXT, 0, 0);  // as much as memory holds
            return FALSE;  // the focus stays where it is
        case kAddMessage:
            AppendMessage(window, *reinterpret_cast<const std::string*>(lParam));
            g_user32.showWindow(window, SW_SHOWNOACTIVATE);
            g_user32.setWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) g_user32.destroyWindow(window);
            return TRUE;
        case WM_DESTROY:
            g_user32.postQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
    }
}

// One message from one client, or nothing when it sends none in time or
// too long a one.
bool ReceiveMessage(PipeConnection& client, std::string& message) {
    std::uint32_t size = 0;
    if (!client.Receive(&size, sizeof size) || size > kMaxNoticeSize) return false;
    message.resize(size);
    return client.Receive(message.data(), size);
}

struct Server {
    HANDLE pipe;
    HWND window;
};

// The pipe's side, on a thread of its own: each message is handed to the
// window's thread, which shows it before the client hears back.
DWORD WINAPI Serve(void* parameter) {
    const Server& server = *static_cast<const Server*>(parameter);
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (;;) {
        if (AwaitClient(server.pipe, event, INFINITE)) {
            PipeConnection client(server.pipe, true);
            std::string message;
            if (client.PeerIsThisUser() && ReceiveMessage(client, message)) {
                g_user32.sendMessage(server.window, kAddMessage, 0, reinterpret_cast<LPARAM>(&message));
                const unsigned char shown = 1;
                client.Send(&shown, 1);
                unsigned char rest;
                client.Receive(&rest, 1);  // until the client has closed its end
            }
        }
        DisconnectNamedPipe(server.pipe);  // also after a client that left before it was served
    }
}

}  // namespace

int RunNoticeWindow() {
    const HANDLE pipe = CreateAgentPipe(AgentPipeName(kNoticePipePurpose));
    if (pipe == INVALID_HANDLE_VALUE) return 0;  // another window serves already
    if (!g_user32.Load()) return 1;
    const NoticeTemplate layout;
    const HWND window = g_user32.createDialog(GetModuleHandleW(nullptr), layout.get(), nullptr, NoticeProcedure, 0);
    if (window == nullptr) return 1;
    PlaceInCorner(window);
    Server server{pipe, window};
    const HANDLE thread = CreateThread(nullptr, 0, Serve, &server, 0, nullptr);
    if (thread == nullptr) return 1;
    MSG message;
    while (g_user32.getMessage(&message, nullptr, 0, 0) > 0) {
        if (g_user32.isDialogMessage(window, &message)) continue;
        g_user32.translateMessage(&message);
        g_user32.dispatchMessage(&message);
    }
    // The serving thread may be waiting on the window; the process ends
    // with the window, and a client not yet answered tries a new one.
    ExitProcess(0);
}

}  // namespace tav

// The Win32 side of the Win32 backend: dialogs from the program's own
// resources (compiled from res/ by the resource compiler), run modeless
// under a loop of our own that gives every message to the system's dialog
// manager first, so Tab, Enter, Escape and default buttons behave as in any
// Windows dialog; the common open-file dialog; message boxes; icons.
// Everything goes through the wide (Unicode) functions: the dialogs are
// Unicode windows, so typed characters reach the key field whole, and
// every text and name crosses as UTF-16, converted exactly to and from the
// program's UTF-8 (platform/system/win32/wide.h).
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cwchar>

#include "platform/backends/win32/native.h"
#include "platform/system/path.h"
#include "platform/system/win32/wide.h"

namespace platform::win32 {

namespace {

Events g_events{};

HWND AsWindow(Handle handle) { return static_cast<HWND>(handle); }

void* LayerWindowOf(HWND dialog) { return reinterpret_cast<void*>(GetWindowLongPtrW(dialog, GWLP_USERDATA)); }

std::string TextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return TextFromWide(text);
}

std::vector<std::string> DroppedNames(HDROP drop) {
    std::vector<std::string> names;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
        names.push_back(TextFromWide(name));
    }
    DragFinish(drop);
    return names;
}

void OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
    void* window = LayerWindowOf(dialog);
    const int id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    const HWND control = reinterpret_cast<HWND>(lParam);
    if (control == nullptr) return g_events.command(window, id, false);
    switch (code) {
    case BN_CLICKED:
        return g_events.command(window, id, true);
    case EN_CHANGE:
        return g_events.textChanged(window, id, TextOf(control));
    case CBN_SELCHANGE:
        return g_events.selectionChanged(window, id, static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0)));
    default:
        return;
    }
}

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        return FALSE;  // the layer decides where the focus goes
    case WM_COMMAND:
        OnCommand(dialog, wParam, lParam);
        return TRUE;
    case WM_CLOSE:
        g_events.close(LayerWindowOf(dialog));
        return TRUE;
    case WM_HELP:
        g_events.help(LayerWindowOf(dialog));
        return TRUE;
    case WM_DROPFILES:
        g_events.filesDropped(LayerWindowOf(dialog), DroppedNames(reinterpret_cast<HDROP>(wParam)));
        return TRUE;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED || wParam == SIZE_RESTORED) {
            g_events.iconicChanged(LayerWindowOf(dialog), wParam == SIZE_MINIMIZED);
        }
        return FALSE;
    default:
        return FALSE;
    }
}

HWND g_focusSeen = nullptr;

// The focus moves inside the system's dialog manager (Tab, a click, a
// mnemonic); each move is reported once.
void ReportFocus(HWND dialog) {
    const HWND focus = GetFocus();
    if (focus == g_focusSeen || focus == nullptr || GetParent(focus) != dialog) return;
    g_focusSeen = focus;
    g_events.focusChanged(LayerWindowOf(dialog), GetDlgCtrlID(focus));
}

void Dispatch(HWND dialog, MSG& message) {
    if (dialog == nullptr || !IsDialogMessageW(dialog, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (dialog != nullptr) ReportFocus(dialog);
}

std::wstring FilterOf(const std::string& filter) {
    std::wstring native = Wide(filter);
    for (wchar_t& c : native) {
        if (c == L'|') c = L'\0';
    }
    return native + L'\0';
}

// A multiple selection comes back as the folder, then each name; a single
// one as its full path.
std::vector<std::string> SelectedPaths(const std::vector<wchar_t>& buffer) {
    std::vector<std::string> parts;
    for (const wchar_t* p = buffer.data(); *p != L'\0'; p += std::wcslen(p) + 1) parts.push_back(TextFromWide(p));
    if (parts.size() <= 1) return parts;
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < parts.size(); ++i) paths.push_back(JoinPath(parts.front(), parts[i]));
    return paths;
}

HICON IconOf(int iconId, int size) {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace

bool Init(const Events& events) {
    g_events = events;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    return true;
}

Handle CreateDialogWindow(int templateId, Handle owner, void* window) {
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), AsWindow(owner),
                              &DialogProcedure, reinterpret_cast<LPARAM>(window));
}

void Show(Handle dialog) {
    const HWND owner = GetWindow(AsWindow(dialog), GW_OWNER);
    if (owner != nullptr) EnableWindow(owner, FALSE);
    ShowWindow(AsWindow(dialog), SW_SHOW);
    SetForegroundWindow(AsWindow(dialog));
}

// The owner is enabled again before the dialog goes, so that the system
// activates it rather than some other program's window.
void Destroy(Handle dialog) {
    const HWND owner = GetWindow(AsWindow(dialog), GW_OWNER);
    if (owner != nullptr) EnableWindow(owner, TRUE);
    DestroyWindow(AsWindow(dialog));
    if (owner != nullptr) SetActiveWindow(owner);
    g_focusSeen = nullptr;
}

void SetCaption(Handle dialog, const std::string& text) { SetWindowTextW(AsWindow(dialog), Wide(text).c_str()); }

void SetControlText(Handle dialog, int id, const std::string& text) {
    const HWND control = GetDlgItem(AsWindow(dialog), id);
    if (control != nullptr && TextOf(control) != text) SetWindowTextW(control, Wide(text).c_str());
}

void SetControlEnabled(Handle dialog, int id, bool enabled) {
    if (const HWND control = GetDlgItem(AsWindow(dialog), id)) EnableWindow(control, enabled ? TRUE : FALSE);
}

void SetControlVisible(Handle dialog, int id, bool visible) {
    if (const HWND control = GetDlgItem(AsWindow(dialog), id)) ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
}

void SetControlChecked(Handle dialog, int id, bool checked) {
    CheckDlgButton(AsWindow(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void SetComboItems(Handle dialog, int id, const std::vector<std::string>& items, int selection) {
    const HWND combo = GetDlgItem(AsWindow(dialog), id);
    if (combo == nullptr) return;
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    if (count != static_cast<LRESULT>(items.size())) {
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : items) {
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
        }
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

void FocusControl(Handle dialog, int id) {
    const HWND control = GetDlgItem(AsWindow(dialog), id);
    if (control == nullptr || GetFocus() == control) return;
    g_focusSeen = control;
    // Through the dialog manager, so that default buttons follow the focus.
    SendMessageW(AsWindow(dialog), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

void SetIcon(Handle dialog, int iconId, bool big) {
    const int size = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
    SendMessageW(AsWindow(dialog), WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(IconOf(iconId, size)));
}

void BringToForeground(Handle dialog) { SetForegroundWindow(AsWindow(dialog)); }

void RunLoop(Handle dialog, const bool& ended) {
    MSG message;
    while (!ended && GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(AsWindow(dialog), message);
    if (!ended) PostQuitMessage(0);  // WM_QUIT ends every loop, this one's owner's too
}

void EndLoop() { PostMessageW(nullptr, WM_NULL, 0, 0); }

void Pump(Handle dialog, int milliseconds) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(milliseconds), QS_ALLINPUT);
    }
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return PostQuitMessage(static_cast<int>(message.wParam));
        Dispatch(AsWindow(dialog), message);
    }
}

int ShowMessageBox(Handle owner, const std::string& text, const std::string& caption, unsigned type) {
    return MessageBoxW(AsWindow(owner), Wide(text).c_str(), Wide(caption).c_str(), type);
}

bool ChooseFiles(Handle owner, unsigned flags, const std::string& filter, const std::string& defaultExt,
                 std::vector<std::string>& paths) {
    const std::wstring nativeFilter = FilterOf(filter);
    const std::wstring nativeDefaultExt = Wide(defaultExt);
    std::vector<wchar_t> buffer(64 * 1024, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = AsWindow(owner);
    dialog.lpstrFilter = filter.empty() ? nullptr : nativeFilter.c_str();
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrDefExt = defaultExt.empty() ? nullptr : nativeDefaultExt.c_str();
    dialog.Flags = flags;
    if (!GetOpenFileNameW(&dialog)) return false;
    paths = SelectedPaths(buffer);
    return true;
}

void DrawIconAt(Handle dialog, int x, int y, int iconId) {
    const HDC dc = GetDC(AsWindow(dialog));
    DrawIcon(dc, x, y, IconOf(iconId, GetSystemMetrics(SM_CXICON)));
    ReleaseDC(AsWindow(dialog), dc);
}

void EraseIconBackground(Handle dialog) {
    const HDC dc = GetDC(AsWindow(dialog));
    DefWindowProcW(AsWindow(dialog), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ReleaseDC(AsWindow(dialog), dc);
}

void ClientSize(Handle dialog, long& width, long& height) {
    RECT rect{};
    GetClientRect(AsWindow(dialog), &rect);
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;
}

int IconSize() { return GetSystemMetrics(SM_CXICON); }

}  // namespace platform::win32

// A user's input to the real Win32 windows, for the real-window driver:
// messages as the keyboard, the mouse and the shell send them, through the
// program's own message loop, and the system's message box and open-file
// dialog.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "platform/system/win32/wide.h"
#include "tests/ui/real_input.h"

namespace real_input {

namespace {

HWND AsWindow(Handle handle) { return static_cast<HWND>(handle); }

void (*g_tick)() = nullptr;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (g_tick != nullptr) g_tick();
}

std::string TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return platform::TextFromWide(text);
}

bool Usable(HWND control) { return control != nullptr && IsWindowVisible(control) && IsWindowEnabled(control); }

bool IsClass(HWND window, const wchar_t* name) {
    wchar_t found[64];
    return GetClassNameW(window, found, 64) > 0 && std::wcscmp(found, name) == 0;
}

// Counts the visible windows enumerated, of the class `ofClass` when it is set.
struct Count {
    const wchar_t* ofClass;
    int visible;
};
BOOL CALLBACK CountVisible(HWND window, LPARAM parameter) {
    Count& count = *reinterpret_cast<Count*>(parameter);
    if (IsWindowVisible(window) && (count.ofClass == nullptr || IsClass(window, count.ofClass))) ++count.visible;
    return TRUE;
}

std::vector<std::string> ComboItems(HWND dialog, int id) {
    std::vector<std::string> items;
    const int count = static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t item[64] = L"";  // the lists hold short items: numbers of rounds
        SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        items.push_back(platform::TextFromWide(item));
    }
    return items;
}

void EnterFileName(HWND dialog, const std::string& text) {
    // The name field: an editable combo box (cmb13) in the current dialog,
    // a plain edit field (edt1) in older ones.
    HWND field = GetDlgItem(dialog, 0x047C);
    if (field == nullptr) field = GetDlgItem(dialog, 0x0480);
    SetWindowTextW(field, platform::Wide(text).c_str());
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

// The dialog whose folder was entered, waiting for the names.
HWND g_folderEnteredIn = nullptr;

}  // namespace

const char* BackendName() { return "win32"; }

void StartTimer(void (*tick)()) {
    g_tick = tick;
    SetTimer(nullptr, 0, 10, &OnTimer);
}

// The timer's message comes only when no other input waits, and input is
// posted: each act lands after the last one was handled.
void Soon(std::function<void()> act) { act(); }

// Keys go to the focused control, as the keyboard sends them; the dialog
// manager in the program's loop takes Enter, Escape and F1 from there.
void PressKey(Handle view, Key key) {
    const HWND dialog = AsWindow(view);
    const HWND focus = GetFocus();
    const HWND target = focus != nullptr && IsChild(dialog, focus) ? focus : dialog;
    if (key == Key::F1) {
        // The system turns F1 into WM_HELP for the window with the focus.
        HELPINFO help{sizeof help, HELPINFO_WINDOW, GetDlgCtrlID(target), target, 0, {}};
        SendMessageW(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
        return;
    }
    const WPARAM code = key == Key::Enter ? VK_RETURN : VK_ESCAPE;
    PostMessageW(target, WM_KEYDOWN, code, 1);
    PostMessageW(target, WM_KEYUP, code, 0xC0000001);
}

// As a keyboard or an input method types: the field's text selected, then
// each UTF-16 unit as a character message (a character beyond the first
// 65536 as its two halves, a lone half as itself), through the program's
// own message loop; nothing typed clears the field.
void TypeText(Handle view, int id, const std::string& text) {
    const HWND edit = GetDlgItem(AsWindow(view), id);
    if (!Usable(edit)) return;
    PostMessageW(edit, EM_SETSEL, 0, -1);
    const std::wstring units = platform::Wide(text);
    if (units.empty()) PostMessageW(edit, WM_CHAR, VK_BACK, 1);
    for (const wchar_t unit : units) PostMessageW(edit, WM_CHAR, unit, 1);
}

void Click(Handle view, int id) {
    const HWND button = GetDlgItem(AsWindow(view), id);
    if (Usable(button)) PostMessageW(button, BM_CLICK, 0, 0);
}

void ChooseMenu(Handle view, int command) {
    const HMENU menu = GetMenu(AsWindow(view));
    const UINT state = menu != nullptr ? GetMenuState(menu, static_cast<UINT>(command), MF_BYCOMMAND) : 0xFFFFFFFF;
    if (state == 0xFFFFFFFF || (state & (MF_GRAYED | MF_DISABLED)) != 0) return;
    PostMessageW(AsWindow(view), WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void PressCloseBox(Handle view) {
    if ((GetWindowLongW(AsWindow(view), GWL_STYLE) & WS_SYSMENU) == 0) return;
    PostMessageW(AsWindow(view), WM_SYSCOMMAND, SC_CLOSE, 0);
}

// A drop as the shell makes it: a DROPFILES block with the names in
// UTF-16, each ending in a zero and the list in another.
void DropFiles(Handle view, const std::vector<std::string>& paths) {
    if ((GetWindowLongW(AsWindow(view), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) == 0) return;
    std::wstring names;
    for (const std::string& path : paths) names += platform::Wide(path) + L'\0';
    names += L'\0';
    const std::size_t size = names.size() * sizeof(wchar_t);
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + size);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(), size);
    GlobalUnlock(memory);
    PostMessageW(AsWindow(view), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

// As a choice in the list does it: the selection moves, and the dialog hears of it.
void SelectItem(Handle view, int id, int index) {
    const HWND combo = GetDlgItem(AsWindow(view), id);
    if (!Usable(combo)) return;
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageW(AsWindow(view), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void Focus(Handle view, int id) {
    const HWND control = GetDlgItem(AsWindow(view), id);
    if (Usable(control)) PostMessageW(AsWindow(view), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

void Minimize(Handle view, bool minimized) { ShowWindow(AsWindow(view), minimized ? SW_MINIMIZE : SW_RESTORE); }

std::string Caption(Handle view) { return TextOf(AsWindow(view)); }

ControlShown ShownControl(Handle view, int id) {
    const HWND dialog = AsWindow(view), control = GetDlgItem(dialog, id);
    if (control == nullptr) return {};
    return {true, TextOf(control), IsWindowEnabled(control) != FALSE, (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0,
            IsDlgButtonChecked(dialog, id) == BST_CHECKED, static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0)),
            ComboItems(dialog, id)};
}

int FocusedControl(Handle view) {
    const HWND focus = GetFocus();
    return focus != nullptr && GetParent(focus) == AsWindow(view) ? GetDlgCtrlID(focus) : 0;
}

// A visible dialog of this thread that is not one of the program's own.
CommonDialog FindCommonDialog(const std::vector<Handle>& own, Handle& found) {
    for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, L"#32770", nullptr)) {
        if (!IsWindowVisible(window) || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId() ||
            std::find(own.begin(), own.end(), window) != own.end()) {
            continue;
        }
        found = window;
        return GetDlgItem(window, 0xFFFF) != nullptr ? CommonDialog::MessageBox : CommonDialog::OpenFile;
    }
    return CommonDialog::None;
}

// A message box shows its text, and an icon, in static controls of its own.
BoxShown ShownMessageBox(Handle box) {
    const HWND icon = GetDlgItem(AsWindow(box), 0x0014);
    const bool hasIcon = icon != nullptr && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
    Count buttons{L"Button", 0};
    EnumChildWindows(AsWindow(box), &CountVisible, reinterpret_cast<LPARAM>(&buttons));
    return {TextOf(GetDlgItem(AsWindow(box), 0xFFFF)), TextOf(AsWindow(box)), !hasIcon && buttons.visible == 1};
}

void PressButton(Handle dialog, int id) {
    if (const HWND button = GetDlgItem(AsWindow(dialog), id)) PostMessageW(button, BM_CLICK, 0, 0);
}

// In two steps, as a person makes the choice: into the files' folder
// first, then their names, quoted when there are several.
bool ChooseFiles(Handle dialog, const std::vector<std::string>& paths) {
    const bool inFolder = g_folderEnteredIn == AsWindow(dialog);
    g_folderEnteredIn = inFolder ? nullptr : AsWindow(dialog);
    EnterFileName(AsWindow(dialog), inFolder ? TypedNames(paths) : FolderOf(paths) + "\\");
    return inFolder;
}

int VisibleWindows() {
    Count windows{nullptr, 0};
    EnumThreadWindows(GetCurrentThreadId(), &CountVisible, reinterpret_cast<LPARAM>(&windows));
    return windows.visible;
}

}  // namespace real_input

// The Win32 backend: each dialog is the real thing, made by the system from
// the program's resources, and everything the user does in it is handed to
// the window layer, which owns the state; what the layer changes is copied
// back onto the real controls. Controls are found by their identifiers, so
// labels (which share IDC_STATIC) keep their template text.
#include "platform/backend.h"
#include "platform/backends/win32/native.h"

namespace platform {

namespace {

using win32::Handle;

Handle HandleOf(const Window* window) { return window != nullptr ? window->view : nullptr; }

Window& LayerWindow(void* window) { return *static_cast<Window*>(window); }

bool IsLabel(const Control& control) { return control.id() == -1; }

// ---- what the user did, from the native side

// A button (a click, or Enter or Escape aimed at it by the dialog manager),
// a menu item (the system sends none for a grayed one), or Enter and Escape
// with no button to aim at.
void OnCommand(void* w, int id, bool fromControl) {
    Window& window = LayerWindow(w);
    if (fromControl) return input::ClickButton(window, id);
    if (MenuCommandEnabled(window, id)) return input::ChooseMenu(window, id);
    if (id == IDOK) return input::Enter(window);
    if (id == IDCANCEL) return input::Escape(window);
}

void OnClose(void* w) { input::CloseBox(LayerWindow(w)); }
void OnHelp(void* w) { input::HelpKey(LayerWindow(w)); }
void OnTextChanged(void* w, int id, const std::string& text) { input::TypeText(LayerWindow(w), id, text); }
void OnSelectionChanged(void* w, int id, int index) { input::SelectItem(LayerWindow(w), id, index); }
void OnFocusChanged(void* w, int id) { input::FocusControl(LayerWindow(w), id); }
void OnFilesDropped(void* w, const std::vector<std::string>& paths) { input::DropFiles(LayerWindow(w), paths); }

void OnIconicChanged(void* w, bool iconic) {
    Window& window = LayerWindow(w);
    if (window.iconic != iconic) input::SetIconic(window, iconic);
}

// ---- the backend's operations

bool Init(int, char**) {
    return win32::Init({OnCommand, OnClose, OnHelp, OnTextChanged, OnSelectionChanged, OnFocusChanged, OnFilesDropped,
                        OnIconicChanged});
}

void CaptionChanged(Window& window) {
    if (Handle dialog = HandleOf(&window)) win32::SetCaption(dialog, window.caption);
}

void ControlChanged(Window& window, Control& control) {
    const Handle dialog = HandleOf(&window);
    if (dialog == nullptr || IsLabel(control)) return;
    const int id = control.id();
    if (control.tmpl->kind == ControlKind::ComboBox) {
        win32::SetComboItems(dialog, id, control.items, control.selection);
    } else {
        win32::SetControlText(dialog, id, control.text);
    }
    if (control.tmpl->kind == ControlKind::CheckBox) win32::SetControlChecked(dialog, id, control.checked);
    win32::SetControlEnabled(dialog, id, control.enabled);
    win32::SetControlVisible(dialog, id, control.visible);
}

void FocusChanged(Window& window) {
    if (Handle dialog = HandleOf(&window); dialog != nullptr && window.focus >= 0) {
        win32::FocusControl(dialog, window.controls[static_cast<std::size_t>(window.focus)].id());
    }
}

void IconChanged(Window& window) {
    const Handle dialog = HandleOf(&window);
    if (dialog == nullptr) return;
    for (int slot : {ICON_SMALL, ICON_BIG}) {
        if (const HICON icon = window.icons[slot]) win32::SetIcon(dialog, icon->id, slot == ICON_BIG);
    }
}

// The dialog is made from its resource, then given the state the program
// set up while initialising it.
void ShowWindow(Window& window) {
    window.view = win32::CreateDialogWindow(window.tmpl->id, HandleOf(window.owner), &window);
    if (window.view == nullptr) {
        window.ended = true;
        window.result = -1;
        return;
    }
    CaptionChanged(window);
    for (Control& control : window.controls) ControlChanged(window, control);
    IconChanged(window);
    win32::Show(window.view);
    FocusChanged(window);
}

void DestroyWindow(Window& window) {
    if (window.view != nullptr) win32::Destroy(window.view);
    window.view = nullptr;
}

void BringToForeground(Window& window) {
    if (Handle dialog = HandleOf(&window)) win32::BringToForeground(dialog);
}

void RunModalLoop(Window& window) { win32::RunLoop(window.view, window.ended); }

void EndModalLoop(Window&) { win32::EndLoop(); }

void PumpEvents(int milliseconds) { win32::Pump(HandleOf(ActiveWindow()), milliseconds); }

int MessageBox(const MessageBoxRequest& request) {
    return win32::ShowMessageBox(HandleOf(request.owner), request.text, request.caption, request.type);
}

FileDialogResult FileDialog(const FileDialogRequest& request) {
    FileDialogResult result;
    result.confirmed =
        win32::ChooseFiles(HandleOf(request.owner), request.flags, request.filter, request.defaultExt, result.paths);
    return result;
}

void DrawIcon(Window& window, int x, int y, HICON icon) {
    if (Handle dialog = HandleOf(&window)) win32::DrawIconAt(dialog, x, y, icon->id);
}

void EraseIconBackground(Window& window) {
    if (Handle dialog = HandleOf(&window)) win32::EraseIconBackground(dialog);
}

RECT ClientRect(const Window& window) {
    long width = 0, height = 0;
    if (window.view != nullptr) win32::ClientSize(window.view, width, height);
    return {0, 0, width, height};
}

int IconSize() { return win32::IconSize(); }

}  // namespace

Backend g_win32Backend{
    "win32",        Init,           ShowWindow,      DestroyWindow, CaptionChanged, ControlChanged,
    FocusChanged,   IconChanged,    BringToForeground, RunModalLoop, EndModalLoop,  PumpEvents,
    MessageBox,     FileDialog,     DrawIcon,        EraseIconBackground, ClientRect, IconSize,
};

}  // namespace platform

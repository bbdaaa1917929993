// The window layer: every open window's state, the messages it sends to
// the program's objects, and the user's input as every backend reports it.
#include "platform/window.h"

#include "platform/afxwin.h"
#include "platform/backend.h"
#include "platform/system/process.h"

namespace platform {

namespace {

std::vector<Window*> g_windows;
CCmdTarget* g_commandTarget = nullptr;

void SendCommand(Window& window, int id) { Send(window, WM_COMMAND, static_cast<UINT>(id)); }

bool CanFocus(const Control& control) {
    return control.visible && control.enabled && control.tmpl->kind != ControlKind::Static &&
           control.tmpl->kind != ControlKind::GroupBox;
}

// While a window is open, waiting for the tool keeps handling its input.
void PumpWhileWaiting() { ActiveBackend().PumpEvents(10); }

}  // namespace

// Sends a message to the window's object; commands it does not handle go on
// to the application object. What nobody handles gets the default handling.
LRESULT Send(Window& window, UINT message, UINT id, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (window.dialog->DispatchMessage(message, id, wParam, lParam, result)) return result;
    if (message == WM_COMMAND && g_commandTarget != nullptr &&
        g_commandTarget->DispatchMessage(message, id, wParam, lParam, result)) {
        return result;
    }
    if (message == WM_CLOSE) return Send(window, WM_COMMAND, IDCANCEL);
    if (message == WM_DROPFILES) DragFinish(reinterpret_cast<HDROP>(wParam));
    return 0;
}

void SetFocusIndex(Window& window, int index) {
    window.focus = index;
    ActiveBackend().FocusChanged(window);
}

void FocusFirstTabStop(Window& window) {
    for (std::size_t i = 0; i < window.controls.size(); ++i) {
        const Control& control = window.controls[i];
        if (control.tmpl->tabStop() && CanFocus(control)) return SetFocusIndex(window, static_cast<int>(i));
    }
}

void OpenWindow(Window& window) {
    g_windows.push_back(&window);
    SetWaitPump(&PumpWhileWaiting);
}

void CloseWindow(Window& window) {
    if (!g_windows.empty() && g_windows.back() == &window) g_windows.pop_back();
    if (g_windows.empty()) SetWaitPump(nullptr);
}

void SetCommandTarget(CCmdTarget* target) { g_commandTarget = target; }

Control* Window::FindControl(int id) {
    const int index = IndexOf(id);
    return index < 0 ? nullptr : &controls[static_cast<std::size_t>(index)];
}

int Window::IndexOf(int id) const {
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].id() == id) return static_cast<int>(i);
    }
    return -1;
}

void Window::Attach(CWnd& wnd, int index) {
    wnd.window_ = this;
    wnd.controlIndex_ = index;
}

void Window::Detach(CWnd& wnd) { wnd.window_ = nullptr; }

const std::vector<Window*>& OpenWindows() { return g_windows; }

Window* ActiveWindow() { return g_windows.empty() ? nullptr : g_windows.back(); }

bool MenuCommandEnabled(const Window& window, int command) {
    const MenuTemplate* menu = FindMenu(window.tmpl->menuId);
    if (menu == nullptr) return false;
    for (const MenuPopup& popup : menu->popups) {
        for (const MenuItem& item : popup.items) {
            if (item.text != nullptr && item.command == command) return !item.grayed;
        }
    }
    return false;
}

namespace input {

void Enter(Window& window) {
    // A focused push button is pressed; otherwise the template's default
    // push button, or IDOK when it has none.
    if (window.focus >= 0) {
        const Control& focused = window.controls[static_cast<std::size_t>(window.focus)];
        if (focused.tmpl->kind == ControlKind::PushButton && focused.enabled) return SendCommand(window, focused.id());
    }
    for (const Control& control : window.controls) {
        if (control.tmpl->isDefaultButton()) {
            if (control.enabled) SendCommand(window, control.id());
            return;
        }
    }
    SendCommand(window, IDOK);
}

void Escape(Window& window) { SendCommand(window, IDCANCEL); }

void CloseBox(Window& window) {
    if (window.tmpl->hasCloseBox()) Send(window, WM_CLOSE, 0);
}

void HelpKey(Window& window) { SendCommand(window, ID_HELP); }

void ClickButton(Window& window, int id) {
    Control* control = window.FindControl(id);
    if (control == nullptr || !control->visible || !control->enabled) return;
    SetFocusIndex(window, window.IndexOf(id));
    if (control->tmpl->kind == ControlKind::CheckBox) {
        control->checked = !control->checked;
        ActiveBackend().ControlChanged(window, *control);
    }
    SendCommand(window, id);
}

void ChooseMenu(Window& window, int command) {
    if (MenuCommandEnabled(window, command)) SendCommand(window, command);
}

void DropFiles(Window& window, const std::vector<std::string>& paths) {
    if (!window.tmpl->acceptsFiles() || paths.empty()) return;
    HDROP drop = new ::DropFiles{paths};
    Send(window, WM_DROPFILES, 0, reinterpret_cast<WPARAM>(drop));
}

void TypeText(Window& window, int id, const std::string& text) {
    if (Control* control = window.FindControl(id); control != nullptr && control->enabled) control->text = text;
}

void SetCheck(Window& window, int id, bool checked) {
    if (Control* control = window.FindControl(id); control != nullptr && control->enabled) control->checked = checked;
}

void SelectItem(Window& window, int id, int index) {
    Control* control = window.FindControl(id);
    if (control == nullptr || !control->enabled || index < 0 || index >= static_cast<int>(control->items.size())) return;
    control->selection = index;
}

void FocusControl(Window& window, int id) {
    const int index = window.IndexOf(id);
    if (index >= 0 && CanFocus(window.controls[static_cast<std::size_t>(index)])) SetFocusIndex(window, index);
}

// A window's look changes when it is minimised or restored: it is painted anew.
void SetIconic(Window& window, bool iconic) {
    window.iconic = iconic;
    Send(window, WM_PAINT, 0);
}

}  // namespace input

}  // namespace platform

#pragma once

// The state of the windows on screen, held by the window layer itself: every
// backend shows it and reports the user's input back through the functions
// in platform::input, which apply the dialog manager's rules once for all.

#include <memory>
#include <string>
#include <vector>

#include "platform/afxwin.h"
#include "platform/resources.h"

// What a drop handle holds.
struct DropFiles {
    std::vector<std::string> paths;
};

namespace platform {

struct Control {
    const ControlTemplate* tmpl;
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    int selection = -1;  // combo box: selected item, -1 for none
    std::vector<std::string> items;
    std::unique_ptr<CWnd> wnd;  // what GetDlgItem hands out

    int id() const { return tmpl->id; }
};

struct Window {
    const DialogTemplate* tmpl = nullptr;
    CDialog* dialog = nullptr;
    Window* owner = nullptr;
    std::string caption;
    std::vector<Control> controls;
    int focus = -1;  // index into controls, -1 for none
    HICON icons[2] = {nullptr, nullptr};  // ICON_SMALL, ICON_BIG
    bool iconic = false;
    bool ended = false;
    int result = 0;
    void* view = nullptr;  // the backend's own data

    Control* FindControl(int id);
    int IndexOf(int id) const;

    // Binds `wnd` to this window (or to the control at `index`).
    void Attach(CWnd& wnd, int index = -1);
    void Detach(CWnd& wnd);
};

// The windows that exist, innermost (the one with input) last.
const std::vector<Window*>& OpenWindows();
Window* ActiveWindow();

// What the class library asks of the layer: a modal window opens and
// closes, a message goes to a window's object (commands it does not handle
// go on to the command target, the application object), the focus moves.
void OpenWindow(Window& window);
void CloseWindow(Window& window);
void SetCommandTarget(CCmdTarget* target);
LRESULT Send(Window& window, UINT message, UINT id, WPARAM wParam = 0, LPARAM lParam = 0);
void SetFocusIndex(Window& window, int index);
void FocusFirstTabStop(Window& window);

// What backends report from the user. Each applies the dialog manager's
// rules and dispatches the resulting messages to the window's object.
namespace input {
void Enter(Window& window);
void Escape(Window& window);
void CloseBox(Window& window);
void HelpKey(Window& window);
void ClickButton(Window& window, int id);
void ChooseMenu(Window& window, int command);  // ignored for grayed items
void DropFiles(Window& window, const std::vector<std::string>& paths);
void TypeText(Window& window, int id, const std::string& text);
void SetCheck(Window& window, int id, bool checked);
void SelectItem(Window& window, int id, int index);
void FocusControl(Window& window, int id);
void SetIconic(Window& window, bool iconic);
}  // namespace input

// Whether the menu of `window` has `command` and it can be chosen.
bool MenuCommandEnabled(const Window& window, int command);

}  // namespace platform

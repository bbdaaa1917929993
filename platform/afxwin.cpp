#include "platform/afxwin.h"

#include <filesystem>
#include <system_error>

#include "platform/backend.h"
#include "platform/system/path.h"
#include "platform/system/process.h"
#include "platform/window.h"

struct DropFiles {
    std::vector<std::string> paths;
};

namespace platform {

namespace {

std::vector<Window*> g_windows;
CWinApp* g_app = nullptr;

// Sends a message to the window's object; commands it does not handle go on
// to the application object. What nobody handles gets the default handling.
LRESULT Send(Window& window, UINT message, UINT id, WPARAM wParam = 0, LPARAM lParam = 0) {
    LRESULT result = 0;
    if (window.dialog->DispatchMessage(message, id, wParam, lParam, result)) return result;
    if (message == WM_COMMAND && g_app != nullptr && g_app->DispatchMessage(message, id, wParam, lParam, result)) {
        return result;
    }
    if (message == WM_CLOSE) return Send(window, WM_COMMAND, IDCANCEL);
    if (message == WM_DROPFILES) DragFinish(reinterpret_cast<HDROP>(wParam));
    return 0;
}

void SendCommand(Window& window, int id) { Send(window, WM_COMMAND, static_cast<UINT>(id)); }

bool CanFocus(const Control& control) {
    return control.visible && control.enabled && control.tmpl->kind != ControlKind::Static &&
           control.tmpl->kind != ControlKind::GroupBox;
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

// While a window is open, waiting for the tool keeps handling its input.
void PumpWhileWaiting() { ActiveBackend().PumpEvents(10); }

}  // namespace

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

using platform::ActiveBackend;
using platform::Control;
using platform::Window;

// ---- CCmdTarget

const MessageMap* CCmdTarget::GetThisMessageMap() {
    static const MessageMapEntry entries[] = {{0, 0, nullptr}};
    static const MessageMap map{nullptr, entries};
    return &map;
}

const MessageMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

bool CCmdTarget::DispatchMessage(UINT message, UINT id, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base ? map->base() : nullptr) {
        for (const MessageMapEntry* entry = map->entries; entry->handler != nullptr; ++entry) {
            if (entry->message == message && entry->id == id) {
                result = entry->handler(this, wParam, lParam);
                return true;
            }
        }
    }
    return false;
}

// ---- CWnd

BOOL CWnd::SetWindowText(LPCTSTR text) {
    if (window_ == nullptr) return FALSE;
    if (controlIndex_ < 0) {
        window_->caption = text;
        ActiveBackend().CaptionChanged(*window_);
    } else {
        Control& control = window_->controls[static_cast<std::size_t>(controlIndex_)];
        control.text = text;
        ActiveBackend().ControlChanged(*window_, control);
    }
    return TRUE;
}

void CWnd::GetWindowText(CString& text) const {
    if (window_ == nullptr) return text.clear();
    text = controlIndex_ < 0 ? window_->caption : window_->controls[static_cast<std::size_t>(controlIndex_)].text;
}

int CWnd::GetWindowTextLength() const {
    CString text;
    GetWindowText(text);
    return static_cast<int>(text.size());
}

BOOL CWnd::EnableWindow(BOOL enable) {
    if (window_ == nullptr || controlIndex_ < 0) return FALSE;
    Control& control = window_->controls[static_cast<std::size_t>(controlIndex_)];
    const BOOL wasDisabled = control.enabled ? FALSE : TRUE;
    control.enabled = enable != FALSE;
    ActiveBackend().ControlChanged(*window_, control);
    return wasDisabled;
}

CWnd* CWnd::SetFocus() {
    if (window_ == nullptr || controlIndex_ < 0) return nullptr;
    CWnd* previous = window_->focus < 0 ? nullptr : window_->controls[static_cast<std::size_t>(window_->focus)].wnd.get();
    platform::SetFocusIndex(*window_, controlIndex_);
    return previous;
}

CWnd* CWnd::GetDlgItem(int id) const {
    if (window_ == nullptr) return nullptr;
    Control* control = window_->FindControl(id);
    return control == nullptr ? nullptr : control->wnd.get();
}

BOOL CWnd::SetForegroundWindow() {
    if (window_ == nullptr) return FALSE;
    ActiveBackend().BringToForeground(*window_);
    return TRUE;
}

BOOL CWnd::IsIconic() const { return window_ != nullptr && window_->iconic ? TRUE : FALSE; }

void CWnd::GetClientRect(RECT* rect) const { *rect = window_ != nullptr ? ActiveBackend().ClientRect(*window_) : RECT{}; }

int CWnd::MessageBox(LPCTSTR text, LPCTSTR caption, UINT type) {
    const std::string title = caption != nullptr ? caption : (AfxGetApp() != nullptr ? AfxGetApp()->m_pszAppName : "");
    return ActiveBackend().MessageBox({window_, text, title, type});
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (window_ == nullptr) return 0;
    if (controlIndex_ >= 0) {
        Control& control = window_->controls[static_cast<std::size_t>(controlIndex_)];
        switch (message) {
        case CB_SETCURSEL:
            control.selection = wParam < control.items.size() ? static_cast<int>(wParam) : -1;
            ActiveBackend().ControlChanged(*window_, control);
            return control.selection < 0 ? CB_ERR : control.selection;
        case CB_GETCURSEL:
            return control.selection < 0 ? CB_ERR : control.selection;
        case BM_SETCHECK:
            control.checked = wParam == BST_CHECKED;
            ActiveBackend().ControlChanged(*window_, control);
            return 0;
        case BM_GETCHECK:
            return control.checked ? BST_CHECKED : BST_UNCHECKED;
        default:
            return 0;
        }
    }
    switch (message) {
    case WM_SETICON: {
        HICON& slot = window_->icons[wParam == ICON_BIG ? ICON_BIG : ICON_SMALL];
        const HICON previous = slot;
        slot = reinterpret_cast<HICON>(lParam);
        ActiveBackend().IconChanged(*window_);
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_ICONERASEBKGND:
        ActiveBackend().EraseIconBackground(*window_);
        return 1;
    default:
        return platform::Send(*window_, message, message == WM_COMMAND ? static_cast<UINT>(wParam & 0xFFFF) : 0,
                              wParam, lParam);
    }
}

// Backends paint windows and controls themselves; nothing the program passes
// on here needs more.
LRESULT CWnd::Default() { return 0; }

// ---- CDialog

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    const DialogTemplate* tmpl = FindDialogTemplate(static_cast<int>(templateId_));
    if (tmpl == nullptr) return -1;

    Window window;
    window.tmpl = tmpl;
    window.dialog = this;
    window.owner = parent_ != nullptr ? parent_->window() : platform::ActiveWindow();
    window.caption = tmpl->caption;
    window.controls.reserve(tmpl->controls.size());
    for (const ControlTemplate& control : tmpl->controls) {
        Control& c = window.controls.emplace_back();
        c.tmpl = &control;
        c.text = control.text;
        c.visible = control.visible();
        c.enabled = (control.style & WS_DISABLED) == 0;
        c.items.assign(control.items.begin(), control.items.end());
        c.wnd = std::make_unique<CWnd>();
        window.Attach(*c.wnd, static_cast<int>(window.controls.size() - 1));
    }
    window.Attach(*this);
    platform::g_windows.push_back(&window);
    platform::SetWaitPump(&platform::PumpWhileWaiting);

    if (OnInitDialog()) platform::FocusFirstTabStop(window);
    ActiveBackend().ShowWindow(window);
    if (!window.ended) ActiveBackend().RunModalLoop(window);
    ActiveBackend().DestroyWindow(window);

    platform::g_windows.pop_back();
    if (platform::g_windows.empty()) platform::SetWaitPump(nullptr);
    window.Detach(*this);
    return window.result;
}

BOOL CDialog::OnInitDialog() { return TRUE; }

void CDialog::EndDialog(int result) {
    Window* window = this->window();
    if (window == nullptr || window->ended) return;
    window->ended = true;
    window->result = result;
    ActiveBackend().EndModalLoop(*window);
}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

// ---- CWinApp

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCTSTR appName) {
    if (appName != nullptr) appName_ = appName;
    m_pszAppName = appName_.c_str();
    platform::g_app = this;
}

CWinApp::~CWinApp() {
    if (platform::g_app == this) platform::g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return FALSE; }

CWinApp* AfxGetApp() { return platform::g_app; }

void SetApplicationName(const std::string& executablePath) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return;
    app->appName_ = platform::SplitPath(executablePath).fname;
    app->m_pszAppName = app->appName_.c_str();
}

int AfxWinMain(int /*argc*/, char** argv) {
    SetApplicationName(argv[0]);
    // InitInstance runs the whole program; whatever it returns, the process ends.
    if (CWinApp* app = AfxGetApp()) app->InitInstance();
    return 0;
}

// ---- CFileDialog

CFileDialog::CFileDialog(BOOL openFileDialog, LPCTSTR defaultExt, LPCTSTR /*fileName*/, UINT flags, LPCTSTR filter,
                         CWnd* parent)
    : open_(openFileDialog), defaultExt_(defaultExt ? defaultExt : ""), flags_(flags), filter_(filter ? filter : ""),
      parent_(parent) {}

INT_PTR CFileDialog::DoModal() {
    // The tool and the settings file are found in the current directory, so
    // no dialog may move it, whatever a platform's dialog would do.
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    Window* owner = parent_ != nullptr ? parent_->window() : platform::ActiveWindow();
    platform::FileDialogResult result =
        ActiveBackend().FileDialog({owner, open_ != FALSE, flags_, filter_, defaultExt_});
    if (!error) std::filesystem::current_path(folder, error);

    selection_.clear();
    if (!result.confirmed) return IDCANCEL;
    selection_ = std::move(result.paths);
    return IDOK;
}

POSITION CFileDialog::GetStartPosition() const { return selection_.empty() ? 0 : 1; }

CString CFileDialog::GetNextPathName(POSITION& position) const {
    if (position == 0 || position > selection_.size()) {
        position = 0;
        return {};
    }
    CString path = selection_[position - 1];
    position = position < selection_.size() ? position + 1 : 0;
    return path;
}

// ---- Drawing, metrics, icons, dropped files

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
    if (dc == nullptr || icon == nullptr) return FALSE;
    ActiveBackend().DrawIcon(*dc, x, y, icon);
    return TRUE;
}

int GetSystemMetrics(int index) {
    return index == SM_CXICON || index == SM_CYICON ? ActiveBackend().IconSize() : 0;
}

HICON LoadIcon(int resourceId) { return LoadIconResource(resourceId); }

UINT DragQueryFile(HDROP drop, UINT index, char* buffer, UINT size) {
    if (drop == nullptr) return 0;
    if (index == 0xFFFFFFFFu) return static_cast<UINT>(drop->paths.size());
    if (index >= drop->paths.size()) return 0;
    const std::string& path = drop->paths[index];
    if (buffer == nullptr) return static_cast<UINT>(path.size());
    if (size == 0) return 0;
    const std::size_t copied = std::min<std::size_t>(path.size(), size - 1);
    path.copy(buffer, copied);
    buffer[copied] = '\0';
    return static_cast<UINT>(copied);
}

void DragFinish(HDROP drop) { delete drop; }

// The class-library stand-in the program is written against: message
// maps, windows, dialogs, the application object, the open-file dialog and
// the few drawing and drop functions, on top of the window layer.
#include "platform/afxwin.h"

#include <filesystem>
#include <system_error>

#include "platform/backend.h"
#include "platform/system/path.h"
#include "platform/window.h"

namespace {

CWinApp* g_app = nullptr;

}  // namespace

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
    platform::OpenWindow(window);

    if (OnInitDialog()) platform::FocusFirstTabStop(window);
    ActiveBackend().ShowWindow(window);
    if (!window.ended) ActiveBackend().RunModalLoop(window);
    ActiveBackend().DestroyWindow(window);

    platform::CloseWindow(window);
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
    g_app = this;
    platform::SetCommandTarget(this);
}

CWinApp::~CWinApp() {
    if (g_app != this) return;
    g_app = nullptr;
    platform::SetCommandTarget(nullptr);
}

BOOL CWinApp::InitInstance() { return FALSE; }

CWinApp* AfxGetApp() { return g_app; }

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

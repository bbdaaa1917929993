#pragma once

// A small class library in the manner of the Windows one, with just what
// Druvel's application and dialogs use: the application object, windows and
// modal dialogs built from resource templates, message maps, the open-file
// dialog, dropped files and the icon paint. Backends (platform/backend.h)
// put the windows on a screen, or keep them in memory for tests.
// It has no modeless windows, no document/view, no data exchange.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/windefs.h"

using CString = std::string;

class CCmdTarget;
class CWnd;
namespace platform {
struct Window;
}

// Message maps: one static table per class, searched from the most derived
// class to its bases.
struct MessageMapEntry {
    UINT message;
    UINT id;  // command identifier for WM_COMMAND, else 0
    LRESULT (*handler)(CCmdTarget* self, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
    const MessageMap* (*base)();
    const MessageMapEntry* entries;  // ends with an entry whose handler is nullptr
};

#define DECLARE_MESSAGE_MAP()                      \
public:                                            \
    static const MessageMap* GetThisMessageMap();  \
    const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                  \
    const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const MessageMap* theClass::GetThisMessageMap() {                           \
        using ThisClass [[maybe_unused]] = theClass;                                          \
        using TheBaseClass = baseClass;                                         \
        static const MessageMapEntry entries[] = {
#define END_MESSAGE_MAP()                                                \
    { 0, 0, nullptr }                                                    \
    }                                                                    \
    ;                                                                    \
    static const MessageMap map{&TheBaseClass::GetThisMessageMap, entries}; \
    return &map;                                                         \
    }

#define ON_COMMAND(id, memberFn) \
    {WM_COMMAND, static_cast<UINT>(id), [](CCmdTarget* w, WPARAM, LPARAM) -> LRESULT { static_cast<ThisClass*>(w)->memberFn(); return 0; }},
#define ON_WM_PAINT() \
    {WM_PAINT, 0, [](CCmdTarget* w, WPARAM, LPARAM) -> LRESULT { static_cast<ThisClass*>(w)->OnPaint(); return 0; }},
#define ON_WM_QUERYDRAGICON()                                                                \
    {WM_QUERYDRAGICON, 0, [](CCmdTarget* w, WPARAM, LPARAM) -> LRESULT {                            \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(w)->OnQueryDragIcon());    \
     }},
#define ON_WM_DROPFILES()                                                                    \
    {WM_DROPFILES, 0, [](CCmdTarget* w, WPARAM wParam, LPARAM) -> LRESULT {                       \
         static_cast<ThisClass*>(w)->OnDropFiles(reinterpret_cast<HDROP>(wParam));           \
         return 0;                                                                           \
     }},

// A command target: an object with a message map.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    static const MessageMap* GetThisMessageMap();
    virtual const MessageMap* GetMessageMap() const;

    // Calls the handler for `message` (and command `id`) in this object's
    // map; false when there is none.
    bool DispatchMessage(UINT message, UINT id, WPARAM wParam, LPARAM lParam, LRESULT& result);
};

// A window or a control of a dialog.
class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    BOOL SetWindowText(LPCTSTR text);
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    CWnd* SetFocus();
    CWnd* GetDlgItem(int id) const;
    BOOL SetForegroundWindow();
    BOOL IsIconic() const;
    void GetClientRect(RECT* rect) const;
    int MessageBox(LPCTSTR text, LPCTSTR caption = nullptr, UINT type = MB_OK);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // The window this object stands for (nullptr before it exists).
    platform::Window* window() const { return window_; }

protected:
    // The default handling of the message being dispatched.
    LRESULT Default();

private:
    friend struct platform::Window;
    platform::Window* window_ = nullptr;
    int controlIndex_ = -1;  // -1: the window itself
};

// A modal dialog built from a template.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    void EndDialog(int result);

protected:
    virtual void OnOK();
    virtual void OnCancel();

    DECLARE_MESSAGE_MAP()

private:
    UINT templateId_;
    CWnd* parent_;
};

// The application object; exactly one exists. Its name is the executable's
// file name without extension.
class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCTSTR appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    void Enable3dControls() {}

    // F1: Druvel ships no help file, so a help request does nothing.
    void OnHelp() {}

    LPCTSTR m_pszAppName = nullptr;
    CWnd* m_pMainWnd = nullptr;

    DECLARE_MESSAGE_MAP()

private:
    std::string appName_;
    friend void SetApplicationName(const std::string& name);
};

CWinApp* AfxGetApp();

// Sets the application's name from the executable's path (what the program's
// entry does before InitInstance).
void SetApplicationName(const std::string& executablePath);

// Runs the application object: InitInstance, then the end of the process.
int AfxWinMain(int argc, char** argv);

// Opaque iteration position of the open-file dialog; 0 after the last name.
using POSITION = std::size_t;

// The open-file dialog. Unlike the platform's own, it never changes the
// process's current directory.
class CFileDialog {
public:
    CFileDialog(BOOL openFileDialog, LPCTSTR defaultExt = nullptr, LPCTSTR fileName = nullptr,
                UINT flags = OFN_HIDEREADONLY, LPCTSTR filter = nullptr, CWnd* parent = nullptr);
    virtual ~CFileDialog() = default;

    virtual INT_PTR DoModal();
    POSITION GetStartPosition() const;
    CString GetNextPathName(POSITION& position) const;

private:
    BOOL open_;
    std::string defaultExt_;
    UINT flags_;
    std::string filter_;
    CWnd* parent_;
    std::vector<std::string> selection_;  // filled only by a confirmed dialog
};

// Drawing on a window during WM_PAINT.
using HDC = platform::Window*;
class CPaintDC {
public:
    explicit CPaintDC(CWnd* window) : m_hDC(window->window()) {}
    HDC GetSafeHdc() const { return m_hDC; }
    HDC m_hDC;
};

BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
int GetSystemMetrics(int index);
HICON LoadIcon(int resourceId);

// Dropped files: the count for index 0xFFFFFFFF; a name's length (without
// the terminator) for a null buffer; else the name, cut to fit `size`.
UINT DragQueryFile(HDROP drop, UINT index, char* buffer, UINT size);
void DragFinish(HDROP drop);

#pragma once

// The seam between the window layer and the Win32 API. <windows.h> declares
// its own RECT, HICON, HDROP, LRESULT and functions of the same names as the
// layer's (platform/windefs.h, platform/afxwin.h), so the two never meet in
// one file: backend.cpp speaks the layer's types, native.cpp
// includes <windows.h>, and this header between them has standard types only.
// Window handles travel as void*; texts and paths as the program's UTF-8
// (generalised, platform/text.h), which native.cpp turns into UTF-16 and back.

#include <string>
#include <vector>

namespace platform::win32 {

using Handle = void*;

// What the user did in a dialog, reported by the native side to the
// backend; `window` is the layer's window the dialog shows.
struct Events {
    void (*command)(void* window, int id, bool fromControl);  // a button, a menu item, Enter or Escape
    void (*close)(void* window);                               // the close box or Alt+F4
    void (*help)(void* window);                                // F1
    void (*textChanged)(void* window, int id, const std::string& text);
    void (*selectionChanged)(void* window, int id, int index);
    void (*focusChanged)(void* window, int id);
    void (*filesDropped)(void* window, const std::vector<std::string>& paths);
    void (*iconicChanged)(void* window, bool iconic);
};

bool Init(const Events& events);

// A dialog from the program's resources, not shown yet; its owner is
// disabled from Show() to Destroy(), as for any modal dialog.
Handle CreateDialogWindow(int templateId, Handle owner, void* window);
void Show(Handle dialog);
void Destroy(Handle dialog);

void SetCaption(Handle dialog, const std::string& text);
void SetControlText(Handle dialog, int id, const std::string& text);
void SetControlEnabled(Handle dialog, int id, bool enabled);
void SetControlVisible(Handle dialog, int id, bool visible);
void SetControlChecked(Handle dialog, int id, bool checked);
void SetComboItems(Handle dialog, int id, const std::vector<std::string>& items, int selection);
void FocusControl(Handle dialog, int id);
void SetIcon(Handle dialog, int iconId, bool big);
void BringToForeground(Handle dialog);

// Runs the message loop, with the dialog manager's keys for `dialog`, until
// `ended` is set (EndLoop() wakes it to look).
void RunLoop(Handle dialog, const bool& ended);
void EndLoop();
// Handles the waiting messages, waiting at most `milliseconds` for one.
void Pump(Handle dialog, int milliseconds);

int ShowMessageBox(Handle owner, const std::string& text, const std::string& caption, unsigned type);
// The open-file dialog with `flags` and a filter of "text|pattern|" pairs;
// false when it was cancelled.
bool ChooseFiles(Handle owner, unsigned flags, const std::string& filter, const std::string& defaultExt,
                 std::vector<std::string>& paths);

void DrawIconAt(Handle dialog, int x, int y, int iconId);
void EraseIconBackground(Handle dialog);
void ClientSize(Handle dialog, long& width, long& height);
int IconSize();

}  // namespace platform::win32

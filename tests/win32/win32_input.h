#pragma once

// A user's input to real Win32 windows, and what they show, for the test
// driver of the Win32 backend. Standard types only, like the backend's own
// seam (platform/backends/win32/native.h): window handles travel as void*.

#include <string>
#include <vector>

namespace win32_input {

using Handle = void*;

// Calls `tick` every few milliseconds from whatever message loop runs on
// this thread: the program's own, a message box's, the open-file dialog's.
void StartTimer(void (*tick)());

// What a user does. Each is only what a user could do: nothing happens for
// a hidden or disabled control, a grayed menu item, a missing close box or
// a window that takes no dropped files.
enum class Key { Enter, Escape, F1 };
void PressKey(Handle dialog, Key key);
void TypeText(Handle dialog, int id, const std::string& text);
void Click(Handle dialog, int id);
void ChooseMenu(Handle dialog, int command);
void PressCloseBox(Handle dialog);
void DropFiles(Handle dialog, const std::vector<std::string>& paths);
void SetCheck(Handle dialog, int id, bool checked);
void SelectItem(Handle dialog, int id, int index);
void Focus(Handle dialog, int id);
void Minimize(Handle dialog, bool minimized);

// What a window shows.
std::string Caption(Handle dialog);
std::string ControlText(Handle dialog, int id);
bool ControlEnabled(Handle dialog, int id);
bool ControlVisible(Handle dialog, int id);
bool ControlChecked(Handle dialog, int id);
int ComboSelection(Handle dialog, int id);
std::vector<std::string> ComboItems(Handle dialog, int id);
int FocusedControl(Handle dialog);  // its identifier, 0 for none

// The system's own dialogs that this thread shows (not one of `own`).
enum class CommonDialog { None, MessageBox, OpenFile };
CommonDialog FindCommonDialog(const std::vector<Handle>& own, Handle& found);
std::string MessageBoxText(Handle box);
std::string MessageBoxCaption(Handle box);
bool MessageBoxHasIcon(Handle box);
void PressButton(Handle dialog, int id);
// Types `text` into the open-file dialog's name field and presses Open.
void EnterFileName(Handle dialog, const std::string& text);

// Visible top-level windows of this thread.
int VisibleWindows();

}  // namespace win32_input

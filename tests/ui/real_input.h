#pragma once

// A user's input to a real backend's windows, and what they show: all the
// real-window driver (tests/ui/real_driver.cpp) needs of each system, in
// standard types only, so that a system's own headers never meet the window
// layer's. Windows come as opaque handles: the program's by their views,
// the system's own dialogs (message box, open-file dialog) as found.

#include <functional>
#include <string>
#include <vector>

namespace real_input {

using Handle = void*;

// The backend these drive, started with its timer: `tick` runs every few
// milliseconds from whatever loop runs on this thread, the program's own,
// a message box's or the open-file dialog's.
const char* BackendName();
void StartTimer(void (*tick)());
// Runs `act` after the tick that asks for it, from the event loop, so that
// an act opening a dialog lets that dialog's loop tick too.
void Soon(std::function<void()> act);

// What a user does, as script.h's acts (each only what a user could do).
enum class Key { Enter, Escape, F1 };
void PressKey(Handle view, Key key);
void TypeText(Handle view, int id, const std::string& text);
void Click(Handle view, int id);
void ChooseMenu(Handle view, int command);
void PressCloseBox(Handle view);
void DropFiles(Handle view, const std::vector<std::string>& paths);
void SelectItem(Handle view, int id, int index);
void Focus(Handle view, int id);
void Minimize(Handle view, bool minimized);

// What a window shows of a control (nothing when the system has no such control).
struct ControlShown {
    bool exists = false;
    std::string text;
    bool enabled = false, visible = false, checked = false;
    int selection = -1;
    std::vector<std::string> items;
};
std::string Caption(Handle view);
ControlShown ShownControl(Handle view, int id);
int FocusedControl(Handle view);  // its identifier, 0 for none

// The system's own dialog in front of the program's windows (`own`), if any.
enum class CommonDialog { None, MessageBox, OpenFile };
CommonDialog FindCommonDialog(const std::vector<Handle>& own, Handle& found);
struct BoxShown {
    std::string text, title;
    bool plain;  // no icon, one button
};
BoxShown ShownMessageBox(Handle box);
void PressButton(Handle dialog, int id);  // IDOK or IDCANCEL
// One step of choosing `paths` (all in one folder) in the open-file dialog,
// as a person takes it; true once the choice is made.
bool ChooseFiles(Handle dialog, const std::vector<std::string>& paths);

// For each system's ChooseFiles, from the real-window driver: the folder
// of `paths` (no separator at its end), and their names as a person types
// them into the dialog's name field, quoted when there are several.
std::string FolderOf(const std::vector<std::string>& paths);
std::string TypedNames(const std::vector<std::string>& paths);

// Visible top-level windows of this thread.
int VisibleWindows();

}  // namespace real_input

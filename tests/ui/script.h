#pragma once

// The scripted user of the UI tests: a test queues the user's steps, starts
// the program, then reads what it showed. A driver carries the script out on
// the backend under test, headless (tests/ui/headless_driver.cpp) or on the
// real windows (tests/ui/real_driver.cpp); the same cases run on each.

#include <functional>
#include <source_location>
#include <string>
#include <vector>

#include "platform/backend.h"

namespace script {

using platform::Window;

// Something the user does to the active window.
using Act = std::function<void(Window&)>;

// The user's input as the backend under test takes it: applied to the
// window layer (headless), or the system's own input to the real windows
// (tests/qt/qt_input.cpp, tests/win32/win32_input.cpp). Each is only what a
// user could do: nothing happens for a hidden or disabled control, a grayed
// menu item, a missing close box or a window that takes no dropped files.
Act Enter();
Act Escape();
Act HelpKey();
Act CloseBox();
Act Click(int id);
Act ChooseMenu(int command);
Act Focus(int id);
Act SelectItem(int id, int index);
Act TypeText(int id, const std::string& text);
Act Drop(const std::vector<std::string>& paths);
Act Minimize(bool minimized);

// Runs `check` on the active window, after the driver's own check that the
// screen shows what the window layer holds.
Act Inspect(std::function<void(Window&)> check);
// Runs `action` (releasing a waiting tool, say) at this point of the script.
Act Call(std::function<void()> action);

// The system's dialogs a step answers.
enum class Dialog { None, MessageBox, OpenFile };

// An act, or the answer to a dialog: OK to a message box, or the files
// chosen in the open-file dialog (none cancels it).
struct Step {
    Step(Act act) : act(std::move(act)) {}  // NOLINT(google-explicit-constructor): every act is a step
    Step(Dialog dialog, std::vector<std::string> files) : answers(dialog), files(std::move(files)) {}

    Act act;
    Dialog answers = Dialog::None;
    std::vector<std::string> files;
    std::string where = {};  // the test's line that queued it
    int toolRun = 0;         // its WhileToolRuns block; 0 for one done while the program is idle
};
inline Step AnswerMessageBox() { return {Dialog::MessageBox, {}}; }
inline Step ChooseFiles(std::vector<std::string> files) { return {Dialog::OpenFile, std::move(files)}; }

// Queues `steps`, carried out in order while the program is idle.
void Do(std::vector<Step> steps, std::source_location where = std::source_location::current());
// Queues `steps`, carried out while one run of the tool waits; the next
// such block waits for the next run.
void WhileToolRuns(std::vector<Step> steps, std::source_location where = std::source_location::current());

struct MessageBoxShown {
    std::string ownerCaption, text, title;
    UINT type;
};
struct FileDialogShown {
    bool open;
    UINT flags;
    std::string filter;
};
struct IconDrawn {
    int x, y;
    HICON icon;
};

// Everything the program showed, in order.
struct Record {
    std::vector<int> windowsShown;      // template identifiers
    std::vector<std::string> captions;  // every caption set on the first window
    std::vector<MessageBoxShown> messageBoxes;
    std::vector<FileDialogShown> fileDialogs;
    std::vector<IconDrawn> iconsDrawn;
    int foregroundRequests = 0;
    std::vector<std::string> errors;  // script faults: unanswered dialogs, a script that ran out
};
const Record& Shown();
std::size_t PendingSteps();

// Starts afresh on the driver's backend: an empty script and record;
// `toolRuns` counts the runs of the tool begun.
void StartDriver(std::function<unsigned()> toolRuns);

// ---- each driver's own: the backend it drives, what it puts in front of
// the backend's operations (once), the windows still on the screen, and
// that the screen shows what the window layer holds (nothing to see headless).
const char* DriverBackend();
void ScriptTheBackend(platform::Backend& backend);
int WindowsLeftOpen();
void ExpectShownAsHeld(const Window& window);

// ---- what the script offers the drivers
// Carries out the front step on `window` when it is an act due now: one for
// an idle program, or when `toolRunning` for the tool run under way. A
// WhileToolRuns block belongs to the first run that finds it at the front,
// and no later block starts before the next run.
bool DoDueAct(bool toolRunning, Window* window);
// The front step when it answers `dialog`; else a fault naming `shown`.
const Step* AnswerTo(Dialog dialog, const std::string& shown);
// Removes the front step, carried out.
void Done();
// Nothing the script holds can happen now: records why, then drops the
// step that waits or, when the script is used up, ends `window`.
void GiveUp(Window& window);
// True while the program waits for the tool.
bool WaitingForTheTool();

}  // namespace script

#pragma once

// The scripted user's queue, for the drivers that carry it out: the
// headless driver applies each act to the window layer directly; a driver
// for a real backend performs it with that system's own input.

#include <functional>
#include <string>
#include <vector>

#include "tests/ui/scripted_user.h"

namespace headless {

enum class ActKind {
    TypeText, Enter, Escape, CloseBox, HelpKey, Click, ChooseMenu, DropFiles, SetCheck, SelectItem, Focus,
    Minimize, Restore, Inspect, Call,
    AnswerMessageBox, AnswerFileDialog,
};

struct Act {
    ActKind kind;
    std::string description;
    int id = 0;            // a control or a menu command
    int index = 0;         // SelectItem
    bool flag = false;     // SetCheck: checked; AnswerFileDialog: the dialog moves the current directory
    bool confirm = false;  // AnswerFileDialog: confirmed (with `paths`) rather than cancelled
    std::string text = {};  // TypeText
    std::vector<std::string> paths = {};  // DropFiles, AnswerFileDialog
    std::function<void(platform::Window&)> check = {};  // Inspect, Call
    bool whileToolRuns = false;
    int toolRunGroup = 0;  // acts of one WhileToolRuns block share a tool run

    bool answers() const { return kind >= ActKind::AnswerMessageBox; }
};

// The next act when it is due: one for the window (not an answer), queued
// for a tool run when `toolRunning`, else for an idle program. A block of
// WhileToolRuns acts belongs to one tool run: the first run that finds it at
// the front takes it, and no later block starts before the next run.
bool TakeDueAct(bool toolRunning, Act& act);

// The front act, if any (nullptr when the script is used up).
const Act* NextAct();

// Takes the next act when it answers a dialog of `kind`; records a fault
// naming `shown` otherwise.
bool TakeAnswer(ActKind kind, Act& answer, const std::string& shown);

// Takes the front act whatever it is, after a fault was recorded for it.
void DropNextAct();

void Fault(const std::string& what);

// Nothing the script holds can happen now: records why, then drops the act
// that waits or, when the script is used up, ends `window`.
void GiveUp(platform::Window& window);

// Puts recording in front of `backend`'s operations: what the program asks
// of it, as every driver records it, and whether it waits for the tool. The
// operations it had go on doing the work. Once per backend.
void RecordCallsTo(platform::Backend& backend);

// True while the program waits for the tool to end.
bool WaitingForTheTool();

// What the program asked of its backend, recorded alike by every driver.
void RecordWindowShown(const platform::Window& window);
void RecordCaptionChanged(const platform::Window& window);
void RecordForegroundRequest();
void RecordMessageBox(const platform::MessageBoxRequest& request);
void RecordFileDialog(const platform::FileDialogRequest& request);
void RecordIconDrawn(int x, int y, HICON icon);

// A message box a driver found on the screen shows what the program asked
// for: the text and title of the last one recorded.
void ExpectLastMessageBox(const std::string& text, const std::string& title);

// Applies a window act to the layer's state, as the user's input would.
void PerformOnLayer(platform::Window& window, const Act& act);

}  // namespace headless

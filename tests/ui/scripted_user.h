#pragma once

// The scripted user of the UI tests: tests queue the user's actions, start
// the program, and then read what it showed. A driver carries the script
// out on the backend under test (tests/ui/driver.h).

#include <functional>
#include <string>
#include <vector>

#include "platform/backend.h"

namespace headless {

struct MessageBoxShown {
    std::string ownerCaption;
    std::string text;
    std::string title;
    UINT type;
};

struct FileDialogShown {
    bool open;
    UINT flags;
    std::string filter;
    std::string ownerCaption;
};

struct IconDrawn {
    int x, y;
    HICON icon;
};

// Everything the program showed, in order.
struct Record {
    std::vector<int> windowsShown;               // template identifiers
    std::vector<std::string> captions;           // every caption set on the first window, in order
    std::vector<MessageBoxShown> messageBoxes;
    std::vector<FileDialogShown> fileDialogs;
    std::vector<IconDrawn> iconsDrawn;
    int foregroundRequests = 0;
    std::vector<std::string> errors;             // script faults: unanswered dialogs, a script that ran out
};

// The user's actions, carried out in order. Actions happen while the program
// is idle, unless queued inside WhileToolRuns: those happen while the program
// waits for the tool.
class ScriptedUser {
public:
    void TypeText(int id, const std::string& text);
    void PressEnter();
    void PressEscape();
    void PressCloseBox();
    void PressHelpKey();
    void Click(int id);
    void ChooseMenu(int command);
    void DropFiles(const std::vector<std::string>& paths);
    void SetCheck(int id, bool checked);
    void SelectItem(int id, int index);
    void Focus(int id);
    void Minimize();
    void Restore();
    void AnswerMessageBox();
    void ChooseFiles(const std::vector<std::string>& paths, bool dialogChangesDirectory = false);
    void CancelFileDialog();
    // Runs `check` against the active window at this point of the script.
    void Inspect(std::function<void(platform::Window&)> check);
    // Runs `action` (anything, such as releasing a waiting tool) at this point.
    void Call(std::function<void()> action);
    // Actions queued inside `queue` happen while one run of the tool waits;
    // the next block waits for the next run.
    void WhileToolRuns(const std::function<void()>& queue);
};

// Selects the headless backend and starts afresh: an empty script and record.
void Reset();
// How the script tells one run of the tool from the next: `counter` gives
// the number of runs begun so far.
void CountToolRunsWith(std::function<unsigned()> counter);
ScriptedUser& User();
const Record& Shown();
// Actions still queued.
std::size_t PendingActions();

}  // namespace headless

#include <chrono>
#include <deque>
#include <filesystem>
#include <thread>

#include "platform/headless/headless.h"
#include "platform/process.h"

namespace headless {

namespace {

using platform::Window;

enum class Kind { Plain, MessageBoxAnswer, FileDialogAnswer };

struct Action {
    Kind kind = Kind::Plain;
    bool whileToolRuns = false;
    int toolRunGroup = 0;  // actions of one WhileToolRuns block share a tool run
    std::string description;
    std::function<void(Window&)> run;                   // Plain: acts on the active window
    platform::FileDialogResult fileDialog;              // FileDialogAnswer
    bool changeDirectory = false;
};

struct State {
    std::deque<Action> script;
    Record record;
    bool queueingWhileToolRuns = false;
    int groupsQueued = 0;
    int groupRunning = 0;         // the block taken by the current tool run
    unsigned runOfGroup = 0;      // that tool run
};

State& S() {
    static State state;
    return state;
}

void Queue(Action action) {
    action.whileToolRuns = S().queueingWhileToolRuns;
    action.toolRunGroup = S().groupsQueued;
    S().script.push_back(std::move(action));
}

void QueuePlain(const std::string& description, std::function<void(Window&)> run) {
    Action action;
    action.description = description;
    action.run = std::move(run);
    Queue(std::move(action));
}

void Fault(const std::string& what) { S().record.errors.push_back(what); }

bool IsBottomWindow(const Window& window) {
    return !platform::OpenWindows().empty() && platform::OpenWindows().front() == &window;
}

void RunPlain(Action& action) {
    Window* window = platform::ActiveWindow();
    if (window == nullptr) return Fault("no window for: " + action.description);
    action.run(*window);
}

// ---- the backend's operations

bool Init(int, char**) { return true; }

void ShowWindow(Window& window) {
    S().record.windowsShown.push_back(window.tmpl->id);
    if (IsBottomWindow(window)) S().record.captions.push_back(window.caption);
}

void DestroyWindow(Window&) {}

void CaptionChanged(Window& window) {
    if (IsBottomWindow(window)) S().record.captions.push_back(window.caption);
}

void ControlChanged(Window&, platform::Control&) {}
void FocusChanged(Window&) {}
void IconChanged(Window&) {}

void BringToForeground(Window&) { ++S().record.foregroundRequests; }

void RunModalLoop(Window& window) {
    while (!window.ended) {
        if (S().script.empty()) {
            Fault("the script ended while \"" + window.caption + "\" was open");
            window.ended = true;
            window.result = -1;
            return;
        }
        Action action = std::move(S().script.front());
        S().script.pop_front();
        if (action.kind != Kind::Plain) {
            Fault("no dialog was open to take: " + action.description);
        } else if (action.whileToolRuns) {
            Fault("the tool was not running for: " + action.description);
        } else {
            RunPlain(action);
        }
    }
}

void EndModalLoop(Window&) {}

// A block of WhileToolRuns actions belongs to one tool run: the first run
// that finds it at the front of the script takes it, and no later block
// starts before the next run.
bool BelongsToThisToolRun(const Action& action) {
    const unsigned run = platform::ProgramsStarted();
    if (action.toolRunGroup != S().groupRunning) {
        if (run == S().runOfGroup) return false;
        S().groupRunning = action.toolRunGroup;
        S().runOfGroup = run;
    }
    return run == S().runOfGroup;
}

void PumpEvents(int /*milliseconds*/) {
    if (!S().script.empty() && S().script.front().whileToolRuns && S().script.front().kind == Kind::Plain &&
        BelongsToThisToolRun(S().script.front())) {
        Action action = std::move(S().script.front());
        S().script.pop_front();
        RunPlain(action);
        return;
    }
    // Tool runs in tests are short: look again within a millisecond.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Takes the next action when it is the answer of `kind`; records a fault otherwise.
bool TakeAnswer(Kind kind, Action& answer, const std::string& shown) {
    if (S().script.empty() || S().script.front().kind != kind) {
        Fault("nobody answered " + shown);
        return false;
    }
    answer = std::move(S().script.front());
    S().script.pop_front();
    return true;
}

int MessageBox(const platform::MessageBoxRequest& request) {
    S().record.messageBoxes.push_back(
        {request.owner != nullptr ? request.owner->caption : "", request.text, request.caption, request.type});
    Action answer;
    TakeAnswer(Kind::MessageBoxAnswer, answer, "the message box \"" + request.text + "\"");
    return IDOK;
}

platform::FileDialogResult FileDialog(const platform::FileDialogRequest& request) {
    S().record.fileDialogs.push_back(
        {request.open, request.flags, request.filter, request.owner != nullptr ? request.owner->caption : ""});
    Action answer;
    if (!TakeAnswer(Kind::FileDialogAnswer, answer, "the open-file dialog")) return {};
    // Stands in for a platform dialog that moves the current directory to the
    // folder of the chosen files.
    if (answer.changeDirectory && !answer.fileDialog.paths.empty()) {
        std::error_code ignored;
        std::filesystem::current_path(std::filesystem::path(answer.fileDialog.paths[0]).parent_path(), ignored);
    }
    return answer.fileDialog;
}

void DrawIcon(Window&, int x, int y, HICON icon) { S().record.iconsDrawn.push_back({x, y, icon}); }

void EraseIconBackground(Window&) {}

// Iconic windows are as small as the ones a task bar shows; others get
// 8 by 16 pixels a dialog unit of their template.
RECT ClientRect(const Window& window) {
    if (window.iconic) return {0, 0, 0, 0};
    return {0, 0, window.tmpl->cx * 2, window.tmpl->cy * 2};
}

int IconSize() { return 32; }

}  // namespace

// ---- the scripted user

void ScriptedUser::TypeText(int id, const std::string& text) {
    QueuePlain("typing into " + std::to_string(id), [id, text](Window& w) { platform::input::TypeText(w, id, text); });
}
void ScriptedUser::PressEnter() { QueuePlain("Enter", [](Window& w) { platform::input::Enter(w); }); }
void ScriptedUser::PressEscape() { QueuePlain("Escape", [](Window& w) { platform::input::Escape(w); }); }
void ScriptedUser::PressCloseBox() { QueuePlain("the close box", [](Window& w) { platform::input::CloseBox(w); }); }
void ScriptedUser::PressHelpKey() { QueuePlain("F1", [](Window& w) { platform::input::HelpKey(w); }); }
void ScriptedUser::Click(int id) {
    QueuePlain("a click on " + std::to_string(id), [id](Window& w) { platform::input::ClickButton(w, id); });
}
void ScriptedUser::ChooseMenu(int command) {
    QueuePlain("menu command " + std::to_string(command),
               [command](Window& w) { platform::input::ChooseMenu(w, command); });
}
void ScriptedUser::DropFiles(const std::vector<std::string>& paths) {
    QueuePlain("a drop", [paths](Window& w) { platform::input::DropFiles(w, paths); });
}
void ScriptedUser::SetCheck(int id, bool checked) {
    QueuePlain("checking " + std::to_string(id), [id, checked](Window& w) { platform::input::SetCheck(w, id, checked); });
}
void ScriptedUser::SelectItem(int id, int index) {
    QueuePlain("selecting in " + std::to_string(id), [id, index](Window& w) { platform::input::SelectItem(w, id, index); });
}
void ScriptedUser::Focus(int id) {
    QueuePlain("focusing " + std::to_string(id), [id](Window& w) { platform::input::FocusControl(w, id); });
}
void ScriptedUser::Minimize() { QueuePlain("minimizing", [](Window& w) { platform::input::SetIconic(w, true); }); }
void ScriptedUser::Restore() { QueuePlain("restoring", [](Window& w) { platform::input::SetIconic(w, false); }); }

void ScriptedUser::AnswerMessageBox() {
    Action action;
    action.kind = Kind::MessageBoxAnswer;
    action.description = "an answer to a message box";
    Queue(std::move(action));
}

void ScriptedUser::ChooseFiles(const std::vector<std::string>& paths, bool dialogChangesDirectory) {
    Action action;
    action.kind = Kind::FileDialogAnswer;
    action.description = "a choice of files";
    action.fileDialog = {true, paths};
    action.changeDirectory = dialogChangesDirectory;
    Queue(std::move(action));
}

void ScriptedUser::CancelFileDialog() {
    Action action;
    action.kind = Kind::FileDialogAnswer;
    action.description = "a cancelled file dialog";
    Queue(std::move(action));
}

void ScriptedUser::Inspect(std::function<void(Window&)> check) { QueuePlain("an inspection", std::move(check)); }

void ScriptedUser::Call(std::function<void()> action) {
    QueuePlain("a call", [action = std::move(action)](Window&) { action(); });
}

void ScriptedUser::WhileToolRuns(const std::function<void()>& queue) {
    ++S().groupsQueued;
    S().queueingWhileToolRuns = true;
    queue();
    S().queueingWhileToolRuns = false;
}

void Reset() {
    platform::SelectBackend("headless");
    S() = State{};
}

ScriptedUser& User() {
    static ScriptedUser user;
    return user;
}

const Record& Shown() { return S().record; }

std::size_t PendingActions() { return S().script.size(); }

}  // namespace headless

namespace platform {

Backend g_headlessBackend{
    "headless",          headless::Init,          headless::ShowWindow,   headless::DestroyWindow,
    headless::CaptionChanged, headless::ControlChanged, headless::FocusChanged, headless::IconChanged,
    headless::BringToForeground, headless::RunModalLoop, headless::EndModalLoop, headless::PumpEvents,
    headless::MessageBox, headless::FileDialog, headless::DrawIcon, headless::EraseIconBackground,
    headless::ClientRect, headless::IconSize,
};

}  // namespace platform

// The scripted user: what tests queue, and the bookkeeping every driver
// shares.
#include <gtest/gtest.h>

#include <deque>

#include "tests/ui/script.h"

namespace headless {

namespace {

using platform::Window;

struct State {
    std::deque<Act> script;
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

void Queue(Act act) {
    act.whileToolRuns = S().queueingWhileToolRuns;
    act.toolRunGroup = S().groupsQueued;
    S().script.push_back(std::move(act));
}

void Queue(ActKind kind, const std::string& description, int id = 0) {
    Act act{kind, description};
    act.id = id;
    Queue(std::move(act));
}

std::function<unsigned()>& ToolRunCounter() {
    static std::function<unsigned()> counter = [] { return 0u; };
    return counter;
}

bool BelongsToThisToolRun(const Act& act) {
    const unsigned run = ToolRunCounter()();
    if (act.toolRunGroup != S().groupRunning) {
        if (run == S().runOfGroup) return false;
        S().groupRunning = act.toolRunGroup;
        S().runOfGroup = run;
    }
    return run == S().runOfGroup;
}

bool IsBottomWindow(const Window& window) {
    return !platform::OpenWindows().empty() && platform::OpenWindows().front() == &window;
}

std::string OwnerCaption(const Window* owner) { return owner != nullptr ? owner->caption : ""; }

Act TakeFront() {
    Act act = std::move(S().script.front());
    S().script.pop_front();
    return act;
}

}  // namespace

// ---- for drivers

bool TakeDueAct(bool toolRunning, Act& act) {
    if (S().script.empty()) return false;
    const Act& next = S().script.front();
    if (next.answers() || next.whileToolRuns != toolRunning) return false;
    if (toolRunning && !BelongsToThisToolRun(next)) return false;
    act = TakeFront();
    return true;
}

const Act* NextAct() { return S().script.empty() ? nullptr : &S().script.front(); }

bool TakeAnswer(ActKind kind, Act& answer, const std::string& shown) {
    if (S().script.empty() || S().script.front().kind != kind) {
        Fault("nobody answered " + shown);
        return false;
    }
    answer = TakeFront();
    return true;
}

void DropNextAct() {
    if (!S().script.empty()) S().script.pop_front();
}

void Fault(const std::string& what) { S().record.errors.push_back(what); }

void GiveUp(Window& window) {
    if (const Act* next = NextAct()) {
        Fault((next->whileToolRuns ? "the tool was not running for: " : "no dialog was open to take: ") +
              next->description);
        DropNextAct();
        return;
    }
    Fault("the script ended while \"" + window.caption + "\" was open");
    window.dialog->EndDialog(-1);
}

void RecordWindowShown(const Window& window) {
    S().record.windowsShown.push_back(window.tmpl->id);
    RecordCaptionChanged(window);
}

void RecordCaptionChanged(const Window& window) {
    if (IsBottomWindow(window)) S().record.captions.push_back(window.caption);
}

void RecordForegroundRequest() { ++S().record.foregroundRequests; }

void RecordMessageBox(const platform::MessageBoxRequest& request) {
    S().record.messageBoxes.push_back({OwnerCaption(request.owner), request.text, request.caption, request.type});
}

void RecordFileDialog(const platform::FileDialogRequest& request) {
    S().record.fileDialogs.push_back({request.open, request.flags, request.filter, OwnerCaption(request.owner)});
}

void RecordIconDrawn(int x, int y, HICON icon) { S().record.iconsDrawn.push_back({x, y, icon}); }

namespace {

platform::Backend g_inner;  // the operations behind the recording
int g_waits = 0;

void RecordShowWindow(Window& window) {
    RecordWindowShown(window);
    g_inner.ShowWindow(window);
}

void RecordCaption(Window& window) {
    RecordCaptionChanged(window);
    g_inner.CaptionChanged(window);
}

void RecordForeground(Window& window) {
    RecordForegroundRequest();
    g_inner.BringToForeground(window);
}

void CountWaits(int milliseconds) {
    ++g_waits;
    g_inner.PumpEvents(milliseconds);
    --g_waits;
}

int RecordBox(const platform::MessageBoxRequest& request) {
    RecordMessageBox(request);
    return g_inner.MessageBox(request);
}

platform::FileDialogResult RecordDialog(const platform::FileDialogRequest& request) {
    RecordFileDialog(request);
    return g_inner.FileDialog(request);
}

void RecordIcon(Window& window, int x, int y, HICON icon) {
    RecordIconDrawn(x, y, icon);
    g_inner.DrawIcon(window, x, y, icon);
}

}  // namespace

void RecordCallsTo(platform::Backend& backend) {
    g_inner = backend;
    backend.ShowWindow = RecordShowWindow;
    backend.CaptionChanged = RecordCaption;
    backend.BringToForeground = RecordForeground;
    backend.PumpEvents = CountWaits;
    backend.MessageBox = RecordBox;
    backend.FileDialog = RecordDialog;
    backend.DrawIcon = RecordIcon;
}

bool WaitingForTheTool() { return g_waits > 0; }

void ExpectLastMessageBox(const std::string& text, const std::string& title) {
    const auto& shown = S().record.messageBoxes;
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(text, shown.back().text);
    EXPECT_EQ(title, shown.back().title);
}

void PerformOnLayer(Window& w, const Act& act) {
    namespace input = platform::input;
    switch (act.kind) {
    case ActKind::TypeText: return input::TypeText(w, act.id, act.text);
    case ActKind::Enter: return input::Enter(w);
    case ActKind::Escape: return input::Escape(w);
    case ActKind::CloseBox: return input::CloseBox(w);
    case ActKind::HelpKey: return input::HelpKey(w);
    case ActKind::Click: return input::ClickButton(w, act.id);
    case ActKind::ChooseMenu: return input::ChooseMenu(w, act.id);
    case ActKind::DropFiles: return input::DropFiles(w, act.paths);
    case ActKind::SetCheck: return input::SetCheck(w, act.id, act.flag);
    case ActKind::SelectItem: return input::SelectItem(w, act.id, act.index);
    case ActKind::Focus: return input::FocusControl(w, act.id);
    case ActKind::Minimize: return input::SetIconic(w, true);
    case ActKind::Restore: return input::SetIconic(w, false);
    case ActKind::Inspect:
    case ActKind::Call: return act.check(w);
    case ActKind::AnswerMessageBox:
    case ActKind::AnswerFileDialog: return Fault("no dialog was open to take: " + act.description);
    }
}

// ---- the scripted user

void ScriptedUser::TypeText(int id, const std::string& text) {
    Act act{ActKind::TypeText, "typing into " + std::to_string(id)};
    act.id = id;
    act.text = text;
    Queue(std::move(act));
}
void ScriptedUser::PressEnter() { Queue(ActKind::Enter, "Enter"); }
void ScriptedUser::PressEscape() { Queue(ActKind::Escape, "Escape"); }
void ScriptedUser::PressCloseBox() { Queue(ActKind::CloseBox, "the close box"); }
void ScriptedUser::PressHelpKey() { Queue(ActKind::HelpKey, "F1"); }
void ScriptedUser::Click(int id) { Queue(ActKind::Click, "a click on " + std::to_string(id), id); }
void ScriptedUser::ChooseMenu(int command) {
    Queue(ActKind::ChooseMenu, "menu command " + std::to_string(command), command);
}
void ScriptedUser::DropFiles(const std::vector<std::string>& paths) {
    Act act{ActKind::DropFiles, "a drop"};
    act.paths = paths;
    Queue(std::move(act));
}
void ScriptedUser::SetCheck(int id, bool checked) {
    Act act{ActKind::SetCheck, "checking " + std::to_string(id)};
    act.id = id;
    act.flag = checked;
    Queue(std::move(act));
}
void ScriptedUser::SelectItem(int id, int index) {
    Act act{ActKind::SelectItem, "selecting in " + std::to_string(id)};
    act.id = id;
    act.index = index;
    Queue(std::move(act));
}
void ScriptedUser::Focus(int id) { Queue(ActKind::Focus, "focusing " + std::to_string(id), id); }
void ScriptedUser::Minimize() { Queue(ActKind::Minimize, "minimizing"); }
void ScriptedUser::Restore() { Queue(ActKind::Restore, "restoring"); }
void ScriptedUser::AnswerMessageBox() { Queue(ActKind::AnswerMessageBox, "an answer to a message box"); }

void ScriptedUser::ChooseFiles(const std::vector<std::string>& paths, bool dialogChangesDirectory) {
    Act act{ActKind::AnswerFileDialog, "a choice of files"};
    act.paths = paths;
    act.flag = dialogChangesDirectory;
    act.confirm = true;
    Queue(std::move(act));
}

void ScriptedUser::CancelFileDialog() { Queue(ActKind::AnswerFileDialog, "a cancelled file dialog"); }

void ScriptedUser::Inspect(std::function<void(Window&)> check) {
    Act act{ActKind::Inspect, "an inspection"};
    act.check = std::move(check);
    Queue(std::move(act));
}

void ScriptedUser::Call(std::function<void()> action) {
    Act act{ActKind::Call, "a call"};
    act.check = [action = std::move(action)](Window&) { action(); };
    Queue(std::move(act));
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

void CountToolRunsWith(std::function<unsigned()> counter) { ToolRunCounter() = std::move(counter); }

ScriptedUser& User() {
    static ScriptedUser user;
    return user;
}

const Record& Shown() { return S().record; }

std::size_t PendingActions() { return S().script.size(); }

}  // namespace headless

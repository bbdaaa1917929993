// The scripted user's queue and record, shared by every driver.
#include "tests/ui/script.h"

#include <deque>

namespace script {

namespace {

struct State {
    std::deque<Step> script;
    Record record;
    int blocksQueued = 0;
    int blockRunning = 0;  // the WhileToolRuns block taken by the current tool run
    unsigned runOfBlock = 0;  // that tool run
    std::function<unsigned()> toolRuns;
    int waits = 0;  // how deep the program is in waiting for the tool
};

State& S() {
    static State state;
    return state;
}

void Queue(std::vector<Step>& steps, const std::source_location& where, int toolRun) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i].where = "line " + std::to_string(where.line()) + ", step " + std::to_string(i + 1);
        steps[i].toolRun = toolRun;
        S().script.push_back(std::move(steps[i]));
    }
}

bool BelongsToThisToolRun(const Step& step) {
    const unsigned run = S().toolRuns();
    if (step.toolRun != S().blockRunning) {
        if (run == S().runOfBlock) return false;
        S().blockRunning = step.toolRun;
        S().runOfBlock = run;
    }
    return run == S().runOfBlock;
}

bool IsDue(const Step& step, bool toolRunning) {
    return step.answers == Dialog::None && (step.toolRun != 0) == toolRunning &&
           (!toolRunning || BelongsToThisToolRun(step));
}

void Fault(const std::string& what) { S().record.errors.push_back(what); }

// Only the first window's captions: the main window's, or the one a test opens alone.
void RecordCaption(const Window& window) {
    const auto& open = platform::OpenWindows();
    if (!open.empty() && open.front() == &window) S().record.captions.push_back(window.caption);
}

platform::Backend g_inner;  // the operations behind the recording

// Puts recording in front of `backend`'s operations: what the program asks
// of it, and whether it waits for the tool.
void RecordCallsTo(platform::Backend& backend) {
    g_inner = backend;
    backend.ShowWindow = [](Window& window) {
        S().record.windowsShown.push_back(window.tmpl->id);
        RecordCaption(window);
        g_inner.ShowWindow(window);
    };
    backend.CaptionChanged = [](Window& window) {
        RecordCaption(window);
        g_inner.CaptionChanged(window);
    };
    backend.BringToForeground = [](Window& window) {
        ++S().record.foregroundRequests;
        g_inner.BringToForeground(window);
    };
    backend.PumpEvents = [](int milliseconds) {
        ++S().waits;
        g_inner.PumpEvents(milliseconds);
        --S().waits;
    };
    backend.MessageBox = [](const platform::MessageBoxRequest& request) {
        const std::string owner = request.owner != nullptr ? request.owner->caption : "";
        S().record.messageBoxes.push_back({owner, request.text, request.caption, request.type});
        return g_inner.MessageBox(request);
    };
    backend.FileDialog = [](const platform::FileDialogRequest& request) {
        S().record.fileDialogs.push_back({request.open, request.flags, request.filter});
        return g_inner.FileDialog(request);
    };
    backend.DrawIcon = [](Window& window, int x, int y, HICON icon) {
        S().record.iconsDrawn.push_back({x, y, icon});
        g_inner.DrawIcon(window, x, y, icon);
    };
}

}  // namespace

Act Inspect(std::function<void(Window&)> check) {
    return [check = std::move(check)](Window& w) {
        ExpectShownAsHeld(w);
        check(w);
    };
}

Act Call(std::function<void()> action) { return [action = std::move(action)](Window&) { action(); }; }

void Do(std::vector<Step> steps, std::source_location where) { Queue(steps, where, 0); }

void WhileToolRuns(std::vector<Step> steps, std::source_location where) { Queue(steps, where, ++S().blocksQueued); }

const Record& Shown() { return S().record; }

std::size_t PendingSteps() { return S().script.size(); }

void StartDriver(std::function<unsigned()> toolRuns) {
    S() = State{};
    S().toolRuns = std::move(toolRuns);
    platform::SelectBackend(DriverBackend());
    static const bool scripted = [] {
        ScriptTheBackend(platform::ActiveBackend());
        RecordCallsTo(platform::ActiveBackend());
        return true;
    }();
    (void)scripted;
}

bool DoDueAct(bool toolRunning, Window* window) {
    if (window == nullptr || S().script.empty() || !IsDue(S().script.front(), toolRunning)) return false;
    const Act act = std::move(S().script.front().act);
    Done();
    act(*window);
    return true;
}

const Step* AnswerTo(Dialog dialog, const std::string& shown) {
    if (!S().script.empty() && S().script.front().answers == dialog) return &S().script.front();
    Fault("nobody answered " + shown);
    return nullptr;
}

void Done() { S().script.pop_front(); }

void GiveUp(Window& window) {
    if (!S().script.empty()) {
        const Step& next = S().script.front();
        Fault((next.toolRun != 0 ? "the tool was not running for " : "nothing could take ") + next.where);
        return Done();
    }
    Fault("the script ended while \"" + window.caption + "\" was open");
    window.dialog->EndDialog(-1);
}

bool WaitingForTheTool() { return S().waits > 0; }

}  // namespace script

// The test driver of the real backends (Qt, Win32): the same scripts as the
// headless backend's, carried out on the real windows with the system's own
// input. A timer runs the script from whatever loop is running, so that the
// program's own loops, a message box's and the open-file dialog's all take
// their turn. What the program asks of the backend is recorded on the way
// through, as the headless driver records it.
#include <gtest/gtest.h>

#include "tests/support/workspace.h"
#include "tests/ui/real_input.h"
#include "tests/ui/script.h"

namespace real_input {

std::string FolderOf(const std::vector<std::string>& paths) {
    return test::PathText(test::FsPath(paths.front()).parent_path());
}

std::string TypedNames(const std::vector<std::string>& paths) {
    std::string names;
    for (const std::string& path : paths) {
        const std::string name = test::PathText(test::FsPath(path).filename());
        names += paths.size() == 1 ? name : "\"" + name + "\" ";
    }
    return names;
}

}  // namespace real_input

namespace script {

namespace {

using namespace real_input;

// Without a move from the script for this long (in ticks), something waits
// for a step that never comes.
constexpr int kPatienceTicks = 300;

int g_idleTicks = 0;
bool g_inTick = false;
bool g_actPending = false;

// Druvel's message boxes are plain: no icon, one OK button.
void AnswerMessageBox(Handle box) {
    const BoxShown shown = ShownMessageBox(box);
    if (AnswerTo(Dialog::MessageBox, "the message box \"" + shown.text + "\"")) {
        EXPECT_EQ(shown.text, Shown().messageBoxes.back().text);
        EXPECT_EQ(shown.title, Shown().messageBoxes.back().title);
        EXPECT_TRUE(shown.plain);
        Done();
    }
    PressButton(box, IDOK);
}

void AnswerFileDialog(Handle dialog) {
    const Step* answer = AnswerTo(Dialog::OpenFile, "the open-file dialog");
    if (answer != nullptr && !answer->files.empty()) {
        if (real_input::ChooseFiles(dialog, answer->files)) Done();
        return;
    }
    if (answer != nullptr) Done();
    PressButton(dialog, IDCANCEL);
}

// Whether an act is due is decided when it runs, not when a tick asked for
// it: a batch may have begun in between (a drop's starts from the event
// loop), and then an act for the idle program waits for the batch's end.
// With nothing to do for long, and no tool running, says what is stuck.
void PerformDueAct() {
    g_actPending = false;
    Window* w = platform::ActiveWindow();
    if (w == nullptr || w->view == nullptr) return;
    if (DoDueAct(WaitingForTheTool(), w)) {
        g_idleTicks = 0;
    } else if (!WaitingForTheTool() && ++g_idleTicks >= kPatienceTicks) {
        g_idleTicks = 0;
        GiveUp(*w);
    }
}

std::vector<Handle> OwnWindows() {
    std::vector<Handle> own;
    for (const Window* window : platform::OpenWindows()) own.push_back(window->view);
    return own;
}

void Tick() {
    if (g_inTick) return;
    g_inTick = true;
    Handle found = nullptr;
    const CommonDialog dialog = FindCommonDialog(OwnWindows(), found);
    if (dialog == CommonDialog::MessageBox) {
        AnswerMessageBox(found);
    } else if (dialog == CommonDialog::OpenFile) {
        AnswerFileDialog(found);
    } else if (!g_actPending) {
        g_actPending = true;
        Soon(PerformDueAct);
    }
    g_inTick = false;
}

Act Pressing(Key key) {
    return [key](Window& w) { PressKey(w.view, key); };
}

}  // namespace

Act Enter() { return Pressing(Key::Enter); }
Act Escape() { return Pressing(Key::Escape); }
Act HelpKey() { return Pressing(Key::F1); }
Act CloseBox() { return [](Window& w) { PressCloseBox(w.view); }; }
Act Click(int id) { return [id](Window& w) { real_input::Click(w.view, id); }; }
Act ChooseMenu(int command) { return [command](Window& w) { real_input::ChooseMenu(w.view, command); }; }
Act Focus(int id) { return [id](Window& w) { real_input::Focus(w.view, id); }; }
Act SelectItem(int id, int index) { return [id, index](Window& w) { real_input::SelectItem(w.view, id, index); }; }
Act TypeText(int id, const std::string& text) { return [id, text](Window& w) { real_input::TypeText(w.view, id, text); }; }
Act Drop(const std::vector<std::string>& paths) { return [paths](Window& w) { real_input::DropFiles(w.view, paths); }; }
Act Minimize(bool minimized) { return [minimized](Window& w) { real_input::Minimize(w.view, minimized); }; }

void ExpectShownAsHeld(const Window& w) {
    EXPECT_EQ(Caption(w.view), w.caption);
    for (const platform::Control& control : w.controls) {
        const ControlShown shown = ShownControl(w.view, control.id());
        if (control.id() == -1 || !shown.exists) continue;
        SCOPED_TRACE("control " + std::to_string(control.id()));
        EXPECT_EQ(shown.enabled, control.enabled);
        EXPECT_TRUE(w.iconic || shown.visible == control.visible);
        EXPECT_TRUE(control.tmpl->kind != ControlKind::CheckBox || shown.checked == control.checked);
        if (control.tmpl->kind == ControlKind::ComboBox) {
            EXPECT_EQ(shown.selection, control.selection);
            EXPECT_EQ(shown.items, control.items);
        } else {
            EXPECT_EQ(shown.text, control.text);
        }
    }
    if (w.focus >= 0 && !w.iconic) {
        EXPECT_EQ(FocusedControl(w.view), w.controls[static_cast<std::size_t>(w.focus)].id());
    }
}

const char* DriverBackend() { return BackendName(); }

void ScriptTheBackend(platform::Backend& backend) {
    static char name[] = "Druvel";
    static char* argv[] = {name, nullptr};
    backend.Init(1, argv);
    StartTimer(&Tick);
}

int WindowsLeftOpen() { return VisibleWindows(); }

}  // namespace script

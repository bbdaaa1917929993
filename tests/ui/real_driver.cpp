// The test driver of the real backends (Qt, Win32): the same scripts as the
// headless backend's, carried out on the real windows with the system's own
// input (tests/ui/real_input.h). A timer runs the script from whatever loop
// is running, so that the program's own loops, a message box's and the
// open-file dialog's all take their turn. What the program asks of the
// backend is recorded on the way through, as the headless driver records it.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/backend.h"
#include "tests/support/workspace.h"
#include "tests/ui/driver.h"
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

namespace test {

namespace {

using headless::Act;
using headless::ActKind;
using platform::Window;
namespace input = real_input;

// Without a move from the script for this long (in ticks), something waits
// for an act that never comes.
constexpr int kPatienceTicks = 300;

int g_idleTicks = 0;
bool g_inTick = false;
bool g_actPending = false;

// What the layer holds is what the window shows.
void ExpectShownAsHeld(const Window& w) {
    EXPECT_EQ(input::Caption(w.view), w.caption);
    for (const platform::Control& control : w.controls) {
        const input::ControlShown shown = input::ShownControl(w.view, control.id());
        if (control.id() == -1 || !shown.exists) continue;
        SCOPED_TRACE("control " + std::to_string(control.id()));
        EXPECT_EQ(shown.enabled, control.enabled);
        EXPECT_TRUE(w.iconic || shown.visible == control.visible);
        switch (control.tmpl->kind) {
        case ControlKind::ComboBox:
            EXPECT_EQ(shown.selection, control.selection);
            EXPECT_EQ(shown.items, control.items);
            break;
        case ControlKind::CheckBox:
            EXPECT_EQ(shown.checked, control.checked);
            [[fallthrough]];
        default:
            EXPECT_EQ(shown.text, control.text);
        }
    }
    if (w.focus >= 0 && !w.iconic) {
        EXPECT_EQ(input::FocusedControl(w.view), w.controls[static_cast<std::size_t>(w.focus)].id());
    }
}

void Perform(Window& w, const Act& act) {
    switch (act.kind) {
    case ActKind::TypeText: return input::TypeText(w.view, act.id, act.text);
    case ActKind::Enter: return input::PressKey(w.view, input::Key::Enter);
    case ActKind::Escape: return input::PressKey(w.view, input::Key::Escape);
    case ActKind::HelpKey: return input::PressKey(w.view, input::Key::F1);
    case ActKind::CloseBox: return input::PressCloseBox(w.view);
    case ActKind::Click: return input::Click(w.view, act.id);
    case ActKind::ChooseMenu: return input::ChooseMenu(w.view, act.id);
    case ActKind::DropFiles: return input::DropFiles(w.view, act.paths);
    case ActKind::SetCheck: return input::SetCheck(w.view, act.id, act.flag);
    case ActKind::SelectItem: return input::SelectItem(w.view, act.id, act.index);
    case ActKind::Focus: return input::Focus(w.view, act.id);
    case ActKind::Minimize: return input::Minimize(w.view, true);
    case ActKind::Restore: return input::Minimize(w.view, false);
    case ActKind::Inspect:
        ExpectShownAsHeld(w);
        return act.check(w);
    case ActKind::Call: return act.check(w);
    case ActKind::AnswerMessageBox:
    case ActKind::AnswerFileDialog: return;
    }
}

// Druvel's message boxes are plain: no icon, one OK button.
void AnswerMessageBox(input::Handle box) {
    Act answer;
    const std::string text = input::MessageBoxText(box);
    if (headless::TakeAnswer(ActKind::AnswerMessageBox, answer, "the message box \"" + text + "\"")) {
        headless::ExpectLastMessageBox(text, input::MessageBoxCaption(box));
        EXPECT_FALSE(input::MessageBoxHasIcon(box));
        EXPECT_EQ(input::MessageBoxButtons(box), 1);
    }
    input::PressButton(box, IDOK);
}

void AnswerFileDialog(input::Handle dialog) {
    const Act* next = headless::NextAct();
    if (next == nullptr || next->kind != ActKind::AnswerFileDialog || !next->confirm || next->paths.empty()) {
        Act answer;
        headless::TakeAnswer(ActKind::AnswerFileDialog, answer, "the open-file dialog");
        return input::PressButton(dialog, IDCANCEL);
    }
    if (input::ChooseFiles(dialog, next->paths)) headless::DropNextAct();
}

// Nothing the script can do now: wait a while (a dialog may be on its way),
// then say what is stuck.
void WaitOrGiveUp(Window& w) {
    if (++g_idleTicks < kPatienceTicks) return;
    g_idleTicks = 0;
    headless::GiveUp(w);
}

void PerformOnTheActiveWindow(const Act& act) {
    g_actPending = false;
    Window* w = platform::ActiveWindow();
    if (w != nullptr && w->view != nullptr) Perform(*w, act);
}

std::vector<input::Handle> OwnWindows() {
    std::vector<input::Handle> own;
    for (const Window* window : platform::OpenWindows()) own.push_back(window->view);
    return own;
}

void Tick() {
    if (g_inTick) return;
    g_inTick = true;
    input::Handle found = nullptr;
    switch (input::FindCommonDialog(OwnWindows(), found)) {
    case input::CommonDialog::MessageBox:
        AnswerMessageBox(found);
        break;
    case input::CommonDialog::OpenFile:
        AnswerFileDialog(found);
        break;
    case input::CommonDialog::None:
        if (Window* w = platform::ActiveWindow(); w != nullptr && w->view != nullptr && !g_actPending) {
            Act act;
            if (headless::TakeDueAct(headless::WaitingForTheTool(), act)) {
                g_idleTicks = 0;
                g_actPending = true;
                input::Soon([act] { PerformOnTheActiveWindow(act); });
            } else if (!headless::WaitingForTheTool()) {
                WaitOrGiveUp(*w);
            }
        }
        break;
    }
    g_inTick = false;
}

void WrapBackend() {
    platform::Backend& backend = platform::ActiveBackend();
    static char name[] = "Druvel";
    static char* argv[] = {name, nullptr};
    backend.Init(1, argv);
    headless::RecordCallsTo(backend);
    input::StartTimer(&Tick);
}

}  // namespace

void StartDriver() {
    headless::Reset();
    platform::SelectBackend(input::BackendName());
    static const bool wrapped = (WrapBackend(), true);
    (void)wrapped;
    g_idleTicks = 0;
}

int WindowsLeftOpen() { return input::VisibleWindows(); }

}  // namespace test

// The test driver of the Win32 backend: the same scripts as the headless
// backend's, carried out on the real windows with the system's own input
// (keys through the dialog manager, clicks, real drop handles, the real
// message box and open-file dialog). A timer runs the script from whatever
// message loop is running, so that the program's own loops, a message
// box's and the open-file dialog's all take their turn; the timer's message
// comes only when no other input waits, so each act lands after the last
// one was handled. What the program asks of the backend is recorded on the
// way through, as the headless backend records it.
#include <gtest/gtest.h>

#include "platform/backend.h"
#include "tests/ui/script.h"
#include "tests/ui/driver.h"
#include "tests/win32/win32_input.h"

namespace test {

namespace {

using headless::Act;
using headless::ActKind;
using platform::Window;
namespace input = win32_input;

// Without a move from the script for this long, something waits for an act
// that never comes.
constexpr int kPatienceTicks = 300;

int g_idleTicks = 0;
bool g_inTick = false;
bool g_fileNameFolderEntered = false;

// A new open-file dialog starts with its folder not yet entered.
platform::FileDialogResult (*g_recordedFileDialog)(const platform::FileDialogRequest&) = nullptr;

platform::FileDialogResult OpenFileDialog(const platform::FileDialogRequest& request) {
    g_fileNameFolderEntered = false;
    return g_recordedFileDialog(request);
}

// ---- the acts, on the real windows

// What the layer holds is what the window shows.
void ExpectShownAsHeld(const Window& w) {
    EXPECT_EQ(input::Caption(w.view), w.caption);
    for (const platform::Control& control : w.controls) {
        const int id = control.id();
        if (id == -1) continue;
        SCOPED_TRACE("control " + std::to_string(id));
        EXPECT_EQ(input::ControlEnabled(w.view, id), control.enabled);
        EXPECT_EQ(input::ControlVisible(w.view, id), control.visible);
        switch (control.tmpl->kind) {
        case ControlKind::ComboBox:
            EXPECT_EQ(input::ComboSelection(w.view, id), control.selection);
            EXPECT_EQ(input::ComboItems(w.view, id), control.items);
            break;
        case ControlKind::CheckBox:
            EXPECT_EQ(input::ControlChecked(w.view, id), control.checked);
            EXPECT_EQ(input::ControlText(w.view, id), control.text);
            break;
        default:
            EXPECT_EQ(input::ControlText(w.view, id), control.text);
        }
    }
    if (w.focus >= 0 && !w.iconic) {
        EXPECT_EQ(input::FocusedControl(w.view), w.controls[static_cast<std::size_t>(w.focus)].id());
    }
}

void Perform(Window& w, const Act& act) {
    void* const dialog = w.view;
    switch (act.kind) {
    case ActKind::TypeText: return input::TypeText(dialog, act.id, act.text);
    case ActKind::Enter: return input::PressKey(dialog, input::Key::Enter);
    case ActKind::Escape: return input::PressKey(dialog, input::Key::Escape);
    case ActKind::HelpKey: return input::PressKey(dialog, input::Key::F1);
    case ActKind::CloseBox: return input::PressCloseBox(dialog);
    case ActKind::Click: return input::Click(dialog, act.id);
    case ActKind::ChooseMenu: return input::ChooseMenu(dialog, act.id);
    case ActKind::DropFiles: return input::DropFiles(dialog, act.paths);
    case ActKind::SetCheck: return input::SetCheck(dialog, act.id, act.flag);
    case ActKind::SelectItem: return input::SelectItem(dialog, act.id, act.index);
    case ActKind::Focus: return input::Focus(dialog, act.id);
    case ActKind::Minimize: return input::Minimize(dialog, true);
    case ActKind::Restore: return input::Minimize(dialog, false);
    case ActKind::Inspect:
        ExpectShownAsHeld(w);
        return act.check(w);
    case ActKind::Call: return act.check(w);
    case ActKind::AnswerMessageBox:
    case ActKind::AnswerFileDialog: return;
    }
}

void AnswerMessageBox(void* box) {
    headless::Act answer;
    const std::string text = input::MessageBoxText(box);
    if (headless::TakeAnswer(ActKind::AnswerMessageBox, answer, "the message box \"" + text + "\"")) {
        headless::ExpectLastMessageBox(text, input::MessageBoxCaption(box));
        EXPECT_FALSE(input::MessageBoxHasIcon(box));
    }
    input::PressButton(box, IDOK);
}

// The choice takes two steps, as a person makes it: into the files' folder
// first, then their names, quoted when there are several.
void AnswerFileDialog(void* dialog) {
    const Act* next = headless::NextAct();
    if (next == nullptr || next->kind != ActKind::AnswerFileDialog || !next->confirm || next->paths.empty()) {
        headless::Act answer;
        headless::TakeAnswer(ActKind::AnswerFileDialog, answer, "the open-file dialog");
        return input::PressButton(dialog, IDCANCEL);
    }
    const std::vector<std::string>& paths = next->paths;
    if (!g_fileNameFolderEntered) {
        g_fileNameFolderEntered = true;
        return input::EnterFileName(dialog, paths[0].substr(0, paths[0].find_last_of("\\/") + 1));
    }
    std::string names;
    for (const std::string& path : paths) {
        const std::string name = path.substr(path.find_last_of("\\/") + 1);
        names += paths.size() == 1 ? name : "\"" + name + "\" ";
    }
    headless::DropNextAct();
    input::EnterFileName(dialog, names);
}

std::vector<void*> OwnDialogs() {
    std::vector<void*> own;
    for (const Window* window : platform::OpenWindows()) own.push_back(window->view);
    return own;
}

// Nothing the script can do now: wait a while (a dialog may be on its way),
// then say what is stuck.
void WaitOrGiveUp(Window& w) {
    if (++g_idleTicks < kPatienceTicks) return;
    g_idleTicks = 0;
    headless::GiveUp(w);
}

void Tick() {
    if (g_inTick) return;
    g_inTick = true;
    void* found = nullptr;
    switch (input::FindCommonDialog(OwnDialogs(), found)) {
    case input::CommonDialog::MessageBox:
        AnswerMessageBox(found);
        break;
    case input::CommonDialog::OpenFile:
        AnswerFileDialog(found);
        break;
    case input::CommonDialog::None:
        if (Window* w = platform::ActiveWindow(); w != nullptr && w->view != nullptr) {
            Act act;
            if (headless::TakeDueAct(headless::WaitingForTheTool(), act)) {
                g_idleTicks = 0;
                Perform(*w, act);
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
    backend.Init(0, nullptr);
    headless::RecordCallsTo(backend);
    g_recordedFileDialog = backend.FileDialog;
    backend.FileDialog = OpenFileDialog;
    input::StartTimer(&Tick);
}

}  // namespace

void StartDriver() {
    headless::Reset();
    platform::SelectBackend("win32");
    static const bool wrapped = (WrapBackend(), true);
    (void)wrapped;
    g_idleTicks = 0;
}

int WindowsLeftOpen() { return input::VisibleWindows(); }

}  // namespace test

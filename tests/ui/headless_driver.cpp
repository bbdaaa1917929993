// The headless driver: the scripted user takes the place of the user the
// headless backend does not have. Its acts are applied to the window layer
// directly, and it answers the dialogs; windows exist only in the layer,
// whose own check covers them.
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/backend.h"
#include "tests/ui/driver.h"
#include "tests/ui/script.h"

namespace test {

namespace {

using headless::Act;
using headless::ActKind;
using platform::Window;

void Perform(const Act& act) {
    Window* window = platform::ActiveWindow();
    if (window == nullptr) return headless::Fault("no window for: " + act.description);
    headless::PerformOnLayer(*window, act);
}

void RunModalLoop(Window& window) {
    while (!window.ended) {
        Act act;
        if (headless::TakeDueAct(false, act)) {
            Perform(act);
        } else {
            headless::GiveUp(window);
        }
    }
}

void PumpEvents(int /*milliseconds*/) {
    Act act;
    if (headless::TakeDueAct(true, act)) return Perform(act);
    // Tool runs in tests are short: look again within a millisecond.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int MessageBox(const platform::MessageBoxRequest& request) {
    Act answer;
    headless::TakeAnswer(ActKind::AnswerMessageBox, answer, "the message box \"" + request.text + "\"");
    return IDOK;
}

platform::FileDialogResult FileDialog(const platform::FileDialogRequest&) {
    Act answer;
    if (!headless::TakeAnswer(ActKind::AnswerFileDialog, answer, "the open-file dialog") || !answer.confirm) return {};
    // Stands in for a platform dialog that moves the current directory to the
    // folder of the chosen files.
    if (answer.flag && !answer.paths.empty()) {
        std::error_code ignored;
        std::filesystem::current_path(std::filesystem::path(answer.paths[0]).parent_path(), ignored);
    }
    return {true, answer.paths};
}

void ScriptTheBackend() {
    platform::Backend& backend = platform::ActiveBackend();
    backend.RunModalLoop = RunModalLoop;
    backend.PumpEvents = PumpEvents;
    backend.MessageBox = MessageBox;
    backend.FileDialog = FileDialog;
    headless::RecordCallsTo(backend);
}

}  // namespace

void StartDriver() {
    headless::Reset();
    static const bool scripted = (ScriptTheBackend(), true);
    (void)scripted;
}

int WindowsLeftOpen() { return 0; }

}  // namespace test

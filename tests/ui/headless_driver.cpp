// The headless driver: the scripted user takes the place of the user the
// headless backend does not have. Its acts are applied to the window layer
// directly, and it answers the dialogs; windows exist only in the layer,
// whose own check covers them.
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/ui/script.h"

namespace script {

namespace {

namespace input = platform::input;

void RunModalLoop(Window& window) {
    while (!window.ended) {
        if (!DoDueAct(false, &window)) GiveUp(window);
    }
}

void PumpEvents(int /*milliseconds*/) {
    // Tool runs in tests are short: look again within a millisecond.
    if (!DoDueAct(true, platform::ActiveWindow())) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int MessageBox(const platform::MessageBoxRequest& request) {
    if (AnswerTo(Dialog::MessageBox, "the message box \"" + request.text + "\"")) Done();
    return IDOK;
}

// Stands in for a platform dialog that moves the current directory to the
// folder of the chosen files.
platform::FileDialogResult FileDialog(const platform::FileDialogRequest&) {
    const Step* answer = AnswerTo(Dialog::OpenFile, "the open-file dialog");
    if (answer == nullptr) return {};
    const std::vector<std::string> files = answer->files;
    Done();
    if (files.empty()) return {};
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::path(files[0]).parent_path(), ignored);
    return {true, files};
}

}  // namespace

Act Enter() { return input::Enter; }
Act Escape() { return input::Escape; }
Act HelpKey() { return input::HelpKey; }
Act CloseBox() { return input::CloseBox; }
Act Click(int id) { return [id](Window& w) { input::ClickButton(w, id); }; }
Act ChooseMenu(int command) { return [command](Window& w) { input::ChooseMenu(w, command); }; }
Act Focus(int id) { return [id](Window& w) { input::FocusControl(w, id); }; }
Act SelectItem(int id, int index) { return [id, index](Window& w) { input::SelectItem(w, id, index); }; }
Act TypeText(int id, const std::string& text) { return [id, text](Window& w) { input::TypeText(w, id, text); }; }
Act Drop(const std::vector<std::string>& paths) { return [paths](Window& w) { input::DropFiles(w, paths); }; }
Act Minimize(bool minimized) { return [minimized](Window& w) { input::SetIconic(w, minimized); }; }

const char* DriverBackend() { return "headless"; }

void ScriptTheBackend(platform::Backend& backend) {
    backend.RunModalLoop = RunModalLoop;
    backend.PumpEvents = PumpEvents;
    backend.MessageBox = MessageBox;
    backend.FileDialog = FileDialog;
}

int WindowsLeftOpen() { return 0; }

void ExpectShownAsHeld(const Window&) {}

}  // namespace script

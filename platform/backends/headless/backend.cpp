#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/backends/headless/script.h"
#include "platform/system/process.h"

namespace headless {

namespace {

using platform::Window;

void Perform(const Act& act) {
    Window* window = platform::ActiveWindow();
    if (window == nullptr) return Fault("no window for: " + act.description);
    PerformOnLayer(*window, act);
}

// ---- the backend's operations

bool Init(int, char**) { return true; }

void ShowWindow(Window& window) { RecordWindowShown(window); }

void DestroyWindow(Window&) {}

void CaptionChanged(Window& window) { RecordCaptionChanged(window); }

void ControlChanged(Window&, platform::Control&) {}
void FocusChanged(Window&) {}
void IconChanged(Window&) {}

void BringToForeground(Window&) { RecordForegroundRequest(); }

void RunModalLoop(Window& window) {
    while (!window.ended) {
        Act act;
        if (TakeDueAct(false, act)) {
            Perform(act);
        } else {
            GiveUp(window);
        }
    }
}

void EndModalLoop(Window&) {}

void PumpEvents(int /*milliseconds*/) {
    Act act;
    if (TakeDueAct(true, act)) return Perform(act);
    // Tool runs in tests are short: look again within a millisecond.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int MessageBox(const platform::MessageBoxRequest& request) {
    RecordMessageBox(request);
    Act answer;
    TakeAnswer(ActKind::AnswerMessageBox, answer, "the message box \"" + request.text + "\"");
    return IDOK;
}

platform::FileDialogResult FileDialog(const platform::FileDialogRequest& request) {
    RecordFileDialog(request);
    Act answer;
    if (!TakeAnswer(ActKind::AnswerFileDialog, answer, "the open-file dialog") || !answer.confirm) return {};
    // Stands in for a platform dialog that moves the current directory to the
    // folder of the chosen files.
    if (answer.flag && !answer.paths.empty()) {
        std::error_code ignored;
        std::filesystem::current_path(std::filesystem::path(answer.paths[0]).parent_path(), ignored);
    }
    return {true, answer.paths};
}

void DrawIcon(Window&, int x, int y, HICON icon) { RecordIconDrawn(x, y, icon); }

void EraseIconBackground(Window&) {}

// Iconic windows are as small as the ones a task bar shows; others get
// 8 by 16 pixels a dialog unit of their template.
RECT ClientRect(const Window& window) {
    if (window.iconic) return {0, 0, 0, 0};
    return {0, 0, window.tmpl->cx * 2, window.tmpl->cy * 2};
}

int IconSize() { return 32; }

}  // namespace

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

// The headless backend: windows exist only in the window layer, nothing is
// shown, and no user is there, so every dialog is closed the moment it is
// opened, a message box is acknowledged and a file dialog cancelled. Like a
// dummy video driver, it lets the program run where no display is; test
// drivers put a scripted user in the place of the one who is not there.
#include <chrono>
#include <thread>

#include "platform/backend.h"

namespace headless {

namespace {

using platform::Window;

bool Init(int, char**) { return true; }

void Ignore(Window&) {}

void ControlChanged(Window&, platform::Control&) {}

// With nobody to answer it, a dialog is closed as Escape would close it.
void RunModalLoop(Window& window) {
    if (!window.ended) platform::input::Escape(window);
    if (!window.ended) window.dialog->EndDialog(-1);
}

void PumpEvents(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

int MessageBox(const platform::MessageBoxRequest&) { return IDOK; }

platform::FileDialogResult FileDialog(const platform::FileDialogRequest&) { return {}; }

void DrawIcon(Window&, int, int, HICON) {}

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
    "headless",       headless::Init,         headless::Ignore,        headless::Ignore,
    headless::Ignore,  headless::ControlChanged, headless::Ignore,      headless::Ignore,
    headless::Ignore,  headless::RunModalLoop, headless::Ignore,        headless::PumpEvents,
    headless::MessageBox, headless::FileDialog, headless::DrawIcon,   headless::Ignore,
    headless::ClientRect, headless::IconSize,
};

}  // namespace platform

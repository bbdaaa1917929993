#pragma once

// The interface between the window layer and a backend that puts its
// windows somewhere: a table of operations, one per backend, chosen by name.
// The layer holds every window's state (platform/window.h); a backend shows
// it, and reports user input through platform::input.

#include <string>
#include <vector>

#include "platform/window.h"

namespace platform {

struct MessageBoxRequest {
    Window* owner;
    std::string text;
    std::string caption;
    UINT type;
};

struct FileDialogRequest {
    Window* owner;
    bool open;
    UINT flags;
    std::string filter;  // "Text|pattern|...|" pairs
    std::string defaultExt;
};

struct FileDialogResult {
    bool confirmed = false;
    std::vector<std::string> paths;  // full paths, in the dialog's order
};

struct Backend {
    const char* name;

    // Prepares the backend for the program's windows; false (after saying
    // why on standard error) when it cannot run here.
    bool (*Init)(int argc, char** argv);

    // A window was created from its template and its initial state; show it.
    void (*ShowWindow)(Window& window);
    void (*DestroyWindow)(Window& window);
    // Something visible about the window or one of its controls changed.
    void (*CaptionChanged)(Window& window);
    void (*ControlChanged)(Window& window, Control& control);
    void (*FocusChanged)(Window& window);
    void (*IconChanged)(Window& window);
    void (*BringToForeground)(Window& window);
    // Runs until window.ended.
    void (*RunModalLoop)(Window& window);
    void (*EndModalLoop)(Window& window);
    // Handles the input that is waiting, for at most `milliseconds`, while
    // the program waits for a child process.
    void (*PumpEvents)(int milliseconds);
    int (*MessageBox)(const MessageBoxRequest& request);
    FileDialogResult (*FileDialog)(const FileDialogRequest& request);
    void (*DrawIcon)(Window& window, int x, int y, HICON icon);
    void (*EraseIconBackground)(Window& window);
    // Client size in pixels.
    RECT (*ClientRect)(const Window& window);
    int (*IconSize)();
};

// Chooses the backend by name; false when there is none of that name.
bool SelectBackend(const std::string& name);
Backend& ActiveBackend();

}  // namespace platform

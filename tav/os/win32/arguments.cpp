#include <windows.h>
#include <sodium.h>

#include <cstring>
#include <cwchar>

#include "tav/base/failure.h"
#include "tav/os/arguments.h"
#include "tav/os/win32/unicode.h"

namespace tav {

namespace {

// The arguments as read, kept for the whole run.
std::vector<std::string> g_fields;
std::vector<char*> g_arguments;

// Overwrites the command line from its `wideOffset`th character on in the
// copy the system keeps for the process, which other programs of the user
// can read; the ANSI copy and the run time's split of it, which TAV does
// not read, go whole.
void WipeCommandLine(std::size_t wideOffset, int argc, char** argv) {
    wchar_t* wide = GetCommandLineW();
    sodium_memzero(wide + wideOffset, (std::wcslen(wide) - wideOffset) * sizeof(wchar_t));
    char* narrow = GetCommandLineA();
    sodium_memzero(narrow, std::strlen(narrow));
    for (int i = 1; i < argc; ++i) sodium_memzero(argv[i], std::strlen(argv[i]));
}

// Wipes the key, which starts `keyOffset` bytes into the command line's
// UTF-8 form `line`.
void WipeKey(const std::string& line, std::size_t keyOffset, int argc, char** argv) {
    if (keyOffset >= line.size()) return;
    std::wstring beforeKey;
    WideFromUtf8(std::string_view(line).substr(0, keyOffset), beforeKey);
    WipeCommandLine(beforeKey.size(), argc, argv);
}

}  // namespace

char** ProgramArguments(int& argc, char** argv) {
    std::string line;
    if (!Utf8FromWide(GetCommandLineW(), line)) {
        WipeCommandLine(0, argc, argv);
        throw Failure(Exit::Usage,
                      "the command line holds a character that is not valid Unicode (an unpaired surrogate); "
                      "nothing was done");
    }
    std::size_t keyOffset = line.size();
    g_fields.reserve(6);  // no reallocation leaves a copy of the key behind
    if (SplitQuotedCommandLine(line, g_fields, keyOffset)) {
        g_fields.insert(g_fields.begin(), argv[0]);
    } else {
        std::vector<std::size_t> starts;
        g_fields = SplitLikeRunTime(line, starts);
        if (g_fields.size() > 4) keyOffset = starts[4];
    }
    WipeKey(line, keyOffset, argc, argv);
    sodium_memzero(line.data(), line.size());
    g_arguments.clear();
    for (std::string& field : g_fields) g_arguments.push_back(field.data());
    g_arguments.push_back(nullptr);
    argc = static_cast<int>(g_fields.size());
    return g_arguments.data();
}

}  // namespace tav

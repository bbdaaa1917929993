#include <windows.h>
#include <sodium.h>

#include <cstring>
#include <cwchar>

#include "tav/os/arguments.h"

namespace tav {

namespace {

// The fields of a command line of Druvel's shape, kept for the whole run.
std::vector<std::string> g_fields;
std::vector<char*> g_arguments;

// Overwrites the command line from the key on, in the copies the system
// keeps for the process (which other programs can read) and in the run
// time's split of it.
void WipeKeyFromCommandLines(std::size_t keyOffset, int argc, char** argv) {
    char* narrow = GetCommandLineA();
    std::size_t quotesBeforeKey = 0;
    for (std::size_t i = 0; i < keyOffset; ++i) quotesBeforeKey += narrow[i] == '"' ? 1 : 0;
    sodium_memzero(narrow + keyOffset, std::strlen(narrow + keyOffset));
    // The wide copy is the same line in other units; its key starts after
    // as many quotes, since no code page turns anything else into one.
    wchar_t* wide = GetCommandLineW();
    for (std::size_t quotes = 0; *wide != 0 && quotes < quotesBeforeKey; ++wide) quotes += *wide == L'"' ? 1 : 0;
    sodium_memzero(wide, std::wcslen(wide) * sizeof(wchar_t));
    for (int i = 1; i < argc; ++i) sodium_memzero(argv[i], std::strlen(argv[i]));
}

}  // namespace

char** ProgramArguments(int& argc, char** argv) {
    std::size_t keyOffset;
    if (!SplitQuotedCommandLine(GetCommandLineA(), g_fields, keyOffset)) return argv;
    g_fields.insert(g_fields.begin(), argv[0]);
    for (std::string& field : g_fields) g_arguments.push_back(field.data());
    g_arguments.push_back(nullptr);
    WipeKeyFromCommandLines(keyOffset, argc, argv);
    argc = static_cast<int>(g_fields.size());
    return g_arguments.data();
}

}  // namespace tav

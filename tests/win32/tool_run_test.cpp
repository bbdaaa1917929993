// How Druvel.exe starts the tool: one command line, "TAV" and the command
// text joined by a blank, as the C run time's _spawnl makes it, handed to
// the system in UTF-16 so that every character arrives.
#include <gtest/gtest.h>

#include "core/file_jobs.h"
#include "core/options.h"
#include "tests/support/workspace.h"

namespace {

// What the tool's process holds is the line Druvel made, unit for unit:
// quotes and backslashes in the key, names and keys beyond any ANSI code
// page, and a name holding half of a surrogate pair (which NTFS allows),
// which TAV refuses rather than read another name.
TEST(ToolRun, TheToolGetsDruvelsCommandLineExactly) {
    const struct { const char* name; std::string key; bool readable; } cases[] = {
        {"My Report.txt", R"(ke"y \" C:\a\)", true},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80.txt", "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C \xF0\x9F\x94\x91", true},
        {"half \xED\xA0\xBD.txt", "k", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder folder;
        test::FakeTool tool(folder.path());
        const std::string file = test::PathText(folder.path()) + "\\" + c.name;
        g_options = Options{3, 1, 0, 1, 0};
        ProcessFile(file, c.key);

        const std::string target = file.substr(0, file.size() - 4) + "_txt.TAV";
        const std::string expected = "TAV e3+ \"" + file + "\" \"" + target + "\" \"" + c.key + "\"\n";
        EXPECT_EQ(test::ReadFile(folder.file("tool-runs.log.line")), expected);
        if (!c.readable) {
            EXPECT_TRUE(tool.Runs().empty());
            continue;
        }
        ASSERT_EQ(tool.Runs().size(), 1u);
        EXPECT_EQ(tool.Runs()[0], (std::vector<std::string>{"e3+", file, target, c.key}));
        const std::string after = test::ReadFile(folder.file("tool-runs.log.line-after"));
        EXPECT_EQ(after.find(c.key), std::string::npos) << "the key stays in the process's command line: " << after;
        EXPECT_EQ(after.rfind("TAV e3+ \"" + file + "\"", 0), 0u) << after;
    }
}

// The system's limit is 32767 UTF-16 units for the whole line: not bytes,
// not characters.
TEST(ToolRun, TheCommandLineLimitCountsUtf16Units) {
    g_options = Options{2, 0, 0, 1, 0};
    std::string cyrillic, emoji;
    for (int i = 0; i < 20000; ++i) cyrillic += "\xD1\x8F";
    for (int i = 0; i < 17000; ++i) emoji += "\xF0\x9F\x94\x91";
    EXPECT_EQ(BatchProblem({"a.txt"}, cyrillic), "") << "40000 bytes, 20000 units";
    EXPECT_NE(BatchProblem({"a.txt"}, emoji), "") << "17000 characters, 34000 units";
}

}  // namespace

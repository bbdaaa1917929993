// How Druvel.exe starts the tool: one command line, "TAV" and the command
// text joined by a blank, as the C run time's _spawnl makes it.
#include <gtest/gtest.h>

#include "core/file_jobs.h"
#include "core/options.h"
#include "tests/support/workspace.h"

namespace {

TEST(ToolRun, TheToolGetsDruvelsCommandLineExactly) {
    test::TempFolder folder;
    test::FakeTool tool(folder.path());
    const std::string file = folder.file("My Report.txt");
    test::WriteFile(file, "x");
    g_options = Options{3, 1, 0, 1, 0};
    const std::string key = R"(ke"y \" C:\a\)";
    ProcessFile(file, key);

    const std::string expected = "TAV e3+ \"" + file + "\" \"" + folder.file("My Report_txt.TAV") + "\" \"" + key + "\"\n";
    EXPECT_EQ(test::ReadFile(folder.file("tool-runs.log.line")), expected);
    ASSERT_EQ(tool.Runs().size(), 1u);
    EXPECT_EQ(tool.Runs()[0].back(), key) << "read as TAV reads it, the key is whole";
    const std::string after = test::ReadFile(folder.file("tool-runs.log.line-after"));
    EXPECT_EQ(after.find("ke\"y"), std::string::npos) << "the key stays in the process's command line: " << after;
    EXPECT_EQ(after.rfind("TAV e3+ \"" + file + "\"", 0), 0u) << after;
}

}  // namespace

#pragma once

#include <gtest/gtest.h>

#include "core/options.h"
#include "platform/window.h"
#include "res/resource.h"
#include "tests/support/workspace.h"
#include "tests/ui/script.h"
#include "ui/druvel_app.h"

namespace test {

// Each UI test runs in a fresh folder holding the stand-in tool, with the
// backend under test and an empty script. Teardown fails when a window was
// left open, the script was not used up, or a dialog went unanswered.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        script::StartDriver([this] { return static_cast<unsigned>(tool_.Runs().size()); });
        SetApplicationName("/opt/druvel/Druvel");
        g_options = kStartOptions;
    }

    void TearDown() override {
        EXPECT_TRUE(platform::OpenWindows().empty()) << "a window was left open";
        EXPECT_EQ(script::WindowsLeftOpen(), 0) << "a window is still on the screen";
        EXPECT_EQ(script::PendingSteps(), 0u) << "steps of the script were not used";
        for (const std::string& error : script::Shown().errors) ADD_FAILURE() << error;
    }

    // Runs the program until it ends, as it runs from the command line.
    static void Run() { EXPECT_EQ(theApp.InitInstance(), FALSE); }
    static const script::Record& shown() { return script::Shown(); }
    static platform::Control& ControlOf(platform::Window& window, int id) { return *window.FindControl(id); }

    // The source of each run of the tool, in order.
    std::vector<std::string> Sources() const {
        std::vector<std::string> sources;
        for (const std::vector<std::string>& run : tool_.Runs()) sources.push_back(run[1]);
        return sources;
    }

    // A file named `name` in the test's folder.
    std::string Plain(const std::string& name) {
        test::WriteFile(folder_.file(name), "contents");
        return folder_.file(name);
    }

    TempFolder folder_;
    FakeTool tool_{folder_.path()};
};

}  // namespace test

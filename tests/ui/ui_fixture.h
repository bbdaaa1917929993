#pragma once

#include <gtest/gtest.h>

#include "core/options.h"
#include "tests/ui/scripted_user.h"
#include "platform/window.h"
#include "res/resource.h"
#include "tests/support/workspace.h"
#include "tests/ui/driver.h"

namespace test {

// Each UI test runs in a fresh folder holding the stand-in tool, with the
// backend under test and an empty script. Teardown fails when a window was
// left open, the script was not used up, or a dialog went unanswered.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartDriver();
        headless::CountToolRunsWith([this] { return static_cast<unsigned>(tool_.Runs().size()); });
        SetApplicationName("/opt/druvel/Druvel");
        g_options = kStartOptions;
    }

    void TearDown() override {
        EXPECT_TRUE(platform::OpenWindows().empty()) << "a window was left open";
        EXPECT_EQ(WindowsLeftOpen(), 0) << "a window is still on the screen";
        EXPECT_EQ(headless::PendingActions(), 0u) << "actions of the script were not used";
        for (const std::string& error : headless::Shown().errors) ADD_FAILURE() << error;
    }

    headless::ScriptedUser& user = headless::User();
    const headless::Record& shown() const { return headless::Shown(); }

    // Checks the active window at this point of the script.
    void ExpectActive(int templateId) {
        user.Inspect([templateId](platform::Window& w) { EXPECT_EQ(w.tmpl->id, templateId); });
    }

    static platform::Control& ControlOf(platform::Window& window, int id) { return *window.FindControl(id); }

    TempFolder folder_;
    FakeTool tool_{folder_.path()};
};

}  // namespace test

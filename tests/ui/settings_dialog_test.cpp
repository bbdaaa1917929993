#include "ui/settings_dialog.h"

#include <gtest/gtest.h>

#include "tests/ui/ui_fixture.h"

namespace {

using platform::Window;

class SettingsWindow : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        test::WriteFile(settingsFile_, kFile);
        LoadOptions();
    }

    // Opens the settings window and expects it closed with `result`.
    void Run(INT_PTR result) {
        CSettingsDialog dlg;
        EXPECT_EQ(dlg.DoModal(), result);
    }

    void ExpectUnchanged() {
        EXPECT_EQ(test::ReadFile(settingsFile_), kFile);
        EXPECT_EQ(g_options.Rounds, 3);
        EXPECT_EQ(g_options.Paranoia, 1);
        EXPECT_EQ(g_options.SFX, 0);
    }

    // Changes every control away from what the file holds.
    void ChangeEverything() {
        user.SelectItem(IDC_ROUNDS, 7);
        user.Click(IDC_PARANOIA);
        user.Click(IDC_SFX);
        user.Click(IDC_INTCHECK);
        user.Click(IDC_DELENCRYPTED);
    }

    static constexpr const char* kFile =
        "[ENCRYPT]\r\nRounds=3\r\nParanoia=1\r\nSFX=0\r\n[DECRYPT]\r\nIntCheck=1\r\nDelEncrypted=0\r\n";
    const std::string settingsFile_ = folder_.file("Druvel.ini");
};

TEST_F(SettingsWindow, ShowsTheOptionsAndOkStoresAndSavesEveryControl) {
    user.Inspect([](Window& w) {
        EXPECT_EQ(w.caption, "Settings");
        EXPECT_EQ(w.focus, w.IndexOf(IDOK));
        EXPECT_EQ(ControlOf(w, IDC_ROUNDS).selection, 2);
        EXPECT_EQ(ControlOf(w, IDC_ROUNDS).items, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
        EXPECT_TRUE(ControlOf(w, IDC_PARANOIA).checked);
        EXPECT_FALSE(ControlOf(w, IDC_SFX).checked);
        EXPECT_TRUE(ControlOf(w, IDC_INTCHECK).checked);
        EXPECT_FALSE(ControlOf(w, IDC_DELENCRYPTED).checked);
    });
    user.Click(IDOK);
    Run(IDOK);
    EXPECT_EQ(test::ReadFile(settingsFile_), kFile) << "confirming without changes writes the same values";

    ChangeEverything();
    user.Click(IDOK);
    Run(IDOK);
    EXPECT_EQ(g_options.Rounds, 8);
    EXPECT_EQ(g_options.Paranoia, 0);
    EXPECT_EQ(g_options.SFX, 1);
    EXPECT_EQ(g_options.IntCheck, 0);
    EXPECT_EQ(g_options.DelEncrypted, 1);
    EXPECT_EQ(test::ReadFile(settingsFile_),
              "[ENCRYPT]\r\nRounds=8\r\nParanoia=0\r\nSFX=1\r\n[DECRYPT]\r\nIntCheck=0\r\nDelEncrypted=1\r\n");
}

TEST_F(SettingsWindow, EnterConfirmsFromAnyControlButCancel) {
    for (const int focus : {IDC_ROUNDS, IDC_PARANOIA, IDC_DELENCRYPTED, IDOK}) {
        user.Focus(focus);
        user.SelectItem(IDC_ROUNDS, 4);
        user.PressEnter();
        Run(IDOK);
        EXPECT_EQ(g_options.Rounds, 5);
        g_options.Rounds = 3;
    }
    test::WriteFile(settingsFile_, kFile);
    user.Focus(IDCANCEL);
    user.SelectItem(IDC_ROUNDS, 4);
    user.PressEnter();
    Run(IDCANCEL);
    ExpectUnchanged();
}

TEST_F(SettingsWindow, CancelAndEscapeChangeNothing) {
    ChangeEverything();
    user.Click(IDCANCEL);
    Run(IDCANCEL);
    ExpectUnchanged();

    ChangeEverything();
    user.PressCloseBox();  // there is none: nothing happens
    user.PressEscape();
    Run(IDCANCEL);
    ExpectUnchanged();
}

TEST_F(SettingsWindow, RoundsOutsideTheListShowNoSelectionAndSaveAsZero) {
    test::WriteFile(settingsFile_, "[ENCRYPT]\r\nRounds=12\r\n");
    LoadOptions();
    user.Inspect([](Window& w) { EXPECT_EQ(ControlOf(w, IDC_ROUNDS).selection, -1); });
    user.PressEnter();
    Run(IDOK);
    EXPECT_EQ(g_options.Rounds, 0);
    EXPECT_NE(test::ReadFile(settingsFile_).find("Rounds=0\r\n"), std::string::npos);
}

class StaticWindows : public test::UiTest {};

TEST_F(StaticWindows, AboutClosesByItsButtonEnterAndEscapeOnly) {
    const std::vector<std::function<void()>> closers = {
        [&] { user.Click(IDCANCEL); },
        [&] { user.PressEnter(); },
        [&] { user.PressCloseBox(); user.PressEscape(); },  // no close box
    };
    for (const auto& close : closers) {
        user.Inspect([](Window& w) {
            EXPECT_EQ(w.caption, "About Druvel");
            EXPECT_EQ(w.controls[1].text, "Druvel V1.00");
            EXPECT_EQ(w.focus, w.IndexOf(IDCANCEL));
        });
        close();
        CDialog about(IDD_ABOUT);
        about.DoModal();
    }
}

TEST_F(StaticWindows, HelpSaysItIsToBeWritten) {
    user.Inspect([](Window& w) {
        EXPECT_EQ(w.caption, "Druvel Help");
        EXPECT_EQ(w.controls[3].text, "To be written... Sorry");
    });
    user.PressEnter();
    user.PressCloseBox();
    user.Click(IDCANCEL);
    for (const INT_PTR expected : {IDOK, IDCANCEL, IDCANCEL}) {
        CDialog help(IDD_HELP);
        EXPECT_EQ(help.DoModal(), expected);
    }
}

}  // namespace

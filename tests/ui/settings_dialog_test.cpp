#include "ui/settings_dialog.h"

#include <gtest/gtest.h>

#include "tests/ui/ui_fixture.h"

namespace {

using namespace script;

constexpr const char* kFile =
    "[ENCRYPT]\r\nRounds=3\r\nParanoia=1\r\nSFX=0\r\n[DECRYPT]\r\nIntCheck=1\r\nDelEncrypted=0\r\n";
// Every value changed.
constexpr const char* kChanged =
    "[ENCRYPT]\r\nRounds=8\r\nParanoia=0\r\nSFX=1\r\n[DECRYPT]\r\nIntCheck=0\r\nDelEncrypted=1\r\n";

std::vector<int> Held() { return {g_options.Rounds, g_options.Paranoia, g_options.SFX, g_options.IntCheck, g_options.DelEncrypted}; }

class SettingsWindow : public test::UiTest {
protected:
    const std::string settingsFile_ = folder_.file("Druvel.ini");
};

// The window shows the options held; every control changed, then the
// window closed: OK, or Enter from any control but Cancel, stores and saves
// every control; every other way (it has no close box) changes nothing.
TEST_F(SettingsWindow, ShowsTheOptionsAndOkAndEnterStoreAndSaveEveryControl) {
    const Act showsTheFile = Inspect([](Window& w) {
        EXPECT_EQ(w.caption, "Settings");
        EXPECT_EQ(w.focus, w.IndexOf(IDOK));
        EXPECT_EQ(ControlOf(w, IDC_ROUNDS).selection, 2);
        EXPECT_EQ(ControlOf(w, IDC_ROUNDS).items, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
        for (const auto& [id, checked] :
             {std::pair{IDC_PARANOIA, true}, {IDC_SFX, false}, {IDC_INTCHECK, true}, {IDC_DELENCRYPTED, false}}) {
            EXPECT_EQ(ControlOf(w, id).checked, checked) << id;
        }
    });
    const struct { std::vector<Step> close; INT_PTR result; } cases[] = {
        {{Click(IDOK)}, IDOK}, {{Focus(IDC_ROUNDS), Enter()}, IDOK}, {{Focus(IDC_PARANOIA), Enter()}, IDOK},
        {{Focus(IDOK), Enter()}, IDOK}, {{Focus(IDCANCEL), Enter()}, IDCANCEL}, {{Click(IDCANCEL)}, IDCANCEL},
        {{CloseBox(), Escape()}, IDCANCEL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        test::WriteFile(settingsFile_, kFile);
        LoadOptions();
        Do({showsTheFile, SelectItem(IDC_ROUNDS, 7), Click(IDC_PARANOIA), Click(IDC_SFX), Click(IDC_INTCHECK),
            Click(IDC_DELENCRYPTED)});
        Do(c.close);
        EXPECT_EQ(CSettingsDialog().DoModal(), c.result);
        const bool stored = c.result == IDOK;
        EXPECT_EQ(Held(), (stored ? std::vector<int>{8, 0, 1, 0, 1} : std::vector<int>{3, 1, 0, 1, 0}));
        EXPECT_EQ(test::ReadFile(settingsFile_), stored ? kChanged : kFile);
    }
    // Rounds outside the list show no selection, and are saved as 0.
    test::WriteFile(settingsFile_, "[ENCRYPT]\r\nRounds=12\r\n");
    LoadOptions();
    Do({Inspect([](Window& w) { EXPECT_EQ(ControlOf(w, IDC_ROUNDS).selection, -1); }), Enter()});
    EXPECT_EQ(CSettingsDialog().DoModal(), IDOK);
    EXPECT_EQ(g_options.Rounds, 0);
    EXPECT_NE(test::ReadFile(settingsFile_).find("Rounds=0\r\n"), std::string::npos);
}

class StaticWindows : public test::UiTest {};

// Each shows its caption and text; About closes by its button (focused),
// Enter and Escape (it has no close box); Help by its buttons and its close box.
TEST_F(StaticWindows, AboutAndHelpCloseOnlyAsTheirTemplatesAllow) {
    const auto shows = [](const char* caption, std::size_t control, const char* text, int focus) {
        return Inspect([=](Window& w) {
            EXPECT_EQ(w.caption + " | " + w.controls[control].text, std::string(caption) + " | " + text);
            EXPECT_TRUE(focus == 0 || w.focus == w.IndexOf(focus));
        });
    };
    const Act about = shows("About Druvel", 1, "Druvel V1.00", IDCANCEL);
    const Act help = shows("Druvel Help", 3, "To be written... Sorry", 0);
    const struct { int dialog; std::vector<Step> close; INT_PTR result; } cases[] = {
        {IDD_ABOUT, {Click(IDCANCEL)}, IDCANCEL}, {IDD_ABOUT, {Enter()}, IDCANCEL},
        {IDD_ABOUT, {CloseBox(), Escape()}, IDCANCEL}, {IDD_HELP, {Enter()}, IDOK},
        {IDD_HELP, {CloseBox()}, IDCANCEL}, {IDD_HELP, {Click(IDCANCEL)}, IDCANCEL},
    };
    for (const auto& c : cases) {
        Do({c.dialog == IDD_ABOUT ? about : help});
        Do(c.close);
        CDialog dialog(c.dialog);
        EXPECT_EQ(dialog.DoModal(), c.result) << "case " << &c - cases;
    }
}

}  // namespace

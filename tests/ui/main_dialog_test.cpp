#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run.h"
#include "tests/support/system.h"
#include "tests/ui/ui_fixture.h"
#include "ui/druvel_app.h"

namespace {

namespace fs = std::filesystem;
using platform::Window;
using Arguments = std::vector<std::string>;

class MainWindow : public test::UiTest {
protected:
    void Run() { EXPECT_EQ(theApp.InitInstance(), FALSE); }

    // Checks the state a batch shows while the tool runs.
    void ExpectBusy(const std::string& caption) {
        user.Inspect([caption](Window& w) {
            EXPECT_EQ(w.caption, caption);
            EXPECT_FALSE(ControlOf(w, IDCANCEL).enabled);
        });
    }

    void ExpectIdle() {
        user.Inspect([](Window& w) {
            EXPECT_EQ(w.tmpl->id, IDD_MAIN);
            EXPECT_EQ(w.caption, "Druvel");
            EXPECT_TRUE(ControlOf(w, IDCANCEL).enabled);
        });
    }

    std::string Plain(const std::string& name) {
        const std::string path = folder_.file(name);
        test::WriteFile(path, "contents");
        return path;
    }

    using Captions = std::vector<std::string>;

    bool Exists(const std::string& path) { return fs::exists(test::FsPath(path)); }

    // With the real tool and "Delete encrypted" on: the key typed, `source`
    // dropped (or chosen with File > Open); once `encrypted` is there and
    // opens with the key on TAV's standard input, the source goes, and
    // `encrypted` dropped gives it back.
    void RoundTrip(const std::string& source, const std::string& encrypted, const std::string& key, bool open) {
        test::InstallProgram(TAV_PATH, folder_.path(), "TAV");
        test::WriteFile(folder_.file("Druvel.ini"), "[DECRYPT]\r\nDelEncrypted=1\r\n");
        user.TypeText(IDC_KEY, key);
        if (open) {
            user.ChooseMenu(ID_FILE_OPEN);
            user.ChooseFiles({source});
        } else {
            user.DropFiles({source});
        }
        user.Call([this, source, encrypted, key] {
            ASSERT_TRUE(Exists(encrypted));
            const std::string check = folder_.file("opened-by-TAV");
            EXPECT_EQ(test::Run(TAV_PATH, {"d", encrypted, check}, {key + "\n"}).status, 0);
            EXPECT_EQ(test::ReadFile(check), test::ReadFile(source));
            fs::remove_all(test::FsPath(check));
            fs::remove_all(test::FsPath(source));
        });
        user.DropFiles({encrypted});
        user.PressEscape();
        Run();
    }
};

TEST_F(MainWindow, StartsWithTheKeyFieldFocusedAndOptionsLoaded) {
    user.Inspect([](Window& w) {
        EXPECT_EQ(w.caption, "Druvel");
        EXPECT_EQ(w.focus, w.IndexOf(IDC_KEY));
        EXPECT_EQ(w.icons[ICON_BIG], LoadIcon(IDR_MAINFRAME));
        EXPECT_EQ(w.icons[ICON_SMALL], LoadIcon(IDR_MAINFRAME));
        EXPECT_TRUE(ControlOf(w, IDCANCEL).enabled);
        EXPECT_FALSE(ControlOf(w, IDC_ENTER_SINK).visible);
    });
    user.PressEscape();
    Run();
    EXPECT_EQ(shown().windowsShown, std::vector<int>{IDD_MAIN});
    EXPECT_TRUE(fs::exists(folder_.file("Druvel.ini")));
    EXPECT_EQ(g_options.Rounds, 1);
}

TEST_F(MainWindow, EveryWayOfClosingEndsTheProgramWhenIdle) {
    const std::vector<std::function<void()>> closers = {
        [&] { user.PressEscape(); },
        [&] { user.PressCloseBox(); },
        [&] { user.Click(IDCANCEL); },
        [&] { user.ChooseMenu(ID_FILE_EXIT); },
        [&] { user.Focus(IDCANCEL); user.PressEnter(); },
    };
    for (std::size_t i = 0; i < closers.size(); ++i) {
        SCOPED_TRACE("closer " + std::to_string(i));
        closers[i]();
        Run();
        EXPECT_EQ(headless::PendingActions(), 0u);
        for (const std::string& error : headless::Shown().errors) ADD_FAILURE() << error;
    }
    EXPECT_TRUE(tool_.Runs().empty());
}

TEST_F(MainWindow, EnterInTheKeyFieldDoesNothing) {
    user.TypeText(IDC_KEY, "secret");
    user.PressEnter();
    ExpectIdle();
    user.PressEscape();
    Run();
    EXPECT_TRUE(tool_.Runs().empty());
    EXPECT_TRUE(shown().messageBoxes.empty());
}

TEST_F(MainWindow, AnEmptyKeyStopsBothEntries) {
    const std::string file = Plain("x.txt");
    user.Focus(IDCANCEL);
    user.DropFiles({file});
    user.AnswerMessageBox();
    user.Inspect([](Window& w) {
        EXPECT_EQ(w.focus, w.IndexOf(IDC_KEY));
        EXPECT_TRUE(ControlOf(w, IDCANCEL).enabled);
    });
    user.ChooseMenu(ID_FILE_OPEN);
    user.AnswerMessageBox();
    user.PressEscape();
    Run();

    EXPECT_TRUE(tool_.Runs().empty());
    EXPECT_TRUE(shown().fileDialogs.empty()) << "no open-file dialog without a key";
    ASSERT_EQ(shown().messageBoxes.size(), 2u);
    for (const headless::MessageBoxShown& box : shown().messageBoxes) {
        EXPECT_EQ(box.text, "You must specify a key.");
        EXPECT_EQ(box.title, "Druvel");
        EXPECT_EQ(box.type, MB_OK);
        EXPECT_EQ(box.ownerCaption, "Druvel");
    }
    EXPECT_EQ(shown().captions, Captions{"Druvel"}) << "the caption never changed";
}

// Rounds the tool does not take (Druvel.ini edited by hand) fail every
// file, and so does a key holding half of a surrogate pair (which a key
// field can hold, and no UTF-8 can carry exactly): the user is told once
// per batch, from either entry, and nothing runs.
TEST_F(MainWindow, ABatchTheToolCannotTakeIsRefusedWhole) {
    const struct {
        const char* settings;
        std::string key;
        const char* problem;
    } cases[] = {
        {"[ENCRYPT]\nRounds=65\n", "k", "(65) cannot be used"},
        {"[ENCRYPT]\nRounds=1\n", "k\xED\xA0\x80", "not valid Unicode"},
    };
    for (const auto& c : cases) {
        test::WriteFile(folder_.file("Druvel.ini"), c.settings);
        user.TypeText(IDC_KEY, c.key);
        user.DropFiles({Plain("a.txt"), Plain("b.txt")});
        user.AnswerMessageBox();
        user.ChooseMenu(ID_FILE_OPEN);
        user.ChooseFiles({Plain("c.txt")});
        user.AnswerMessageBox();
        ExpectIdle();
        user.PressEscape();
        Run();
    }

    EXPECT_TRUE(tool_.Runs().empty());
    ASSERT_EQ(shown().messageBoxes.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string& text = shown().messageBoxes[i].text;
        EXPECT_NE(text.find(cases[i / 2].problem), std::string::npos) << text;
    }
    EXPECT_EQ(shown().captions, (Captions{"Druvel", "Druvel"})) << "no batch began";
}

TEST_F(MainWindow, DroppedFilesRunInOrderWithTheirCaptions) {
    const std::string one = Plain("report.txt"), two = Plain("b.doc"), three = Plain("c_txt.TAV");
    user.TypeText(IDC_KEY, "k");
    user.DropFiles({one});
    user.DropFiles({three, one, two});
    user.PressEscape();
    Run();

    EXPECT_EQ(tool_.Runs(), (std::vector<Arguments>{
                                {"e1", one, folder_.file("report_txt.TAV"), "k"},
                                {"D", three, folder_.file("c.txt"), "k"},
                                {"e1", one, folder_.file("report_txt.TAV"), "k"},
                                {"e1", two, folder_.file("b_doc.TAV"), "k"},
                            }));
    EXPECT_EQ(shown().captions, (Captions{"Druvel", "Druvel: [report.txt]", "Druvel", "Druvel: Multiple files...",
                                          "Druvel: Multiple files...", "Druvel: Multiple files...", "Druvel"}));
    EXPECT_EQ(shown().foregroundRequests, 2);
}

// A name without a dot is a file like any other ("*.*" takes it).
TEST_F(MainWindow, OpenedFilesRunInTheDialogsOrderEachWithItsName) {
    const std::string one = Plain("README"), two = Plain("b.txt"), three = Plain("c.txt");
    user.TypeText(IDC_KEY, "k");
    user.ChooseMenu(ID_FILE_OPEN);
    user.ChooseFiles({two, three, one});
    user.PressEscape();
    Run();

    ASSERT_EQ(shown().fileDialogs.size(), 1u);
    EXPECT_TRUE(shown().fileDialogs[0].open);
    EXPECT_EQ(shown().fileDialogs[0].flags, 0x281A04u);
    EXPECT_EQ(shown().fileDialogs[0].filter, "Tutti i Files (*.*)|*.*||");
    const auto runs = tool_.Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0][1], two);
    EXPECT_EQ(runs[1][1], three);
    EXPECT_EQ(runs[2][1], one);
    EXPECT_EQ(shown().captions, (Captions{"Druvel", "Druvel: [b.txt]", "Druvel: [c.txt]", "Druvel: [README]", "Druvel"}));
}

TEST_F(MainWindow, ACancelledOpenRunsNothingAndReturnsToIdle) {
    user.TypeText(IDC_KEY, "k");
    user.ChooseMenu(ID_FILE_OPEN);
    user.CancelFileDialog();
    ExpectIdle();
    user.PressEscape();
    Run();
    EXPECT_TRUE(tool_.Runs().empty());
    EXPECT_EQ(shown().captions, (Captions{"Druvel", "Druvel"}));
}

TEST_F(MainWindow, DuringABatchTheCancelPathDoesNothing) {
    const std::string file = Plain("x.txt");
    tool_.HoldEachRun();
    user.TypeText(IDC_KEY, "k");
    user.DropFiles({file});
    user.WhileToolRuns([&] {
        ExpectBusy("Druvel: [x.txt]");
        user.PressEscape();
        user.PressCloseBox();
        user.ChooseMenu(ID_FILE_EXIT);
        user.Focus(IDCANCEL);
        user.PressEnter();
        user.TypeText(IDC_KEY, "changed while busy");
        user.Call([&] { tool_.Release(); });
    });
    ExpectIdle();
    user.PressEscape();
    Run();
    EXPECT_EQ(tool_.Runs().size(), 1u);
}

TEST_F(MainWindow, InputDuringABatchIsHeldAndHandledInOrderAfterIt) {
    const std::string first = Plain("a.txt"), second = Plain("b.txt"), third = Plain("c.txt");
    tool_.HoldEachRun();
    user.TypeText(IDC_KEY, "k");
    user.DropFiles({first});
    user.WhileToolRuns([&] {
        user.DropFiles({second});
        user.ChooseMenu(ID_OPTIONS_SETTINGS);
        user.ChooseMenu(ID_FILE_OPEN);
        user.ChooseMenu(ID_HELP_ABOUT);
        user.Call([&] { tool_.Release(); });
    });
    user.WhileToolRuns([&] { user.Call([&] { tool_.Release(); }); });  // the held drop's run
    // Then, in order: the settings window, the open-file dialog, the about box.
    ExpectActive(IDD_SETTINGS);
    user.PressEscape();
    user.ChooseFiles({third});
    user.WhileToolRuns([&] { user.Call([&] { tool_.Release(); }); });
    ExpectActive(IDD_ABOUT);
    user.PressEscape();
    user.PressEscape();
    Run();

    const auto runs = tool_.Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0][1], first);
    EXPECT_EQ(runs[1][1], second);
    EXPECT_EQ(runs[2][1], third);
    EXPECT_EQ(shown().windowsShown, (std::vector<int>{IDD_MAIN, IDD_SETTINGS, IDD_ABOUT}));
}

// The tool and the settings file stay in the folder Druvel started in, even
// when the platform's dialog moves the current directory.
TEST_F(MainWindow, OpeningFilesElsewhereKeepsTheStartFolder) {
    const fs::path elsewhere = folder_.path() / "elsewhere";
    fs::create_directory(elsewhere);
    test::WriteFile((elsewhere / "x.txt").string(), "x");
    test::InstallProgram(FAKE_TAV_PATH, elsewhere, "TAV");  // a stranger's tool, which must not run

    user.TypeText(IDC_KEY, "k");
    user.ChooseMenu(ID_FILE_OPEN);
    user.ChooseFiles({(elsewhere / "x.txt").string()}, /*dialogChangesDirectory=*/true);
    user.Call([&] { EXPECT_EQ(fs::current_path(), folder_.path()); });
    user.DropFiles({(elsewhere / "x.txt").string()});
    user.ChooseMenu(ID_OPTIONS_SETTINGS);
    user.Click(IDC_SFX);
    user.PressEnter();
    user.PressEscape();
    Run();

    EXPECT_EQ(tool_.Runs().size(), 2u);
    EXPECT_FALSE(fs::exists(elsewhere / "Druvel.ini"));
    EXPECT_NE(test::ReadFile(folder_.file("Druvel.ini")).find("SFX=1"), std::string::npos);
}

TEST_F(MainWindow, SettingsSavedBetweenBatchesApplyToTheNextOne) {
    const std::string file = Plain("x.txt");
    user.TypeText(IDC_KEY, "k");
    user.DropFiles({file});
    user.ChooseMenu(ID_OPTIONS_SETTINGS);
    user.SelectItem(IDC_ROUNDS, 4);
    user.Click(IDC_PARANOIA);
    user.Click(IDC_SFX);
    user.Click(IDOK);
    user.DropFiles({file});
    user.PressEscape();
    Run();
    const auto runs = tool_.Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0][0], "e1");
    EXPECT_EQ(runs[1][0], "a5+");
    EXPECT_EQ(runs[1][2], folder_.file("x_txt.EXE"));
}

TEST_F(MainWindow, LongKeysAndNamesAreNeverCut) {
    const std::string key(5000, 'k');
    // As long as a name can be in the test's folder on every system.
    const std::string name = std::string(180, 'n') + ".extension-longer-than-eleven";
    const std::string file = Plain(name);
    user.TypeText(IDC_KEY, key);
    user.DropFiles({file});
    user.ChooseMenu(ID_FILE_OPEN);
    user.ChooseFiles({file});
    user.PressEscape();
    Run();
    const auto runs = tool_.Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0][3], key);
    EXPECT_EQ(runs[1][3], key);
    EXPECT_EQ(shown().captions[1], "Druvel: [" + name + "]");
}

TEST_F(MainWindow, TheHelpItemIsGrayedAndF1ShowsNothing) {
    user.ChooseMenu(ID_HELP_TOPICS);
    user.PressHelpKey();
    ExpectIdle();
    user.PressEscape();
    Run();
    EXPECT_EQ(shown().windowsShown, std::vector<int>{IDD_MAIN});
}

TEST_F(MainWindow, MinimisedItPaintsItsIconCentred) {
    user.Minimize();
    user.Restore();
    user.PressEscape();
    Run();
    ASSERT_EQ(shown().iconsDrawn.size(), 1u);
    // The minimised client area is empty: (0 - 32 + 1) / 2 rounds toward zero.
    EXPECT_EQ(shown().iconsDrawn[0].x, -15);
    EXPECT_EQ(shown().iconsDrawn[0].y, -15);
    EXPECT_EQ(shown().iconsDrawn[0].icon, LoadIcon(IDR_MAINFRAME));
}

// With the real tool: a file is encrypted next to itself, the encrypted
// file opens with the key as typed, and dropped back it gives the original
// and, with "Delete encrypted" on, goes away; keys and names in any script,
// a file dropped or chosen with File > Open.
TEST_F(MainWindow, EncryptsAndDecryptsWithTheRealTool) {
    const std::string kKey = "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C-\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87 \xF0\x9F\x94\x91";
    const struct {
        const char* name;
        const char* encrypted;
        std::string key;
        bool open;
    } cases[] = {
        {"notes.txt", "notes_txt.TAV", "a real key", false},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E_txt.TAV", kKey, false},
        {"\xE9\x96\x8B\xE3\x81\x8F.txt", "\xE9\x96\x8B\xE3\x81\x8F_txt.TAV", kKey, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string plain = Plain(c.name);
        RoundTrip(plain, folder_.file(c.encrypted), c.key, c.open);
        EXPECT_EQ(test::ReadFile(plain), "contents");
        EXPECT_FALSE(Exists(folder_.file(c.encrypted)));
    }
}

// A dropped folder goes the same way: "my.album" becomes "my_album.TAV",
// which gives the folder back and goes away once the folder is there.
TEST_F(MainWindow, EncryptsAndDecryptsAFolderWithTheRealTool) {
    const std::string album = folder_.file("my.album");
    fs::create_directories(album + "/2026");
    test::WriteFile(album + "/2026/beach.jpg", "not really a picture");
    RoundTrip(album, folder_.file("my_album.TAV"), "a real key", false);
    EXPECT_EQ(test::ReadFile(album + "/2026/beach.jpg"), "not really a picture");
    EXPECT_FALSE(fs::exists(folder_.file("my_album.TAV")));
}

}  // namespace

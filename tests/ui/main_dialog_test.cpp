#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run.h"
#include "tests/support/system.h"
#include "tests/ui/ui_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace script;
using Arguments = std::vector<std::string>;
using Captions = std::vector<std::string>;

class MainWindow : public test::UiTest {
protected:
    // The main window idle: its caption, and Exit usable.
    static Act Idle() {
        return Inspect([](Window& w) {
            EXPECT_EQ(w.tmpl->id, IDD_MAIN);
            EXPECT_EQ(w.caption, "Druvel");
            EXPECT_TRUE(ControlOf(w, IDCANCEL).enabled);
        });
    }
    Act ReleaseTheTool() {
        return Call([this] { tool_.Release(); });
    }
};

// Every way of closing ends the program when idle; during a batch none
// does, nor does a key typed then.
TEST_F(MainWindow, EveryWayOfClosingEndsTheProgramOnlyWhenIdle) {
    // Escape, the close box, Exit, File > Exit, and Enter on Exit.
    const std::vector<std::vector<Step>> closers = {
        {Escape()}, {CloseBox()}, {Click(IDCANCEL)}, {ChooseMenu(ID_FILE_EXIT)}, {Focus(IDCANCEL), Enter()}};
    for (const std::vector<Step>& closer : closers) {
        Do(closer);
        Run();
        EXPECT_TRUE(shown().errors.empty()) << "closer " << &closer - closers.data();
    }
    tool_.HoldEachRun();
    Do({TypeText(IDC_KEY, "k"), Drop({Plain("x.txt")})});
    std::vector<Step> busy = {Inspect([](Window& w) {
                                  EXPECT_EQ(w.caption, "Druvel: [x.txt]");
                                  EXPECT_FALSE(ControlOf(w, IDCANCEL).enabled);
                              }),
                              TypeText(IDC_KEY, "changed while busy")};
    for (const std::vector<Step>& closer : closers) busy.insert(busy.end(), closer.begin(), closer.end());
    busy.push_back(ReleaseTheTool());
    WhileToolRuns(busy);
    Do({Idle(), Escape()});
    Run();
    EXPECT_EQ(tool_.Runs().size(), 1u);
}

// At the start: the settings loaded (a new file made), the key field
// focused, the program's icon set, and painted by the program when
// minimised. Enter in the key field, F1 and the grayed Help Topics do
// nothing; without a key, neither entry goes further than telling so.
TEST_F(MainWindow, StartsWithTheKeyFieldFocusedWhereOnlyAKeyLetsEitherEntryRun) {
    Do({Inspect([](Window& w) {
            EXPECT_EQ(w.focus, w.IndexOf(IDC_KEY));
            EXPECT_EQ(w.icons[ICON_BIG], LoadIcon(IDR_MAINFRAME));
            EXPECT_EQ(w.icons[ICON_SMALL], LoadIcon(IDR_MAINFRAME));
        }),
        Minimize(true), Minimize(false), Enter(), HelpKey(), ChooseMenu(ID_HELP_TOPICS), Focus(IDCANCEL),
        Drop({Plain("x.txt")}), AnswerMessageBox(), Inspect([](Window& w) { EXPECT_EQ(w.focus, w.IndexOf(IDC_KEY)); }),
        Idle(), ChooseMenu(ID_FILE_OPEN), AnswerMessageBox(), Escape()});
    Run();
    EXPECT_TRUE(fs::exists(folder_.file("Druvel.ini")));
    // The minimised client area is empty: (0 - 32 + 1) / 2 rounds toward zero.
    ASSERT_EQ(shown().iconsDrawn.size(), 1u);
    const IconDrawn& drawn = shown().iconsDrawn[0];
    EXPECT_TRUE(drawn.x == -15 && drawn.y == -15 && drawn.icon == LoadIcon(IDR_MAINFRAME)) << drawn.x << "," << drawn.y;
    EXPECT_TRUE(tool_.Runs().empty());
    EXPECT_EQ(shown().windowsShown, std::vector<int>{IDD_MAIN});
    EXPECT_TRUE(shown().fileDialogs.empty()) << "no open-file dialog without a key";
    ASSERT_EQ(shown().messageBoxes.size(), 2u);
    for (const MessageBoxShown& box : shown().messageBoxes) {
        EXPECT_EQ(box.ownerCaption + " | " + box.title + " | " + box.text, "Druvel | Druvel | You must specify a key.");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_OK));
    }
    EXPECT_EQ(shown().captions, Captions{"Druvel"}) << "the caption never changed";
}

// Rounds the tool does not take (Druvel.ini edited by hand) fail every
// file, and so does a key holding half of a surrogate pair (which a key
// field can hold, and no UTF-8 can carry exactly): the user is told once
// per batch, from either entry, and nothing runs.
TEST_F(MainWindow, ABatchTheToolCannotTakeIsRefusedWhole) {
    const struct { const char* settings; std::string key; const char* problem; } cases[] = {
        {"[ENCRYPT]\nRounds=65\n", "k", "(65) cannot be used"},
        {"[ENCRYPT]\nRounds=1\n", "k\xED\xA0\x80", "not valid Unicode"},
    };
    for (const auto& c : cases) {
        test::WriteFile(folder_.file("Druvel.ini"), c.settings);
        Do({TypeText(IDC_KEY, c.key), Drop({Plain("a.txt"), Plain("b.txt")}), AnswerMessageBox(),
            ChooseMenu(ID_FILE_OPEN), ChooseFiles({Plain("c.txt")}), AnswerMessageBox(), Idle(), Escape()});
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

// Dropped files run in order, named in the caption; settings saved
// between batches apply to the next one.
TEST_F(MainWindow, DroppedFilesRunInOrderWithTheirCaptionsAndTheSettingsSavedBefore) {
    const std::string one = Plain("report.txt"), two = Plain("b.doc"), three = Plain("c_txt.TAV");
    Do({TypeText(IDC_KEY, "k"), Drop({one}), ChooseMenu(ID_OPTIONS_SETTINGS), SelectItem(IDC_ROUNDS, 4),
        Click(IDC_PARANOIA), Click(IDC_SFX), Click(IDOK), Drop({three, one, two}), Escape()});
    Run();
    EXPECT_EQ(tool_.Runs(), (std::vector<Arguments>{
                                {"e1", one, folder_.file("report_txt.TAV"), "k"},
                                {"D", three, folder_.file("c.txt"), "k"},
                                {"a5+", one, folder_.file("report_txt.EXE"), "k"},
                                {"a5+", two, folder_.file("b_doc.EXE"), "k"},
                            }));
    EXPECT_EQ(shown().captions, (Captions{"Druvel", "Druvel: [report.txt]", "Druvel", "Druvel: Multiple files...",
                                          "Druvel: Multiple files...", "Druvel: Multiple files...", "Druvel"}));
    EXPECT_EQ(shown().foregroundRequests, 2);
}

// A cancelled dialog runs nothing; the files chosen run in the dialog's
// order, each named whole in the caption, with the whole key. A name
// without a dot is a file like any other ("*.*" takes it). The tool stays
// the one of the folder Druvel started in, even when the platform's dialog
// moves the current directory (where a stranger's tool waits, which must not run).
TEST_F(MainWindow, OpenedFilesRunInTheDialogsOrderEachWithItsWholeName) {
    const std::string key(5000, 'k');
    // As long as a name can be in the test's folder on every system.
    const std::string longName = std::string(180, 'n') + ".extension-longer-than-eleven";
    fs::create_directory(folder_.path() / "elsewhere");
    test::InstallProgram(FAKE_TAV_PATH, folder_.path() / "elsewhere", "TAV");
    const auto away = [this](const char* name) { return Plain(test::PathText(fs::path("elsewhere") / name)); };
    const std::string one = away("README"), two = away("b.txt"), three = away("c.txt"), four = Plain(longName);
    Do({TypeText(IDC_KEY, key), ChooseMenu(ID_FILE_OPEN), ChooseFiles({}), Idle(), ChooseMenu(ID_FILE_OPEN),
        ChooseFiles({two, three, one}), Call([&] { EXPECT_EQ(fs::current_path(), folder_.path()); }),
        ChooseMenu(ID_FILE_OPEN), ChooseFiles({four}), Escape()});
    Run();
    EXPECT_EQ(Sources(), (Arguments{two, three, one, four}));
    for (const Arguments& run : tool_.Runs()) EXPECT_EQ(run[3], key);
    ASSERT_EQ(shown().fileDialogs.size(), 3u);
    for (const FileDialogShown& dialog : shown().fileDialogs) {
        EXPECT_TRUE(dialog.open && dialog.flags == 0x281A04u) << dialog.flags;
        EXPECT_EQ(dialog.filter, "Tutti i Files (*.*)|*.*||");
    }
    EXPECT_EQ(shown().captions, (Captions{"Druvel", "Druvel", "Druvel: [b.txt]", "Druvel: [c.txt]", "Druvel: [README]",
                                          "Druvel", "Druvel: [" + longName + "]", "Druvel"}));
}

TEST_F(MainWindow, InputDuringABatchIsHeldAndHandledInOrderAfterIt) {
    const std::string first = Plain("a.txt"), second = Plain("b.txt"), third = Plain("c.txt");
    tool_.HoldEachRun();
    Do({TypeText(IDC_KEY, "k"), Drop({first})});
    WhileToolRuns({Drop({second}), ChooseMenu(ID_OPTIONS_SETTINGS), ChooseMenu(ID_FILE_OPEN), ChooseMenu(ID_HELP_ABOUT),
                   ReleaseTheTool()});
    WhileToolRuns({ReleaseTheTool()});  // the held drop's run
    // Then, in order: the settings window, the open-file dialog, the about box.
    Do({Inspect([](Window& w) { EXPECT_EQ(w.tmpl->id, IDD_SETTINGS); }), Escape(), ChooseFiles({third})});
    WhileToolRuns({ReleaseTheTool()});
    Do({Inspect([](Window& w) { EXPECT_EQ(w.tmpl->id, IDD_ABOUT); }), Escape(), Escape()});
    Run();
    EXPECT_EQ(Sources(), (Arguments{first, second, third}));
    EXPECT_EQ(shown().windowsShown, (std::vector<int>{IDD_MAIN, IDD_SETTINGS, IDD_ABOUT}));
}

// With the real tool: a file or a folder is encrypted next to itself, the
// encrypted file opens with the key as typed, and dropped back it gives
// the original and, with "Delete encrypted" on, goes away; keys and names
// in any script, dropped or chosen with File > Open.
TEST_F(MainWindow, EncryptsAndDecryptsWithTheRealTool) {
    const std::string kKey = "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C-\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87 \xF0\x9F\x94\x91";
    // The name, the encrypted file's, the key, whether chosen with File > Open, and a folder's file.
    const struct { const char* name; const char* encrypted; std::string key; bool open; const char* inside; } cases[] = {
        {"notes.txt", "notes_txt.TAV", "a real key", false, ""},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E_txt.TAV", kKey, false, ""},
        {"\xE9\x96\x8B\xE3\x81\x8F.txt", "\xE9\x96\x8B\xE3\x81\x8F_txt.TAV", kKey, true, ""},
        {"my.album", "my_album.TAV", "a real key", false, "/2026/beach.jpg"},
    };
    test::InstallProgram(TAV_FAST_KDF_PATH, folder_.path(), "TAV");
    test::WriteFile(folder_.file("Druvel.ini"), "[DECRYPT]\r\nDelEncrypted=1\r\n");
    fs::create_directories(folder_.path() / "my.album" / "2026");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = folder_.file(c.name), encrypted = folder_.file(c.encrypted);
        test::WriteFile(source + c.inside, "contents");
        Do({TypeText(IDC_KEY, c.key)});
        Do(c.open ? std::vector<Step>{ChooseMenu(ID_FILE_OPEN), ChooseFiles({source})} : std::vector<Step>{Drop({source})});
        Do({Call([&] {
                ASSERT_TRUE(fs::exists(test::FsPath(encrypted)));
                const std::string check = folder_.file("opened-by-TAV");
                EXPECT_EQ(test::Run(TAV_FAST_KDF_PATH, {"d", encrypted, check}, {c.key + "\n"}).status, 0);
                EXPECT_EQ(test::ReadFile(check + c.inside), "contents");
                fs::remove_all(test::FsPath(check));
                fs::remove_all(test::FsPath(source));
            }),
            Drop({encrypted}), Escape()});
        Run();
        EXPECT_EQ(test::ReadFile(source + c.inside), "contents");
        EXPECT_FALSE(fs::exists(test::FsPath(encrypted)));
    }
}

}  // namespace

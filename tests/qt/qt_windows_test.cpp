// What is Qt's own in Druvel's real Qt windows on the offscreen platform:
// names as bytes through URLs, screen-reader names, when a drop is taken.
// The scripts are the UI suite's, carried out on these widgets by the
// real-window driver with Qt's input (tests/qt/qt_input.cpp), as every
// behaviour case of tests/ui is.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QPushButton>

#include <filesystem>

#include "platform/backends/qt/backend.h"
#include "platform/backends/qt/paths.h"
#include "tests/ui/ui_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace script;

class QtWindows : public test::UiTest {};

template <typename T = QWidget>
T* Control(Window& w, int id) {
    return platform::qt::WidgetOf(w)->findChild<T*>(QStringLiteral("control-%1").arg(id));
}

// The file manager is told at once that the drop was taken; the batch
// runs after that, from the event loop. File names are bytes: two Latin-1
// names that UTF-8 would both turn into U+FFFD reach the tool each as
// itself; what is no local file (another host's, a web address) is not taken.
TEST_F(QtWindows, ADropIsTakenAtOnceAndItsNamesArriveAsTheFileSystemsBytes) {
    const std::string e = Plain("caf\xe9.txt"), g = Plain("caf\xe8.txt"), u = Plain("caf\xc3\xa9 \xff.txt");
    const Act drop = Drop({e, "https://example.invalid/c.txt", g, u, "file://otherhost/etc/passwd"});
    Do({TypeText(IDC_KEY, "k"), Act([&](Window& w) {
            drop(w);
            EXPECT_TRUE(tool_.Runs().empty()) << "no batch inside the drop";
        }),
        Escape()});
    Run();
    EXPECT_EQ(Sources(), (std::vector<std::string>{e, g, u}));
}

// The open dialog hands back names as Qt shows them; each must be found
// again on disk exactly, or not at all.
TEST(QtPaths, ShownNamesAreMatchedBackToTheirBytesOrRefused) {
    test::TempFolder folder;
    using platform::qt::LocalPathOfName;
    const auto shown = [](const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); };
    fs::create_directory(folder.file("dir\xe9"));
    for (const std::string name : {"dir\xe9/only\xe9.txt", "caf\xc3\xa9.txt", "twin\xe9.txt", "twin\xe8.txt"}) {
        test::WriteFile(folder.file(name), "x");
    }
    for (const std::string name : {"caf\xc3\xa9.txt", "dir\xe9/only\xe9.txt", "new.txt"}) {
        EXPECT_EQ(LocalPathOfName(shown(folder.file(name))), folder.file(name)) << name;
    }
    EXPECT_EQ(LocalPathOfName(shown(folder.file("twin\xe9.txt"))), std::nullopt);
    EXPECT_EQ(LocalPathOfName(shown(folder.file("gone\xe9.txt"))), std::nullopt);
}

// What a screen reader says of each control. A list's name on Linux is its
// current item; its label comes through the label relation.
QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    if (accessible == nullptr) return {};
    if (qobject_cast<QComboBox*>(widget) != nullptr) {
        const auto labels = accessible->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
    return accessible->text(QAccessible::Name);
}

// Each window shows the program's icon, puts the main window's controls
// where its template does (in dialog units), names its controls for screen
// readers (a field and a list by the label before it, never by what was
// typed), and marks its default button and its focus when it opens.
TEST_F(QtWindows, ControlsAreNamedForScreenReadersAndTheDefaultIsShown) {
    const struct { int window, id; const char* name; } names[] = {
        {IDD_MAIN, IDC_KEY, "Key:"}, {IDD_MAIN, IDCANCEL, "Exit"}, {IDD_SETTINGS, IDOK, "OK"},
        {IDD_SETTINGS, IDCANCEL, "Cancel"}, {IDD_SETTINGS, IDC_ROUNDS, "Rounds:"}, {IDD_SETTINGS, IDC_PARANOIA, "Paranoia"},
        {IDD_SETTINGS, IDC_SFX, "Create self decrypting executable"}, {IDD_SETTINGS, IDC_INTCHECK, "Integrity check"},
        {IDD_SETTINGS, IDC_DELENCRYPTED, "Delete encrypted"}};
    const Act expectNames = Inspect([&names](Window& w) {
        EXPECT_FALSE(platform::qt::WidgetOf(w)->windowIcon().isNull());
        EXPECT_TRUE(platform::qt::WidgetOf(w)->testAttribute(Qt::WA_KeyboardFocusChange));
        for (const auto& [window, id, name] : names) {
            EXPECT_EQ(window == w.tmpl->id ? AccessibleName(Control(w, id)) : QString(name), name) << id;
        }
        const auto pixels = [&w](QRect units) { return platform::qt::DialogUnitsToPixels(*w.tmpl, units); };
        if (w.tmpl->id == IDD_MAIN) {
            EXPECT_EQ(Control(w, IDCANCEL)->parentWidget()->size(), pixels({0, 0, 182, 86}).size());
            EXPECT_EQ(Control(w, IDCANCEL)->geometry(), pixels({5, 65, 170, 14}));
            EXPECT_EQ(Control(w, IDC_KEY)->geometry(), pixels({25, 50, 150, 12}));
        }
        auto* ok = Control<QPushButton>(w, IDOK);
        EXPECT_TRUE(ok == nullptr || (ok->isDefault() && !Control<QPushButton>(w, IDCANCEL)->isDefault()));
    });
    Do({TypeText(IDC_KEY, "secret"), expectNames, ChooseMenu(ID_OPTIONS_SETTINGS), expectNames, Escape(), Escape()});
    Run();
}

}  // namespace

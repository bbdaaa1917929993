// What is Qt's own in Druvel's real Qt windows on the offscreen platform:
// geometry, names as bytes through URLs, screen-reader names, when a drop
// is taken, and the real tool through the window. The scripts are the UI
// suite's, carried out on these widgets by the real-window driver with
// Qt's input (tests/qt/qt_input.cpp), as every behaviour case of tests/ui is.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <filesystem>

#include "platform/backends/qt/backend.h"
#include "platform/backends/qt/paths.h"
#include "tests/ui/ui_fixture.h"
#include "ui/druvel_app.h"

namespace {

namespace fs = std::filesystem;
using platform::Window;

class QtWindows : public test::UiTest {
protected:
    void Run() { EXPECT_EQ(theApp.InitInstance(), FALSE); }

    template <typename T = QWidget>
    static T* Control(Window& w, int id) {
        return platform::qt::WidgetOf(w)->findChild<T*>(QStringLiteral("control-%1").arg(id));
    }

    // A drop of `urls` on the active window, as a file manager makes it.
    static void Drop(const QList<QUrl>& urls) {
        QWidget* view = platform::qt::WidgetOf(*platform::ActiveWindow());
        QMimeData data;
        data.setUrls(urls);
        const QPointF at(view->width() / 2.0, view->height() / 3.0);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &drop);
    }

    std::string Plain(const std::string& name) {
        const std::string path = folder_.file(name);
        test::WriteFile(path, "plain text of " + name);
        return path;
    }
};

QUrl Url(const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)); }

TEST_F(QtWindows, ControlsSitWhereTheTemplatesPutThem) {
    user.Inspect([](Window& w) {
        const DialogTemplate& tmpl = *w.tmpl;
        const auto pixels = [&](QRect units) { return platform::qt::DialogUnitsToPixels(tmpl, units); };
        QWidget* exit = Control(w, IDCANCEL);
        EXPECT_EQ(exit->parentWidget()->size(), pixels({0, 0, 182, 86}).size()) << "client area of 182 by 86 units";
        EXPECT_EQ(exit->geometry(), pixels({5, 65, 170, 14}));
        EXPECT_EQ(Control(w, IDC_KEY)->geometry(), pixels({25, 50, 150, 12}));
        EXPECT_FALSE(platform::qt::WidgetOf(w)->windowIcon().isNull());
    });
    user.PressEscape();
    Run();
}

// File names are bytes: two Latin-1 names that UTF-8 would both turn into
// U+FFFD reach the tool each as itself; what is no local file (another
// host's, a web address) is not taken.
TEST_F(QtWindows, DroppedNamesArriveAsTheFileSystemsBytes) {
    const std::string e = Plain("caf\xe9.txt"), g = Plain("caf\xe8.txt"), u = Plain("caf\xc3\xa9 \xff.txt");
    const auto url = [](const std::string& path) {
        return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
    };
    user.TypeText(IDC_KEY, "k");
    user.Call([&] {
        Drop({url(e), QUrl("https://example.invalid/c.txt"), url(g), url(u), QUrl("file://otherhost/etc/passwd")});
    });
    user.PressEscape();
    Run();
    const auto runs = tool_.Runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0][1], e);
    EXPECT_EQ(runs[1][1], g);
    EXPECT_EQ(runs[2][1], u);
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

// Named for screen readers, with the default button and the focus marked
// when a window opens.
TEST_F(QtWindows, ControlsAreNamedForScreenReadersAndTheDefaultIsShown) {
    user.Inspect([](Window& w) {
        EXPECT_EQ(AccessibleName(Control(w, IDC_KEY)), "Key:");
        EXPECT_EQ(AccessibleName(Control(w, IDCANCEL)), "Exit");
    });
    user.ChooseMenu(ID_OPTIONS_SETTINGS);
    user.Inspect([](Window& w) {
        ASSERT_EQ(w.tmpl->id, IDD_SETTINGS);
        EXPECT_TRUE(platform::qt::WidgetOf(w)->testAttribute(Qt::WA_KeyboardFocusChange));
        EXPECT_TRUE(Control<QPushButton>(w, IDOK)->isDefault());
        EXPECT_FALSE(Control<QPushButton>(w, IDCANCEL)->isDefault());
        const std::pair<int, const char*> names[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDC_ROUNDS, "Rounds:"},
                                                     {IDC_PARANOIA, "Paranoia"},
                                                     {IDC_SFX, "Create self decrypting executable"},
                                                     {IDC_INTCHECK, "Integrity check"},
                                                     {IDC_DELENCRYPTED, "Delete encrypted"}};
        for (const auto& [id, name] : names) EXPECT_EQ(AccessibleName(Control(w, id)), name) << id;
    });
    user.PressEscape();
    user.PressEscape();
    Run();
}

// The file manager is told at once that the drop was taken; the batch runs
// after that, from the event loop.
TEST_F(QtWindows, ADropIsTakenBeforeItsBatchRuns) {
    tool_.HoldEachRun();
    user.TypeText(IDC_KEY, "k");
    user.Call([&] {
        Drop({Url(Plain("a.txt"))});
        EXPECT_EQ(platform::ActiveWindow()->caption, "Druvel") << "no batch inside the drop";
    });
    user.WhileToolRuns([&] { user.Call([&] { tool_.Release(); }); });
    user.PressEscape();
    Run();
    EXPECT_EQ(tool_.Runs().size(), 1u);
}

}  // namespace

// What is Qt's own in Druvel's real Qt windows on the offscreen platform:
// geometry, names as bytes through URLs, screen-reader names, when a drop
// is taken, the open dialog's filter, and the real tool through the window.
// The UI's behaviour cases run on these widgets too, through the Qt driver
// (tests/qt/qt_driver.cpp). Events go in as Qt events (keys, drops,
// clicks), and the tests read what the widgets show.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>

#include "core/options.h"
#include "platform/backend.h"
#include "platform/backends/qt/backend.h"
#include "platform/backends/qt/paths.h"
#include "res/resource.h"
#include "tests/support/workspace.h"
#include "ui/druvel_app.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class QtWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static char name[] = "Druvel";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(platform::SelectBackend("qt"));
        ASSERT_TRUE(platform::ActiveBackend().Init(1, argv));
    }

    void SetUp() override {
        platform::SelectBackend("qt");
        SetApplicationName("/usr/libexec/druvel/Druvel");
        g_options = kStartOptions;
    }

    void TearDown() override {
        EXPECT_TRUE(platform::OpenWindows().empty()) << "a window was left open";
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            EXPECT_FALSE(widget->isVisible()) << "a visible window is left: " << widget->windowTitle().toStdString();
        }
    }

    // Queues a step; steps run one after another from the event loop,
    // also inside the nested loops of dialogs and of a tool run.
    void Then(std::function<void()> step) { steps_.push_back({std::move(step), nullptr, ""}); }
    void WaitUntil(std::function<bool()> condition, const std::string& what) {
        steps_.push_back({nullptr, std::move(condition), what});
    }

    // Runs the program with the queued steps; a script that stalls fails and
    // closes every window.
    void RunProgram() {
        deadline_ = Clock::now() + std::chrono::seconds(30);
        QTimer::singleShot(0, [this] { Pump(); });
        EXPECT_EQ(theApp.InitInstance(), FALSE);
        EXPECT_TRUE(steps_.empty()) << steps_.size() << " steps did not run";
        steps_.clear();
    }

    static QWidget* Active() {
        platform::Window* window = platform::ActiveWindow();
        return window != nullptr ? platform::qt::WidgetOf(*window) : nullptr;
    }
    static int ActiveTemplate() {
        return platform::ActiveWindow() != nullptr ? platform::ActiveWindow()->tmpl->id : 0;
    }
    template <typename T = QWidget>
    static T* Control(int id) {
        return Active()->findChild<T*>(QStringLiteral("control-%1").arg(id));
    }
    static void Command(int id) {
        Active()->findChild<QAction*>(QStringLiteral("command-%1").arg(id))->trigger();
    }
    static void Key(Qt::Key key) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus != nullptr ? focus : Active(), key);
    }

    static void Drop(const QList<QUrl>& urls) {
        QWidget* view = Active();
        QMimeData data;
        data.setUrls(urls);
        const QPointF at(view->width() / 2.0, view->height() / 3.0);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &drop);
    }

    void TypeKey(const QString& key) {
        Then([key] {
            Control<QLineEdit>(IDC_KEY)->setFocus();
            QTest::keyClicks(Control(IDC_KEY), key);
        });
    }

    std::string Plain(const std::string& name) {
        const std::string path = folder_.file(name);
        test::WriteFile(path, "plain text of " + name);
        return path;
    }

    void RoundTripByDropping(const std::string& source, const std::string& encrypted);

    test::TempFolder folder_;

private:
    struct Step {
        std::function<void()> run;
        std::function<bool()> until;
        std::string what;
    };

    void Pump() {
        if (steps_.empty()) return;
        if (Clock::now() > deadline_) {
            ADD_FAILURE() << "the script stalled at: " << (steps_.front().what.empty() ? "a step" : steps_.front().what);
            steps_.clear();
            for (platform::Window* window : platform::OpenWindows()) window->dialog->EndDialog(IDCANCEL);
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->isModal()) widget->close();
            }
            return;
        }
        QTimer::singleShot(15, [this] { Pump(); });
        Step& step = steps_.front();
        if (step.until) {
            if (step.until()) steps_.pop_front();
            return;
        }
        const std::function<void()> run = std::move(step.run);
        steps_.pop_front();
        run();
    }

    std::deque<Step> steps_;
    Clock::time_point deadline_;
};

QUrl Url(const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)); }

TEST_F(QtWindows, ControlsSitWhereTheTemplatesPutThem) {
    WaitUntil([] { return QApplication::focusWidget() == Control(IDC_KEY); }, "the key field's focus");
    Then([] {
        const DialogTemplate& tmpl = *FindDialogTemplate(IDD_MAIN);
        const QRect client = platform::qt::DialogUnitsToPixels(tmpl, QRect(0, 0, 182, 86));
        QWidget* exit = Control(IDCANCEL);
        EXPECT_EQ(exit->parentWidget()->size(), client.size()) << "client area of 182 by 86 dialog units";
        EXPECT_EQ(exit->geometry(), platform::qt::DialogUnitsToPixels(tmpl, QRect(5, 65, 170, 14)));
        EXPECT_EQ(Control(IDC_KEY)->geometry(), platform::qt::DialogUnitsToPixels(tmpl, QRect(25, 50, 150, 12)));
        EXPECT_FALSE(Control(IDC_ENTER_SINK)->isVisible());
        EXPECT_EQ(Active()->windowTitle(), "Druvel");
        EXPECT_FALSE(Active()->windowIcon().isNull());
        EXPECT_EQ(QApplication::focusWidget(), Control(IDC_KEY));
    });
    Then([] { Key(Qt::Key_Escape); });
    RunProgram();
}

// File names are bytes: two Latin-1 names that UTF-8 would both turn into
// U+FFFD reach the tool each as itself; what is no local file (another
// host's, a web address) is not taken.
TEST_F(QtWindows, DroppedNamesArriveAsTheFileSystemsBytes) {
    test::FakeTool tool(folder_.path());
    const std::string e = Plain("caf\xe9.txt"), g = Plain("caf\xe8.txt"), u = Plain("caf\xc3\xa9 \xff.txt");
    const auto url = [](const std::string& path) {
        return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
    };
    TypeKey("k");
    Then([&] {
        Drop({url(e), QUrl("https://example.invalid/c.txt"), url(g), url(u), QUrl("file://otherhost/etc/passwd")});
    });
    WaitUntil([] { return Active()->windowTitle() == "Druvel" && Control(IDCANCEL)->isEnabled(); }, "idle");
    Then([] { Key(Qt::Key_Escape); });
    RunProgram();
    const auto runs = tool.Runs();
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
    test::WriteFile(folder.file("dir\xe9/only\xe9.txt"), "x");
    test::WriteFile(folder.file("caf\xc3\xa9.txt"), "x");
    test::WriteFile(folder.file("twin\xe9.txt"), "x");
    test::WriteFile(folder.file("twin\xe8.txt"), "x");
    for (const std::string name : {"caf\xc3\xa9.txt", "dir\xe9/only\xe9.txt", "new.txt"}) {
        EXPECT_EQ(LocalPathOfName(shown(folder.file(name))), folder.file(name)) << name;
    }
    EXPECT_EQ(LocalPathOfName(shown(folder.file("twin\xe9.txt"))), std::nullopt);
    EXPECT_EQ(LocalPathOfName(shown(folder.file("gone\xe9.txt"))), std::nullopt);
}

// What a screen reader says of each control, and how the platform marks the
// default button and the focus when a window opens.
// A list's name on Linux is its current item; its label comes through the
// label relation, so that is what counts for it.
QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    if (accessible == nullptr) return {};
    if (qobject_cast<QComboBox*>(widget) != nullptr) {
        const auto labels = accessible->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
    return accessible->text(QAccessible::Name);
}

TEST_F(QtWindows, ControlsAreNamedForScreenReadersAndTheDefaultIsShown) {
    Then([] {
        EXPECT_EQ(AccessibleName(Control(IDC_KEY)), "Key:");
        EXPECT_EQ(AccessibleName(Control(IDCANCEL)), "Exit");
        Command(ID_OPTIONS_SETTINGS);
    });
    Then([] {
        ASSERT_EQ(ActiveTemplate(), IDD_SETTINGS);
        EXPECT_TRUE(Active()->testAttribute(Qt::WA_KeyboardFocusChange)) << "the focus is marked from the start";
        EXPECT_TRUE(Control<QPushButton>(IDOK)->isDefault());
        EXPECT_FALSE(Control<QPushButton>(IDCANCEL)->isDefault());
        const std::pair<int, const char*> names[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDC_ROUNDS, "Rounds:"},
                                                     {IDC_PARANOIA, "Paranoia"},
                                                     {IDC_SFX, "Create self decrypting executable"},
                                                     {IDC_INTCHECK, "Integrity check"},
                                                     {IDC_DELENCRYPTED, "Delete encrypted"}};
        for (const auto& [id, name] : names) EXPECT_EQ(AccessibleName(Control(id)), name) << id;
        Key(Qt::Key_Escape);
    });
    Then([] { Key(Qt::Key_Escape); });
    RunProgram();
}

// The file manager is told at once that the drop was taken; the batch runs
// after that, from the event loop.
TEST_F(QtWindows, ADropIsTakenBeforeItsBatchRuns) {
    test::FakeTool tool(folder_.path());
    tool.HoldEachRun();
    const std::string a = Plain("a.txt");
    TypeKey("k");
    Then([&] {
        Drop({Url(a)});
        EXPECT_EQ(Active()->windowTitle(), "Druvel") << "no batch inside the drop";
    });
    WaitUntil([&] { return tool.Runs().size() == 1; }, "the run");
    Then([&] { tool.Release(); });
    WaitUntil([] { return Active()->windowTitle() == "Druvel" && Control(IDCANCEL)->isEnabled(); }, "idle");
    Then([] { Key(Qt::Key_Escape); });
    RunProgram();
}

TEST_F(QtWindows, TheOpenDialogShowsItsFilterAndMatchesNamesWithoutADot) {
    test::FakeTool tool(folder_.path());
    const std::string readme = Plain("README");
    TypeKey("k");
    Then([] { Command(ID_FILE_OPEN); });
    WaitUntil([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; }, "the dialog");
    WaitUntil(
        [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            const QModelIndex index = dialog->findChild<QFileSystemModel*>()->index(QString::fromStdString(readme));
            return index.isValid() && (index.flags() & Qt::ItemIsEnabled);
        },
        "README listed and selectable");
    Then([&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        EXPECT_EQ(dialog->nameFilters(), QStringList{"Tutti i Files (*.*)"});
        EXPECT_GE(dialog->width(), 760) << "wide enough for its columns";
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        // Typed as a person would, into the dialog's file-name field.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->clear();
        QTest::keyClicks(name, QStringLiteral("README"));
        QTest::keyClick(name, Qt::Key_Return);
    });
    WaitUntil([] { return ActiveTemplate() == IDD_MAIN && Active()->windowTitle() == "Druvel"; }, "idle");
    Then([] { Key(Qt::Key_Escape); });
    RunProgram();
    const auto runs = tool.Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0][1], readme);
    EXPECT_EQ(fs::current_path(), folder_.path());
}

// With the real tool and "Delete encrypted" on: types a key, drops `source`
// and waits for `encrypted`, removes `source`, then drops `encrypted` and
// waits for `source` to be back.
void QtWindows::RoundTripByDropping(const std::string& source, const std::string& encrypted) {
    fs::create_symlink(TAV_PATH, folder_.path() / "TAV");
    test::WriteFile(folder_.file("Druvel.ini"), "[DECRYPT]\r\nDelEncrypted=1\r\n");
    TypeKey("a real key");
    Then([&] { Drop({Url(source)}); });
    WaitUntil([&] { return fs::exists(encrypted) && Active()->windowTitle() == "Druvel"; }, "encryption");
    Then([&] { fs::remove_all(source); });
    Then([&] { Drop({Url(encrypted)}); });
    WaitUntil([&] { return fs::exists(source) && Active()->windowTitle() == "Druvel"; }, "decryption");
    Then([] { Key(Qt::Key_Escape); });
    RunProgram();
}

// With the real tool: a dropped file is encrypted next to itself, and the
// encrypted file dropped back gives the original and, with "Delete
// encrypted" on, goes away.
TEST_F(QtWindows, EncryptsAndDecryptsWithTheRealTool) {
    const std::string plain = Plain("notes.txt");
    const std::string original = test::ReadFile(plain);
    const std::string encrypted = folder_.file("notes_txt.TAV");
    RoundTripByDropping(plain, encrypted);
    EXPECT_EQ(test::ReadFile(plain), original);
    EXPECT_FALSE(fs::exists(encrypted));
}

// A dropped folder goes the same way: "my.album" becomes "my_album.TAV",
// which gives the folder back, and with "Delete encrypted" on goes away
// once the folder is there.
TEST_F(QtWindows, EncryptsAndDecryptsAFolderWithTheRealTool) {
    const std::string album = folder_.file("my.album");
    fs::create_directories(album + "/2026");
    test::WriteFile(album + "/2026/beach.jpg", "not really a picture");
    const std::string encrypted = folder_.file("my_album.TAV");
    RoundTripByDropping(album, encrypted);
    EXPECT_EQ(test::ReadFile(album + "/2026/beach.jpg"), "not really a picture");
    EXPECT_FALSE(fs::exists(encrypted));
}

}  // namespace

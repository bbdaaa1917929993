// The test driver of the Qt backend: the same scripts as the headless and
// Win32 drivers', carried out on the real widgets (offscreen) with Qt's own
// input: key events to the focused widget, clicks, drop events with URLs,
// the menu's actions, and the real message box and open-file dialog. A
// timer runs the script from whatever event loop is running, the program's
// own, a message box's or the open-file dialog's. What the program asks of
// the backend is recorded on the way through (headless::RecordCallsTo).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cstdlib>

#include "platform/backend.h"
#include "platform/backends/qt/backend.h"
#include "tests/ui/driver.h"
#include "tests/ui/script.h"

namespace test {

namespace {

using headless::Act;
using headless::ActKind;
using platform::Window;

// Without a move from the script for this long (in ticks of 5 ms), something
// waits for an act that never comes.
constexpr int kPatienceTicks = 400;

int g_idleTicks = 0;
bool g_inTick = false;
bool g_actQueued = false;

// ---- the acts, on the real widgets

QWidget* ControlWidget(const Window& w, int id) {
    return platform::qt::WidgetOf(w)->findChild<QWidget*>(QStringLiteral("control-%1").arg(id));
}

void PressKey(const Window& w, Qt::Key key) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : platform::qt::WidgetOf(w), key);
}

void TypeText(const Window& w, int id, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(ControlWidget(w, id));
    if (edit == nullptr) return;
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    if (text.empty()) return QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QString::fromStdString(text));
}

// Only an item the menu shows enabled can be chosen, as with a mouse.
void ChooseMenu(const Window& w, int command) {
    auto* action = platform::qt::WidgetOf(w)->findChild<QAction*>(QStringLiteral("command-%1").arg(command));
    if (action != nullptr && action->isEnabled()) action->trigger();
}

void DropFiles(const Window& w, const std::vector<std::string>& paths) {
    QWidget* view = platform::qt::WidgetOf(w);
    QList<QUrl> urls;
    for (const std::string& path : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(view->width() / 2, view->height() / 3);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &drop);
}

void SetCheck(const Window& w, int id, bool checked) {
    auto* box = qobject_cast<QCheckBox*>(ControlWidget(w, id));
    if (box != nullptr && box->isChecked() != checked) QTest::mouseClick(box, Qt::LeftButton);
}

void SelectItem(const Window& w, int id, int index) {
    auto* combo = qobject_cast<QComboBox*>(ControlWidget(w, id));
    if (combo == nullptr) return;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// What the layer holds is what the widgets show.
void ExpectShownAsHeld(const Window& w) {
    EXPECT_EQ(platform::qt::WidgetOf(w)->windowTitle().toStdString(), w.caption);
    for (const platform::Control& control : w.controls) {
        QWidget* widget = ControlWidget(w, control.id());
        if (control.id() == -1 || widget == nullptr) continue;
        SCOPED_TRACE("control " + std::to_string(control.id()));
        EXPECT_EQ(widget->isEnabled(), control.enabled);
        EXPECT_TRUE(w.iconic || widget->isVisible() == control.visible);
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_EQ(edit->text().toStdString(), control.text);
        } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            EXPECT_EQ(box->isChecked(), control.checked);
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            EXPECT_EQ(combo->currentIndex(), control.selection);
        }
    }
    if (w.focus >= 0 && !w.iconic) {
        EXPECT_EQ(QApplication::focusWidget(), ControlWidget(w, w.controls[static_cast<std::size_t>(w.focus)].id()));
    }
}

void Perform(Window& w, const Act& act) {
    QWidget* view = platform::qt::WidgetOf(w);
    switch (act.kind) {
    case ActKind::TypeText: return TypeText(w, act.id, act.text);
    case ActKind::Enter: return PressKey(w, Qt::Key_Return);
    case ActKind::Escape: return PressKey(w, Qt::Key_Escape);
    case ActKind::HelpKey: return PressKey(w, Qt::Key_F1);
    case ActKind::CloseBox: view->close(); return;
    case ActKind::Click:
        if (QWidget* button = ControlWidget(w, act.id)) QTest::mouseClick(button, Qt::LeftButton);
        return;
    case ActKind::ChooseMenu: return ChooseMenu(w, act.id);
    case ActKind::DropFiles: return DropFiles(w, act.paths);
    case ActKind::SetCheck: return SetCheck(w, act.id, act.flag);
    case ActKind::SelectItem: return SelectItem(w, act.id, act.index);
    case ActKind::Focus:
        if (QWidget* control = ControlWidget(w, act.id)) control->setFocus(Qt::TabFocusReason);
        return;
    case ActKind::Minimize: view->showMinimized(); return;
    case ActKind::Restore: view->showNormal(); return;
    case ActKind::Inspect:
        ExpectShownAsHeld(w);
        return act.check(w);
    case ActKind::Call: return act.check(w);
    case ActKind::AnswerMessageBox:
    case ActKind::AnswerFileDialog: return;
    }
}

void AnswerMessageBox(QMessageBox* box) {
    Act answer;
    const std::string text = box->text().toStdString();
    if (headless::TakeAnswer(ActKind::AnswerMessageBox, answer, "the message box \"" + text + "\"")) {
        headless::ExpectLastMessageBox(text, box->windowTitle().toStdString());
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->buttons().size(), 1);
    }
    box->button(QMessageBox::Ok)->click();
}

// What the program asked for is what the dialog shows: its filters by
// their descriptions, several existing files, room for the columns.
void ExpectShownAsAsked(QFileDialog* dialog) {
    const QStringList parts = QString::fromStdString(headless::Shown().fileDialogs.back().filter).split('|');
    QStringList descriptions;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (!parts[i].isEmpty()) descriptions.push_back(parts[i]);
    }
    EXPECT_EQ(dialog->nameFilters(), descriptions);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_GE(dialog->width(), 760) << "wide enough for its columns";
}

// Whether the dialog's list offers every one of `paths` (all in one
// folder), as a person sees it: a file it hides or grays cannot be chosen.
bool ListsEnabled(QFileDialog* dialog, const std::vector<std::string>& paths) {
    auto* model = dialog->findChild<QFileSystemModel*>();
    const QModelIndex folder = model->index(dialog->directory().absolutePath());
    QStringList offered;
    for (int row = 0; row < model->rowCount(folder); ++row) {
        const QModelIndex item = model->index(row, 0, folder);
        if (item.flags() & Qt::ItemIsEnabled) offered << model->fileName(item);
    }
    for (const std::string& path : paths) {
        if (!offered.contains(QString::fromStdString(path.substr(path.find_last_of('/') + 1)))) return false;
    }
    return true;
}

// Into the files' folder; once the dialog lists them, their names, quoted
// when there are several, typed as a person types them.
void AnswerFileDialog(QFileDialog* dialog) {
    const Act* next = headless::NextAct();
    if (next == nullptr || next->kind != ActKind::AnswerFileDialog || !next->confirm || next->paths.empty()) {
        Act answer;
        headless::TakeAnswer(ActKind::AnswerFileDialog, answer, "the open-file dialog");
        return dialog->reject();
    }
    const std::vector<std::string>& paths = next->paths;
    const QString folder = QString::fromStdString(paths[0].substr(0, paths[0].find_last_of('/')));
    if (dialog->directory().absolutePath() != folder) return dialog->setDirectory(folder);
    if (!ListsEnabled(dialog, paths) && ++g_idleTicks < kPatienceTicks) return;
    g_idleTicks = 0;
    ExpectShownAsAsked(dialog);
    EXPECT_TRUE(ListsEnabled(dialog, paths)) << "the dialog does not offer every chosen file";
    QString names;
    for (const std::string& path : paths) {
        const QString name = QString::fromStdString(path.substr(path.find_last_of('/') + 1));
        names += paths.size() == 1 ? name : "\"" + name + "\" ";
    }
    headless::DropNextAct();
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(names);
    QMetaObject::invokeMethod(dialog, "accept");  // as the Open button does
}

// Nothing the script can do now: wait a while (a dialog may be on its way),
// then say what is stuck.
void WaitOrGiveUp(Window& w) {
    if (++g_idleTicks < kPatienceTicks) return;
    g_idleTicks = 0;
    headless::GiveUp(w);
}

void Tick() {
    if (g_inTick) return;
    g_inTick = true;
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        AnswerMessageBox(box);
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        AnswerFileDialog(dialog);
    } else if (Window* w = platform::ActiveWindow(); w != nullptr && w->view != nullptr) {
        Act act;
        if (!g_actQueued && headless::TakeDueAct(headless::WaitingForTheTool(), act)) {
            g_idleTicks = 0;
            // Run from the event loop rather than inside this tick: an act
            // may open a dialog whose own loop must tick too.
            g_actQueued = true;
            QTimer::singleShot(0, [act] {
                g_actQueued = false;
                if (Window* active = platform::ActiveWindow(); active != nullptr && active->view != nullptr) {
                    Perform(*active, act);
                }
            });
        } else if (!headless::WaitingForTheTool() && !g_actQueued) {
            WaitOrGiveUp(*w);
        }
    }
    g_inTick = false;
}

void WrapBackend() {
    platform::Backend& backend = platform::ActiveBackend();
    static char name[] = "Druvel";
    static char* argv[] = {name, nullptr};
    backend.Init(1, argv);
    headless::RecordCallsTo(backend);
    auto* timer = new QTimer(QApplication::instance());  // lives as long as the application
    QObject::connect(timer, &QTimer::timeout, &Tick);
    timer->start(5);
}

}  // namespace

void StartDriver() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    headless::Reset();
    platform::SelectBackend("qt");
    static const bool wrapped = (WrapBackend(), true);
    (void)wrapped;
    g_idleTicks = 0;
}

int WindowsLeftOpen() {
    int visible = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) visible += widget->isVisible() ? 1 : 0;
    return visible;
}

}  // namespace test

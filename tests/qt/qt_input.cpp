// A user's input to the real Qt widgets (offscreen), for the real-window
// driver: key events to the focused widget, clicks, drop events with URLs,
// the menu's actions, and the real message box and open-file dialog.
#include <gtest/gtest.h>

#include <algorithm>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "platform/backends/qt/backend.h"
#include "platform/window.h"
#include "tests/ui/real_input.h"

namespace real_input {

namespace {

// How many ticks the open-file dialog may take to list the chosen files.
constexpr int kListingTicks = 400;
int g_listingTicks = 0;

// The widget of the program's window whose view `view` is.
QWidget* Widget(Handle view) {
    for (const platform::Window* window : platform::OpenWindows()) {
        if (window->view == view) return platform::qt::WidgetOf(*window);
    }
    return nullptr;
}

QWidget* ControlWidget(Handle view, int id) {
    return Widget(view)->findChild<QWidget*>(QStringLiteral("control-%1").arg(id));
}

using platform::qt::QStringOf;
using platform::qt::TextOf;

std::string TextOf(QWidget* widget) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return TextOf(edit->text());
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return TextOf(button->text());
    if (auto* label = qobject_cast<QLabel*>(widget)) return TextOf(label->text());
    return {};
}

// One character as a keyboard or an input method sends it: a key press
// carrying its text (both halves of a surrogate pair together). Half of a
// pair alone, which no keyboard sends, comes as a paste would bring it.
void TypeCharacter(QLineEdit* edit, const QString& character) {
    if (character.size() == 1 && character.at(0).isSurrogate()) {
        QGuiApplication::clipboard()->setText(character);
        return QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    }
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent key(type, Qt::Key_unknown, Qt::NoModifier, character);
        QApplication::sendEvent(edit, &key);
    }
}

// Whether the dialog's list offers every one of `paths`, as a person sees
// it: a file it hides (no index) or grays cannot be chosen.
bool Offers(QFileDialog* dialog, const std::vector<std::string>& paths) {
    auto* model = dialog->findChild<QFileSystemModel*>();
    return std::all_of(paths.begin(), paths.end(), [model](const std::string& path) {
        return model->index(QString::fromStdString(path)).flags().testFlag(Qt::ItemIsEnabled);
    });
}

}  // namespace

const char* BackendName() { return "qt"; }

void StartTimer(void (*tick)()) {
    auto* timer = new QTimer(QApplication::instance());  // lives as long as the application
    QObject::connect(timer, &QTimer::timeout, tick);
    timer->start(5);
}

// Qt's input is handled at once: an act that opens a dialog runs from the
// event loop, so that the dialog's own loop can tick.
void Soon(std::function<void()> act) { QTimer::singleShot(0, std::move(act)); }

void PressKey(Handle view, Key key) {
    QWidget* focus = QApplication::focusWidget();
    const Qt::Key qtKey = key == Key::Enter ? Qt::Key_Return : key == Key::Escape ? Qt::Key_Escape : Qt::Key_F1;
    QTest::keyClick(focus != nullptr ? focus : Widget(view), qtKey);
}

void TypeText(Handle view, int id, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(ControlWidget(view, id));
    if (edit == nullptr) return;
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    if (text.empty()) return QTest::keyClick(edit, Qt::Key_Backspace);
    const QString typed = QStringOf(text);
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const bool pair = typed.at(i).isHighSurrogate() && i + 1 < typed.size() && typed.at(i + 1).isLowSurrogate();
        TypeCharacter(edit, typed.mid(i, pair ? 2 : 1));
        i += pair ? 1 : 0;
    }
}

void Click(Handle view, int id) {
    if (QWidget* button = ControlWidget(view, id)) QTest::mouseClick(button, Qt::LeftButton);
}

// Only an item the menu shows enabled can be chosen, as with a mouse.
void ChooseMenu(Handle view, int command) {
    auto* action = Widget(view)->findChild<QAction*>(QStringLiteral("command-%1").arg(command));
    if (action != nullptr && action->isEnabled()) action->trigger();
}

void PressCloseBox(Handle view) { Widget(view)->close(); }

// A drop as a file manager makes it: local files' URLs from the names'
// bytes; what already is a URL (a web address, another host's file) as it is.
void DropFiles(Handle view, const std::vector<std::string>& paths) {
    QWidget* widget = Widget(view);
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        const QByteArray bytes = QByteArray::fromStdString(path);
        urls.push_back(QUrl::fromEncoded(bytes.contains("://") ? bytes : "file://" + bytes.toPercentEncoding("/")));
    }
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(widget->width() / 2, widget->height() / 3);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &drop);
}

void SelectItem(Handle view, int id, int index) {
    auto* combo = qobject_cast<QComboBox*>(ControlWidget(view, id));
    if (combo == nullptr) return;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void Focus(Handle view, int id) {
    if (QWidget* control = ControlWidget(view, id)) control->setFocus(Qt::TabFocusReason);
}

void Minimize(Handle view, bool minimized) {
    QWidget* widget = Widget(view);
    minimized ? widget->showMinimized() : widget->showNormal();
}

std::string Caption(Handle view) { return TextOf(Widget(view)->windowTitle()); }

ControlShown ShownControl(Handle view, int id) {
    QWidget* widget = ControlWidget(view, id);
    if (widget == nullptr) return {};
    auto* box = qobject_cast<QCheckBox*>(widget);
    auto* combo = qobject_cast<QComboBox*>(widget);
    ControlShown shown{true, TextOf(widget), widget->isEnabled(), widget->isVisibleTo(Widget(view)),
                       box != nullptr && box->isChecked(), combo != nullptr ? combo->currentIndex() : -1, {}};
    for (int i = 0; combo != nullptr && i < combo->count(); ++i) shown.items.push_back(TextOf(combo->itemText(i)));
    return shown;
}

int FocusedControl(Handle view) {
    QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr || focus->window() != Widget(view)) return 0;
    const QString name = focus->objectName();
    return name.startsWith(QStringLiteral("control-")) ? name.mid(8).toInt() : 0;
}

CommonDialog FindCommonDialog(const std::vector<Handle>&, Handle& found) {
    QWidget* modal = QApplication::activeModalWidget();
    found = modal;
    if (qobject_cast<QMessageBox*>(modal) != nullptr) return CommonDialog::MessageBox;
    if (qobject_cast<QFileDialog*>(modal) != nullptr) return CommonDialog::OpenFile;
    return CommonDialog::None;
}

BoxShown ShownMessageBox(Handle handle) {
    auto* box = static_cast<QMessageBox*>(handle);
    return {TextOf(box->text()), TextOf(box->windowTitle()), box->icon() == QMessageBox::NoIcon && box->buttons().size() == 1};
}

void PressButton(Handle dialog, int id) {
    if (auto* box = qobject_cast<QMessageBox*>(static_cast<QWidget*>(dialog))) {
        if (QAbstractButton* button = box->button(id == IDOK ? QMessageBox::Ok : QMessageBox::Cancel)) button->click();
    } else if (auto* other = qobject_cast<QDialog*>(static_cast<QWidget*>(dialog))) {
        id == IDOK ? other->accept() : other->reject();
    }
}

// Into the files' folder; once the dialog lists them, their names, quoted
// when there are several, typed as a person types them.
bool ChooseFiles(Handle handle, const std::vector<std::string>& paths) {
    auto* dialog = static_cast<QFileDialog*>(handle);
    const QString folder = QString::fromStdString(FolderOf(paths));
    if (dialog->directory().absolutePath() != folder) {
        dialog->setDirectory(folder);
        return false;
    }
    if (!Offers(dialog, paths) && ++g_listingTicks < kListingTicks) return false;
    g_listingTicks = 0;
    EXPECT_TRUE(Offers(dialog, paths)) << "the dialog does not offer every chosen file";
    const QString names = QString::fromStdString(TypedNames(paths));
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(names);
    QMetaObject::invokeMethod(dialog, "accept");  // as the Open button does
    return true;
}

int VisibleWindows() {
    int visible = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) visible += widget->isVisible() ? 1 : 0;
    return visible;
}

}  // namespace real_input

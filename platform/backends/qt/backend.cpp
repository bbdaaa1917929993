// The Qt Widgets backend: each dialog becomes a fixed-size top-level widget
// laid out from its template in dialog units, with the menu bar above the
// client area. Input goes back to the window layer, which owns all state.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/backend.h"
#include "platform/backends/qt/backend.h"
#include "platform/backends/qt/paths.h"
#include "platform/text.h"

namespace platform::qt {

namespace {

int g_argc = 1;
char* g_argv[] = {const_cast<char*>("Druvel"), nullptr};

class DialogView;

DialogView* ViewOf(const Window& window) { return static_cast<DialogView*>(window.view); }

// Applies the layer's state to widgets without echoing it back as input.
class Updating {
public:
    explicit Updating(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
    ~Updating() { flag_ = previous_; }

private:
    bool& flag_;
    bool previous_;
};

// The client area: the controls' parent, and where a minimised window's
// icon is painted.
class ClientArea : public QWidget {
public:
    using QWidget::QWidget;
    std::optional<std::pair<QPoint, QImage>> icon;

protected:
    void paintEvent(QPaintEvent*) override {
        if (!icon) return;
        QPainter painter(this);
        painter.drawImage(icon->first, icon->second);
    }
};

class DialogView : public QWidget {
public:
    explicit DialogView(Window& window);

    Window& window;
    QMenuBar* menuBar = nullptr;
    ClientArea* client = nullptr;
    std::vector<QWidget*> widgets;  // one per control, in the template's order
    QEventLoop* loop = nullptr;
    bool updating = false;

    void Apply(const Control& control, QWidget* widget);
    int IndexOf(const QObject* widget) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenu();
    void NameForScreenReaders();
    QWidget* MakeWidget(Control& control);
    bool HandleKey(QKeyEvent* key);
};

std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (const std::optional<std::string> path = LocalPathOfUrl(url)) paths.push_back(*path);
    }
    return paths;
}

DialogView::DialogView(Window& w) : QWidget(nullptr), window(w) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (w.tmpl->hasCloseBox()) flags |= Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint;
    setWindowFlags(flags);
    setFont(TemplateFont(*w.tmpl));
    setWindowTitle(QStringOf(w.caption));
    setAcceptDrops(w.tmpl->acceptsFiles());
    installEventFilter(this);

    if (FindMenu(w.tmpl->menuId) != nullptr) BuildMenu();
    client = new ClientArea(this);
    const QSize clientSize = DialogUnitsToPixels(*w.tmpl, QRect(0, 0, w.tmpl->cx, w.tmpl->cy)).size();
    const int menuHeight = menuBar != nullptr ? menuBar->sizeHint().height() : 0;
    if (menuBar != nullptr) menuBar->setGeometry(0, 0, clientSize.width(), menuHeight);
    client->setGeometry(0, menuHeight, clientSize.width(), clientSize.height());
    setFixedSize(clientSize.width(), clientSize.height() + menuHeight);

    for (Control& control : w.controls) widgets.push_back(MakeWidget(control));
    NameForScreenReaders();
    // Group boxes are drawn under the controls they frame.
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        if (w.controls[i].tmpl->kind == ControlKind::GroupBox) widgets[i]->lower();
    }
}

// Screen readers hear each control by its text, and a field or a list by
// the label the template puts before it ("Key:", "Rounds:"): their own text
// is what was typed or chosen (the key, above all, is never a name).
// The label also becomes the control's buddy, the relation through which
// Linux screen readers name a list.
void DialogView::NameForScreenReaders() {
    QLabel* label = nullptr;
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        const ControlTemplate& t = *window.controls[i].tmpl;
        const QString text = QString::fromUtf8(t.text).remove(QLatin1Char('&'));
        if (t.kind == ControlKind::Static) label = qobject_cast<QLabel*>(widgets[i]);
        const bool labelled = t.kind == ControlKind::Edit || t.kind == ControlKind::ComboBox;
        if (labelled && label != nullptr) label->setBuddy(widgets[i]);
        widgets[i]->setAccessibleName(!labelled ? text : label != nullptr ? label->text() : QString());
    }
}

void DialogView::BuildMenu() {
    menuBar = new QMenuBar(this);
    menuBar->setNativeMenuBar(false);
    for (const MenuPopup& popup : FindMenu(window.tmpl->menuId)->popups) {
        QMenu* menu = menuBar->addMenu(QString::fromUtf8(popup.text));
        for (const MenuItem& item : popup.items) {
            if (item.text == nullptr) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromUtf8(item.text));
            action->setObjectName(QStringLiteral("command-%1").arg(item.command));
            action->setEnabled(!item.grayed);
            const int command = item.command;
            connect(action, &QAction::triggered, this, [this, command] { input::ChooseMenu(window, command); });
        }
    }
}

QWidget* DialogView::MakeWidget(Control& control) {
    const ControlTemplate& t = *control.tmpl;
    const int id = t.id;
    QWidget* widget = nullptr;
    switch (t.kind) {
    case ControlKind::PushButton:
    case ControlKind::CheckBox: {
        QAbstractButton* button = nullptr;
        if (t.kind == ControlKind::CheckBox) {
            button = new QCheckBox(client);
        } else {
            auto* push = new QPushButton(client);
            push->setAutoDefault(false);  // Enter is the dialog manager's
            // Drawn as the default button, as the platform shows it; its
            // meaning (Enter) stays with the dialog manager.
            push->setDefault((t.style & 0x0F) == BS_DEFPUSHBUTTON);
            button = push;
        }
        connect(button, &QAbstractButton::clicked, this, [this, id] {
            if (!updating) input::ClickButton(window, id);
        });
        widget = button;
        break;
    }
    case ControlKind::Static: {
        auto* label = new QLabel(client);
        Qt::Alignment alignment = (t.style & SS_CENTER) != 0 ? Qt::AlignHCenter : Qt::AlignLeft;
        alignment |= (t.style & SS_CENTERIMAGE) != 0 ? Qt::AlignVCenter : Qt::AlignTop;
        label->setAlignment(alignment);
        if ((t.style & SS_SUNKEN) != 0) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        widget = label;
        break;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(client);
        connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
            if (!updating) input::TypeText(window, id, TextOf(text));
        });
        widget = edit;
        break;
    }
    case ControlKind::GroupBox:
        widget = new QGroupBox(client);
        break;
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(client);
        for (const std::string& item : control.items) combo->addItem(QStringOf(item));
        combo->setMaxVisibleItems(static_cast<int>(control.items.size()));
        connect(combo, qOverload<int>(&QComboBox::activated), this, [this, id](int index) {
            if (!updating) input::SelectItem(window, id, index);
        });
        widget = combo;
        break;
    }
    }
    widget->setObjectName(QStringLiteral("control-%1").arg(id));
    QRect rect = DialogUnitsToPixels(*window.tmpl, QRect(t.x, t.y, t.cx, t.cy));
    // A drop-down list's template height includes its open list.
    if (t.kind == ControlKind::ComboBox) rect.setHeight(widget->sizeHint().height());
    widget->setGeometry(rect);
    const bool focusable = t.kind != ControlKind::Static && t.kind != ControlKind::GroupBox;
    widget->setFocusPolicy(!focusable ? Qt::NoFocus : t.tabStop() ? Qt::StrongFocus : Qt::ClickFocus);
    widget->installEventFilter(this);
    Apply(control, widget);
    return widget;
}

void DialogView::Apply(const Control& control, QWidget* widget) {
    const Updating guard(updating);
    const QString text = QStringOf(control.text);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
        if (button->isCheckable()) button->setChecked(control.checked);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->text() != text) edit->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setCurrentIndex(control.selection);
    }
    widget->setEnabled(control.enabled);
    widget->setVisible(control.visible);
}

int DialogView::IndexOf(const QObject* widget) const {
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        if (widgets[i] == widget) return static_cast<int>(i);
    }
    return -1;
}

// Enter, Escape and F1 go to the layer's dialog manager wherever the focus is.
bool DialogView::HandleKey(QKeyEvent* key) {
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        input::Enter(window);
        return true;
    case Qt::Key_Escape:
        input::Escape(window);
        return true;
    case Qt::Key_F1:
        input::HelpKey(window);
        return true;
    default:
        return false;
    }
}

bool DialogView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // An open drop-down list handles its own keys.
        if (auto* combo = qobject_cast<QComboBox*>(watched); combo != nullptr && combo->view()->isVisible()) return false;
        return HandleKey(key);
    }
    if (event->type() == QEvent::FocusIn && !updating) {
        const int index = IndexOf(watched);
        if (index >= 0 && window.focus != index) {
            const Updating guard(updating);
            input::FocusControl(window, window.controls[static_cast<std::size_t>(index)].id());
        }
    }
    return QWidget::eventFilter(watched, event);
}

// The close box asks the layer; the window goes away only when its dialog ends.
void DialogView::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (!window.ended) input::CloseBox(window);
}

void DialogView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        const bool minimised = isMinimized();
        if (minimised != window.iconic) {
            if (!minimised) client->icon.reset();
            input::SetIconic(window, minimised);
            client->update();
        }
    }
    QWidget::changeEvent(event);
}

void DialogView::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void DialogView::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = LocalFiles(event->mimeData());
    if (paths.empty()) return;
    // The file manager hears at once that the drop was taken; the batch
    // runs from the event loop right after.
    event->acceptProposedAction();
    QTimer::singleShot(0, this, [this, paths] { input::DropFiles(window, paths); });
}

// Windows in the centre of the screen (the main window) or of their owner.
void Place(DialogView& view) {
    QRect area;
    if (view.window.owner != nullptr && ViewOf(*view.window.owner) != nullptr) {
        area = ViewOf(*view.window.owner)->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    view.move(area.center() - QPoint(view.width() / 2, view.height() / 2));
}

// Gives the input back to `owner` once a window above it has gone, as the
// platform's own dialogs do.
void Reactivate(Window* owner) {
    if (owner != nullptr && ViewOf(*owner) != nullptr) ViewOf(*owner)->activateWindow();
}

// Translates a Windows filter ("Text|*.*|...||") into Qt's name filters.
QStringList NameFilters(const std::string& filter) {
    QStringList parts = QStringOf(filter).split('|');
    QStringList names;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (!parts[i].isEmpty()) names << parts[i];
    }
    return names.isEmpty() ? QStringList{QStringLiteral("*")} : names;
}

// The patterns of the filter's entry `index`, matched as Windows matches
// them: "*.*" is every name, with a dot or without.
QStringList PatternsOf(const std::string& filter, int index) {
    const QStringList parts = QStringOf(filter).split('|');
    const int at = 2 * index + 1;
    QStringList patterns;
    if (at < parts.size()) {
        for (const QString& pattern : parts[at].split(';', Qt::SkipEmptyParts)) {
            patterns << (pattern.trimmed() == QStringLiteral("*.*") ? QStringLiteral("*") : pattern.trimmed());
        }
    }
    return patterns.isEmpty() ? QStringList{QStringLiteral("*")} : patterns;
}

// ---- the backend's operations

bool Init(int argc, char** argv) {
    const bool hasDisplay = std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
                            std::getenv("QT_QPA_PLATFORM") != nullptr;
    if (!hasDisplay) {
        std::fputs("Druvel: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n", stderr);
        return false;
    }
    if (QApplication::instance() == nullptr) {
        g_argc = argc > 0 ? 1 : 0;
        g_argv[0] = argc > 0 ? argv[0] : g_argv[0];
        new QApplication(g_argc, g_argv);  // lives as long as the process
    }
    return true;
}

void DestroyWindow(Window& window) {
    delete ViewOf(window);
    window.view = nullptr;
    Reactivate(window.owner);
}

void CaptionChanged(Window& window) {
    if (DialogView* view = ViewOf(window)) view->setWindowTitle(QStringOf(window.caption));
}

void ControlChanged(Window& window, Control& control) {
    DialogView* view = ViewOf(window);
    if (view == nullptr) return;
    const int index = window.IndexOf(control.id());
    if (index >= 0) view->Apply(control, view->widgets[static_cast<std::size_t>(index)]);
}

void FocusChanged(Window& window) {
    DialogView* view = ViewOf(window);
    if (view == nullptr || window.focus < 0) return;
    const Updating guard(view->updating);
    view->widgets[static_cast<std::size_t>(window.focus)]->setFocus(Qt::OtherFocusReason);
}

void IconChanged(Window& window) {
    DialogView* view = ViewOf(window);
    const HICON icon = window.icons[ICON_BIG] != nullptr ? window.icons[ICON_BIG] : window.icons[ICON_SMALL];
    if (view == nullptr || icon == nullptr) return;
    const QIcon qicon(QPixmap::fromImage(ImageOfIcon(icon)));
    view->setWindowIcon(qicon);
    QApplication::setWindowIcon(qicon);
}

void ShowWindow(Window& window) {
    auto* view = new DialogView(window);
    window.view = view;
    Place(*view);
    view->setWindowModality(window.owner != nullptr ? Qt::ApplicationModal : Qt::NonModal);
    view->show();
    view->activateWindow();
    // The focused control is marked from the start, as after a Tab.
    view->setAttribute(Qt::WA_KeyboardFocusChange);
    FocusChanged(window);
    IconChanged(window);
}

void BringToForeground(Window& window) {
    if (DialogView* view = ViewOf(window)) {
        view->raise();
        view->activateWindow();
    }
}

void RunModalLoop(Window& window) {
    DialogView* view = ViewOf(window);
    QEventLoop loop;
    view->loop = &loop;
    if (!window.ended) loop.exec();
    view->loop = nullptr;
    view->hide();
}

void EndModalLoop(Window& window) {
    DialogView* view = ViewOf(window);
    if (view != nullptr && view->loop != nullptr) view->loop->quit();
}

void PumpEvents(int milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, milliseconds);
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

int MessageBox(const MessageBoxRequest& request) {
    QMessageBox box(request.owner != nullptr ? ViewOf(*request.owner) : nullptr);
    box.setWindowTitle(QStringOf(request.caption));
    box.setText(QStringOf(request.text));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    Reactivate(request.owner);
    return IDOK;
}

FileDialogResult FileDialog(const FileDialogRequest& request) {
    QFileDialog dialog(request.owner != nullptr ? ViewOf(*request.owner) : nullptr, QString(), QDir::currentPath());
    dialog.setObjectName(QStringLiteral("open-file-dialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    // Wide and tall enough that names, sizes and dates are readable.
    dialog.resize(dialog.sizeHint().expandedTo(QSize(760, 480)));
    dialog.setFileMode((request.flags & OFN_ALLOWMULTISELECT) != 0 ? QFileDialog::ExistingFiles
                                                                   : QFileDialog::ExistingFile);
    const QStringList names = NameFilters(request.filter);
    dialog.setNameFilters(names);
    // The dialog would match "*.*" literally; the file list follows Windows.
    auto* model = dialog.findChild<QFileSystemModel*>();
    const auto matchAsWindows = [&dialog, &names, model, filter = request.filter] {
        if (model != nullptr) model->setNameFilters(PatternsOf(filter, static_cast<int>(names.indexOf(dialog.selectedNameFilter()))));
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, matchAsWindows);
    matchAsWindows();

    FileDialogResult result;
    const bool accepted = dialog.exec() == QDialog::Accepted;
    Reactivate(request.owner);
    if (!accepted) return result;
    result.confirmed = true;
    for (const QString& path : dialog.selectedFiles()) {
        if (const std::optional<std::string> exact = LocalPathOfName(path)) result.paths.push_back(*exact);
    }
    return result;
}

void DrawIcon(Window& window, int x, int y, HICON icon) {
    if (DialogView* view = ViewOf(window)) {
        view->client->icon = std::make_pair(QPoint(x, y), ImageOfIcon(icon));
        view->client->update();
    }
}

void EraseIconBackground(Window& window) {
    if (DialogView* view = ViewOf(window)) view->client->icon.reset();
}

RECT ClientRect(const Window& window) {
    const DialogView* view = ViewOf(window);
    if (view == nullptr || window.iconic) return {0, 0, 0, 0};
    return {0, 0, view->client->width(), view->client->height()};
}

int IconSize() { return 32; }

}  // namespace

QString QStringOf(const std::string& text) {
    std::u16string units;
    if (!Utf16FromUtf8(text, units)) return QString::fromStdString(text);
    return QStringView(units).toString();
}

std::string TextOf(const QString& text) {
    const QStringView units(text);
    return Utf8FromUtf16(std::u16string_view(units.utf16(), static_cast<std::size_t>(units.size())));
}

QFont TemplateFont(const DialogTemplate& tmpl) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(tmpl.pointSize);
    return font;
}

QRect DialogUnitsToPixels(const DialogTemplate& tmpl, const QRect& units) {
    // A dialog unit is a quarter of the font's average character width
    // across, and an eighth of its height down.
    const QFontMetrics metrics(TemplateFont(tmpl));
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    const int baseY = metrics.height();
    const auto x = [baseX](int u) { return (u * baseX + 2) / 4; };
    const auto y = [baseY](int u) { return (u * baseY + 4) / 8; };
    return QRect(x(units.x()), y(units.y()), x(units.x() + units.width()) - x(units.x()),
                 y(units.y() + units.height()) - y(units.y()));
}

QImage ImageOfIcon(HICON icon) {
    QImage image(icon->width, icon->height, QImage::Format_RGB32);
    for (int y = 0; y < icon->height; ++y) {
        for (int x = 0; x < icon->width; ++x) image.setPixel(x, y, 0xFF000000u | icon->Pixel(x, y));
    }
    return image;
}

QWidget* WidgetOf(const Window& window) { return ViewOf(window); }

}  // namespace platform::qt

namespace platform {

Backend g_qtBackend{
    "qt",
    qt::Init,
    qt::ShowWindow,
    qt::DestroyWindow,
    qt::CaptionChanged,
    qt::ControlChanged,
    qt::FocusChanged,
    qt::IconChanged,
    qt::BringToForeground,
    qt::RunModalLoop,
    qt::EndModalLoop,
    qt::PumpEvents,
    qt::MessageBox,
    qt::FileDialog,
    qt::DrawIcon,
    qt::EraseIconBackground,
    qt::ClientRect,
    qt::IconSize,
};

}  // namespace platform

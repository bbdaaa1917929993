// Renders Druvel's four windows to PNG files with the Qt backend on the
// offscreen platform, each under a drawn title bar, and the application icon.
// Usage: druvel_render <output folder>
#include <QApplication>
#include <QPainter>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "core/options.h"
#include "platform/backend.h"
#include "platform/backends/qt/backend.h"
#include "res/resource.h"
#include "ui/about_dialog.h"
#include "ui/help_dialog.h"
#include "ui/main_dialog.h"
#include "ui/settings_dialog.h"

namespace {

// The window's client area and menu under a plain title bar with its caption.
QImage WithTitleBar(const platform::Window& window, const QImage& body) {
    const int title = 24;
    QImage framed(body.width() + 2, body.height() + title + 1, QImage::Format_RGB32);
    framed.fill(QColor(0x40, 0x40, 0x48));
    QPainter painter(&framed);
    painter.fillRect(1, 1, body.width(), title - 1, QColor(0x2B, 0x57, 0x97));
    int textX = 8;
    if (window.icons[ICON_SMALL] != nullptr) {
        painter.drawImage(QRect(5, 4, 16, 16), platform::qt::ImageOfIcon(window.icons[ICON_SMALL]));
        textX = 26;
    }
    QFont font = platform::qt::TemplateFont(*window.tmpl);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(textX, 1, body.width() - textX, title - 1), Qt::AlignVCenter | Qt::AlignLeft,
                     QString::fromStdString(window.caption));
    painter.drawImage(1, title, body);
    return framed;
}

void Render(CDialog& dialog, const std::string& path) {
    QTimer::singleShot(300, [&dialog, path] {
        platform::Window* window = platform::ActiveWindow();
        const QImage body = platform::qt::WidgetOf(*window)->grab().toImage();
        if (!WithTitleBar(*window, body).save(QString::fromStdString(path))) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
        }
        dialog.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: druvel_render <output folder>\n", stderr);
        return 2;
    }
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!platform::SelectBackend("qt") || !platform::ActiveBackend().Init(argc, argv)) return 1;
    SetApplicationName("Druvel");

    // Settings are read and written in a scratch folder, never in the tree.
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() / "druvel-render";
    std::filesystem::create_directories(scratch);
    std::filesystem::current_path(scratch);
    std::filesystem::remove(scratch / "Druvel.ini");

    CMainDialog main;
    Render(main, (out / "main-window.png").string());
    g_options = Options{2, 0, 0, 1, 0};
    CSettingsDialog settings;
    Render(settings, (out / "settings-window.png").string());
    CAboutDialog about;
    Render(about, (out / "about-window.png").string());
    CHelpDialog help;
    Render(help, (out / "help-window.png").string());
    platform::qt::ImageOfIcon(LoadIcon(IDR_MAINFRAME)).save(QString::fromStdString((out / "druvel-icon.png").string()));
    std::filesystem::remove_all(scratch);
    return 0;
}

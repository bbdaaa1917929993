// Renders the scalable application icon to the PNG sizes the desktop's icon
// theme looks for, with a transparent background.
//   druvel_icons icon.svg output-folder
// Writes output-folder/<N>x<N>/apps/druvel.png for each size, as the theme lays them out; fails when the
// SVG cannot be read or a corner of a rendering is not transparent.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: druvel_icons icon.svg output-folder\n", stderr);
        return 2;
    }
    QGuiApplication app(argc, argv);
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "druvel_icons: cannot read %s\n", argv[1]);
        return 1;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        if (qAlpha(image.pixel(0, 0)) != 0 || qAlpha(image.pixel(size - 1, 0)) != 0) {
            std::fprintf(stderr, "druvel_icons: the %dx%d icon has no transparent corner\n", size, size);
            return 1;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + QStringLiteral("/druvel.png"))) {
            std::fprintf(stderr, "druvel_icons: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}

#pragma once

// What the Qt backend offers beyond its operations, for its tests and the
// screenshot tool. Never included by ui/.

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <string>

#include "platform/window.h"

namespace platform::qt {

// The program's text as Qt holds it (UTF-16), and back, exactly: a lone
// surrogate in a field travels as generalised UTF-8 (platform/text.h) and
// is never replaced. Bytes that are not even that (a Linux name in another
// encoding, in a caption) are shown as Qt decodes them.
QString QStringOf(const std::string& text);
std::string TextOf(const QString& text);

// The stand-in for the templates' font: a sans-serif face at their size.
QFont TemplateFont(const DialogTemplate& tmpl);

// Converts a rectangle in the template's dialog units to pixels.
QRect DialogUnitsToPixels(const DialogTemplate& tmpl, const QRect& units);

// The icon resource as an image.
QImage ImageOfIcon(HICON icon);

// The top-level widget showing `window`, or nullptr.
QWidget* WidgetOf(const Window& window);

}  // namespace platform::qt

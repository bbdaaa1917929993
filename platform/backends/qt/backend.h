#pragma once

// What the Qt backend offers beyond its operations, for its tests and the
// screenshot tool. Never included by ui/.

#include <QFont>
#include <QImage>
#include <QRect>
#include <QWidget>

#include "platform/window.h"

namespace platform::qt {

// The stand-in for the templates' font: a sans-serif face at their size.
QFont TemplateFont(const DialogTemplate& tmpl);

// Converts a rectangle in the template's dialog units to pixels.
QRect DialogUnitsToPixels(const DialogTemplate& tmpl, const QRect& units);

// The icon resource as an image.
QImage ImageOfIcon(HICON icon);

// The top-level widget showing `window`, or nullptr.
QWidget* WidgetOf(const Window& window);

}  // namespace platform::qt

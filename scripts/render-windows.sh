#!/bin/sh
# Renders Druvel's four windows and its icon to PNG files under docs/,
# without a display (Qt's offscreen platform).
set -eu
cd "$(dirname "$0")/.."
make build >/dev/null
QT_QPA_PLATFORM=offscreen build/default/ui/druvel_render docs
echo "Wrote docs/main-window.png, settings-window.png, about-window.png, help-window.png and druvel-icon.png"

#!/bin/sh
# Takes the README's picture of Druvel.exe's main window under Wine, from
# the Windows build (make windows first):
#   sh scripts/screenshot-windows.sh [OUT.png]   (default docs/windows-main-window.png)
# Needs x11-apps (xwd) and xdotool besides the Windows test set-up.
set -eu
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/windows-main-window.png}")
build=$(pwd)/build/win32
export WINEPREFIX="$build/wine" WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/ui/Druvel.exe" "$build/tav/TAV.exe" "$work/"
cd "$work"
xvfb-run -a -s "-screen 0 640x480x24" sh -c '
  wineserver -p
  wine Druvel.exe &
  for i in $(seq 100); do
    window=$(xdotool search --name "^Druvel\$" 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.1
  done
  sleep 1
  xwd -id "$window" -silent >shot.xwd
  wineserver -k'
python3 "$OLDPWD/scripts/xwd_to_png.py" shot.xwd "$out"
echo "wrote $out"

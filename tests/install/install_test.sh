#!/bin/sh
# Installs Druvel into a scratch prefix and starts it the way the desktop
# entry does: the launcher must make the per-user working folder, link TAV
# into it, and start Druvel there (on the headless backend, which has no user
# and so closes the window at once).
# Usage: install_test.sh <build folder>
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/TAV bin/druvel libexec/druvel/Druvel share/applications/druvel.desktop \
            share/icons/hicolor/scalable/apps/druvel.svg; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
# Every theme size, as PNG with an alpha channel (colour type 6).
for size in 16 22 24 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/druvel.png"
  [ "$(od -An -tu1 -j25 -N1 "$icon" | tr -d ' ')" = 6 ] || { echo "no RGBA icon: $icon"; exit 1; }
done
[ "$(grep -c -x -e Exec=druvel -e Icon=druvel -e StartupWMClass=Druvel "$prefix/share/applications/druvel.desktop")" = 3 ] ||
  { echo "the desktop entry lacks Exec, Icon or StartupWMClass"; exit 1; }

# The installed tree may be moved: the launcher finds its programs beside it.
mv "$prefix" "$scratch/moved"
prefix="$scratch/moved"
start() { env HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" DRUVEL_BACKEND=headless env "$@" "$prefix/bin/druvel"; }
start
work="$scratch/data/druvel"
[ "$(readlink "$work/TAV")" = "$prefix/bin/TAV" ] || { echo "TAV not linked into $work"; exit 1; }
[ -f "$work/Druvel.ini" ] || { echo "Druvel did not start in $work"; exit 1; }

# A second start keeps the folder, its settings and its link.
printf '[ENCRYPT]\r\nRounds=5\r\n' > "$work/Druvel.ini"
start
grep -q 'Rounds=5' "$work/Druvel.ini"

# Without XDG_DATA_HOME the folder is under ~/.local/share.
start -u XDG_DATA_HOME
[ -L "$scratch/home/.local/share/druvel/TAV" ]
echo "install test passed"

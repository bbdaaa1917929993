#!/bin/sh
# Builds the Debian package, checks it with lintian and for what would make
# it differ from a build elsewhere (tests/support/reproducible.sh), installs
# it into a fresh root with dpkg, and uses the installed program as a person
# would: started through its launcher under Xvfb, a key typed, a file opened
# through "&File"/"&Open" to encrypt it, and the .TAV opened to decrypt it
# again.
# Usage: package_test.sh <build folder>
set -eu
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/out/druvel_*_amd64.deb)
lintian --fail-on error "$deb" 2>/dev/null
sh "$(dirname "$0")/../support/reproducible.sh" "$deb" "$build/ui/Druvel" "$build/tav/TAV"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || { echo "Depends not computed"; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q 'qt6-qpa-plugins' || { echo "no platform plugin in Depends"; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q 'libglib2.0-bin' || { echo "notifications' gdbus not recommended"; exit 1; }

# A root that holds only dpkg's database and the package; its dependencies
# are this machine's, so they are not installed there.
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: > "$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --force-not-root --log=/dev/null -i "$deb" >/dev/null 2>&1
for file in usr/bin/druvel usr/bin/TAV usr/share/man/man1/druvel.1.gz usr/share/man/man1/TAV.1.gz \
            usr/share/applications/druvel.desktop usr/share/icons/hicolor/256x256/apps/druvel.png; do
  [ -e "$root/$file" ] || { echo "not in the package: $file"; exit 1; }
done
man -l "$root/usr/share/man/man1/TAV.1.gz" 2>&1 >/dev/null | grep . && { echo "TAV(1) has errors"; exit 1; }

home="$scratch/home"
mkdir -p "$home/files"
printf 'a line to keep\n' > "$home/files/note.txt"
cp "$home/files/note.txt" "$scratch/original"

cat > "$scratch/use.sh" <<'SCRIPT'
set -eu
# Opens $1 through the menu, with the key already typed, and waits for $2.
open_and_wait() {
  xdotool key --window "$window" alt+f
  sleep 0.5
  xdotool key --window "$window" o
  sleep 1.5
  xdotool type --delay 5 "$1"
  xdotool key Return
  i=0
  while [ ! -e "$2" ]; do
    i=$((i + 1)); [ $i -lt 150 ] || { echo "no $2 after opening $1"; exit 1; }
    sleep 0.2
  done
}
"$ROOT/usr/bin/druvel" & program=$!
window=$(xdotool search --sync --onlyvisible --class Druvel | head -1)
xdotool windowfocus --sync "$window"
sleep 0.5
xdotool type --delay 10 'package key'
open_and_wait "$HOME/files/note.txt" "$HOME/files/note_txt.TAV"
mv "$HOME/files/note.txt" "$HOME/encrypted-from"
open_and_wait "$HOME/files/note_txt.TAV" "$HOME/files/note.txt"
kill "$program"
SCRIPT
HOME="$home" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$scratch" ROOT="$root" TAV_KEY_CACHE=off \
  timeout 90 xvfb-run -a sh "$scratch/use.sh"
cmp "$scratch/original" "$home/files/note.txt"
[ "$(readlink "$home/data/druvel/TAV")" = "$root/usr/bin/TAV" ] || { echo "launcher did not link the installed TAV"; exit 1; }
echo "package test passed"

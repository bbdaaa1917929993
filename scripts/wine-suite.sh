#!/bin/sh
# Runs the Windows tests under Wine: in a Wine prefix of the build's own
# (made once, keyed by Wine's version), on a virtual display, with one Wine
# server for the whole run, so that windows appear and each program starts
# quickly.
#   scripts/wine-suite.sh BUILD_FOLDER [ctest arguments...]
set -eu
build=$(cd "$1" && pwd)
export DRUVEL_WINE="$(cd "$(dirname "$0")" && pwd)/wine-run.sh"
shift
# The prefix's architecture is the build's: a 32-bit one for the 32-bit
# programs, as on a 32-bit Windows.
case $(basename "$build") in *64*) arch=win64 ;; *) arch=win32 ;; esac
export WINEPREFIX="$build/wine" WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine() { "$DRUVEL_WINE" "$@"; }
if [ $arch = win32 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "This system does not run 32-bit Linux programs, which Wine needs for 32-bit Windows programs." >&2
  exit 1
fi
# Tests run side by side; one key agent would make them wait for each
# other's key derivations. The agent's own test turns it on for itself.
export TAV_KEY_CACHE=off
# Likewise one notice window would collect the failures of every test that
# starts TAV with a console of its own; the notice window's test turns it on.
export TAV_NOTIFY=off
stamp="$WINEPREFIX/.druvel-$arch-$(wine --version)"

if [ ! -f "$stamp" ]; then
  rm -rf "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1
  # Debian's Wine uses its own fonts only from the prefix: with them,
  # "MS Sans Serif" is the real bitmap font and dialogs get their true size.
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  # No window manager runs here: Wine frames the windows itself, and a
  # closed window does not wait for one to answer.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w
  touch "$stamp"
fi
# The open-file dialog starts where the last one left off; every run starts alike.
wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\ComDlg32' /f >/dev/null 2>&1 || true
wineserver -w

cd "$build"
exec xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  wineserver -p
  # Wine starts its services with the first program; started here, they do
  # not hold on to the output of a test (where CTest would wait for them).
  "$DRUVEL_WINE" wineboot >/dev/null 2>&1 </dev/null
  ctest "$@"
  status=$?
  wineserver -k
  exit $status' sh "$@"

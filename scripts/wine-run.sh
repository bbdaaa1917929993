#!/bin/sh
# Runs a Windows program under Wine in the build's own prefix (see
# scripts/wine-suite.sh, which prepares it and keeps a server running).
: "${WINEPREFIX:=$(cd "$(dirname "$0")/.." && pwd)/build/win32/wine}"
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine turns a Unix program's arguments into the Windows command line in
# the locale's character set: UTF-8, so that every character arrives.
export LC_ALL=C.UTF-8
# A 64-bit prefix runs on the 64-bit loader itself; Debian's `wine` starts
# the 32-bit one first, which needs a system that runs 32-bit programs.
if [ "${WINEARCH:-}" = win64 ]; then exec /usr/lib/wine/wine64 "$@"; fi
exec wine "$@"

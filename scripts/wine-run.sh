#!/bin/sh
# Runs a Windows program under Wine in the build's own prefix (see
# scripts/wine-suite.sh, which prepares it and keeps a server running).
: "${WINEPREFIX:=$(cd "$(dirname "$0")/.." && pwd)/build/win32/wine}"
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"

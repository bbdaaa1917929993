#!/bin/sh
# The layout's rules, checked: portable code includes no system header and
# asks no preprocessor which system it is built for. In TAV that is all but
# tav/os/posix/ and tav/os/win32/; in Druvel, core/, ui/, the window layer at
# the top of platform/ and the system services' portable files in
# platform/system/.
# Usage: layout_test.sh <source folder>
set -eu
cd "$1"
portable=$(find tav core ui platform platform/system -maxdepth 1 -name '*.cpp' -o -maxdepth 1 -name '*.h'
           find tav/base tav/format tav/engine tav/os -maxdepth 1 -name '*.cpp' -o -maxdepth 1 -name '*.h')
headers='^#include <(unistd|fcntl|dirent|poll|spawn|signal|termios|pty|io|windows|shellapi|commdlg|commctrl|pthread|(sys|linux)/[a-z0-9_]+)\.h>'
systems='^#\s*(if|ifdef|ifndef|elif).*\b(_WIN32|_WIN64|WIN32|__linux__|__unix__|__APPLE__|_MSC_VER|__MINGW32__|__MINGW64__)\b'
status=0
# shellcheck disable=SC2086
if grep -n -E "$headers" $portable; then echo "system headers in portable code (above)"; status=1; fi
# shellcheck disable=SC2086
if grep -n -E "$systems" $portable; then echo "system conditions in portable code (above)"; status=1; fi
[ $status = 0 ] && echo "layout rules hold for $(echo $portable | wc -w) portable files"
exit $status

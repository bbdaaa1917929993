#!/bin/sh
# The Windows downloads: the portable zip holds the two programs and a short
# README; the one installer installs, for the user alone, the programs of
# the build whose Wine prefix it runs in (64-bit on a 64-bit system, 32-bit
# on a 32-bit one), with a Start-menu shortcut that starts Druvel in its
# (writable) install folder, and its uninstaller removes what it installed
# and leaves the user's settings. Both, and the programs in them, carry the
# commit's time; the programs no build path (tests/support/reproducible.sh).
#   packages_test.sh BUILD_FOLDER VERSION win32|win64 INSTALLER
set -eu
build=$1 version=$2 arch=$3 installer=$4
wine_run() { "$(dirname "$0")/../../scripts/wine-run.sh" "$@"; }
fail() { echo "FAIL: $*"; exit 1; }

zip=$build/Druvel-$version-$arch.zip
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$listing" = "Druvel-$version-$arch/ Druvel-$version-$arch/Druvel.exe Druvel-$version-$arch/README.txt Druvel-$version-$arch/TAV.exe " ] ||
  fail "the zip holds: $listing"
unzip -p "$zip" "Druvel-$version-$arch/README.txt" | head -1 | grep -q "$(printf '\r')\$" || fail "README.txt without CR LF"
sh "$(dirname "$0")/../support/reproducible.sh" "$zip" "$build/ui/Druvel.exe" "$build/tav/TAV.exe" "$build/tav/tav_stub.exe"

[ -f "$installer" ] || { echo "no installer at $installer: build the 64-bit programs too"; exit 77; }
sh "$(dirname "$0")/../support/reproducible.sh" "$installer"
prefix=${WINEPREFIX:-$build/wine}
user=$(ls "$prefix/drive_c/users" | grep -v -x Public | head -1)
installed="$prefix/drive_c/users/$user/AppData/Local/Programs/Druvel"
shortcut="$prefix/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Druvel.lnk"
rm -rf "$installed" "$shortcut"

wine_run "$installer" /S
for file in Druvel.exe TAV.exe README.txt Uninstall.exe; do
  [ -f "$installed/$file" ] || fail "not installed: $file"
done
cmp "$installed/Druvel.exe" "$build/ui/Druvel.exe" || fail "not this build's Druvel.exe ($arch) was installed"
cmp "$installed/TAV.exe" "$build/tav/TAV.exe" || fail "not this build's TAV.exe ($arch) was installed"
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
# The shortcut's working folder is the install folder: a string of the link
# that ends there (the target's ends in \Druvel.exe).
tr -d '\000' <"$shortcut" | LC_ALL=C grep -a -q 'Programs\\Druvel\($\|[^\\]\)' ||
  fail "the shortcut does not start in the install folder"

printf '[ENCRYPT]\r\nRounds=4\r\n' >"$installed/Druvel.ini"
# Run in place (_?=), the uninstaller waits for itself and cannot remove its own file.
wine_run "$installed/Uninstall.exe" /S "_?=$(wine_run winepath -w "$installed" 2>/dev/null | tr -d '\r')"
for file in Druvel.exe TAV.exe README.txt; do
  [ ! -e "$installed/$file" ] || fail "left after uninstalling: $file"
done
[ ! -e "$shortcut" ] || fail "the shortcut was left"
[ -f "$installed/Druvel.ini" ] || fail "the user's settings were removed"
rm -rf "$installed"
echo "zip and installer: ok"

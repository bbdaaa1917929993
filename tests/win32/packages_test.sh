#!/bin/sh
# The Windows downloads: the portable zip holds the two programs and a short
# README; the installer installs for the user alone, with a Start-menu
# shortcut that starts Druvel in its (writable) install folder, and its
# uninstaller removes what it installed and leaves the user's settings.
#   packages_test.sh BUILD_FOLDER VERSION win32|win64
set -eu
build=$1 version=$2 arch=$3
wine_run() { "$(dirname "$0")/../../scripts/wine-run.sh" "$@"; }
fail() { echo "FAIL: $*"; exit 1; }

zip=$build/Druvel-$version-$arch.zip
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$listing" = "Druvel-$version-$arch/ Druvel-$version-$arch/Druvel.exe Druvel-$version-$arch/README.txt Druvel-$version-$arch/TAV.exe " ] ||
  fail "the zip holds: $listing"
unzip -p "$zip" "Druvel-$version-$arch/README.txt" | head -1 | grep -q "$(printf '\r')\$" || fail "README.txt without CR LF"

prefix=${WINEPREFIX:-$build/wine}
user=$(ls "$prefix/drive_c/users" | grep -v -x Public | head -1)
installed="$prefix/drive_c/users/$user/AppData/Local/Programs/Druvel"
shortcut="$prefix/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Druvel.lnk"
rm -rf "$installed" "$shortcut"

wine_run "$build/Druvel-$version-$arch-setup.exe" /S
for file in Druvel.exe TAV.exe README.txt Uninstall.exe; do
  [ -f "$installed/$file" ] || fail "not installed: $file"
done
cmp "$installed/Druvel.exe" "$build/ui/Druvel.exe" || fail "a different Druvel.exe was installed"
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

#!/bin/sh
# What ships carries nothing of the machine or the moment that built it, so
# that the same commit gives the same bytes anywhere: no program holds the
# source folder's path (the build folders lie inside it; a Linux program's
# build ID is computed over its debug information, so give the unstripped
# program), a Windows program's header holds the commit's time, and every
# entry and member of a .deb, a .zip or the installer the commit's time, a
# .deb's owned by root.
#   reproducible.sh FILE...   (.deb, .zip, *-setup.exe or program)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd -P)
epoch=$(sh "$root/scripts/source-date-epoch.sh")
fail() { echo "FAIL: $*"; exit 1; }
# The 32-bit number at OFFSET of FILE (little-endian, as in a PE header).
u32() { od -An -tu4 -j"$2" -N4 "$1" | tr -d ' '; }

check_program() {
  if grep -q -a -F "$root" "$1"; then fail "$1 holds the source folder's path $root"; fi
  [ "$(head -c 2 "$1")" = MZ ] || return 0
  linked=$(u32 "$1" $(( $(u32 "$1" 60) + 8 )))
  [ "$linked" = "$epoch" ] || fail "$1 says it was linked at $linked, not at the commit's time $epoch"
}

# The entries of FILE as 7-Zip lists them ([TYPE]: -tar for a .deb's
# members). Zip and the installer keep times in steps of 2 s (zip rounding
# up, the installer down).
check_entries() {
  TZ=UTC 7zz l -slt ${2:-} "$1" | sed -n '/^----------$/,$ s/^Modified = \(.\)/\1/p' | date -u -f - +%s |
    awk -v epoch="$epoch" '{entries++} $1 - epoch > 1 || epoch - $1 > 1 {print; bad = 1} END {exit bad || !entries}' ||
    fail "$1: entries with the times above (or none), not the commit's $epoch"
}

check_deb() {
  check_entries "$1" -tar
  expected="0/0 $(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')"
  for part in --ctrl-tarfile --fsys-tarfile; do
    dpkg-deb "$part" "$1" | TZ=UTC tar -tv --full-time --numeric-owner |
      awk -v expected="$expected" '$2 " " $4 " " $5 != expected {print; bad = 1} END {exit bad}' ||
      fail "$1: the entries above are not root's with the time $expected"
  done
}

for file in "$@"; do
  [ -f "$file" ] || fail "no file $file"
  case $file in
    *.deb) check_deb "$file" ;;
    *.zip | *-setup.exe) check_entries "$file" ;;
    *) check_program "$file" ;;
  esac
done
echo "checked $#: the commit's time, no build path"

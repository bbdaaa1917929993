#!/bin/sh
# What ships carries nothing of the machine or the moment that built it, so
# that the same commit gives the same bytes anywhere: no program holds the
# source folder's path (the build folders lie inside it; a Linux program's
# build ID is computed over its debug information, so the unstripped
# program is the one to give), a Windows program's header holds the
# commit's time, and every entry and member of a .deb, a .zip or the
# installer the commit's time, a .deb's owned by root.
#   reproducible.sh FILE...   (.deb, .zip, *-setup.exe or program)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd -P)
epoch=$(sh "$root/scripts/source-date-epoch.sh")
fail() { echo "FAIL: $*"; exit 1; }

# The 32-bit number at OFFSET of FILE (little-endian, as in a PE header).
u32() { od -An -tu4 -j"$2" -N4 "$1" | tr -d ' '; }

check_program() {
  if grep -q -a -F "$root" "$1"; then fail "$1 holds the source folder's path $root"; fi
  if [ "$(head -c 2 "$1")" = MZ ]; then
    stamp=$(u32 "$1" $(( $(u32 "$1" 60) + 8 )))
    [ "$stamp" = "$epoch" ] || fail "$1 says it was linked at $stamp, not at the commit's time $epoch"
  fi
}

# The members of an ar archive (a .deb): a 60-byte header each, whose
# time is in bytes 17 to 28; data padded to an even size.
check_ar_members() {
  size=$(stat -c %s "$1") offset=8
  while [ "$offset" -lt "$size" ]; do
    header=$(dd if="$1" bs=1 skip="$offset" count=60 2>/dev/null)
    name=$(echo "$header" | cut -c1-16 | tr -d ' ') time=$(echo "$header" | cut -c17-28 | tr -d ' ')
    [ "$time" = "$epoch" ] || fail "$1: member $name has the time $time, not $epoch"
    length=$(echo "$header" | cut -c49-58 | tr -d ' ')
    offset=$(( offset + 60 + length + length % 2 ))
  done
}

check_deb() {
  check_ar_members "$1"
  expected="0/0 $(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')"
  for part in --ctrl-tarfile --fsys-tarfile; do
    dpkg-deb "$part" "$1" | TZ=UTC tar -tv --full-time --numeric-owner |
      awk -v expected="$expected" '$2 " " $4 " " $5 != expected {print; bad = 1} END {exit bad}' ||
      fail "$1: the entries above are not root's with the time $expected"
  done
}

# The entries of a zip or of the installer, as 7-Zip lists them: both
# formats keep times in steps of 2 s (zip rounding up, the installer down).
check_entries() {
  TZ=UTC 7zz l -slt "$1" | sed -n '/^----------$/,$ s/^Modified = \(.\)/\1/p' | date -u -f - +%s |
    awk -v epoch="$epoch" '{entries++} $1 - epoch > 1 || epoch - $1 > 1 {print; bad = 1} END {exit bad || !entries}' ||
    fail "$1: entries with the times above (or none), not the commit's $epoch"
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

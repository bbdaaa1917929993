#!/bin/sh
# A file encrypted on Linux opens with TAV.exe, and one encrypted by TAV.exe
# opens on Linux, for every way of decrypting and a key with blanks, quotes
# and backslashes.
#   cross_system_test.sh LINUX_TAV WINDOWS_TAV
set -eu
linux=$1 windows=$2
[ -x "$linux" ] || { echo "no Linux build at $linux"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
key='a "quoted" key \ with\ backslashes\'
head -c 700000 /dev/urandom >plain.bin

wine_tav() { "$(dirname "$0")/../../scripts/wine-run.sh" "$windows" "$@"; }

"$linux" e1 plain.bin from-linux.TAV "$key"
# Windows names ignore case: one output name per mode that differs otherwise too.
for mode in D d; do
  out=linux-$(printf %s "$mode" | od -An -tx1 | tr -d ' ').bin
  wine_tav "$mode" from-linux.TAV "$out" "$key"
  cmp plain.bin "$out"
done

wine_tav e1 plain.bin from-windows.TAV "$key"
for mode in D d; do
  out=windows-$(printf %s "$mode" | od -An -tx1 | tr -d ' ').bin
  "$linux" "$mode" from-windows.TAV "$out" "$key"
  cmp plain.bin "$out"
done
if "$linux" D from-windows.TAV wrong.bin "another key" 2>/dev/null; then
  echo "a wrong key opened the file"; exit 1
fi
echo "both ways: ok"

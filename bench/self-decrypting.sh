#!/bin/sh
# What a self-decrypting file carries besides its data, and how fast its
# program restores a file next to TAV's D on the same file, in one run.
#   sh bench/self-decrypting.sh [runs] [MiB]   (needs make build; make windows adds the Windows rows)
# Sizes: the self-decrypting file of an empty file less the encrypted empty
# file, for each build there is. Speed: TAV D and the self-decrypting
# program, both with the payload sealed by the test build (the cheapest key
# derivation, whose cost would otherwise swamp the payload's), on one file
# of random bytes (default 256 MiB) in tmpfs; the median of N runs
# (default 5) of that size less the median for an empty file, so start-up
# drops out; runs alternate. Under Wine the Windows rows' speed is Wine's.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
mib=${2:-256}
export TAV_KEY_CACHE=off TAV_NOTIFY=off WINEDEBUG=-all
work=$(mktemp -d /dev/shm/tav-self-decrypting-bench-XXXXXX)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
head -c $((mib << 20)) /dev/urandom > big
: > empty

. "$root/bench/common.sh"
# Milliseconds of one run of "$@"; what it restored or wrote is removed after.
once() {
  milliseconds_of "$@"
  rm -f out sfx-*/big sfx-*/empty
}

# build name, TAV of that build, how to run a program of that build.
measure() {
  build=$1 tav=$2 runner=$3
  for source in big empty; do
    mkdir -p "sfx-$build"
    $runner "$tav" e1 "$source" "$source.$build.TAV" key >/dev/null 2>&1
    $runner "$tav" a1 "$source" "sfx-$build/$source.exe" key >/dev/null 2>&1
  done
  carried=$(( $(stat -c %s "sfx-$build/empty.exe") - $(stat -c %s "empty.$build.TAV") ))
  rm -f ms-*
  i=0
  while [ $i -lt "$runs" ]; do
    for source in big empty; do
      once $runner "$tav" D "$source.$build.TAV" out key >> "ms-D-$source"
      once $runner "sfx-$build/$source.exe" >> "ms-sfx-$source"
    done
    i=$((i + 1))
  done
  d=$(mib_per_second ms-D-big ms-D-empty "$mib")
  sfx=$(mib_per_second ms-sfx-big ms-sfx-empty "$mib")
  printf '%-7s %10d %12s %14s %8s\n' "$build" "$((carried / 1024))" "$d" "$sfx" "$(ratio "$sfx" "$d")"
}

printf '%-7s %10s %12s %14s %8s\n' build "KiB carried" "D MiB/s" "program MiB/s" ratio
measure linux "$root/build/default/tav/tav_fast_kdf" ""
for arch in win64 win32; do
  tav="$root/build/$arch/tav/tav_fast_kdf.exe"
  [ -f "$tav" ] || continue
  export WINEPREFIX="$root/build/$arch/wine"
  wineserver -p
  measure "$arch" "$tav" wine
  wineserver -k
done

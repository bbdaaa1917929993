#!/bin/sh
# TAV.exe under Wine next to the Linux TAV on the same machine, in one run:
# payload speed of e1, d and D on one file of random bytes (default 256
# MiB) in tmpfs. Both are the test builds with the cheapest key
# derivation (the payload's code is the shipped one), whose cost would
# otherwise swamp the payload's. Each figure is the median of N runs
# (default 5) of that size minus the median for an empty file, so start-up
# drops out; the last column is Windows over Linux. The two builds' runs
# alternate. The Wine server is kept running, as a desktop session does.
#   sh bench/windows-speed.sh [runs] [MiB] [win64|win32]   (needs make build and make windows)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
mib=${2:-256}
windows_build=${3:-win64}
export WINEPREFIX="$root/build/$windows_build/wine" WINEDEBUG=-all TAV_KEY_CACHE=off TAV_NOTIFY=off
work=$(mktemp -d /dev/shm/tav-windows-bench-XXXXXX)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$root/build/default/tav/tav_fast_kdf" "$work/TAV"
cp "$root/build/$windows_build/tav/tav_fast_kdf.exe" "$work/TAV.exe"
cd "$work"
head -c $((mib << 20)) /dev/urandom > big
: > empty
wineserver -p
wine TAV.exe 2>/dev/null || true  # starts Wine's services outside the timings

. "$root/bench/common.sh"
# Milliseconds of one run of "$@"; the output named "out" is removed after.
once() {
  milliseconds_of "$@"
  rm -f out
}

for source in big empty; do
  ./TAV e1 "$source" "$source.TAV" key
  wine TAV.exe e1 "$source" "$source.exe.TAV" key
done

# One run of `op` by `build` on `source`, in milliseconds.
run() {
  op=$1 build=$2 source=$3
  input=$source
  [ "$op" = e1 ] || input=$source.TAV
  [ "$op" = e1 ] || [ "$build" = linux ] || input=$source.exe.TAV
  if [ "$build" = linux ]; then once ./TAV "$op" "$input" out key; else once wine TAV.exe "$op" "$input" out key; fi
}

printf '%-4s %14s %14s %8s\n' op "Linux MiB/s" "Windows MiB/s" ratio
for op in e1 d D; do
  rm -f ms-*
  # Interleaved, so that whatever else the machine does weighs on both.
  i=0
  while [ $i -lt "$runs" ]; do
    for source in big empty; do
      for build in linux windows; do run "$op" $build $source >> "ms-$build-$source"; done
    done
    i=$((i + 1))
  done
  linux=$(mib_per_second ms-linux-big ms-linux-empty "$mib")
  windows=$(mib_per_second ms-windows-big ms-windows-empty "$mib")
  printf '%-4s %14s %14s %8s\n' "$op" "$linux" "$windows" "$(ratio "$windows" "$linux")"
done

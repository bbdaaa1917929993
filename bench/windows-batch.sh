#!/bin/sh
# The batch a user feels: 100 files of 4 KiB dropped at once, each one TAV
# run through Druvel's file jobs (bench/batch_bench.cpp), with the key
# agent: Linux's TAV, and TAV.exe started by the same program built for
# Windows, under Wine, in one run. Each batch pays one key derivation.
# Prints the median of N batches (default 3) of each and their ratio. The
# Wine server is kept running, as a desktop session does.
#   sh bench/windows-batch.sh [batches] [win64|win32]   (needs make build and make windows)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
batches=${1:-3}
windows_build=${2:-win64}
export WINEPREFIX="$root/build/$windows_build/wine" WINEDEBUG=-all TAV_NOTIFY=off
trap 'wineserver -k 2>/dev/null || true' EXIT
wineserver -p
wine "$root/build/$windows_build/tav/TAV.exe" 2>/dev/null || true  # starts Wine's services outside the timings

. "$root/bench/common.sh"
# Seconds of the batch with the cache, from batch_bench's "batch-with-cache 100 S".
seconds() { "$@" 100 0 | awk '$1 == "batch-with-cache" { print $3 }'; }
for tool in linux windows; do
  b=0
  while [ $b -lt "$batches" ]; do
    if [ $tool = linux ]; then
      seconds "$root/build/default/bench/batch_bench" "$root/build/default/tav/TAV"
    else
      seconds wine "$root/build/$windows_build/bench/batch_bench.exe" "$root/build/$windows_build/tav/TAV.exe"
    fi
    b=$((b + 1))
  done | median > "/tmp/druvel-batch-$tool.$$"
done
linux=$(cat /tmp/druvel-batch-linux.$$) windows=$(cat /tmp/druvel-batch-windows.$$)
rm -f /tmp/druvel-batch-linux.$$ /tmp/druvel-batch-windows.$$
printf '%-40s %6s s\n' "Linux TAV, 100 files" "$linux" "TAV.exe ($windows_build, Wine), 100 files" "$windows"
echo "ratio Windows / Linux: $(ratio "$windows" "$linux")"

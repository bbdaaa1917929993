#!/bin/sh
# A batch of failures as a Windows user meets it: 20 encrypted files dropped
# on Druvel while their originals are still there, each refused by TAV.exe
# (started as Druvel.exe starts it, in a console of its own), with TAV's
# notices on (the messages go to the notice window) and off, through
# Druvel's file jobs (bench/batch_bench.cpp), under Wine on a virtual
# display. Prints the median of N batches (default 3) of each, seconds per
# failed file, and their ratio.
#   sh bench/windows-failures.sh [batches] [win64|win32]   (needs make windows)
set -eu
if [ -z "${DRUVEL_BENCH_DISPLAY:-}" ]; then
  exec env DRUVEL_BENCH_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi
root=$(cd "$(dirname "$0")/.." && pwd)
batches=${1:-3}
windows_build=${2:-win64}
export WINEPREFIX="$root/build/$windows_build/wine" WINEDEBUG=-all
runs=$(mktemp)
trap 'wineserver -k 2>/dev/null || true; rm -f "$runs"' EXIT
wineserver -p
wine "$root/build/$windows_build/tav/TAV.exe" 2>/dev/null || true  # starts Wine's services outside the timings

b=0
while [ $b -lt "$batches" ]; do
  wine "$root/build/$windows_build/bench/batch_bench.exe" "$root/build/$windows_build/tav/TAV.exe" 20 0 20 2>/dev/null
  b=$((b + 1))
done > "$runs"
# The median over the batches of the seconds per failed file.
median() {
  awk -v name="$1" '$1 == name { print $3 / $2 }' "$runs" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
on=$(median failures-with-notices) off=$(median failures-without-notices)
printf '%-46s %6.3f s\n' "per failed file, notices on ($windows_build, Wine)" "$on" "per failed file, notices off" "$off"
awk -v on="$on" -v off="$off" 'BEGIN { printf "ratio on / off: %.2f\n", on / off }'

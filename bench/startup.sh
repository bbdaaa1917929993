#!/bin/sh
# Start-up time of Druvel's window: Druvel.exe under Wine next to the Linux
# (Qt) Druvel, in one run on one virtual display: from starting the program
# until its main window is mapped; then it is ended. Medians of N runs
# (default 15) and their ratio. The Wine server is kept running, as a
# desktop session does, so Wine's own start-up is not counted.
#   sh bench/startup.sh [runs]      (needs make build and make windows)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-15}
export WINEPREFIX="$root/build/win32/wine" WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/build/win32/ui/Druvel.exe" "$root/build/win32/tav/TAV.exe" "$work/"
cd "$work"

xvfb-run -a -s "-screen 0 800x600x24" sh -c '
  runs=$1 linux=$2
  now() { date +%s%N; }
  # Milliseconds from starting "$@" until a window named Druvel is mapped.
  measure() {
    start=$(now)
    "$@" >/dev/null 2>&1 &
    until xdotool search --onlyvisible --name "^Druvel\$" >/dev/null 2>&1; do sleep 0.005; done
    echo $(( ($(now) - start) / 1000000 ))
    kill $!
    wait $! 2>/dev/null || true
  }
  median() { sort -n | awk "{ v[NR] = \$1 } END { print v[int((NR + 1) / 2)] }"; }
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1
  measure wine Druvel.exe >/dev/null  # the first start fills the caches
  : >wine.ms; : >qt.ms
  for i in $(seq "$runs"); do
    measure wine Druvel.exe >>wine.ms
    measure "$linux" >>qt.ms
  done
  wine_median=$(median <wine.ms) qt_median=$(median <qt.ms)
  echo "Druvel.exe under Wine: median ${wine_median} ms over $runs starts (min $(sort -n wine.ms | head -1), max $(sort -n wine.ms | tail -1))"
  echo "Druvel (Qt) on Linux:  median ${qt_median} ms over $runs starts (min $(sort -n qt.ms | head -1), max $(sort -n qt.ms | tail -1))"
  awk -v w="$wine_median" -v q="$qt_median" "BEGIN { printf \"ratio Wine / Qt: %.2f\n\", w / q }"
  wineserver -k' sh "$runs" "$root/build/default/ui/Druvel"

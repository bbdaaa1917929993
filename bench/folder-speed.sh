#!/bin/sh
# Folder round trips with the real TAV: a tree of 10,000 small files and a
# tree holding one 1 GiB file, encrypted (e1) and decrypted (D), each run
# N times (default 3); prints the median wall time and the peak resident
# memory of each step. Runs on the disk under build/ unless BENCH_DIR says
# otherwise.
# Usage: sh bench/folder-speed.sh [runs]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-3}
tav=$(pwd)/build/default/tav/TAV
[ -x "$tav" ] || { echo "build first: sh scripts/make.sh build"; exit 1; }
base=${BENCH_DIR:-$(pwd)/build/bench-folders}
rm -rf "$base"; mkdir -p "$base"
trap 'rm -rf "$base"' EXIT
export TAV_KEY_CACHE=off

python3 - "$base/small" <<'PY'
import os, sys, random
root = sys.argv[1]
rnd = random.Random(1)
for i in range(10000):
    folder = os.path.join(root, "d%03d" % (i % 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d" % i), "wb") as f:
        f.write(rnd.randbytes(rnd.randrange(0, 8192)))
PY
mkdir -p "$base/large/sub"
head -c 1073741824 /dev/urandom > "$base/large/sub/big.bin"

. "$root/bench/common.sh"
# Runs "$@" $runs times; prints "median-seconds peak-KiB".
measure() {
  : > "$base/times"
  for i in $(seq "$runs"); do
    rm -rf "$base/out" "$base/out.TAV.tmp"
    /usr/bin/time -f '%e %M' -o "$base/one" "$@" >/dev/null 2>&1
    cat "$base/one" >> "$base/times"
    [ "$step" = e ] && { [ $i -lt "$runs" ] && rm -f "$target"; }
  done
  printf '%s %s\n' "$(cut -d' ' -f1 "$base/times" | median)" "$(cut -d' ' -f2 "$base/times" | sort -n | tail -1)"
}

printf '%-28s %10s %12s\n' "tree / step" "median s" "peak MiB"
for tree in small large; do
  target="$base/$tree.TAV"
  step=e; set -- $(measure "$tav" e1 "$base/$tree" "$target" "bench key")
  printf '%-28s %10s %12d\n' "$tree: encrypt (e1)" "$1" $(($2 / 1024))
  step=D; set -- $(measure sh -c "rm -rf '$base/out'; exec '$tav' D '$target' '$base/out' 'bench key'")
  printf '%-28s %10s %12d\n' "$tree: decrypt (D)" "$1" $(($2 / 1024))
  diff -r "$base/$tree" "$base/out" >/dev/null || { echo "round trip differs: $tree"; exit 1; }
  rm -rf "$base/out" "$target"
done

#!/bin/sh
# Shows that a commit gives the same bytes wherever and whenever it is built:
# `make release` twice, in two fresh clones in folders of different names
# and depths, one after the other (so at different times), with different
# umasks, time zones and languages, each cross-building its own Windows
# libraries; then the two build/SHA256SUMS must be the same. Takes two full
# builds' time; the test command checks the cheap half of this on every run
# (tests/support/reproducible.sh).
#   scripts/check-reproducible.sh [COMMIT]   (HEAD by default; the clones go
#                                            into build/reproducible/)
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd -P)
commit=$(git -C "$repo" rev-parse --verify "${1:-HEAD}^{commit}")
work=$repo/build/reproducible
rm -rf "$work"
mkdir -p "$work"

# release FOLDER UMASK TZ LANGUAGE: the release of $commit built in a fresh clone in FOLDER.
release() {
  echo "$(date -u '+%H:%M:%S') building $commit in $1 (umask $2, TZ=$3, LC_ALL=$4)"
  git clone -q --no-checkout "$repo" "$1"
  git -C "$1" checkout -q --detach "$commit"
  (cd "$1" && umask "$2" && TZ=$3 LC_ALL=$4 nice -n 10 sh scripts/make.sh release) >"$1.log" 2>&1 ||
    { tail -n 30 "$1.log"; echo "the build in $1 failed: $1.log" >&2; exit 1; }
}

start=$(date +%s)
release "$work/one" 022 UTC C.UTF-8
middle=$(date +%s)
release "$work/second/of/two" 027 Pacific/Chatham C
end=$(date +%s)
echo "builds took $(( (middle - start) / 60 )) and $(( (end - middle) / 60 )) minutes"

if cmp -s "$work/one/build/SHA256SUMS" "$work/second/of/two/build/SHA256SUMS"; then
  echo "the same bytes: $(wc -l <"$work/one/build/SHA256SUMS") shipped files and files inside them"
  cat "$work/one/build/SHA256SUMS"
else
  echo "FAIL: the two builds differ (- first, + second):"
  diff -u "$work/one/build/SHA256SUMS" "$work/second/of/two/build/SHA256SUMS" | grep '^[-+][0-9a-f]'
  exit 1
fi

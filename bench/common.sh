# What the benchmark scripts share; sourced, not run.

# Nanoseconds since the epoch.
now() { date +%s%N; }

# Milliseconds of one run of "$@", with the key "key" on standard input
# for a program that asks for it; a failed run ends the script.
milliseconds_of() {
  start=$(now)
  echo key | "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  echo $(( ($(now) - start) / 1000000 ))
}

# The median of the numbers on standard input, one per line.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# MiB/s of MIB MiB from the files of milliseconds of runs on that size and
# on an empty one, so that start-up drops out: mib_per_second BIG EMPTY MIB.
mib_per_second() {
  awk -v big="$(median < "$1")" -v empty="$(median < "$2")" -v mib="$3" \
    'BEGIN { d = big - empty; if (d < 1) d = 1; printf "%.0f", mib * 1000 / d }'
}

# A over B with two decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

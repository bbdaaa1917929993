#!/bin/bash
# Where TAV stands: one table of TAV's encryption (e1) and both decryptions
# (D, d) next to age (X25519 recipient) for files of 0 B, 1 MiB, 256 MiB and
# 2 GiB of random bytes, in tmpfs and on the disk; then the engine without
# file I/O next to raw loops of the same AEAD, the fixed cost of one file
# next to the bare key derivation, and a batch of 100 small files through
# Druvel's file jobs. Figures are medians of several runs; payload MiB/s is
# the size divided by (median time − median time for an empty file), so each
# tool's fixed start-up and key-derivation cost drops out. TAV runs with its
# key cache off here, except in the batch.
#
# Usage: bench/tav-speed.sh [runs]   (default 5; 3 for 2 GiB)
# Builds first (make build); installs age, hyperfine and GNU time when missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
"$root/scripts/install-deps.sh" bench
make -C "$root" --no-print-directory build >/dev/null
build="$root/build/default"
tav="$build/tav/TAV"
export TAV_KEY_CACHE=off

tmpfs=$(mktemp -d /dev/shm/tav-bench-XXXXXX)
disk=$(mktemp -d "$root/build/tav-bench-XXXXXX")
trap 'rm -rf "$tmpfs" "$disk"' EXIT
age-keygen -o "$disk/identity" 2>/dev/null
recipient=$(age-keygen -y "$disk/identity")
key="bench key"

# run_once COMMAND...: wall seconds (microsecond clock) and peak KiB of one run.
run_once() {
  rm -f out
  local start=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o peak "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  local end=$EPOCHREALTIME
  rm -f out
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.3f", b-a}') $(cat peak)"
}

median() { sort -g | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }

# median_run RUNS COMMAND...: median wall seconds and largest peak KiB.
median_run() {
  local n=$1; shift
  local times=() peak=0
  for ((i = 0; i < n; i++)); do
    read -r t m < <(run_once "$@")
    times+=("$t")
    ((m > peak)) && peak=$m
  done
  echo "$(printf '%s\n' "${times[@]}" | median) $peak"
}

operations=("TAV e1" "TAV D" "TAV d" "age encrypt" "age decrypt")
# set_command OPERATION SIZE: the operation's command line, in `cmd`.
set_command() {
  case $1 in
    "TAV e1") cmd=("$tav" e1 "plain-$2" out "$key") ;;
    "TAV D") cmd=("$tav" D "plain-$2.tav" out "$key") ;;
    "TAV d") cmd=("$tav" d "plain-$2.tav" out "$key") ;;
    "age encrypt") cmd=(age -r "$recipient" -o out "plain-$2") ;;
    "age decrypt") cmd=(age -d -i "$disk/identity" -o out "plain-$2.age") ;;
  esac
}

# One location: every size; the operations take turns within each round,
# so that the machine's noise falls on all of them alike. Prints table rows
# and keeps each operation's payload rate for the ratios.
declare -A rate
measure_location() {
  local where=$1 dir=$2
  cd "$dir"
  local -A empty
  local cmd
  for size in 0 1 256 2048; do
    head -c $((size * 1024 * 1024)) /dev/urandom > "plain-$size"
    "$tav" e1 "plain-$size" "plain-$size.tav" "$key"
    age -r "$recipient" -o "plain-$size.age" "plain-$size"
    local n=$runs
    ((size == 2048 && n > 3)) && n=3
    local -A times=() peaks=()
    for ((round = 0; round < n; round++)); do
      for op in "${operations[@]}"; do
        set_command "$op" "$size"
        read -r t m < <(run_once "${cmd[@]}")
        times[$op]+="$t "
        ((m > ${peaks[$op]:-0})) && peaks[$op]=$m
      done
    done
    for op in "${operations[@]}"; do
      local t
      t=$(tr ' ' '\n' <<< "${times[$op]}" | grep . | median)
      if ((size == 0)); then
        empty[$op]=$t
        printf "| %-6s | %-11s | %8s | %8s | %13s | %8s |\n" "$where" "$op" "0 B" "$t" "" "$((peaks[$op] / 1024))"
      else
        local mibs
        mibs=$(awk -v s="$size" -v t="$t" -v e="${empty[$op]}" 'BEGIN{d=t-e; if (d <= 0) print "n/a"; else printf "%.0f", s/d}')
        rate[$where,$op,$size]=$mibs
        printf "| %-6s | %-11s | %8s | %8s | %13s | %8s |\n" "$where" "$op" "$size MiB" "$t" "$mibs" "$((peaks[$op] / 1024))"
      fi
    done
    rm -f "plain-$size" "plain-$size.tav" "plain-$size.age"
  done
  cd "$root"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN{if (a == "n/a" || b == "n/a" || b == 0) print "n/a"; else printf "%.2f", a/b}'; }

echo "$(uname -m), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/Mem:/{print $2}') GiB"
echo "TAV $(git -C "$root" describe --always --dirty), age $(age --version); disk: $(df -T "$disk" | awk 'NR==2{print $2}'), tmpfs: /dev/shm"
echo
echo "| where  | operation   | size     | median s | payload MiB/s | peak MiB |"
echo "|--------|-------------|---------:|---------:|--------------:|---------:|"
measure_location tmpfs "$tmpfs"
measure_location disk "$disk"
echo
echo "| where  | size     | e1 / age encrypt | d / age decrypt | D / age decrypt |"
echo "|--------|---------:|-----------------:|----------------:|----------------:|"
for where in tmpfs disk; do
  for size in 256 2048; do
    printf "| %-6s | %5s MiB | %16s | %15s | %15s |\n" "$where" "$size" \
      "$(ratio "${rate[$where,TAV e1,$size]}" "${rate[$where,age encrypt,$size]}")" \
      "$(ratio "${rate[$where,TAV d,$size]}" "${rate[$where,age decrypt,$size]}")" \
      "$(ratio "${rate[$where,TAV D,$size]}" "${rate[$where,age decrypt,$size]}")"
  done
done

echo
declare -A engine
while read -r name value; do engine[$name]=$value; done < <("$build/bench/tav_engine_bench" 1024)
echo "Engine without file I/O (MiB/s, 1 GiB, medians of 5):"
echo
echo "| what | MiB/s | of the raw all-core loop |"
echo "|---|---:|---:|"
for name in raw-openssl-1-core raw-openssl-all-cores raw-libsodium-1-core raw-libsodium-all-cores \
            engine-1-workers engine-2-workers engine-4-workers engine-default-workers; do
  printf "| %s | %s | %s |\n" "$name" "${engine[$name]}" "$(ratio "${engine[$name]}" "${engine[raw-openssl-all-cores]}")"
done
echo
empty_run=$(cd "$tmpfs" && : > empty && median_run "$runs" "$tav" e1 empty out "$key" | cut -d' ' -f1)
echo "Fixed cost: TAV e1 on an empty file ${empty_run} s; bare key derivation ${engine[bare-key-derivation-seconds]} s;" \
     "ratio $(ratio "$empty_run" "${engine[bare-key-derivation-seconds]}")"
echo
"$build/bench/batch_bench" "$tav" 100 5 | while read -r name files seconds; do
  echo "$name: $files files of 4 KiB through ProcessFile in $seconds s"
done

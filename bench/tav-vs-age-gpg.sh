#!/bin/bash
# Compares TAV with age and gpg --symmetric on one 512 MiB file of random
# bytes: wall time, payload throughput and peak memory, for encryption and
# decryption. Payload throughput is 512 MiB divided by (time for 512 MiB
# minus time for an empty file), so each tool's fixed start-up and
# key-derivation cost drops out. Each figure is the best of three runs.
#
# Usage: bench/tav-vs-age-gpg.sh [path/to/TAV]    (default: build/default/tav/TAV)
# Installs age, gnupg and GNU time when missing (scripts/install-deps.sh bench).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tav=$(realpath "${1:-$root/build/default/tav/TAV}")
"$root/scripts/install-deps.sh" bench
[ -x "$tav" ] || { echo "no TAV at $tav: run 'make build' first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/var/tmp}/tav-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
size_mib=512
head -c $((size_mib * 1024 * 1024)) /dev/urandom > big
: > empty
age-keygen -o identity 2>/dev/null
recipient=$(age-keygen -y identity)
export GNUPGHOME="$work/gnupg"
mkdir -m 700 "$GNUPGHOME"
key="bench key"

# measure NAME COMMAND...: best wall time (s) and peak memory (KiB) of three runs.
measure() {
  local best_time="" best_mem=""
  for _ in 1 2 3; do
    rm -f out out.dec
    /usr/bin/time -f "%e %M" -o timing "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    read -r t m < timing
    if [ -z "$best_time" ] || awk "BEGIN{exit !($t < $best_time)}"; then best_time=$t; fi
    if [ -z "$best_mem" ] || [ "$m" -lt "$best_mem" ]; then best_mem=$m; fi
  done
  echo "$best_time $best_mem"
}

gpg_args=(--batch --yes --quiet --pinentry-mode loopback --passphrase "$key")
# Encrypted inputs for the decryption runs, made once.
prepare() {
  local input=$1
  "$tav" e1 "$input" "$input.tav" "$key"
  age -r "$recipient" -o "$input.age" "$input"
  gpg "${gpg_args[@]}" --symmetric -o "$input.gpg" "$input"
}
prepare big
prepare empty

row() {
  local label=$1 input_big=$2 input_empty=$3; shift 3
  local cmd_big=("${@//INPUT/$input_big}") cmd_empty=("${@//INPUT/$input_empty}")
  read -r t_big m_big < <(measure "${cmd_big[@]}")
  read -r t_empty m_empty < <(measure "${cmd_empty[@]}")
  local payload
  payload=$(awk "BEGIN{d=$t_big-$t_empty; if (d <= 0) print \"n/a\"; else printf \"%.0f\", $size_mib/d}")
  printf "| %-26s | %8s | %8s | %12s | %10s | %10s |\n" "$label" "$t_big" "$t_empty" "$payload" \
    "$((m_big / 1024))" "$((m_empty / 1024))"
}

echo "$(uname -m), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "age $(age --version), $(gpg --version | head -1), TAV $tav"
echo
echo "| operation                  | 512 MiB s | empty s | payload MiB/s | peak MiB 512 | peak MiB empty |"
echo "|----------------------------|----------:|--------:|--------------:|-------------:|---------------:|"
row "TAV encrypt (e1)"           big empty "$tav" e1 INPUT out "$key"
row "TAV decrypt, verify first (D)" big.tav empty.tav "$tav" D INPUT out.dec "$key"
row "TAV decrypt, one pass (d)"  big.tav empty.tav "$tav" d INPUT out.dec "$key"
row "age encrypt (X25519)"       big empty age -r "$recipient" -o out INPUT
row "age decrypt (X25519)"       big.age empty.age age -d -i identity -o out.dec INPUT
row "gpg --symmetric encrypt"    big empty gpg "${gpg_args[@]}" --symmetric -o out INPUT
row "gpg --symmetric decrypt"    big.gpg empty.gpg gpg "${gpg_args[@]}" --decrypt -o out.dec INPUT

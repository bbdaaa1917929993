#!/bin/sh
# How fast a process of the user's own can test guesses of the key through
# TAV's key agent: it encrypts a file with the real TAV (so the agent holds
# that key), then sends wrong guesses for the file's cost and salt for the
# given number of seconds and prints guesses per second, beside the rate of
# the bare key derivation the guesses should cost.
# Usage: sh bench/key-agent-guesses.sh [seconds] [TAV]
set -eu
seconds=${1:-10}
tav=${2:-build/default/tav/TAV}
scratch=$(mktemp -d)
trap 'rm -f "$scratch/runtime/tav-keys"; rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
export XDG_RUNTIME_DIR="$scratch/runtime" TAV_KEY_CACHE=on
printf 'data' > "$scratch/plain"
"$tav" e1 "$scratch/plain" "$scratch/plain.TAV" 'the right key'
/usr/bin/python3 - "$scratch/plain.TAV" "$scratch/runtime/tav-keys" "$seconds" <<'PY'
import socket, struct, sys, time
header = open(sys.argv[1], "rb").read(96)
ops, mem = struct.unpack_from("<IQ", header, 12)
salt = header[24:40]

def guess(key):
    s = socket.socket(socket.AF_UNIX)
    s.connect(sys.argv[2])
    # kind, opslimit, memlimit, salt, key size, as the agent's C struct lays them out
    s.sendall(struct.pack("<B3xIQ16sI4x", 1, ops, mem, salt, len(key)) + key)
    answer = b""
    while True:
        byte = s.recv(1)
        if byte != b"w":
            answer = byte + s.recv(48, socket.MSG_WAITALL)
            break
    s.close()
    return answer

end = time.monotonic() + float(sys.argv[3])
count = 0
while time.monotonic() < end:
    guess(b"guess %d" % count)
    count += 1
print("through the agent: %.2f guesses/s (%d in %s s)" % (count / float(sys.argv[3]), count, sys.argv[3]))
PY
# The bare derivation of this cost, for comparison: an empty file's run
# without the cache is almost only that.
start=$(date +%s%N)
runs=3
for i in $(seq $runs); do TAV_KEY_CACHE=off "$tav" D "$scratch/plain.TAV" "$scratch/out$i" 'the right key'; done
awk -v runs=$runs -v ns=$(( $(date +%s%N) - start )) 'BEGIN { printf "without the agent: %.2f derivations/s\n", runs * 1e9 / ns }'

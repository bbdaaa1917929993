#!/bin/sh
# TAV's desktop notifications on a private session bus, received by a small
# stand-in for the desktop's notification service that logs every call: a
# failure without a terminal raises one notification with the failure's
# line, found through XDG_RUNTIME_DIR too; names arrive as they are, their
# markup escaped; without a display or a bus nothing is sent; a large file's
# progress, naming it, comes in steps of 10%, each replacing the last; and a bus that
# never answers holds nothing up.
# Usage: notify_test.sh <tav_fast_kdf>
set -eu
tav=$1
command -v dbus-daemon >/dev/null && [ -x /usr/bin/gdbus ] && /usr/bin/python3 -c 'import gi' 2>/dev/null ||
  { echo "no dbus-daemon, gdbus or python3-gi"; exit 77; }
scratch=$(mktemp -d)
pids=""
trap 'kill $pids 2>/dev/null || true; rm -rf "$scratch"' EXIT
export TAV_KEY_CACHE=off
unset TAV_NOTIFY

# A bus of its own, with no services to start: a notification daemon
# installed here must not answer in the receiver's place.
cat > "$scratch/bus.conf" <<CONF
<busconfig>
  <type>session</type>
  <listen>unix:path=$scratch/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
dbus-daemon --config-file="$scratch/bus.conf" --nofork --nopidfile --print-address=3 3>"$scratch/address" &
pids=$!
for i in $(seq 50); do [ -s "$scratch/address" ] && break; sleep 0.1; done
address="unix:path=$scratch/bus"
DBUS_SESSION_BUS_ADDRESS="$address" /usr/bin/python3 "$(dirname "$0")/notification_receiver.py" "$scratch/received" &
pids="$pids $!"
for i in $(seq 100); do grep -q ready "$scratch/received" 2>/dev/null && break; sleep 0.1; done

received() { grep -v '^ready$' "$scratch/received" || true; }
expect_calls() {
  sleep 0.3
  [ "$(received | wc -l)" = "$1" ] || { echo "$2:"; received; exit 1; }
}

printf 'data' > "$scratch/plain"
"$tav" e1 "$scratch/plain" "$scratch/plain.TAV" key
# The wrong key, no terminal, a display and the bus: one notification.
DISPLAY=:0 DBUS_SESSION_BUS_ADDRESS="$address" "$tav" D "$scratch/plain.TAV" "$scratch/out" wrong 2>"$scratch/err" && exit 1
expect_calls 1 "expected one notification"
[ "$(received)" = "1 0 TAV $(sed 's/^TAV: //' "$scratch/err")" ] || { echo "message differs:"; received; exit 1; }

# Found through XDG_RUNTIME_DIR/bus as well; quotes and backslashes in a
# name arrive as they are, markup (which servers read in the body) escaped.
mkdir "$scratch/runtime" && ln -s "$scratch/bus" "$scratch/runtime/bus"
taken="$scratch/q\"uo\\te <a href=x>me & co"
: > "$taken"
env -u DBUS_SESSION_BUS_ADDRESS DISPLAY=:0 XDG_RUNTIME_DIR="$scratch/runtime" \
  "$tav" e1 "$scratch/plain" "$taken" key 2>/dev/null && exit 1
expect_calls 2 "no notification through XDG_RUNTIME_DIR"
received | tail -1 | grep -qF 'the target exists already: '"$scratch"'/q"uo\te &lt;a href=x&gt;me &amp; co' ||
  { echo "name not as it is, or markup not escaped:"; received; exit 1; }

# No display, or no bus, or TAV_NOTIFY=off: nothing.
env -u DISPLAY -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS="$address" "$tav" D "$scratch/plain.TAV" "$scratch/out" wrong 2>/dev/null && exit 1
env -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR DISPLAY=:0 "$tav" D "$scratch/plain.TAV" "$scratch/out" wrong 2>/dev/null && exit 1
TAV_NOTIFY=off DISPLAY=:0 DBUS_SESSION_BUS_ADDRESS="$address" "$tav" D "$scratch/plain.TAV" "$scratch/out" wrong 2>/dev/null && exit 1
expect_calls 2 "notified without a display or a bus"

# A file over 256 MiB shows its progress in steps of 10%: the first a new
# notification, every later one replacing it, each naming the file as
# every message does (a control character escaped).
truncate -s 300000000 "$scratch/large"
odd=$(printf '%s/large\001' "$scratch")
ln "$scratch/large" "$odd"
DISPLAY=:0 DBUS_SESSION_BUS_ADDRESS="$address" "$tav" e1 "$odd" "$scratch/large.TAV" key 2>/dev/null
received | tail -n +3 > "$scratch/steps"
name="$scratch/large\x01" awk 'NR == 1 { id = $1; ok = $2 == 0 && $3 == "TAV" }
     { ok = ok && $4 == "encrypting" && $5 == ENVIRON["name"] }
     NR > 1 { ok = ok && $1 == id && $2 == id }
     END { last = $NF; exit !(ok && NR >= 10 && NR <= 11 && last == "100%") }' "$scratch/steps" ||
  { echo "expected 10 or 11 progress steps naming the file, ending at 100%, each replacing the first:"
    cat "$scratch/steps"; exit 1; }

# A bus that takes connections and never answers (a stopped daemon, a
# stray listener) costs a run at most a fixed bound: the result comes, with
# its status, for a failure and for a file large enough to show progress.
/usr/bin/python3 -c '
import socket, sys
listener = socket.socket(socket.AF_UNIX)
listener.bind(sys.argv[1])
listener.listen(64)
held = []
while True:
    held.append(listener.accept())
' "$scratch/silent" &
pids="$pids $!"
for i in $(seq 50); do [ -S "$scratch/silent" ] && break; sleep 0.1; done
silent="unix:path=$scratch/silent"
for run in "2 D $scratch/plain.TAV $scratch/out wrong" "0 e1 $scratch/large $scratch/large-silent.TAV key"; do
  set -- $run
  expected=$1; shift
  began=$(date +%s%N)
  status=0
  DISPLAY=:0 DBUS_SESSION_BUS_ADDRESS="$silent" timeout 30 "$tav" "$@" 2>/dev/null || status=$?
  echo "with a silent bus, TAV $1 took $(( ($(date +%s%N) - began) / 1000000 )) ms"
  [ "$status" = "$expected" ] || { echo "a silent bus held TAV $1: status $status"; exit 1; }
done
echo "notification test passed"

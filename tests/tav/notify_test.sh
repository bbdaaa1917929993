#!/bin/sh
# TAV's desktop notifications on a private session bus, watched by
# dbus-monitor standing in for the desktop's notification service: a failure
# without a terminal raises exactly one notification with the failure's
# line, a large file raises progress notifications, without a display or a
# bus nothing is sent, markup in a name arrives escaped, and a bus that never
# answers holds nothing up.
# Usage: notify_test.sh <tav_fast_kdf>
set -eu
tav=$1
command -v dbus-daemon >/dev/null && [ -x /usr/bin/gdbus ] || { echo "no dbus-daemon or gdbus"; exit 77; }
scratch=$(mktemp -d)
monitor=""; bus=""
trap 'kill $monitor $bus 2>/dev/null || true; rm -rf "$scratch"' EXIT
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
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
dbus-daemon --config-file="$scratch/bus.conf" --nofork --nopidfile --print-address=3 3>"$scratch/address" &
bus=$!
for i in $(seq 50); do [ -s "$scratch/address" ] && break; sleep 0.1; done
address="unix:path=$scratch/bus"
dbus-monitor --address "$address" "interface='org.freedesktop.Notifications',member='Notify'" >"$scratch/seen" 2>&1 &
monitor=$!
sleep 0.5

calls() { grep -c 'member=Notify' "$scratch/seen" || true; }

printf 'data' > "$scratch/plain"
"$tav" e1 "$scratch/plain" "$scratch/plain.TAV" key
# The wrong key, no terminal, a display and the bus: one notification.
DISPLAY=:0 DBUS_SESSION_BUS_ADDRESS="$address" "$tav" D "$scratch/plain.TAV" "$scratch/out" wrong 2>"$scratch/err" && exit 1
sleep 0.5
[ "$(calls)" = 1 ] || { echo "expected one notification:"; cat "$scratch/seen"; exit 1; }
grep -q 'string "TAV"' "$scratch/seen"
grep -qF "string \"$(sed 's/^TAV: //' "$scratch/err")\"" "$scratch/seen" || { echo "message differs"; cat "$scratch/seen"; exit 1; }

# Found through XDG_RUNTIME_DIR/bus as well; a name with quotes and
# backslashes arrives as it is.
mkdir "$scratch/runtime" && ln -s "$scratch/bus" "$scratch/runtime/bus"
cp "$scratch/plain" "$scratch/q\"uo\\te"
: > "$scratch/exists"
env -u DBUS_SESSION_BUS_ADDRESS DISPLAY=:0 XDG_RUNTIME_DIR="$scratch/runtime" \
  "$tav" e1 "$scratch/q\"uo\\te" "$scratch/exists" key 2>/dev/null && exit 1
sleep 0.5
[ "$(calls)" = 2 ] || { echo "no notification through XDG_RUNTIME_DIR"; exit 1; }
grep -qF 'the target exists already' "$scratch/seen"

# No display, or no bus, or TAV_NOTIFY=off: nothing.
env -u DISPLAY -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS="$address" "$tav" D "$scratch/plain.TAV" "$scratch/out" wrong 2>/dev/null && exit 1
env -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR DISPLAY=:0 "$tav" D "$scratch/plain.TAV" "$scratch/out" wrong 2>/dev/null && exit 1
TAV_NOTIFY=off DISPLAY=:0 DBUS_SESSION_BUS_ADDRESS="$address" "$tav" D "$scratch/plain.TAV" "$scratch/out" wrong 2>/dev/null && exit 1
sleep 0.5
[ "$(calls)" = 2 ] || { echo "notified without a display or a bus"; exit 1; }

# Notification servers read markup in the body: a name's markup is escaped.
cp "$scratch/plain" "$scratch/<a href=x>me & co"
DISPLAY=:0 DBUS_SESSION_BUS_ADDRESS="$address" "$tav" e1 "$scratch/plain" "$scratch/<a href=x>me & co" key 2>/dev/null && exit 1
sleep 0.5
grep -qF '&lt;a href=x&gt;me &amp; co' "$scratch/seen" || { echo "markup not escaped"; cat "$scratch/seen"; exit 1; }

# A bus that takes connections and never answers (a stopped daemon, a
# stray listener) costs a run at most a fixed bound: the result comes, with
# its status, for a failure and for a file large enough to show progress.
truncate -s 300000000 "$scratch/large"
/usr/bin/python3 -c '
import socket, sys
listener = socket.socket(socket.AF_UNIX)
listener.bind(sys.argv[1])
listener.listen(64)
held = []
while True:
    held.append(listener.accept())
' "$scratch/silent" &
monitor="$monitor $!"
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

# A file over 256 MiB shows its progress in steps of 10%, each replacing the
# one before, with a service that answers as a desktop's does.
if /usr/bin/python3 -c 'import gi' 2>/dev/null; then
  DBUS_SESSION_BUS_ADDRESS="$address" /usr/bin/python3 "$(dirname "$0")/notification_receiver.py" "$scratch/received" &
  receiver=$!
  monitor="$monitor $receiver"
  for i in $(seq 100); do grep -q ready "$scratch/received" 2>/dev/null && break; sleep 0.1; done
  DISPLAY=:0 DBUS_SESSION_BUS_ADDRESS="$address" "$tav" e1 "$scratch/large" "$scratch/large.TAV" key 2>/dev/null
  grep -v ready "$scratch/received" > "$scratch/steps"
  # The first step is a new notification; every later one replaces it.
  [ "$(head -1 "$scratch/steps" | cut -d' ' -f1-4)" = "1 0 TAV encrypting" ] || { cat "$scratch/steps"; exit 1; }
  [ "$(tail -n +2 "$scratch/steps" | grep -vc '^1 1 TAV encrypting' || true)" = 0 ] || { cat "$scratch/steps"; exit 1; }
  lines=$(wc -l < "$scratch/steps")
  [ "$lines" -ge 10 ] && [ "$lines" -le 11 ] || { echo "expected 10 or 11 progress steps:"; cat "$scratch/steps"; exit 1; }
  tail -1 "$scratch/steps" | grep -q ' 100%$' || { echo "no final step"; cat "$scratch/steps"; exit 1; }
else
  echo "python3-gi missing: the progress steps were not checked"; exit 77
fi
echo "notification test passed"

#!/bin/sh
# TAV's desktop notifications on a private session bus, received by a
# stand-in for the desktop's notification service that logs every call.
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
wait_for() { for i in $(seq 100); do [ "$@" ] && return; sleep 0.1; done; }

# A bus of its own, with no services to start: a notification daemon
# installed here must not answer in the stand-in's place.
printf '<busconfig><type>session</type><listen>unix:path=%s/bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/></policy>
</busconfig>\n' "$scratch" > "$scratch/bus.conf"
dbus-daemon --config-file="$scratch/bus.conf" --nofork --nopidfile --print-address=3 3>"$scratch/address" &
pids=$!
wait_for -s "$scratch/address"
address="unix:path=$scratch/bus"

# The stand-in: owns org.freedesktop.Notifications, answers Notify with an
# id (the one to replace, or a new one), and logs "<id> <replaced> <summary> <body>".
DBUS_SESSION_BUS_ADDRESS="$address" /usr/bin/python3 - "$scratch/received" <<'PY' &
import sys
from gi.repository import Gio, GLib
log = open(sys.argv[1], "a", buffering=1)
last = [0]
def call(connection, sender, path, interface, method, parameters, invocation):
    _app, replaces, _icon, summary, body, _actions, _hints, _timeout = parameters.unpack()
    last[0] += not replaces
    log.write("%d %d %s %s\n" % (replaces or last[0], replaces, summary, body))
    invocation.return_value(GLib.Variant("(u)", (replaces or last[0],)))
arguments = "".join('<arg type="%s" direction="in"/>' % t for t in ["s", "u", "s", "s", "s", "as", "a{sv}", "i"])
info = Gio.DBusNodeInfo.new_for_xml('<node><interface name="org.freedesktop.Notifications"><method name="Notify">%s'
                                    '<arg type="u" direction="out"/></method></interface></node>' % arguments).interfaces[0]
Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications", Gio.BusNameOwnerFlags.NONE,
                 lambda connection, name: connection.register_object("/org/freedesktop/Notifications", info, call),
                 lambda connection, name: log.write("ready\n"), None)
GLib.MainLoop().run()
PY
pids="$pids $!"
wait_for -s "$scratch/received"

received() { grep -v '^ready$' "$scratch/received" || true; }
expect_calls() { sleep 0.3; [ "$(received | wc -l)" = "$1" ] || { echo "$2:"; received; exit 1; }; }

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
# stray listener) holds no run up: the result comes, with its status, for a
# failure and for a file large enough to show progress.
/usr/bin/python3 -c 'import itertools, socket, sys; listener = socket.socket(socket.AF_UNIX); listener.bind(sys.argv[1])
listener.listen(64); held = [listener.accept() for _ in itertools.count()]' "$scratch/silent" &
pids="$pids $!"
wait_for -S "$scratch/silent"
for run in "2 D $scratch/plain.TAV $scratch/out wrong" "0 e1 $scratch/large $scratch/large-silent.TAV key"; do
  set -- $run
  expected=$1; shift
  DISPLAY=:0 DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/silent" timeout 30 "$tav" "$@" 2>/dev/null && status=0 || status=$?
  [ "$status" = "$expected" ] || { echo "a silent bus held TAV $1: status $status"; exit 1; }
done
echo "notification test passed"

#!/bin/sh
# Renders docs/notification.png: what TAV's failure notification looks like
# on a desktop, shown by dunst (one notification service of many) under
# Xvfb on a private session bus. Not part of the test command, since the
# picture shows the service's drawing, not ours.
# Usage: sh scripts/render-notification.sh   (after a build; installs dunst, x11-apps, imagemagick)
set -eu
cd "$(dirname "$0")/.."
repo=$(pwd)
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends dunst imagemagick xvfb xauth >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config/dunst"
cat > "$scratch/config/dunst/dunstrc" <<'RC'
[global]
    font = DejaVu Sans 11
    width = 460
    origin = top-right
    offset = 20x20
    frame_width = 2
    padding = 12
    horizontal_padding = 12
    format = "<b>%s</b>\n%b"
    icon_position = off
[urgency_normal]
    background = "#2b2b2b"
    foreground = "#ffffff"
    frame_color = "#8a8a8a"
    timeout = 0
RC
cat > "$scratch/show.sh" <<'SCRIPT'
set -eu
cd "$SCRATCH"
dbus-daemon --session --nofork --nopidfile --address="unix:path=$SCRATCH/bus" 2>/dev/null & bus=$!
export DBUS_SESSION_BUS_ADDRESS="unix:path=$SCRATCH/bus" TAV_KEY_CACHE=off
sleep 0.5
XDG_CONFIG_HOME="$SCRATCH/config" dunst >/dev/null 2>&1 & service=$!
sleep 1
printf 'quarterly figures' > report.txt
"$REPO/build/default/tav/TAV" e0 report.txt report_txt.TAV key
rm report.txt
"$REPO/build/default/tav/TAV" D report_txt.TAV report.txt 'not the key' 2>/dev/null || true
sleep 1
import -window root -crop 520x140+760+0 "$REPO/docs/notification.png"
kill "$service" "$bus"
SCRIPT
SCRATCH="$scratch" REPO="$repo" xvfb-run -a -s "-screen 0 1280x400x24" sh "$scratch/show.sh"
echo "wrote docs/notification.png"

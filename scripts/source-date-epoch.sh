#!/bin/sh
# Prints the time every shipped file carries, in seconds since 1970: the
# SOURCE_DATE_EPOCH of the environment when it is set, otherwise the time of
# the last commit of the repository this script lives in, otherwise (a tree
# without its git history) the date of the newest entry of the Debian
# changelog. Never the clock: the same source gives the same time.
#   scripts/source-date-epoch.sh
set -eu
root=$(cd "$(dirname "$0")/.." && pwd -P)
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  case $SOURCE_DATE_EPOCH in
    *[!0-9]*) echo "SOURCE_DATE_EPOCH must be a whole number of seconds since 1970, not '$SOURCE_DATE_EPOCH'" >&2
              exit 1 ;;
  esac
  echo "$SOURCE_DATE_EPOCH"
# Only the tree's own history: a source tree unpacked inside another
# repository must not take that one's time.
elif [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$root" ]; then
  git -C "$root" log -1 --format=%ct
else
  echo "no git history in $root: taking the time of the Debian changelog's newest entry" >&2
  dpkg-parsechangelog -l "$root/scripts/debian/changelog" -S Timestamp
fi

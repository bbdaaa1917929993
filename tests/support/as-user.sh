#!/bin/sh
# Runs a test program as an ordinary user with the usual limit of 1024 open
# files: root passes every permission check and may hold thousands of
# descriptors, which hides faults that a user meets. Run by anyone else, it
# only sets the limit. Run by root, it copies the program, the tools it
# starts and the sanitizer's suppressions into a folder of their own (the
# build folder may be closed to other users) and runs the program there as
# user nobody; the tests find the copied tools through DRUVEL_TEST_TOOLS.
# Usage: as-user.sh <tool>... -- <test program> [argument]...
set -eu
tools=""
while [ "$1" != "--" ]; do tools="$tools $1"; shift; done
shift
program=$1
shift
ulimit -n 1024
[ "$(id -u)" -eq 0 ] || exec "$program" "$@"

place=$(mktemp -d /tmp/druvel-as-user.XXXXXX)
trap 'rm -rf "$place"' EXIT
chmod 755 "$place"
# shellcheck disable=SC2086
cp "$program" $tools "$place/"
mkdir "$place/work"
chown 65534:65534 "$place/work"
case "${LSAN_OPTIONS:-}" in
  *suppressions=*)
    suppressions=$(printf '%s\n' "$LSAN_OPTIONS" | sed 's/.*suppressions=\([^:]*\).*/\1/')
    cp "$suppressions" "$place/lsan.supp"
    LSAN_OPTIONS=$(printf '%s\n' "$LSAN_OPTIONS" | sed "s|suppressions=[^:]*|suppressions=$place/lsan.supp|")
    export LSAN_OPTIONS ;;
esac
cd "$place/work"
status=0
env HOME="$place/work" TMPDIR="$place/work" DRUVEL_TEST_TOOLS="$place" \
  setpriv --reuid=65534 --regid=65534 --clear-groups --no-new-privs \
  "$place/$(basename "$program")" "$@" || status=$?
exit $status

#!/bin/sh
# Entry point for a fresh machine: installs what the build needs (make and
# the compilers included), then runs `make` with the given targets.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
exec make "$@"

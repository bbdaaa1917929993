#!/bin/sh
# Unpacks Debian's own source package PACKAGE at VERSION into FOLDER/src:
#   scripts/debian-source.sh PACKAGE VERSION FOLDER
#   scripts/debian-source.sh --enable   (only the source entries)
# The files come only from Debian's archive through `apt-get source`, which
# checks them against the signed index; every file must then match the
# SHA-256 its .dsc gives, and dpkg-source checks them again before unpacking.
# Source entries for the suites the system already uses are added, when
# missing, in a file of our own.
set -eu
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
sources=/etc/apt/sources.list.d/druvel-deb-src.sources
if ! apt-cache showsrc dpkg 2>/dev/null | grep -q '^Version:'; then
  sed -n 's/^Types: deb$/Types: deb-src/; /^Types:\|^URIs:\|^Suites:\|^Components:\|^Signed-By:\|^$/p' \
    /etc/apt/sources.list.d/debian.sources | $sudo tee "$sources" >/dev/null
  $sudo apt-get update -qq >&2
fi
[ "$1" = --enable ] && exit 0
package=$1 version=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
(cd "$work" && apt-get source --download-only -qq "$package=$version" >&2)
dsc=$(ls "$work"/*.dsc)
awk '/^Checksums-Sha256:/ {on = 1; next} /^[^ ]/ {on = 0} on && NF == 3 {print $1 "  " $3}' "$dsc" >"$work/sha256"
[ -s "$work/sha256" ] || { echo "no SHA-256 checksums in $dsc" >&2; exit 1; }
(cd "$work" && sha256sum --quiet --strict -c sha256 >&2)
(cd "$work" && dpkg-source --require-strong-checksums -x "$(basename "$dsc")" src >&2)

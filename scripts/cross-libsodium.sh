#!/bin/sh
# Cross-builds libsodium for Windows (static, for the MinGW-w64 host given:
# i686-w64-mingw32 or x86_64-w64-mingw32) from Debian's own source package,
# the same version as the Linux build's libsodium-dev, and caches it under
# the given folder keyed by that version and host:
#   scripts/cross-libsodium.sh BUILD_FOLDER HOST  -> prints the install prefix
# The source is checked as scripts/debian-source.sh says. Each function and
# table gets a section of its own, so that a program linked with
# --gc-sections carries only what it calls (the self-decrypting files'
# program takes a tenth of the library); the cache key says so.
set -eu
cache=$(mkdir -p "$1" && cd "$1" && pwd)
host=$2
version=$(dpkg-query -W -f='${Version}' libsodium-dev)
prefix="$cache/libsodium-$version-$host-sections"
[ -f "$prefix/.complete" ] && { echo "$prefix"; exit 0; }

work="$cache/libsodium-$version-$host-src"
sh "$(dirname "$0")/debian-source.sh" libsodium "$version" "$work"

cd "$work/src"
autoreconf -fi >&2
rm -rf "$prefix"
./configure -q --host=$host --prefix="$prefix" --disable-shared --enable-static \
  --disable-dependency-tracking CFLAGS="-O2 -ffunction-sections -fdata-sections" >&2
make -s -j"$(nproc)" >&2
make -s install >&2
rm -rf "$work"
touch "$prefix/.complete"
echo "$prefix"

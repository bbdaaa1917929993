#!/bin/sh
# Cross-builds libsodium for Windows (static, for the MinGW-w64 host given:
# i686-w64-mingw32 or x86_64-w64-mingw32) from Debian's own source package,
# the same version as the Linux build's libsodium-dev, and caches it under
# the given folder keyed by that version and host:
#   scripts/cross-libsodium.sh BUILD_FOLDER HOST  -> prints the install prefix
# The source comes only from Debian's archive through `apt-get source`, which
# checks every file against the signed index; dpkg-source then checks them
# against the .dsc before unpacking.
set -eu
cache=$(mkdir -p "$1" && cd "$1" && pwd)
host=$2
version=$(dpkg-query -W -f='${Version}' libsodium-dev)
prefix="$cache/libsodium-$version-$host"
[ -f "$prefix/.complete" ] && { echo "$prefix"; exit 0; }

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
sources=/etc/apt/sources.list.d/druvel-deb-src.sources
if ! apt-get source --print-uris -qq "libsodium=$version" >/dev/null 2>&1; then
  # Source entries for the suites the system already uses, in a file of our own.
  sed -n 's/^Types: deb$/Types: deb-src/; /^Types:\|^URIs:\|^Suites:\|^Components:\|^Signed-By:\|^$/p' \
    /etc/apt/sources.list.d/debian.sources | $sudo tee "$sources" >/dev/null
  $sudo apt-get update -qq >&2
fi

work="$cache/libsodium-$version-$host-src"
rm -rf "$work" && mkdir -p "$work"
(cd "$work" && apt-get source --download-only -qq "libsodium=$version" >&2)
dsc=$(ls "$work"/*.dsc)
# Every file the .dsc lists must be there with the SHA-256 it gives.
awk '/^Checksums-Sha256:/ {on = 1; next} /^[^ ]/ {on = 0} on && NF == 3 {print $1 "  " $3}' "$dsc" >"$work/sha256"
[ -s "$work/sha256" ] || { echo "no SHA-256 checksums in $dsc" >&2; exit 1; }
(cd "$work" && sha256sum --quiet --strict -c sha256 >&2)
(cd "$work" && dpkg-source --require-strong-checksums -x "$(basename "$dsc")" src >&2)

cd "$work/src"
autoreconf -fi >&2
rm -rf "$prefix"
./configure -q --host=$host --prefix="$prefix" --disable-shared --enable-static \
  --disable-dependency-tracking CFLAGS="-O2" >&2
make -s -j"$(nproc)" >&2
make -s install >&2
rm -rf "$work"
touch "$prefix/.complete"
echo "$prefix"

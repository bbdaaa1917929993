#!/bin/sh
# Installs the Debian packages the build needs, when they are missing.
# Usage: scripts/install-deps.sh build|run|bench
set -eu

packages="build-essential cmake pkg-config libgtest-dev libgmock-dev libsodium-dev qt6-base-dev qt6-svg-dev fonts-dejavu-core
  libssl-dev clang libclang-rt-14-dev lintian xvfb xauth xdotool
  dbus-daemon dbus-bin libglib2.0-bin python3-gi gir1.2-glib-2.0
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  dpkg-dev autoconf automake libtool wine wine32:i386 wine64 fonts-wine nsis zip unzip 7zip"
case "${1:-build}" in
  build) ;;
  bench) packages="$packages age gnupg time" ;;
  *) echo "usage: $0 build|bench" >&2; exit 2 ;;
esac

missing=""
for package in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing="$missing $package"
done
[ -z "$missing" ] && exit 0

echo "Installing Debian packages:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
# Wine runs the 32-bit Windows programs with 32-bit libraries.
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null

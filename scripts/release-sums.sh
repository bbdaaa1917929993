#!/bin/sh
# Writes build/SHA256SUMS for what `make release` built: a line for each
# download (the Debian package, the two Windows zips, the installer) and for
# each file inside the package and the zips, under the name it has once
# unpacked next to its download (`dpkg-deb -x druvel_<version>_amd64.deb
# druvel_<version>_amd64`, `unzip Druvel-<version>-win64.zip`), so that
# `sha256sum -c --ignore-missing SHA256SUMS` checks whatever is there.
# Also build/PACKAGES: the Debian packages, with their versions, of the
# machine that built them, and the source packages cross-built for Windows
# (other compilers or libraries give other bytes).
#   scripts/release-sums.sh
set -eu
build=$(cd "$(dirname "$0")/../build" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/default/CMakeCache.txt")
[ -n "$version" ] || { echo "no version in $build/default/CMakeCache.txt: run make release" >&2; exit 1; }
deb=$build/default/druvel_${version}_amd64.deb
downloads="$deb $build/win32/Druvel-$version-win32.zip $build/win64/Druvel-$version-win64.zip
  $build/win64/Druvel-$version-setup.exe"
for file in $downloads; do
  [ -f "$file" ] || { echo "missing $file: run make release" >&2; exit 1; }
done

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked/$(basename "$deb" .deb)"
for file in $downloads; do
  case $file in *.zip) unzip -q "$file" -d "$unpacked" ;; esac
done
{
  for file in $downloads; do
    (cd "$(dirname "$file")" && sha256sum "$(basename "$file")")
  done
  (cd "$unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum)
} >"$build/SHA256SUMS"
{
  dpkg-query -W -f='${binary:Package} ${Version}\n' | LC_ALL=C sort
  # build/windows-deps/<package>-<version>-<host>-<build key>/, the complete ones.
  for library in "$build"/windows-deps/*/.complete; do
    echo "cross-built for Windows: $(basename "$(dirname "$library")")"
  done
} >"$build/PACKAGES"
echo "$build/SHA256SUMS: $(wc -l <"$build/SHA256SUMS") files"

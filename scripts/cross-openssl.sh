#!/bin/sh
# Cross-builds OpenSSL's libcrypto for Windows (static, for the MinGW-w64
# host given: i686-w64-mingw32 or x86_64-w64-mingw32) from Debian's own
# source package, and caches it under the given folder keyed by version
# and host:
#   scripts/cross-openssl.sh BUILD_FOLDER HOST  -> prints the install prefix
# The version is the newest of Debian's index whose files the archive holds
# (a security update's files can lag behind its index), checked as
# scripts/debian-source.sh says. Only what TAV needs is built: libcrypto,
# with its assembler, without what loads code, talks to a network or
# serves other ciphers and keys. Built as for Windows' core API set, it
# needs no user32.dll (a fatal error goes to standard error, never to a
# message box): loading that library costs each start of TAV.exe under
# Wine some 400 ms. The library records its build date: the date of the
# source package's newest changelog entry, so that every build of a version
# gives the same bytes (the cache key says so).
set -eu
cache=$(mkdir -p "$1" && cd "$1" && pwd)
host=$2
case $host in
  x86_64-*) target=mingw64 ;;
  *) target=mingw ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
sh "$here/debian-source.sh" --enable
for version in $(apt-cache showsrc openssl | awk '/^Version:/ {print $2}' | sort -r -V); do
  prefix="$cache/openssl-$version-$host-dated"
  [ -f "$prefix/.complete" ] && { echo "$prefix"; exit 0; }
  work="$cache/openssl-$version-$host-src"
  sh "$here/debian-source.sh" openssl "$version" "$work" 2>/dev/null && break
  rm -rf "$work"
  echo "openssl $version: not in the archive, trying an older one" >&2
done
[ -d "$work/src" ] || { echo "no openssl source package could be had" >&2; exit 1; }

cd "$work/src"
rm -rf "$prefix"
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -S Timestamp)
export SOURCE_DATE_EPOCH
./Configure "$target" --cross-compile-prefix="$host-" no-shared no-tests no-module no-legacy no-engine no-dso \
  no-ui-console no-async no-sock no-ssl no-tls no-dtls no-srp no-psk no-comp no-ocsp no-cms no-ts no-ct \
  no-des no-rc2 no-rc4 no-idea no-seed no-bf no-cast no-camellia no-aria no-sm2 no-sm3 no-sm4 no-whirlpool \
  no-md4 no-mdc2 no-rmd160 no-scrypt no-siphash no-cmac no-ec no-dh no-dsa \
  -DOPENSSL_SYS_WIN_CORE >/dev/null
make -s -j"$(nproc)" build_generated >&2
make -s -j"$(nproc)" libcrypto.a >&2
mkdir -p "$prefix/lib" "$prefix/include"
cp libcrypto.a "$prefix/lib/"
cp -r include/openssl "$prefix/include/"
rm -rf "$work"
touch "$prefix/.complete"
echo "$prefix"

#!/bin/sh
# Writes the known-answer vectors of the format TAV writes (version 2) into
# v2/: files around the chunk size and a padded one, sealed by the test build
# (cheapest key derivation, recorded in each header, so the real tool opens
# them quickly too), and one sealed by the real tool with its real cost. Run
# once when the format is introduced; the files are checked in so that a
# later change of TAV that cannot read them any more fails the tests. Never
# regenerate them to make a test pass. (v1/ holds version 1's, made by the
# TAV of that time.)
# Usage: tests/tav/vectors/make-vectors.sh path/to/TAV path/to/tav_fast_kdf
set -eu
tav=$(realpath "$1")
fast=$(realpath "$2")
cd "$(dirname "$0")"
mkdir -p v2
cd v2
key="correct horse battery staple"
rm -f ./*
: > empty.txt
printf 'Hello, TAV!\n' > hello.txt
for size in 262143 262144 262145; do
  python3 -c "import sys; sys.stdout.buffer.write(bytes((i * 7) % 251 for i in range($size)))" > "chunk-$size.bin"
  "$fast" e1 "chunk-$size.bin" "chunk-${size}_bin.TAV" "$key"
done
printf 'Padded so that the size says little.\n' > paranoid.txt
"$fast" e1 empty.txt empty_txt.TAV "$key"
"$tav" e2 hello.txt hello_txt.TAV "$key"
"$fast" e0+ paranoid.txt paranoid_txt.TAV "$key"

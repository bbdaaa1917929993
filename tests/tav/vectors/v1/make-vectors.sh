#!/bin/sh
# Writes the decrypt vectors with the real TAV. Run once when the format is
# introduced; the files are checked in so that a later change of TAV that
# cannot read them any more fails the tests. Never regenerate them to make
# a test pass.
# Usage: tests/tav/vectors/v1/make-vectors.sh path/to/TAV (the TAV of version 1)
set -eu
tav=$1
cd "$(dirname "$0")"
key="correct horse battery staple"
: > empty.txt
printf 'Hello, TAV!\n' > hello.txt
python3 -c "import sys; sys.stdout.buffer.write(bytes((i * 7) % 251 for i in range(65537)))" > chunk-plus-one.bin
printf 'Padded so that the size says little.\n' > paranoid.txt
rm -f ./*.TAV
"$tav" e1 empty.txt empty_txt.TAV "$key"
"$tav" e2 hello.txt hello_txt.TAV "$key"
"$tav" e1 chunk-plus-one.bin chunk-plus-one_bin.TAV "$key"
"$tav" e0+ paranoid.txt paranoid_txt.TAV "$key"

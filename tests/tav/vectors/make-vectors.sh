#!/bin/sh
# Writes the vectors of the format TAV writes (version 2; v1/ and
# malformed-v1/ hold version 1's): into v2/, files around the chunk size and
# a padded one; into malformed-v2/, a file per way a file can be damaged,
# with the status TAV must give in expected.txt. Sealed by the test build,
# whose cheap key derivation the headers record, and one by the real tool.
# Run once when the format changes; never regenerate them to make a test pass.
# Usage: tests/tav/vectors/make-vectors.sh path/to/TAV path/to/tav_fast_kdf
set -eu
tav=$(realpath "$1")
fast=$(realpath "$2")
cd "$(dirname "$0")"
key="correct horse battery staple"
bytes() { python3 -c "import sys; sys.stdout.buffer.write(bytes((i * $2) % $3 for i in range($1)))"; }
rm -rf v2 malformed-v2
mkdir v2 malformed-v2
: > v2/empty.txt
printf 'Hello, TAV!\n' > v2/hello.txt
printf 'Padded so that the size says little.\n' > v2/paranoid.txt
for size in 262143 262144 262145; do
  bytes $size 7 251 > "v2/chunk-$size.bin"
  "$fast" e1 "v2/chunk-$size.bin" "v2/chunk-${size}_bin.TAV" "$key"
done
"$fast" e1 v2/empty.txt v2/empty_txt.TAV "$key"
"$tav" e2 v2/hello.txt v2/hello_txt.TAV "$key"
"$fast" e0+ v2/paranoid.txt v2/paranoid_txt.TAV "$key"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bytes $((2 * 262144 + 10)) 13 256 > "$work/a.bin"
bytes $((2 * 262144 + 10)) 17 256 > "$work/b.bin"
bytes 1000 7 256 > "$work/s.bin"
"$fast" e1 "$work/a.bin" "$work/a.TAV" "$key"
"$fast" e1 "$work/b.bin" "$work/b.TAV" "$key"
"$fast" e1 "$work/s.bin" "$work/s.TAV" "$key"
"$fast" e1 "$work/s.bin" "$work/other-key.TAV" "another key"
python3 - "$work" malformed-v2 <<'PY'
import hashlib, struct, sys
work, out = sys.argv[1], sys.argv[2]
a, b, s = (open("%s/%s.TAV" % (work, name), "rb").read() for name in "abs")  # s: one chunk, which most cases need
HEADER, META, CHUNK = 96, 264 + 16, 262144 + 16
chunk0, chunk1, chunk2 = (HEADER + META + i * CHUNK for i in range(3))
manifest = []

def checksum(data):
    return data[:80] + hashlib.blake2b(data[:80], digest_size=16).digest() + data[96:]

def vector(name, data, status, what):
    open(out + "/" + name, "wb").write(data)
    manifest.append("%s %d %s" % (name, status, what))

def flip(data, offset, bit=0x04):
    return data[:offset] + bytes([data[offset] ^ bit]) + data[offset + 1:]

def field(data, offset, value):
    return data[:offset] + value + data[offset + len(value):]

def trailer(offset):
    return struct.pack("<Q", offset) + b"TAVSFX\x1a\x01"

vector("good.TAV", s, 0, "an undamaged file of one chunk, for comparison")
vector("empty.TAV", b"", 3, "an empty file")
vector("text.TAV", b"plain text, not encrypted at all\n" * 4, 3, "a file that is no TAV file")
vector("other-key.TAV", open(work + "/other-key.TAV", "rb").read(), 2, "sealed under another key")
for name, cut in [("magic", 4), ("header", 50), ("key-check", 70), ("after-header", HEADER),
                  ("metadata", HEADER + 100), ("after-metadata", chunk0), ("chunk", chunk0 + 500),
                  ("last-byte", len(s) - 1)]:
    vector("truncated-in-%s.TAV" % name, s[:cut], 3, "cut short at byte %d" % cut)
vector("truncated-at-chunk-boundary.TAV", a[:chunk1], 3, "cut short after the first chunk")
for name, offset in [("magic", 0), ("version", 8), ("algorithm", 9), ("flags", 10), ("reserved", 11),
                     ("opslimit", 12), ("memlimit", 16), ("salt", 24), ("stream-header", 40),
                     ("key-check", 64), ("checksum", 80), ("metadata", HEADER + 5), ("metadata-tag", chunk0 - 1),
                     ("chunk", chunk0 + 3), ("last-byte", len(s) - 1)]:
    vector("flipped-%s.TAV" % name, flip(s, offset), 3, "one bit flipped at byte %d" % offset)
vector("flipped-middle-chunk-tag.TAV", flip(a, chunk2 - 1), 3, "one bit flipped in the middle chunk's tag")
# With the checksum made to match again, the header's own checks answer.
vector("version-3-checksummed.TAV", checksum(field(s, 8, b"\x03")), 3, "format version 3, checksum recomputed")
vector("version-1-checksummed.TAV", checksum(field(s, 8, b"\x01")), 2,
       "labelled version 1, checksum recomputed: the key check then fails")
vector("algorithm-1-checksummed.TAV", checksum(field(s, 9, b"\x01")), 3, "unknown key derivation, checksum recomputed")
vector("unknown-flag-checksummed.TAV", checksum(field(s, 10, b"\x80")), 3, "unknown flag, checksum recomputed")
vector("reserved-checksummed.TAV", checksum(field(s, 11, b"\x01")), 3, "reserved byte set, checksum recomputed")
for name, ops in [("0", 0), ("67", 67), ("4294967295", 0xFFFFFFFF)]:
    vector("opslimit-%s.TAV" % name, checksum(field(s, 12, struct.pack("<I", ops))), 3,
           "opslimit %d, checksum recomputed" % ops)
for name, mem in [("0", 0), ("8191", 8191), ("1GiB-plus-1", (1 << 30) + 1), ("2-pow-63", 1 << 63)]:
    vector("memlimit-%s.TAV" % name, checksum(field(s, 16, struct.pack("<Q", mem))), 3,
           "memlimit %d, checksum recomputed" % mem)
# A known field changed with a matching checksum: the key check (keyed with
# a key derived from the user's key) fails, which cannot be told from a wrong key.
vector("salt-checksummed.TAV", checksum(flip(s, 24)), 2, "salt changed, checksum recomputed")
vector("padded-flag-checksummed.TAV", checksum(field(s, 10, b"\x01")), 2, "padded flag added, checksum recomputed")
vector("swapped-chunks.TAV", a[:chunk0] + a[chunk1:chunk2] + a[chunk0:chunk1] + a[chunk2:], 3,
       "the first two chunks swapped")
vector("last-chunk-flag-on-first.TAV", a[:chunk0] + a[chunk2:], 3,
       "the last chunk moved behind the metadata, the others dropped")
vector("chunk-from-other-file.TAV", a[:chunk1] + b[chunk1:chunk2] + a[chunk2:], 3,
       "the middle chunk taken from another file under the same key")
vector("header-from-other-file.TAV", b[:HEADER] + s[HEADER:], 3, "another file's header before this stream")
vector("last-chunk-dropped.TAV", a[:chunk2], 3, "ends after a whole chunk that is not the last")
vector("trailing-byte.TAV", s + b"\x00", 3, "one byte appended")
vector("trailing-chunk.TAV", s + s[chunk0:], 3, "the last chunk appended again")
vector("trailing-file.TAV", s + s, 3, "a whole second file appended")
vector("trailer-at-start.TAV", s + trailer(0), 0, "a self-decrypting trailer pointing at the header")
vector("trailer-into-the-middle.TAV", s + trailer(chunk0), 3, "a trailer pointing into the stream")
vector("trailer-past-the-end.TAV", s + trailer(1 << 60), 3, "a trailer pointing past the file")
vector("stub-and-trailer.TAV", b"MZ stub" * 10 + s + trailer(70), 0, "a program stub, the file and its trailer")
vector("stub-without-trailer.TAV", b"MZ stub" * 10 + s, 3, "a program stub without a trailer")
open(out + "/expected.txt", "w").write(
    "# vector, exit status of TAV D and TAV d with the key \"correct horse battery staple\", what it is\n"
    + "\n".join(manifest) + "\n")
PY

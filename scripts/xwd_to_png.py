#!/usr/bin/python3
"""Turns a 24- or 32-bit TrueColor XWD window dump (xwd -id ...) into a PNG.
   xwd_to_png.py IN.xwd OUT.png"""
import struct
import sys
import zlib


def main(source, target):
    data = open(source, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    bits_per_pixel, bytes_per_line, colours = header[11], header[12], header[19]
    red_mask, green_mask, blue_mask = header[15], header[16], header[17]
    if bits_per_pixel != 32:
        sys.exit("only 32 bits per pixel are handled")
    pixels = data[header_size + colours * 12:]
    byte_order = "<" if header[7] == 0 else ">"

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    shifts = [shift(m) for m in (red_mask, green_mask, blue_mask)]
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        line = pixels[y * bytes_per_line:y * bytes_per_line + width * 4]
        for (value,) in struct.iter_unpack(byte_order + "I", line):
            rows += bytes(((value >> s) & 0xFF) for s in shifts)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    open(target, "wb").write(png)


if __name__ == "__main__":
    main(*sys.argv[1:3])

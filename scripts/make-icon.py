#!/usr/bin/env python3
"""Makes a 32 x 32, 16-colour .ico from its text drawing (see icon.txt)."""
import struct
import sys

PALETTE = [  # the 16 standard colours, as R, G, B
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255)]
SIZE = 32


def read_drawing(path):
    rows = [line.rstrip("\n") for line in open(path, encoding="ascii") if not line.startswith("#")]
    rows = [row for row in rows if row]
    if len(rows) != SIZE or any(len(row) != SIZE for row in rows):
        sys.exit(f"{path}: the drawing must be {SIZE} rows of {SIZE} characters")
    for y, row in enumerate(rows):
        for x, c in enumerate(row):
            if c != "." and c not in "0123456789abcdef":
                sys.exit(f"{path}:{y + 1}: '{c}' at column {x + 1} is neither a palette digit nor '.'")
    return rows


def ico(rows):
    # The bitmap is stored bottom-up: 4 bits a pixel, then a 1-bit mask where
    # 1 is transparent; each row padded to four bytes.
    xor, mask = b"", b""
    for row in reversed(rows):
        pixels = [0 if c == "." else int(c, 16) for c in row]
        xor += bytes((pixels[i] << 4) | pixels[i + 1] for i in range(0, SIZE, 2))
        bits = "".join("1" if c == "." else "0" for c in row)
        mask += int(bits, 2).to_bytes(SIZE // 8, "big")
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 22)
    return directory + image


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: make-icon.py DRAWING.txt OUT.ico")
    with open(sys.argv[2], "wb") as out:
        out.write(ico(read_drawing(sys.argv[1])))

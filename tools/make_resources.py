#!/usr/bin/env python3
"""Draws the program's pictures at build time (standard library only, same bytes every run).

  make_resources.py --out-dir DIR      writes DIR/BITMAP0.bmp and DIR/ZOKA.ico

BITMAP0.bmp  the error picture: a red disc with a white diagonal cross, 15 x 14 pixels,
             24-bit, on the classic dialog face colour (240, 240, 240).
ZOKA.ico     the program's icon: a chip with a green arrow into it, 16x16, 32x32 and 48x48,
             32-bit with alpha plus an AND mask (so that classic loaders see the outline).

Shapes are tests of a point of the unit square, sampled 4 x 4 times per pixel and
averaged in integers; nothing depends on time, order of files or library versions.
"""
import argparse
import os
import struct
import sys

SUB = 4  # samples per pixel along each axis


def render(width, height, layers, background):
    """Paints layers (list of (inside(x, y) -> bool, (r, g, b, a))) over the background
    colour (r, g, b, a) and returns rows top to bottom of (r, g, b, a) tuples."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0, 0, 0, 0]
            for sy in range(SUB):
                for sx in range(SUB):
                    x = (px + (sx + 0.5) / SUB) / width
                    y = (py + (sy + 0.5) / SUB) / height
                    colour = background
                    for inside, c in layers:
                        if inside(x, y):
                            colour = c
                    # Premultiplied sums, so that transparent samples do not darken edges.
                    a = colour[3]
                    acc[0] += colour[0] * a
                    acc[1] += colour[1] * a
                    acc[2] += colour[2] * a
                    acc[3] += a
            n = SUB * SUB
            alpha = (acc[3] + n // 2) // n
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple((acc[i] + acc[3] // 2) // acc[3] for i in range(3)) + (alpha,))
        rows.append(row)
    return rows


# ---------------------------------------------------------------- the error picture
def error_layers(width, height):
    aspect = width / height  # the disc stays round on a 15 x 14 tile

    def disc(r):
        return lambda x, y: ((x - 0.5) * aspect) ** 2 + (y - 0.5) ** 2 <= r * r

    def cross(x, y):
        u, v = (x - 0.5) * aspect, y - 0.5
        if u * u + v * v > 0.29 ** 2:
            return False
        return abs(u - v) <= 0.085 or abs(u + v) <= 0.085

    return [
        (disc(0.49), (150, 0, 0, 255)),   # dark rim
        (disc(0.43), (224, 32, 32, 255)),
        (cross, (255, 255, 255, 255)),
    ]


def bmp24(rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b, _ in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        pixels += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    return file_header + header + bytes(pixels)


# ---------------------------------------------------------------- the icon
def icon_layers():
    def rect(x0, y0, x1, y1):
        return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1

    def rounded(x0, y0, x1, y1, r):
        def inside(x, y):
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        return inside

    def pins(x, y):
        # Three pins on each side of the body, below the arrow's head.
        if not (0.08 <= x <= 0.92):
            return False
        for cy in (0.52, 0.67, 0.82):
            if abs(y - cy) <= 0.04 and (x <= 0.22 or x >= 0.78):
                return True
        return False

    def arrow(x, y):
        shaft = abs(x - 0.5) <= 0.08 and 0.02 <= y <= 0.40
        head = 0.30 <= y <= 0.62 and abs(x - 0.5) <= (0.62 - y) * 0.75
        return shaft or head

    def notch(x, y):
        return (x - 0.5) ** 2 + (y - 0.42) ** 2 <= 0.05 ** 2

    return [
        (pins, (150, 150, 160, 255)),
        (rounded(0.18, 0.40, 0.82, 0.94, 0.06), (40, 44, 52, 255)),
        (rounded(0.24, 0.46, 0.76, 0.88, 0.03), (64, 70, 82, 255)),
        (notch, (40, 44, 52, 255)),
        (arrow, (32, 176, 64, 255)),
    ]


def ico(images):
    """images: list of rows (square, top to bottom, RGBA). 32-bit entries with AND masks."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for rows in images:
        size = len(rows)
        xor = bytearray()
        for row in reversed(rows):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            line = bytearray(mask_stride)
            for x, (_, _, _, a) in enumerate(row):
                if a < 128:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += line
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blob = header + bytes(xor) + bytes(mask)
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def write_if_changed(path, data):
    # Unchanged outputs keep their time stamps, so nothing that embeds them is rebuilt.
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main(argv):
    ap = argparse.ArgumentParser(description="Draws BITMAP0.bmp and ZOKA.ico.")
    ap.add_argument("--out-dir", required=True)
    a = ap.parse_args(argv)
    os.makedirs(a.out_dir, exist_ok=True)
    face = (240, 240, 240, 255)
    write_if_changed(os.path.join(a.out_dir, "BITMAP0.bmp"), bmp24(render(15, 14, error_layers(15, 14), face)))
    icons = [render(s, s, icon_layers(), (0, 0, 0, 0)) for s in (16, 32, 48)]
    write_if_changed(os.path.join(a.out_dir, "ZOKA.ico"), ico(icons))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

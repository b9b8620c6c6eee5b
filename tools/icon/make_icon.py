#!/usr/bin/env python3
"""Draws the program's icon and writes it as a multi-size .ico (16, 24, 32, 48, 64, 256).

Usage: python3 tools/icon/make_icon.py ui/quenfold.ico

The picture is defined on the unit square and sampled 4x4 per pixel at every size, so each
size is drawn directly rather than scaled from a large bitmap. The small sizes are stored as
32-bit DIBs, the 256 size as PNG, which is what the shell expects of a modern icon file.
"""
import struct
import sys
import zlib

BLUE_TOP = (46, 125, 214)
BLUE_BOTTOM = (22, 78, 160)
FOLDER = (255, 206, 84)
FOLDER_TAB = (240, 178, 48)
ARROW = (40, 170, 80)
WHITE = (255, 255, 255)


def rounded_rect(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def arrow(x, y):
    # A downward arrow: the copy that lands in the folder.
    shaft = 0.44 <= x <= 0.56 and 0.16 <= y <= 0.44
    head = 0.40 <= y <= 0.60 and abs(x - 0.5) <= (0.60 - y) * 1.0
    return shaft or head


def arrow_outline(x, y):
    for dx, dy in ((0.03, 0), (-0.03, 0), (0, 0.03), (0, -0.03)):
        if arrow(x + dx, y + dy):
            return True
    return False


def colour_at(x, y):
    """RGBA of the picture at (x, y) in the unit square, y pointing down."""
    if not rounded_rect(x, y, 0.02, 0.02, 0.98, 0.98, 0.18):
        return (0, 0, 0, 0)
    t = y
    base = tuple(int(BLUE_TOP[i] * (1 - t) + BLUE_BOTTOM[i] * t) for i in range(3))
    colour = base
    if rounded_rect(x, y, 0.16, 0.38, 0.46, 0.50, 0.04):
        colour = FOLDER_TAB
    if rounded_rect(x, y, 0.16, 0.44, 0.84, 0.84, 0.05):
        colour = FOLDER
    if arrow_outline(x, y):
        colour = WHITE
    if arrow(x, y):
        colour = ARROW
    return colour + (255,)


def render(size):
    samples = 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    r, g, b, a = colour_at((px + (sx + 0.5) / samples) / size,
                                           (py + (sy + 0.5) / samples) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if acc[3]:
                rgb = [int(round(c / acc[3])) for c in acc[:3]]
            else:
                rgb = [0, 0, 0]
            row.append((rgb[0], rgb[1], rgb[2], int(round(alpha))))
        rows.append(row)
    return rows


def dib(rows):
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # alpha carries the shape; the AND mask stays clear
    return header + bytes(pixels) + mask


def png(rows):
    size = len(rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for pixel in row:
            raw += bytes(pixel)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else 'quenfold.ico'
    sizes = [16, 24, 32, 48, 64, 256]
    images = [png(render(s)) if s == 256 else dib(render(s)) for s in sizes]
    header = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    directory = b''
    for s, data in zip(sizes, images):
        directory += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, 'wb') as f:
        f.write(header + directory + b''.join(images))


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""Draws Pellmar's window icons: a mesh triangle with its three vertices on a teal tile.

Writes ui/win32/pellmar.ico (32 and 48 pixels) and ui/win32/small.ico (16 pixels).
"""
import os
import struct

TEAL = (0x2A, 0x7F, 0x86, 0xFF)
EDGE = (0xF2, 0xF2, 0xE8, 0xFF)
DOT = (0xF5, 0xB7, 0x31, 0xFF)
CLEAR = (0, 0, 0, 0)


def draw(size):
    px = [[CLEAR] * size for _ in range(size)]
    r = size / 8
    for y in range(size):
        for x in range(size):
            # A tile with rounded corners.
            dx = max(r - x - 0.5, 0, x + 0.5 - (size - r))
            dy = max(r - y - 0.5, 0, y + 0.5 - (size - r))
            if dx * dx + dy * dy <= r * r:
                px[y][x] = TEAL
    corners = [(size * 0.5, size * 0.18), (size * 0.18, size * 0.8), (size * 0.82, size * 0.8)]
    width = max(1.0, size / 16)

    def segment_distance(x, y, a, b):
        (ax, ay), (bx, by) = a, b
        vx, vy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)))
        return ((ax + t * vx - x) ** 2 + (ay + t * vy - y) ** 2) ** 0.5

    for y in range(size):
        for x in range(size):
            cx, cy = x + 0.5, y + 0.5
            if any(segment_distance(cx, cy, corners[i], corners[(i + 1) % 3]) <= width / 2 + 0.3 for i in range(3)):
                px[y][x] = EDGE
            if any(((cx - a) ** 2 + (cy - b) ** 2) ** 0.5 <= width * 1.6 for a, b in corners):
                px[y][x] = DOT
    return px


def image(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(struct.pack('<BBBB', b, g, r, a) for row in reversed(px) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(px):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def write_ico(path, sizes):
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


here = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'ui', 'win32')
write_ico(os.path.join(here, 'pellmar.ico'), [32, 48])
write_ico(os.path.join(here, 'small.ico'), [16])

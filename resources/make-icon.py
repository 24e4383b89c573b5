#!/usr/bin/env python3
"""Draws the program's icons (16, 32 and 48 pixels, 32-bit) into .ico files.

usage: make-icon.py OUT [program|cross|tick|tickcross]

program    a dark blue rounded square, a yellow number plate, a white lens
cross      a red cross (diary row: not found)
tick       a green tick (found)
tickcross  a green tick with a small red cross (found after Update Diary)
"""
import struct
import sys


def pixel(x, y, n):
    u, v = (x + 0.5) / n, (y + 0.5) / n       # 0..1, v downwards
    r = 0.18
    cx, cy = min(max(u, r), 1 - r), min(max(v, r), 1 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return (0, 0, 0, 0)                    # outside the rounded square
    if 0.14 < u < 0.86 and 0.58 < v < 0.80:    # the plate
        if 0.18 < u < 0.82 and 0.62 < v < 0.76 and int(u * 12) % 2 == 0:
            return (20, 20, 20, 255)
        return (0, 210, 255, 255)
    d = ((u - 0.5) ** 2 + (v - 0.33) ** 2) ** 0.5
    if 0.13 < d < 0.2:                         # the lens
        return (255, 255, 255, 255)
    return (120, 40, 10, 255)                  # BGR: dark blue


def near_segment(u, v, a, b, width):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((u - ax) * dx + (v - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return (u - px) ** 2 + (v - py) ** 2 <= width * width


RED = (40, 40, 220, 255)       # BGRA
GREEN = (40, 170, 30, 255)
CLEAR = (0, 0, 0, 0)


def cross(u, v, scale=1.0, at=(0.5, 0.5)):
    cx, cy = at
    h = 0.32 * scale
    w = 0.09 * scale
    return (near_segment(u, v, (cx - h, cy - h), (cx + h, cy + h), w) or
            near_segment(u, v, (cx - h, cy + h), (cx + h, cy - h), w))


def tick(u, v):
    return (near_segment(u, v, (0.15, 0.55), (0.4, 0.8), 0.09) or
            near_segment(u, v, (0.4, 0.8), (0.88, 0.2), 0.09))


def marker(kind, x, y, n):
    u, v = (x + 0.5) / n, (y + 0.5) / n
    if kind == 'cross':
        return RED if cross(u, v) else CLEAR
    if kind == 'tick':
        return GREEN if tick(u, v) else CLEAR
    if cross(u, v, 0.45, (0.74, 0.74)):
        return RED
    return GREEN if tick(u, v) else CLEAR


def image(n, kind):
    draw = pixel if kind == 'program' else (lambda x, y, n: marker(kind, x, y, n))
    rows = []
    for y in range(n - 1, -1, -1):             # bottom-up
        rows.append(b''.join(struct.pack('4B', *draw(x, y, n)) for x in range(n)))
    xor = b''.join(rows)
    mask_row = ((n + 31) // 32) * 4
    andmask = b'\0' * (mask_row * n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return header + xor + andmask


def main():
    kind = sys.argv[2] if len(sys.argv) > 2 else 'program'
    if kind not in ('program', 'cross', 'tick', 'tickcross'):
        sys.exit("make-icon.py: unknown icon %r" % kind)
    sizes = [16, 32, 48]
    images = [image(n, kind) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()

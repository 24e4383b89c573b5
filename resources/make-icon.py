#!/usr/bin/env python3
"""Draws the program's icon (16, 32 and 48 pixels, 32-bit) into an .ico:
a dark blue rounded square with a yellow number-plate bar and a white lens."""
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


def image(n):
    rows = []
    for y in range(n - 1, -1, -1):             # bottom-up
        rows.append(b''.join(struct.pack('4B', *pixel(x, y, n)) for x in range(n)))
    xor = b''.join(rows)
    mask_row = ((n + 31) // 32) * 4
    andmask = b'\0' * (mask_row * n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return header + xor + andmask


def main():
    sizes = [16, 32, 48]
    images = [image(n) for n in sizes]
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

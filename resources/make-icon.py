#!/usr/bin/env python3
"""Draws the program's icons (16, 32 and 48 pixels, 32-bit) into .ico files.

usage: make-icon.py OUT [program|cross|tick|tickcross]

program    a dark blue rounded square, a yellow number plate, a white lens
cross      a red cross (diary row: not found)
tick       a green tick (found)
tickcross  a green tick with a small red cross (found after Update Diary)
diary, setting, password, update, backup, import, remark, importremark,
find       the main window's function buttons: a coloured badge with the
           button's letter
banner     (a .bmp) the main window's banner: a number plate on a road
logo       (a .bmp) a small plate, kept in the resources
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


# 5 x 7 letters for the badges, one string of five bits per row.
GLYPHS = {
    'D': ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'U': ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    'B': ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    'I': ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'F': ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
}
BADGES = {  # letter, BGR colour
    'diary': ('D', (160, 90, 20)), 'setting': ('S', (90, 90, 90)),
    'password': ('P', (20, 120, 200)), 'update': ('U', (40, 150, 40)),
    'backup': ('B', (150, 60, 120)), 'import': ('I', (30, 140, 160)),
    'remark': ('R', (40, 40, 190)), 'importremark': ('M', (20, 100, 140)),
    'find': ('F', (30, 30, 200)),
}


def badge(kind, x, y, n):
    letter, colour = BADGES[kind]
    u, v = (x + 0.5) / n, (y + 0.5) / n
    r = 0.2
    cx, cy = min(max(u, r), 1 - r), min(max(v, r), 1 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return CLEAR
    gx, gy = int((u - 0.25) / 0.5 * 5), int((v - 0.18) / 0.64 * 7)
    if 0 <= gx < 5 and 0 <= gy < 7 and 0.25 <= u < 0.75 and 0.18 <= v < 0.82:
        if GLYPHS[letter][gy][gx] == '1':
            return (255, 255, 255, 255)
    return colour + (255,)


def image(n, kind):
    if kind == 'program':
        draw = pixel
    elif kind in BADGES:
        draw = lambda x, y, n: badge(kind, x, y, n)
    else:
        draw = lambda x, y, n: marker(kind, x, y, n)
    rows = []
    for y in range(n - 1, -1, -1):             # bottom-up
        rows.append(b''.join(struct.pack('4B', *draw(x, y, n)) for x in range(n)))
    xor = b''.join(rows)
    mask_row = ((n + 31) // 32) * 4
    andmask = b'\0' * (mask_row * n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return header + xor + andmask


def bitmap(kind):
    """A 24-bit bottom-up .bmp: the banner (480 x 90) or the logo (120 x 40)."""
    w, h = (480, 90) if kind == 'banner' else (120, 40)
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            u, v = x / w, y / h
            b, g, r = 60 + int(40 * v), 60 + int(40 * v), 70 + int(40 * v)   # road
            if abs(v - 0.5) < 0.03 and int(u * 16) % 2 == 0:                 # lane marks
                b, g, r = 230, 230, 230
            px, py = (0.3, 0.2) if kind == 'banner' else (0.05, 0.1)
            pw, ph = (0.4, 0.6) if kind == 'banner' else (0.9, 0.8)
            if px <= u <= px + pw and py <= v <= py + ph:                    # the plate
                b, g, r = 20, 20, 20
                inner = (px + 0.02 <= u <= px + pw - 0.02 and py + 0.08 <= v <= py + ph - 0.08)
                if inner and int((u - px) / pw * 14) % 2 == 0 and abs(v - (py + ph / 2)) < ph / 4:
                    b, g, r = 255, 255, 255
            row += bytes((b, g, r))
        row += b'\0' * ((4 - len(row) % 4) % 4)
        rows.append(bytes(row))
    data = b''.join(rows)
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def main():
    kind = sys.argv[2] if len(sys.argv) > 2 else 'program'
    if kind in ('banner', 'logo'):
        with open(sys.argv[1], 'wb') as f:
            f.write(bitmap(kind))
        return
    if kind not in ('program', 'cross', 'tick', 'tickcross') and kind not in BADGES:
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

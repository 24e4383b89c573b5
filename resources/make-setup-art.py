#!/usr/bin/env python3
"""Draws the setup program's pictures.

usage: make-setup-art.py OUTDIR

setup.ico   32 and 16 pixels, 16 colours: a pen drive with a down arrow
            (class icon and small icon)
laptop.ico  128 pixels, 32 bits with alpha: an open laptop computer
            (drawn at 48 pixels on the "Copy To PC" button)
banner.bmp  109 x 460 pixels, 24 bits: the vertical banner at the window's
            top-left corner
"""
import os
import struct
import sys

# The 16 colours of the standard palette, as (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, YELLOW, WHITE = 0, 4, 7, 8, 11, 15
CLEAR = None


def pen_drive(u, v):
    """Palette index of the pen drive at (u, v) in 0..1, or CLEAR."""
    if 0.34 < u < 0.66 and 0.04 < v < 0.28:                 # the plug
        if 0.08 < v < 0.2 and (0.39 < u < 0.47 or 0.53 < u < 0.61):
            return BLACK
        return SILVER
    if 0.22 < u < 0.78 and 0.28 <= v < 0.96:                 # the body
        if (u < 0.27 or u > 0.73) and v > 0.91:
            return CLEAR                                      # rounded foot
        if 0.30 < u < 0.70 and 0.64 < v < 0.86:               # the label
            if 0.68 < v < 0.72 or 0.77 < v < 0.81:
                return BLACK if 0.34 < u < 0.66 else YELLOW
            return YELLOW
        if 0.33 < v < 0.60:                                   # the arrow
            if 0.44 < u < 0.56 and v < 0.47:
                return WHITE
            if v >= 0.47 and abs(u - 0.5) < (0.60 - v) * 1.3:
                return WHITE
        return NAVY
    return CLEAR


def icon_image_4bit(n):
    pixels = [[pen_drive((x + 0.5) / n, (y + 0.5) / n) for x in range(n)] for y in range(n)]
    xor_row = ((n * 4 + 31) // 32) * 4
    and_row = ((n + 31) // 32) * 4
    xor = b''
    mask = b''
    for y in range(n - 1, -1, -1):                           # bottom-up
        row = bytearray(xor_row)
        bits = bytearray(and_row)
        for x in range(n):
            index = pixels[y][x]
            if index is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
                index = 0
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
        mask += bytes(bits)
    palette = b''.join(struct.pack('4B', b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    return header + palette + xor + mask


def laptop(u, v):
    """(R, G, B, A) of the laptop at (u, v) in 0..1."""
    if 0.16 < u < 0.84 and 0.10 < v < 0.64:                  # the lid
        if 0.21 < u < 0.79 and 0.15 < v < 0.59:              # the screen
            if 0.33 < u < 0.67 and 0.33 < v < 0.43:          # a number plate on it
                if 0.36 < u < 0.64 and 0.35 < v < 0.41 and int(u * 40) % 3 != 0:
                    return (250, 250, 250, 255)
                return (15, 15, 15, 255)
            t = (v - 0.15) / 0.44
            return (int(30 + 60 * t), int(90 + 80 * t), int(200 + 40 * t), 255)
        return (48, 50, 58, 255)
    if 0.64 <= v < 0.76:                                     # the base
        t = (v - 0.64) / 0.12
        half = 0.34 + 0.12 * t
        if abs(u - 0.5) < half:
            if 0.66 < v < 0.72 and abs(u - 0.5) < half - 0.06:
                return (120, 120, 128, 255) if int(u * 30) % 2 == 0 else (150, 150, 158, 255)
            return (196, 196, 202, 255)
    if 0.76 <= v < 0.80 and abs(u - 0.5) < 0.44:             # its shadow
        return (0, 0, 0, 70)
    return (0, 0, 0, 0)


def icon_image_32bit(n, draw, samples=3):
    rows = []
    for y in range(n - 1, -1, -1):
        row = b''
        for x in range(n):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    r, g, b, a = draw((x + (sx + 0.5) / samples) / n, (y + (sy + 0.5) / samples) / n)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (samples * samples)
            if acc[3]:
                r, g, b = (int(c / acc[3]) for c in acc[:3])
            else:
                r = g = b = 0
            row += struct.pack('4B', b, g, r, int(alpha))
        rows.append(row)
    xor = b''.join(rows)
    mask = b'\0' * (((n + 31) // 32) * 4 * n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def write_icon(path, images):
    """images: list of (size, colours, bits, data)."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, colours, bits, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, _, _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


# A 5 x 7 font for the banner's words.
GLYPHS = {
    'A': ['01110', '10001', '10001', '11111', '10001', '10001', '10001'],
    'E': ['11111', '10000', '10000', '11110', '10000', '10000', '11111'],
    'K': ['10001', '10010', '10100', '11000', '10100', '10010', '10001'],
    'N': ['10001', '11001', '10101', '10011', '10001', '10001', '10001'],
    'O': ['01110', '10001', '10001', '10001', '10001', '10001', '01110'],
    'P': ['11110', '10001', '10001', '11110', '10000', '10000', '10000'],
    'R': ['11110', '10001', '10001', '11110', '10100', '10010', '10001'],
    'S': ['01111', '10000', '10000', '01110', '00001', '00001', '11110'],
    'T': ['11111', '00100', '00100', '00100', '00100', '00100', '00100'],
    'U': ['10001', '10001', '10001', '10001', '10001', '10001', '01110'],
    'V': ['10001', '10001', '10001', '10001', '10001', '01010', '00100'],
    'W': ['10001', '10001', '10001', '10101', '10101', '10101', '01010'],
    'X': ['10001', '10001', '01010', '00100', '01010', '10001', '10001'],
    'Y': ['10001', '10001', '01010', '00100', '00100', '00100', '00100'],
    '1': ['00100', '01100', '00100', '00100', '00100', '00100', '01110'],
    '2': ['01110', '10001', '00001', '00010', '00100', '01000', '11111'],
    '3': ['11110', '00001', '00001', '01110', '00001', '00001', '11110'],
    ' ': ['00000'] * 7,
}


def put_text(canvas, text, x, y, scale, colour):
    for i, ch in enumerate(text):
        glyph = GLYPHS[ch]
        for gy, line in enumerate(glyph):
            for gx, bit in enumerate(line):
                if bit == '1':
                    for dy in range(scale):
                        for dx in range(scale):
                            px, py = x + i * 6 * scale + gx * scale + dx, y + gy * scale + dy
                            if 0 <= px < len(canvas[0]) and 0 <= py < len(canvas):
                                canvas[py][px] = colour


def put_rect(canvas, x0, y0, x1, y1, colour):
    for y in range(max(y0, 0), min(y1, len(canvas))):
        for x in range(max(x0, 0), min(x1, len(canvas[0]))):
            canvas[y][x] = colour


def banner(width=109, height=460):
    canvas = []
    for y in range(height):
        t = y / (height - 1)
        canvas.append([(int(18 + 10 * t), int(40 + 80 * t), int(110 + 30 * t))] * width)
    canvas = [list(row) for row in canvas]
    # The name, one letter a line, then the word for setting up.
    for i, ch in enumerate('KORVANE'):
        put_text(canvas, ch, (width - 5 * 4) // 2, 16 + i * 34, 4, (255, 255, 255))
    put_text(canvas, 'SETUP', (width - 29 * 2) // 2, 262, 2, (255, 220, 40))
    # A number plate: white letters on black, in a white frame.
    put_rect(canvas, 6, 300, width - 6, 334, (240, 240, 240))
    put_rect(canvas, 8, 302, width - 8, 332, (12, 12, 12))
    put_text(canvas, 'WXY 123', 13, 310, 2, (240, 240, 240))
    # The road with its centre line.
    put_rect(canvas, 0, 360, width, height, (70, 72, 78))
    for y in range(368, height, 28):
        put_rect(canvas, width // 2 - 3, y, width // 2 + 3, y + 14, (250, 250, 250))
    put_rect(canvas, 4, 360, 8, height, (250, 210, 40))
    put_rect(canvas, width - 8, 360, width - 4, height, (250, 210, 40))

    stride = (width * 3 + 3) // 4 * 4
    pixels = b''
    for y in range(height - 1, -1, -1):
        row = b''.join(struct.pack('3B', b, g, r) for r, g, b in canvas[y])
        pixels += row + b'\0' * (stride - len(row))
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, 'setup.ico'),
               [(32, 16, 4, icon_image_4bit(32)), (16, 16, 4, icon_image_4bit(16))])
    write_icon(os.path.join(out, 'laptop.ico'), [(128, 0, 32, icon_image_32bit(128, laptop))])
    with open(os.path.join(out, 'banner.bmp'), 'wb') as f:
        f.write(banner())


if __name__ == '__main__':
    main()

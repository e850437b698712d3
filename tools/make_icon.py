#!/usr/bin/env python3
"""Draws the QDX-Update icon and writes it as a Windows .ico with 48x48, 32x32
and 16x16 images in 256 colours (8 bits per pixel, palette, AND mask).

    tools/make_icon.py app/res/QDX-Update.ico [preview-folder]

The picture: a blue device body with rounded corners, a white arrow pointing
up (an update going in) and a green progress bar along the bottom. Only the
standard library is used; the result is committed, so a build needs no Python.
"""
import struct
import sys

SIZES = (48, 32, 16)
SUPERSAMPLE = 4


def palette():
    """216 colours of a 6x6x6 cube, then 40 greys: 256 entries of (r, g, b)."""
    levels = (0, 51, 102, 153, 204, 255)
    colours = [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(round(i * 255 / 41),) * 3 for i in range(1, 41)]
    return colours


def rounded_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def arrow(x, y):
    """An upward arrow in unit coordinates (0..1)."""
    head = 0.18 <= y <= 0.50 and abs(x - 0.5) <= (y - 0.18) * 0.95
    shaft = 0.48 <= y <= 0.72 and abs(x - 0.5) <= 0.11
    return head or shaft


def shade(x, y):
    """Colour and coverage at a point in unit coordinates; None outside the body."""
    if not rounded_rect(x, y, 0.04, 0.04, 0.96, 0.96, 0.16):
        return None
    if rounded_rect(x, y, 0.04, 0.04, 0.96, 0.96, 0.16) and not rounded_rect(
            x, y, 0.09, 0.09, 0.91, 0.91, 0.12):
        return (0, 51, 102)  # the rim
    if 0.78 <= y <= 0.86 and 0.18 <= x <= 0.82:
        return (51, 204, 51) if x <= 0.62 else (204, 204, 204)  # progress bar
    if arrow(x, y):
        return (255, 255, 255)
    return (51, 102, 204)  # the body


def render(size, colours):
    """Rows top-down of palette indices, and a matching transparency mask."""
    def nearest(rgb):
        return min(range(len(colours)),
                   key=lambda i: sum((a - b) ** 2 for a, b in zip(colours[i], rgb)))

    cache = {}
    pixels, mask = [], []
    for py in range(size):
        row, mrow = [], []
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px + (sx + 0.5) / SUPERSAMPLE) / size
                    y = (py + (sy + 0.5) / SUPERSAMPLE) / size
                    c = shade(x, y)
                    if c is not None:
                        hits += 1
                        for k in range(3):
                            acc[k] += c[k]
            if hits * 2 < SUPERSAMPLE * SUPERSAMPLE:
                row.append(0)
                mrow.append(1)
                continue
            rgb = tuple(v // hits for v in acc)
            if rgb not in cache:
                cache[rgb] = nearest(rgb)
            row.append(cache[rgb])
            mrow.append(0)
        pixels.append(row)
        mask.append(mrow)
    return pixels, mask


def dib(size, pixels, mask, colours):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in colours)
    xor = b''
    for row in reversed(pixels):  # bottom-up
        line = bytes(row)
        xor += line + b'\0' * ((4 - len(line) % 4) % 4)
    andmask = b''
    for mrow in reversed(mask):
        bits = bytearray((size + 7) // 8)
        for x, transparent in enumerate(mrow):
            if transparent:
                bits[x // 8] |= 0x80 >> (x % 8)
        line = bytes(bits)
        andmask += line + b'\0' * ((4 - len(line) % 4) % 4)
    return header + table + xor + andmask


def write_ppm(path, size, pixels, mask, colours):
    with open(path, 'wb') as f:
        f.write(b'P6 %d %d 255\n' % (size, size))
        for row, mrow in zip(pixels, mask):
            for index, transparent in zip(row, mrow):
                f.write(bytes((255, 255, 255) if transparent else colours[index]))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    colours = palette()
    images = []
    for size in SIZES:
        pixels, mask = render(size, colours)
        images.append((size, dib(size, pixels, mask, colours)))
        if len(sys.argv) > 2:
            write_ppm('%s/icon-%d.ppm' % (sys.argv[2], size), size, pixels, mask, colours)
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""Draws the console's program icon and its three 16x16 button glyphs (our own artwork).

Run from this folder; writes Quillard.ico, catAdd.bmp, catDel.bmp and sendlog.bmp.
"""
import math
import struct

FUCHSIA = (255, 0, 255)


def bmp24(pixels, w, h):
    row = (w * 3 + 3) & ~3
    data = b""
    for y in range(h - 1, -1, -1):
        line = b"".join(bytes((b, g, r)) for (r, g, b) in pixels[y])
        data += line + b"\0" * (row - w * 3)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def glyph(draw):
    px = [[FUCHSIA for _ in range(16)] for _ in range(16)]
    draw(px)
    return px


def card(px):
    for y in range(3, 13):
        for x in range(1, 13):
            edge = y in (3, 12) or x in (1, 12)
            px[y][x] = (128, 96, 0) if edge else (255, 224, 64)
    for x in range(3, 11):
        px[6][x] = (176, 140, 32)
        px[9][x] = (176, 140, 32)


def plus(px):
    for i in range(8, 16):
        for j in (11, 12):
            px[j][i - 0] = (0, 150, 0)
            px[i][j] = (0, 150, 0)


def cross(px):
    for i in range(8, 16):
        for d in (0, 1):
            x = min(15, i + d)
            px[i][x] = (210, 0, 0)
            px[i][23 - x if 23 - x < 16 else 15] = (210, 0, 0)


def page_arrow_tick(px):
    for y in range(1, 15):
        for x in range(2, 12):
            edge = y in (1, 14) or x in (2, 11)
            px[y][x] = (96, 96, 96) if edge else (255, 255, 255)
    for y in range(4, 12, 2):
        for x in range(4, 10):
            px[y][x] = (160, 160, 200)
    for x in range(7, 15):  # orange arrow to the right
        px[8][x] = (255, 128, 0)
        px[9][x] = (255, 128, 0)
    for d in range(1, 4):
        px[8 - d][14 - d] = (255, 128, 0)
        px[9 + d][14 - d] = (255, 128, 0)
    for (x, y) in ((1, 12), (2, 13), (3, 14), (4, 13), (5, 12), (6, 11), (7, 10)):
        px[y][x] = (0, 160, 0)
        if y + 1 < 16:
            px[y - 1][x] = (0, 160, 0)


def icon_image(n):
    """A quill over a blue rounded tile, drawn with 4x4 supersampling."""
    out = []
    s = n / 32.0
    for y in range(n):
        row = []
        for x in range(n):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(4):
                for sx in range(4):
                    u = (x + (sx + 0.5) / 4) / s
                    v = (y + (sy + 0.5) / 4) / s
                    c = icon_sample(u, v)
                    if c:
                        a = c[3] / 255.0
                        for k in range(3):
                            acc[k] += c[k] * a
                        acc[3] += a
            if acc[3] > 0:
                rgb = [int(acc[k] / acc[3]) for k in range(3)]
                row.append((*rgb, int(255 * acc[3] / 16)))
            else:
                row.append((0, 0, 0, 0))
        out.append(row)
    return out


def icon_sample(u, v):
    # Tile: rounded square 1..31 with corner radius 6.
    cx, cy = min(max(u, 7), 25), min(max(v, 7), 25)
    if math.hypot(u - cx, v - cy) > 6 or not (1 <= u <= 31 and 1 <= v <= 31):
        return None
    colour = (30, 90, 170, 255)
    # Quill: a tapered band along the diagonal from (8, 26) to (25, 6).
    ax, ay, bx, by = 8.0, 26.0, 25.0, 6.0
    dx, dy = bx - ax, by - ay
    t = ((u - ax) * dx + (v - ay) * dy) / (dx * dx + dy * dy)
    if 0 <= t <= 1:
        px, py = ax + t * dx, ay + t * dy
        dist = math.hypot(u - px, v - py)
        width = 0.6 + 4.0 * math.sin(math.pi * min(1.0, t * 1.15))
        if dist < width:
            side = (u - px) * dy - (v - py) * dx
            colour = (250, 250, 245, 255) if side > 0 else (215, 225, 240, 255)
        if dist < 0.45 and t > 0.05:
            colour = (150, 160, 180, 255)
    # Ink drop.
    if math.hypot(u - 9.5, v - 27.5) < 1.6:
        colour = (255, 200, 40, 255)
    return colour


def ico(sizes):
    images = []
    for n in sizes:
        px = icon_image(n)
        xor = b""
        for y in range(n - 1, -1, -1):
            xor += b"".join(bytes((b, g, r, a)) for (r, g, b, a) in px[y])
        mask_row = ((n + 31) // 32) * 4
        mask = b""
        for y in range(n - 1, -1, -1):
            bits = 0
            row = bytearray(mask_row)
            for x in range(n):
                if px[y][x][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(row)
            del bits
        info = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append((n, info + xor + mask))
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    blobs = b""
    for n, blob in images:
        entries += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return head + entries + blobs


def main():
    def add(px):
        card(px)
        plus(px)

    def delete(px):
        card(px)
        cross(px)

    for name, draw in (("catAdd", add), ("catDel", delete), ("sendlog", page_arrow_tick)):
        with open(name + ".bmp", "wb") as f:
            f.write(bmp24(glyph(draw), 16, 16))
    with open("Quillard.ico", "wb") as f:
        f.write(ico([16, 20, 24, 28, 32, 40, 48, 56, 64, 72, 96, 128]))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""PNG files for the comparison of palvex.exe with the Linux palvex.

  png_cases.py make DIR     writes one PNG of every kind a file may be (grey
                            at 1 to 16 bits, grey with opacity, RGB, RGBA,
                            palettes, transparent colours, interlaced, larger
                            than the picture) and prints "NAME WIDTH HEIGHT"
                            for each
  png_cases.py pixels FILE  prints the image's size and its pixels as RGBA,
                            whichever encoder wrote it (8-bit RGB or RGBA)
  png_cases.py outline A B  compares two pictures of an outline drawn by
                            different rasterisers: the same size and colours,
                            and every pixel that differs has a pixel of its
                            colour in the other picture next to it
"""
import struct
import sys
import zlib

ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def packed_row(pixels, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", s) for p in pixels for s in p)
    if depth == 8:
        return bytes(s for p in pixels for s in p)
    bits = "".join(format(p[0], "0%db" % depth) for p in pixels)
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def write_png(path, width, height, depth, colour, pixel, plte=None, trns=None, interlace=False):
    rows = [[pixel(x, y) for x in range(width)] for y in range(height)]
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    raw = b""
    for x0, y0, dx, dy in passes:
        for y in range(y0, height, dy):
            sub = rows[y][x0::dx]
            if sub:
                raw += b"\0" + packed_row(sub, depth)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, int(interlace)))
    if plte is not None:
        out += chunk(b"PLTE", bytes(c for rgb in plte for c in rgb))
    if trns is not None:
        out += chunk(b"tRNS", trns)
    out += chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(out)


def cases():
    levels = [0, 100, 200, 255]
    colours = [(255, 0, 255), (0, 200, 90), (130, 127, 128), (255, 255, 255)]
    plte16 = [(i * 17, 255 - i * 16, (i * 53) % 256) for i in range(16)]
    plte256 = [(i, (i * 7) % 256, 255 - i) for i in range(256)]
    return [
        ("grey1", 37, 23, 1, 0, lambda x, y: ((x * y + x) % 2,), {}),
        ("grey2", 37, 23, 2, 0, lambda x, y: ((x + y) % 4,), {}),
        ("grey4", 37, 23, 4, 0, lambda x, y: ((x * 3 + y * 5) % 16,), {}),
        ("grey8", 37, 23, 8, 0, lambda x, y: ((x * 7 + y * 13) % 256,), {}),
        ("grey16", 37, 23, 16, 0, lambda x, y: ((x * 977 + y * 4099 + 0x7F00) % 65536,), {}),
        ("grey8-key", 37, 23, 8, 0, lambda x, y: (levels[(x + y) % 4],), {"trns": struct.pack(">H", 200)}),
        ("grey4-key", 37, 23, 4, 0, lambda x, y: ((x + y) % 16,), {"trns": struct.pack(">H", 12)}),
        ("grey-alpha8", 37, 23, 8, 4, lambda x, y: ((x * 11) % 256, (y * 23) % 256), {}),
        ("grey-alpha16", 37, 23, 16, 4, lambda x, y: ((x * 1789) % 65536, (y * 2861 + 0x7000) % 65536), {}),
        ("rgb8", 37, 23, 8, 2, lambda x, y: ((x * 5) % 256, (y * 9) % 256, ((x + y) * 3) % 256), {}),
        ("rgb8-key", 37, 23, 8, 2, lambda x, y: colours[(x * y + y) % 4], {"trns": struct.pack(">HHH", 255, 0, 255)}),
        ("rgb16", 37, 23, 16, 2, lambda x, y: ((x * 1777) % 65536, (y * 2903) % 65536, ((x + y) * 997 + 0x7F80) % 65536), {}),
        ("rgba8", 37, 23, 8, 6, lambda x, y: (255 - x * 6, (y * 11) % 256, 200, (x * 7 + y * 3) % 256), {}),
        ("rgba16", 37, 23, 16, 6, lambda x, y: ((x * 1601) % 65536, 65535, (y * 3001) % 65536, (x * y * 211 + 0x8000) % 65536), {}),
        ("palette1", 37, 23, 1, 3, lambda x, y: ((x ^ y) & 1,), {"plte": [(10, 250, 20), (200, 90, 255)]}),
        ("palette4-alpha", 37, 23, 4, 3, lambda x, y: ((x + 2 * y) % 16,), {"plte": plte16, "trns": bytes([0, 60, 127, 128, 255, 200])}),
        ("palette8", 37, 23, 8, 3, lambda x, y: ((x * 7 + y * 31) % 256,), {"plte": plte256}),
        ("rgb8-interlaced", 45, 30, 8, 2, lambda x, y: ((x * 13) % 256, (y * 17) % 256, ((x * y) * 5) % 256), {"interlace": True}),
        ("grey2-interlaced", 45, 30, 2, 0, lambda x, y: ((x * 3 + y) % 4,), {"interlace": True}),
        ("larger-than-the-picture", 600, 150, 8, 2, lambda x, y: ((x * 3) % 256, (y * 5) % 256, ((x ^ y) * 7) % 256), {}),
    ]


def make(directory):
    for name, width, height, depth, colour, pixel, extra in cases():
        write_png("%s/%s.png" % (directory, name), width, height, depth, colour, pixel, **extra)
        print(name, width, height)


def decode(path):
    data = open(path, "rb").read()
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        sys.exit("%s: not 8-bit RGB or RGBA without interlacing" % path)
    bpp = CHANNELS[colour]
    raw, stride, previous, out = zlib.decompress(idat), width * bpp, bytearray(width * bpp), bytearray()
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - bpp] if i >= bpp else 0
            b, c = previous[i], previous[i - bpp] if i >= bpp else 0
            p = a + b - c
            nearest = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
            row[i] = (row[i] + [0, a, b, (a + b) // 2, nearest][kind]) & 0xFF
        for x in range(width):
            out += row[x * bpp:x * bpp + 3] + (bytes([row[x * bpp + 3]]) if bpp == 4 else b"\xff")
        previous = row
    return width, height, bytes(out)


def pixels(path):
    width, height, out = decode(path)
    sys.stdout.write("%d x %d\n%s\n" % (width, height, out.hex()))


def outline(a, b):
    (w, h, pa), (wb, hb, pb) = decode(a), decode(b)
    at = lambda p, x, y: p[(y * w + x) * 4:(y * w + x) * 4 + 4]
    near = lambda p, x, y, c: any(at(p, i, j) == c for i in range(max(0, x - 1), min(w, x + 2))
                                  for j in range(max(0, y - 1), min(h, y + 2)))
    moved = [(x, y) for y in range(h) for x in range(w) if at(pa, x, y) != at(pb, x, y)]
    wrong = [(x, y) for x, y in moved if not (near(pb, x, y, at(pa, x, y)) and near(pa, x, y, at(pb, x, y)))]
    print("%d x %d, %d outline pixels one step apart" % (w, h, len(moved)))
    if (w, h) != (wb, hb) or wrong or len(moved) > (w + h) // 4:
        sys.exit("%s and %s differ beyond the outline's steps: %s" % (a, b, wrong[:5]))


if __name__ == "__main__":
    {"make": make, "pixels": pixels, "outline": outline}[sys.argv[1]](*sys.argv[2:])

#!/usr/bin/env python3
"""make_dravel_icon.py dravel|warning OUT.ico: the configuration tool's icons
at 16, 32, 48 and 256 pixels: the program's (an LED screen in its frame) and
the warning gate's sign (a yellow triangle with "!").

The three small images are 32-bit DIBs with their AND masks, which every
Windows version reads; the 256-pixel one is a PNG, as Windows Vista and later
take it. Each size is drawn anew from the same shapes (4 x 4 samples a
pixel), so the small ones stay sharp rather than shrunk. Only the standard
library: the PNG is written here with zlib."""
import struct
import sys
import zlib

SIZES = (16, 32, 48, 256)
SAMPLES = 4

FRAME = (0x50, 0x55, 0x5C)
SCREEN = (0x10, 0x10, 0x12)
LIT = (0xFF, 0x30, 0x20)
DARK = (0x48, 0x0C, 0x0A)

# The LEDs at each size, the lit ones "#": an arrow to the right, the
# picture sent to the screen. Fewer and larger at the small sizes.
PATTERNS = {
    16: ("..#.",
         "####",
         "..#."),
    32: ("...#..",
         "....#.",
         "######",
         "....#.",
         "...#.."),
    48: (".....#..",
         "......#.",
         "########",
         "......#.",
         ".....#.."),
}


def pattern(size):
    return PATTERNS[min((s for s in PATTERNS if s >= size), default=48)]


def screen_at(size, x, y):
    """The program's icon: the colour at the point (x, y) in pixels, None
    outside it."""
    frame = max(1.0, size / 16.0)
    if not (0 <= x < size and size * 0.125 <= y < size * 0.875):
        return None
    if x < frame or x >= size - frame or y < size * 0.125 + frame or y >= size * 0.875 - frame:
        return FRAME
    lit = pattern(size)
    cols, rows = len(lit[0]), len(lit)
    left, top = frame, size * 0.125 + frame
    width, height = size - 2 * frame, size * 0.75 - 2 * frame
    pitch_x, pitch_y = width / cols, height / rows
    col, row = int((x - left) / pitch_x), int((y - top) / pitch_y)
    cx, cy = left + (col + 0.5) * pitch_x, top + (row + 0.5) * pitch_y
    radius = 0.36 * min(pitch_x, pitch_y)
    if (x - cx) ** 2 + (y - cy) ** 2 > radius * radius:
        return SCREEN
    return LIT if lit[row][col] == "#" else DARK


SIGN = (0xFF, 0xCC, 0x00)
EDGE = (0x30, 0x28, 0x10)
MARK = (0x10, 0x10, 0x10)


def sign_at(size, x, y):
    """The warning sign: the colour at the point (x, y) in pixels, None
    outside it."""
    u, v = x / size, y / size
    top, left, right, bottom = 0.5, 0.03, 0.97, 0.92
    if v > bottom:
        return None
    # Distances inside the two slanted sides (0 on the side).
    slope = (bottom - 0.06) / (top - left)
    d_left = (u - (top - (v - 0.06) / slope)) * slope / (1 + slope * slope) ** 0.5
    d_right = ((top + (v - 0.06) / slope) - u) * slope / (1 + slope * slope) ** 0.5
    if d_left < 0 or d_right < 0 or v < 0.06:
        return None
    edge = max(1.2 / size, 0.05)
    if d_left < edge or d_right < edge or v > bottom - edge:
        return EDGE
    if 0.45 <= u <= 0.55 and 0.34 <= v <= 0.66:
        return MARK
    if (u - 0.5) ** 2 + (v - 0.77) ** 2 <= 0.06 ** 2:
        return MARK
    return SIGN


def draw(size, colour_at):
    """Rows of RGBA pixels, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at(size, px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    if c is not None:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            n = SAMPLES * SAMPLES
            row.append((r // a, g // a, b // a, 255 * a // n) if a else (0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(size, rows):
    """BITMAPINFOHEADER (twice the height: image and mask), BGRA bottom-up, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + pixels + bytes(mask)


def png(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    shape = {"dravel": screen_at, "warning": sign_at}[sys.argv[1]]
    images = []
    for size in SIZES:
        rows = draw(size, shape)
        images.append((size, png(size, rows) if size >= 256 else dib(size, rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = size if size < 256 else 0  # 0 stands for 256
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(sys.argv[2], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()

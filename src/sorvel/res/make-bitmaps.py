#!/usr/bin/env python3
"""Writes the sort-arrow strip (1000.bmp) and its mask (1006.bmp): 48x16, 4 bits per pixel,
three 16x16 cells: empty, ascending (upward triangle), descending (downward triangle).
The mask is white where the image is transparent. Run once; the .bmp files are committed."""
import struct

WIDTH, HEIGHT, CELL = 48, 16, 16
# The 16 colours of the standard VGA palette, as (red, green, blue).
PALETTE = [(0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
           (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
           (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255)]
BLACK, DARK_GREY, WHITE = 0, 8, 15


def triangle_rows(upward):
    # Five rows from 2 to 10 pixels wide, centred in the cell, narrow end at the pointing side.
    rows = {}
    for i in range(5):
        half = i if upward else 4 - i
        rows[6 + i] = (7 - half, 8 + half)
    return rows


def pixels(mask):
    grid = [[WHITE if mask else BLACK] * WIDTH for _ in range(HEIGHT)]
    for cell, upward in ((1, True), (2, False)):
        for y, (x0, x1) in triangle_rows(upward).items():
            for x in range(x0, x1 + 1):
                grid[y][cell * CELL + x] = BLACK if mask else DARK_GREY
    return grid


def write_bmp(path, grid):
    stride = (WIDTH * 4 + 31) // 32 * 4
    data = bytearray()
    for row in reversed(grid):  # BMP rows run bottom-up
        packed = bytearray((row[x] << 4) | row[x + 1] for x in range(0, WIDTH, 2))
        data += packed + bytes(stride - len(packed))
    palette = b''.join(struct.pack('<4B', b, g, r, 0) for (r, g, b) in PALETTE)  # BMP stores B, G, R
    offset = 14 + 40 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 4, 0, len(data), 2835, 2835, 16, 0)
    with open(path, 'wb') as f:
        f.write(header + info + palette + data)


write_bmp('1000.bmp', pixels(mask=False))
write_bmp('1006.bmp', pixels(mask=True))

#!/usr/bin/env python3
"""Make the picture of the installer's welcome and finish pages from the
program's icon.

The picture is 164 x 314 pixels, the size those pages show, stored as a
24-bit BMP: a deep blue field, lighter at the top, with the 32 x 32 icon
enlarged four times (each icon pixel a 4 x 4 block, so it stays the icon's
own drawing) and a soft shadow under it.

Only the standard library is used and the output is byte-for-byte the same
on every run:  python3 res/make_wizard_art.py discora.ico wizard.bmp
"""

import struct
import sys

WIDTH, HEIGHT = 164, 314
ZOOM = 4
TOP = 44                    # where the enlarged icon starts, from the top
SHADOW = (6, 10)            # the shadow's offset, right and down
SKY = ((46, 74, 140), (12, 18, 44))  # the field's colour at top and bottom


def read_icon(path):
    """The first image of an .ico holding 8-bit images with an AND mask:
    its size and its pixels, top row first, None where the mask says the
    icon is see-through."""
    data = open(path, "rb").read()
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    if kind != 1 or count < 1:
        raise SystemExit(f"{path}: not an icon file")
    _, _, _, _, _, _, _, offset = struct.unpack_from("<BBBBHHII", data, 6)
    size, width, height2, _, bits = struct.unpack_from("<IiiHH", data, offset)
    height = height2 // 2
    if bits != 8:
        raise SystemExit(f"{path}: the icon has {bits} bits per pixel, not 8")
    palette_at = offset + size
    palette = [struct.unpack_from("<BBB", data, palette_at + 4 * i)[::-1] for i in range(256)]
    xor_at = palette_at + 4 * 256
    xor_row = (width + 3) // 4 * 4
    mask_at = xor_at + xor_row * height
    mask_row = ((width + 7) // 8 + 3) // 4 * 4
    pixels = []
    for y in range(height - 1, -1, -1):  # stored bottom-up
        row = []
        for x in range(width):
            clear = data[mask_at + y * mask_row + x // 8] >> (7 - x % 8) & 1
            row.append(None if clear else palette[data[xor_at + y * xor_row + x]])
        pixels.append(row)
    return width, height, pixels


def blend(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def picture(width, height, icon):
    left = (WIDTH - width * ZOOM) // 2
    canvas = [[blend(SKY[0], SKY[1], y / (HEIGHT - 1)) for _ in range(WIDTH)]
              for y in range(HEIGHT)]

    def covered(x, y):
        ix, iy = (x - left) // ZOOM, (y - TOP) // ZOOM
        if 0 <= ix < width and 0 <= iy < height and x >= left and y >= TOP:
            return icon[iy][ix]
        return None

    # The shadow first, then the icon over it.
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if covered(x - SHADOW[0], y - SHADOW[1]) is not None:
                canvas[y][x] = blend(canvas[y][x], (0, 0, 0), 0.45)
    for y in range(HEIGHT):
        for x in range(WIDTH):
            colour = covered(x, y)
            if colour is not None:
                canvas[y][x] = colour
    return canvas


def bmp(canvas):
    row_size = (WIDTH * 3 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(canvas):  # bottom-up
        line = b"".join(struct.pack("<BBB", b, g, r) for r, g, b in row)
        pixels += line + b"\0" * (row_size - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels),
                         2835, 2835, 0, 0)
    offset = 14 + len(header)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + header + pixels


def main():
    if len(sys.argv) != 3:
        raise SystemExit("usage: make_wizard_art.py ICON.ico OUT.bmp")
    width, height, icon = read_icon(sys.argv[1])
    data = bmp(picture(width, height, icon))
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()

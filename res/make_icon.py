#!/usr/bin/env python3
"""Draw the Discora icon and write it as res/discora.ico.

The icon is one 32 x 32 image with a 256-colour palette (8 bits per pixel),
stored the classic way: a BMP without its file header inside an ICO
container, with an XOR colour bitmap followed by a 1-bit AND mask.

Artwork: a silver optical disc with a rainbow sheen, a clear hub ring and a
see-through centre hole, and a green "play" triangle at its lower right.

Only the standard library is used and the output is byte-for-byte the same
on every run:  python3 res/make_icon.py [output.ico]
"""

import colorsys
import math
import os
import struct
import sys

SIZE = 32
SUB = 6  # supersamples per pixel edge, for the colours inside the shape

# Disc geometry, in pixels (pixel x covers [x, x + 1)).
CX, CY = 15.0, 15.0
R_OUT = 14.6     # outer edge of the disc
R_RIM = 13.4     # inner edge of the silver rim
R_DATA = 5.6     # inner edge of the data area (outer edge of the hub)
R_LIP = 4.4      # the moulded ring of the hub
R_HOLE = 2.15    # the centre hole

# The play triangle (pointing right), in pixels, and the radius that
# rounds its corners so that no corner ends in a lone pixel.
TRI = ((17.0, 15.0), (17.0, 31.0), (31.0, 23.0))
TRI_ROUND = 1.6

TRANSPARENT, DISC, PLAY = 0, 1, 2


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def scale(c, f):
    return tuple(clamp(c[i] * f, 0.0, 255.0) for i in range(3))


def in_triangle(x, y, tri):
    (x1, y1), (x2, y2), (x3, y3) = tri

    def side(ax, ay, bx, by):
        return (bx - ax) * (y - ay) - (by - ay) * (x - ax)

    d1 = side(x1, y1, x2, y2)
    d2 = side(x2, y2, x3, y3)
    d3 = side(x3, y3, x1, y1)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


def segment_distance(x, y, a, b):
    (ax, ay), (bx, by) = a, b
    vx, vy = bx - ax, by - ay
    t = clamp(((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy))
    return math.hypot(x - ax - t * vx, y - ay - t * vy)


def rounded_triangle(tri, radius):
    """Shrink tri towards its incentre by radius; grow it back round."""
    (x1, y1), (x2, y2), (x3, y3) = tri
    a = math.hypot(x2 - x3, y2 - y3)
    b = math.hypot(x1 - x3, y1 - y3)
    c = math.hypot(x1 - x2, y1 - y2)
    p = a + b + c
    ix, iy = (a * x1 + b * x2 + c * x3) / p, (a * y1 + b * y2 + c * y3) / p
    area = abs((x2 - x1) * (y3 - y1) - (x3 - x1) * (y2 - y1)) / 2.0
    k = (2.0 * area / p - radius) / (2.0 * area / p)
    inner = tuple((ix + (vx - ix) * k, iy + (vy - iy) * k) for vx, vy in tri)

    def inside(x, y):
        if in_triangle(x, y, inner):
            return True
        return min(segment_distance(x, y, inner[i], inner[(i + 1) % 3])
                   for i in range(3)) <= radius

    return inside


IN_PLAY = rounded_triangle(TRI, TRI_ROUND)


def disc_colour(x, y):
    """Colour of the disc at point (x, y), or None outside the disc."""
    dx, dy = x - CX, y - CY
    r = math.hypot(dx, dy)
    if r >= R_OUT or r < R_HOLE:
        return None
    # Light comes from the upper left.
    light = clamp(0.5 - (dx + dy) / (4.0 * R_OUT), 0.0, 1.0)
    if r >= R_RIM:
        # Polished silver rim.
        return mix((150, 156, 168), (235, 238, 244), light)
    if r < R_LIP:
        # Clear plastic hub, pale and a little blue.
        return mix((176, 186, 200), (236, 242, 250), light)
    if r < R_DATA:
        # The moulded lip between hub and data area.
        return mix((128, 136, 150), (196, 202, 214), light)
    # Data area: silver with an iridescent sheen that runs round the
    # disc twice and is strongest on the diagonal facing the light.
    a = math.atan2(dy, dx)
    base = mix((172, 178, 192), (226, 230, 238), light)
    hue = ((a / (2.0 * math.pi)) * 2.0 + (r - R_DATA) * 0.035) % 1.0
    rainbow = tuple(255.0 * c for c in colorsys.hsv_to_rgb(hue, 0.62, 1.0))
    glint = abs(math.cos(a + math.pi / 4.0))   # 1 on the lit diagonal
    sheen = 0.10 + 0.55 * glint ** 3
    col = mix(base, rainbow, sheen)
    # A soft glossy streak across the lit diagonal.
    streak = math.exp(-((abs(math.sin(a + math.pi / 4.0)) * r) / 1.6) ** 2)
    col = mix(col, (255, 255, 255), 0.55 * streak)
    # Faint track rings.
    if int((r - R_DATA) * 1.5) % 2:
        col = scale(col, 0.94)
    return col


def play_colour(x, y):
    """Colour of the play triangle at point (x, y), or None outside it."""
    if not IN_PLAY(x, y):
        return None
    # Top to bottom: light to deep green.
    t = clamp((y - TRI[0][1]) / (TRI[1][1] - TRI[0][1]))
    return mix((140, 236, 96), (30, 150, 44), t)


def render():
    """Return (layers, colours): per pixel the top layer and its RGB colour."""
    n = SUB * SUB
    layers = [[TRANSPARENT] * SIZE for _ in range(SIZE)]
    colours = [[(0, 0, 0)] * SIZE for _ in range(SIZE)]
    for py in range(SIZE):
        for px in range(SIZE):
            disc, play = [], []
            for sy in range(SUB):
                for sx in range(SUB):
                    x = px + (sx + 0.5) / SUB
                    y = py + (sy + 0.5) / SUB
                    c = play_colour(x, y)
                    if c is not None:
                        play.append(c)
                        continue
                    c = disc_colour(x, y)
                    if c is not None:
                        disc.append(c)
            if 2 * len(play) >= n:
                layer, samples = PLAY, play
            elif 2 * (len(play) + len(disc)) >= n and disc:
                layer, samples = DISC, disc
            else:
                continue
            avg = tuple(sum(s[i] for s in samples) / len(samples)
                        for i in range(3))
            layers[py][px] = layer
            colours[py][px] = avg
    return layers, colours


def outline(layers, colours):
    """Give every shape a crisp dark edge, since the mask cannot blend."""
    out = [row[:] for row in colours]

    def layer_at(x, y):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            return layers[y][x]
        return TRANSPARENT

    for y in range(SIZE):
        for x in range(SIZE):
            here = layers[y][x]
            if here == TRANSPARENT:
                continue
            n4 = [layer_at(x + 1, y), layer_at(x - 1, y),
                  layer_at(x, y + 1), layer_at(x, y - 1)]
            if here == PLAY:
                # Dark outline, then a bevel: lit on the upper left,
                # shaded on the lower right.
                lit = [layer_at(x - 1, y), layer_at(x, y - 1),
                       layer_at(x - 1, y - 1)]
                shaded = [layer_at(x + 1, y), layer_at(x, y + 1),
                          layer_at(x + 1, y + 1)]
                if any(v != PLAY for v in n4):
                    out[y][x] = (16, 84, 24)
                elif any(v != PLAY for v in lit):
                    out[y][x] = mix(colours[y][x], (255, 255, 255), 0.4)
                elif any(v != PLAY for v in shaded):
                    out[y][x] = scale(colours[y][x], 0.8)
            else:
                if TRANSPARENT in n4:
                    dx, dy = x + 0.5 - CX, y + 0.5 - CY
                    if math.hypot(dx, dy) < R_DATA:
                        out[y][x] = (92, 98, 112)     # rim of the hole
                    else:
                        out[y][x] = (70, 74, 86)      # outer edge
                elif PLAY in n4:
                    # A thin shadow where the triangle lies on the disc.
                    out[y][x] = scale(colours[y][x], 0.62)
    return out


def quantise(pixels, limit):
    """Deterministic median cut of a list of RGB tuples to <= limit colours."""
    uniq = sorted(set(pixels))
    if len(uniq) <= limit:
        return uniq
    counts = {}
    for p in pixels:
        counts[p] = counts.get(p, 0) + 1
    boxes = [uniq]
    while len(boxes) < limit:
        best, best_key = None, None
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            spans = [max(c[k] for c in box) - min(c[k] for c in box)
                     for k in range(3)]
            key = (max(spans), len(box), -i)
            if best_key is None or key > best_key:
                best, best_key = i, key
        if best is None:
            break
        box = boxes.pop(best)
        spans = [max(c[k] for c in box) - min(c[k] for c in box)
                 for k in range(3)]
        k = spans.index(max(spans))
        box.sort(key=lambda c: (c[k], c))
        half = len(box) // 2
        boxes[best:best] = [box[:half], box[half:]]
    palette = []
    for box in boxes:
        w = sum(counts[c] for c in box)
        palette.append(tuple(int(round(sum(c[k] * counts[c] for c in box) / w))
                             for k in range(3)))
    return sorted(set(palette))


def nearest(palette, c):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = (p[0] - c[0]) ** 2 + (p[1] - c[1]) ** 2 + (p[2] - c[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def build_ico(layers, colours):
    opaque = [(x, y) for y in range(SIZE) for x in range(SIZE)
              if layers[y][x] != TRANSPARENT]
    rgb = {}
    for x, y in opaque:
        rgb[(x, y)] = tuple(int(round(clamp(v, 0.0, 255.0)))
                            for v in colours[y][x])
    # Index 0 is black and is used only for the transparent background.
    colours_used = quantise([rgb[p] for p in opaque], 255)
    palette = [(0, 0, 0)] + colours_used
    palette += [(0, 0, 0)] * (256 - len(palette))

    index = [[0] * SIZE for _ in range(SIZE)]
    for (x, y), c in rgb.items():
        index[y][x] = 1 + nearest(colours_used, c)

    xor = bytearray()
    mask = bytearray()
    for y in range(SIZE - 1, -1, -1):          # bottom-up
        xor += bytes(index[y])
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if layers[y][x] == TRANSPARENT else 0)
        row = bits.to_bytes(SIZE // 8, "big")
        row += b"\0" * ((4 - len(row) % 4) % 4)  # rows padded to 4 bytes
        mask += row

    header = struct.pack("<IiiHHIIiiII",
                         40, SIZE, SIZE * 2, 1, 8, 0,
                         len(xor) + len(mask), 0, 0, 256, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    image = header + pal + bytes(xor) + bytes(mask)

    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8,
                        len(image), 6 + 16)
    return icondir + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "discora.ico")
    layers, colours = render()
    colours = outline(layers, colours)
    data = build_ico(layers, colours)
    with open(out, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (out, len(data)))


if __name__ == "__main__":
    main()

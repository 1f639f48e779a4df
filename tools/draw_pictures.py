#!/usr/bin/env python3
"""Draws every picture of the two screens and writes them as XPM pixel maps into assets/pictures.

The XPM files are checked in and are what the build uses; this script is how they were made, so a
change to a picture is a change here followed by a run of it.
"""
import math
import os
import random

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "assets", "pictures")

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
CYAN = (128, 255, 255)
RED = (255, 0, 0)
DARK_RED = (128, 0, 0)
PINK = (255, 128, 255)
GREY = (192, 192, 192)
FIELD = (155, 255, 205)
GRASS = (0, 249, 124)
BROWN = (128, 64, 0)
FACE = (255, 255, 128)

SYMBOLS = ".#abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"


def write_xpm(name, img):
    h = len(img)
    w = len(img[0])
    colours = []
    for row in img:
        for c in row:
            if c not in colours:
                colours.append(c)
    sym = {c: SYMBOLS[i] for i, c in enumerate(colours)}
    lines = ["/* XPM */", "static const char* %s[] = {" % name, '"%d %d %d 1",' % (w, h, len(colours))]
    for c in colours:
        lines.append('"%s c #%02X%02X%02X",' % ((sym[c],) + c))
    for i, row in enumerate(img):
        lines.append('"' + "".join(sym[c] for c in row) + '"' + ("," if i < h - 1 else ""))
    lines.append("};")
    with open(os.path.join(OUT, name + ".xpm"), "w") as f:
        f.write("\n".join(lines) + "\n")


def canvas(w, h, c=WHITE):
    return [[c] * w for _ in range(h)]


def dome(size):
    """The creature's silhouette: an arched top, straight sides and a flat bottom."""
    s = size / 32.0
    cx = (size - 1) / 2.0
    r = 13.5 * s
    top = 2 * s
    bottom = size - 2 * s
    arc_centre = top + r
    inside = set()
    for y in range(size):
        yc = y + 0.5
        if yc < top or yc > bottom:
            continue
        if yc < arc_centre:
            dy = arc_centre - yc
            half = math.sqrt(max(r * r - dy * dy, 0.0))
        else:
            half = r
        for x in range(size):
            if abs(x - cx) <= half:
                inside.add((x, y))
    return inside


def creature(size, facing, body=CYAN, mask=False):
    img = canvas(size, size)
    inside = dome(size)
    for (x, y) in inside:
        outline = any((x + dx, y + dy) not in inside for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
        img[y][x] = BLACK if (mask or outline) else body
    if mask or facing == 2:
        return img
    s = size // 16  # 2 for the wobo, 1 for the zeka
    # Horizontal offset of the face's centre from the body's centre, by facing.
    if s == 2:
        shift = {0: 0, 1: -6, 3: 6, 5: -3, 6: 3}[facing]
    else:
        shift = {0: 0, 1: -3, 3: 3, 5: -2, 6: 2}[facing]
    cx = size // 2 + shift

    def block(x0, y0, w, h, c):
        for y in range(y0, y0 + h):
            for x in range(x0, x0 + w):
                if (x, y) in inside:
                    img[y][x] = c

    if s == 2:
        block(cx - 5, 10, 2, 6, BLACK)
        block(cx + 3, 10, 2, 6, BLACK)
        # Open mouth: dark red rim around red.
        block(cx - 3, 18, 6, 5, DARK_RED)
        block(cx - 2, 19, 4, 3, RED)
        block(cx - 9, 16, 3, 2, PINK)
        block(cx + 6, 16, 3, 2, PINK)
    else:
        block(cx - 3, 5, 1, 3, BLACK)
        block(cx + 2, 5, 1, 3, BLACK)
        block(cx - 1, 9, 3, 3, DARK_RED)
        block(cx, 10, 1, 1, RED)
        block(cx - 5, 8, 2, 1, PINK)
        block(cx + 4, 8, 2, 1, PINK)
    # Keep the outline closed where a face reaches the edge.
    for (x, y) in inside:
        if any((x + dx, y + dy) not in inside for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
            img[y][x] = BLACK
    return img


def icon():
    img = creature(32, 0, body=GREY)
    # The icon's creature has a plain red open mouth.
    for y in range(18, 23):
        for x in range(13, 19):
            img[y][x] = RED
    for y in range(16, 18):
        for x in list(range(7, 10)) + list(range(23, 26)):
            img[y][x] = GREY
    return img


GLYPHS = {
    0: ["111", "101", "101", "101", "111"],
    1: ["110", "010", "010", "010", "010"],
    2: ["111", "001", "111", "100", "111"],
    3: ["111", "001", "111", "001", "111"],
    4: ["101", "101", "101", "111", "001"],
    5: ["111", "100", "111", "001", "111"],
    6: ["111", "100", "111", "101", "111"],
    7: ["111", "101", "001", "001", "001"],
    8: ["111", "101", "111", "101", "111"],
    9: ["111", "101", "111", "001", "111"],
}


def digit(d):
    img = canvas(30, 50)
    for row, bits in enumerate(GLYPHS[d]):
        for col, bit in enumerate(bits):
            if bit == "1":
                for y in range(row * 10, row * 10 + 10):
                    for x in range(col * 10, col * 10 + 10):
                        img[y][x] = RED
    return img


TUFT = [
    "...#...",
    "#..#..#",
    "#..#..#",
    ".#..#.#",
    ".#..#.#",
    ".#.#.#.",
    "..##.#.",
    "..#.##.",
    "..###..",
]


def background():
    img = canvas(640, 320, FIELD)
    rnd = random.Random(1995)
    placed = []
    while len(placed) < 25:
        x = rnd.randrange(4, 640 - 11)
        y = rnd.randrange(4, 320 - 13)
        if any(abs(x - px) < 40 and abs(y - py) < 30 for px, py in placed):
            continue
        placed.append((x, y))
    for (x0, y0) in placed:
        for dy, row in enumerate(TUFT):
            for dx, ch in enumerate(row):
                if ch == "#":
                    img[y0 + dy][x0 + dx] = GRASS
    return img


def clock():
    img = canvas(16, 16)
    c = 7.5
    for y in range(16):
        for x in range(16):
            d = math.hypot(x - c, y - c)
            if d <= 7.6:
                img[y][x] = BROWN if d > 5.9 else FACE
    for y in range(3, 8):
        img[y][7] = BLACK  # minute hand towards twelve
    for x in range(8, 12):
        img[8][x] = BLACK  # hour hand towards three
    img[8][7] = BLACK
    img[7][8] = BLACK
    return img


def main():
    os.makedirs(OUT, exist_ok=True)
    for i in range(7):
        write_xpm("wobo%d" % i, creature(32, i, mask=(i == 4)))
        write_xpm("zeka%d" % i, creature(16, i, mask=(i == 4)))
    for d in range(10):
        write_xpm("num%d" % d, digit(d))
    write_xpm("field", background())
    write_xpm("clock", clock())
    write_xpm("icon", icon())


if __name__ == "__main__":
    main()

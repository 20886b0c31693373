#!/usr/bin/env python3
"""Draws Domora's interface bitmaps and writes them as XPM files.

Run from anywhere: python3 resources/make_bitmaps.py
The XPM files are written next to this script and are kept in the source
tree, so building the program never needs Python. Only the standard library
is used, and the output is fully deterministic (no random module), so
re-running the script on an unchanged copy reproduces the files byte for byte.

Each bitmap is an RGB canvas with a binary transparency mask (pixels left as
None are written as the XPM colour "None"). Shapes are drawn with 4x4
supersampling: a partly covered pixel is blended with what is already under
it, while a partly covered transparent pixel either becomes fully opaque
(coverage of one half or more) or stays transparent. Pictures that are only
ever shown on the dark teal window background may instead name that colour as
their matte, so their outer edges are smoothed against it.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# ---- colours used across the interface ----------------------------------------

TEAL = (48, 89, 105)          # window background
INK = (30, 42, 48)            # outlines and dark marks
PANEL = (224, 230, 236)       # light panel face (popups, active tab content)
BORDER = (70, 88, 104)        # control borders


def mix(a, b, t):
    """Colour a moved toward b by t (0 = a, 1 = b)."""
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def clamp01(t):
    return 0.0 if t < 0.0 else 1.0 if t > 1.0 else t


# ---- canvas -------------------------------------------------------------------


class Canvas:
    SS = 4  # samples per pixel along each axis

    def __init__(self, width, height, matte=None):
        self.w = width
        self.h = height
        self.matte = matte
        self.px = [[None] * width for _ in range(height)]

    def put(self, x, y, colour, cover=1.0):
        if cover <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        under = self.px[y][x]
        if under is None:
            if self.matte is not None:
                if cover >= 0.12:
                    self.px[y][x] = mix(self.matte, colour, cover)
            elif cover >= 0.5:
                self.px[y][x] = tuple(colour)
        else:
            self.px[y][x] = mix(under, colour, cover)

    def fill(self, inside, colour, box=None):
        """Paints every point where inside(x, y) holds.

        colour is either an RGB tuple or a function of the pixel centre
        (x, y) giving one, for gradients and textures. box limits the work to
        (x0, y0, x1, y1) in whole pixels, end exclusive.
        """
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        n = self.SS
        offsets = [(i + 0.5) / n for i in range(n)]
        total = n * n
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        if inside(x + ox, y + oy):
                            hits += 1
                if hits:
                    c = colour(x + 0.5, y + 0.5) if callable(colour) else colour
                    self.put(x, y, c, hits / total)

    def pixel_art(self, rows, palette, left=0, top=0):
        """Copies a hand-drawn picture: one character a pixel, ' ' = leave."""
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch != ' ':
                    self.px[top + j][left + i] = palette[ch]


# ---- shapes (each a predicate on a point) ----------------------------------------


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rounded_rect(x0, y0, x1, y1, r, top_only=False):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        if x < x0 + r:
            cx = x0 + r
        elif x > x1 - r:
            cx = x1 - r
        else:
            return True
        if y < y0 + r:
            cy = y0 + r
        elif not top_only and y > y1 - r:
            cy = y1 - r
        else:
            return True
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def polygon(points):
    """Even-odd fill of a closed polygon."""
    pts = list(points)

    def inside(x, y):
        result = False
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y):
                if x < xi + (y - yi) * (xj - xi) / (yj - yi):
                    result = not result
            j = i
        return result
    return inside


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else clamp01(((x - ax) * dx + (y - ay) * dy) / length2)
    px, py = ax + t * dx, ay + t * dy
    return math.hypot(x - px, y - py)


def stroke(points, width, closed=False):
    """A polyline drawn with a round pen of the given width."""
    pts = list(points)
    if closed:
        pts.append(pts[0])
    half = width / 2.0
    segs = list(zip(pts, pts[1:]))
    return lambda x, y: any(
        segment_distance(x, y, a[0], a[1], b[0], b[1]) <= half for a, b in segs)


def both(a, b):
    return lambda x, y: a(x, y) and b(x, y)


def gear(cx, cy, outer, root, hole, teeth, phase=0.0):
    def inside(x, y):
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy)
        if r < hole or r > outer:
            return False
        if r <= root:
            return True
        t = (math.atan2(dy, dx) / (2 * math.pi) * teeth + phase) % 1.0
        d = abs(t - 0.5)               # 0 at the middle of a tooth
        if d < 0.16:
            edge = outer
        elif d < 0.27:
            edge = outer - (outer - root) * (d - 0.16) / 0.11
        else:
            edge = root
        return r <= edge
    return inside


# ---- deterministic noise for textures ------------------------------------------------


def hash01(*values):
    """A repeatable pseudo-random number in [0, 1) from integers."""
    h = 0x811C9DC5
    for v in values:
        h ^= v & 0xFFFFFFFF
        h = (h * 0x01000193) & 0xFFFFFFFF
        h ^= h >> 15
        h = (h * 0x2C1B3C6D) & 0xFFFFFFFF
        h ^= h >> 12
    return h / 4294967296.0


def smooth_noise(x, y, cell, period_x, period_y, seed):
    """Value noise in [-1, 1] that repeats every period_x by period_y pixels.

    The periods must be whole multiples of cell, so the texture tiles.
    """
    gx, gy = period_x // cell, period_y // cell
    fx, fy = x / cell, y / cell
    ix, iy = int(math.floor(fx)), int(math.floor(fy))
    tx, ty = fx - ix, fy - iy
    tx = tx * tx * (3 - 2 * tx)
    ty = ty * ty * (3 - 2 * ty)

    def corner(i, j):
        return hash01(seed, i % gx, j % gy) * 2.0 - 1.0

    top = corner(ix, iy) + (corner(ix + 1, iy) - corner(ix, iy)) * tx
    bottom = corner(ix, iy + 1) + (corner(ix + 1, iy + 1) - corner(ix, iy + 1)) * tx
    return top + (bottom - top) * ty


def lighten(colour, amount):
    return tuple(c + amount for c in colour)


# ---- XPM output -------------------------------------------------------------------

# Characters that can name a colour; '"' and '\' would need escaping and '?'
# could form trigraphs in C, so they are left out. ' ' is kept for None.
CODE_CHARS = (" .+@#$%&*=-;>,')!~{]^/(_:<[}|1234567890"
              "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ`")


def write_xpm(name, canvas):
    rows = [[None if c is None else tuple(int(round(max(0, min(255, v)))) for v in c)
             for c in row] for row in canvas.px]
    colours = sorted({c for row in rows for c in row if c is not None})
    has_none = any(c is None for row in rows for c in row)
    count = len(colours) + (1 if has_none else 0)
    per_pixel = 1 if count <= len(CODE_CHARS) else 2
    if count > len(CODE_CHARS) ** per_pixel:
        raise ValueError(f"{name}: too many colours ({count})")

    def codes():
        if per_pixel == 1:
            yield from CODE_CHARS
        else:
            for a in CODE_CHARS:
                for b in CODE_CHARS:
                    yield a + b

    gen = codes()
    code_of = {}
    if has_none:
        code_of[None] = next(gen)
    else:
        next(gen)                       # keep the blank code for None only
    for c in colours:
        code_of[c] = next(gen)

    lines = ["/* XPM */", f"static char * {name}_xpm[] = {{",
             f'"{canvas.w} {canvas.h} {count} {per_pixel}",']
    if has_none:
        lines.append(f'"{code_of[None]}\tc None",')
    for c in colours:
        lines.append(f'"{code_of[c]}\tc #{c[0]:02X}{c[1]:02X}{c[2]:02X}",')
    body = ['"' + "".join(code_of[c] for c in row) + '"' for row in rows]
    lines.extend(b + "," for b in body[:-1])
    lines.append(body[-1] + "};")
    path = os.path.join(HERE, name + ".xpm")
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


# ---- the bitmaps --------------------------------------------------------------------


class ScaledCanvas(Canvas):
    """A canvas of any size that takes the coordinates of a 64-pixel drawing,
    so the program's picture can be drawn again sharp at every icon size."""

    def __init__(self, size, design=64):
        super().__init__(size, size)
        self.k = design / size

    def fill(self, inside, colour, box=None):
        k = self.k
        scaled = (lambda x, y: inside(x * k, y * k))
        paint = (lambda x, y: colour(x * k, y * k)) if callable(colour) else colour
        super().fill(scaled, paint)


def write_png(path, canvas):
    """Writes canvas as an 8-bit RGBA PNG; pixels left as None are transparent."""
    raw = bytearray()
    for row in canvas.px:
        raw.append(0)                   # no filter
        for c in row:
            if c is None:
                raw += bytes((0, 0, 0, 0))
            else:
                raw += bytes(int(round(max(0, min(255, v)))) for v in c) + b"\xff"

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
           + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(png)


# The application icon: the house of the About screen at the desktop's sizes.
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)
APP_ID = "org.domora.Domora"


def house64(c=None):
    c = c or Canvas(64, 64)
    # Grass the house stands on.
    c.fill(rounded_rect(2, 56, 62, 62, 3), INK)
    c.fill(rounded_rect(3, 57, 61, 61, 2),
           lambda x, y: mix((122, 184, 92), (84, 146, 66), (y - 57) / 4))
    # Chimney, behind the roof.
    c.fill(rect(42, 7, 52, 24), INK)
    c.fill(rect(43.5, 10, 50.5, 24),
           lambda x, y: (150, 78, 58) if (int(y) - 10) % 4 else (124, 62, 46))
    c.fill(rect(41, 6, 53, 10), INK)
    c.fill(rect(42, 7, 52, 9), (112, 104, 100))
    # Walls.
    c.fill(rect(9, 29, 55, 58), INK)
    c.fill(rect(10, 30, 54, 57),
           lambda x, y: mix((246, 240, 224), (226, 216, 192), (y - 30) / 27))
    c.fill(rect(10, 30, 54, 33), (196, 184, 160))          # eave shadow
    # Roof: a triangle with rows of tiles, outlined after filling.
    apex, left, right = (32, 3.5), (2.5, 31), (61.5, 31)
    roof = polygon([apex, right, left])
    c.fill(roof, lambda x, y: mix((214, 78, 60), (172, 52, 42), (y - 4) / 27))
    for row_y in range(10, 31, 5):
        c.fill(both(roof, rect(0, row_y, 64, row_y + 1)), (150, 44, 36))
    c.fill(stroke([apex, right, left], 2.0, closed=True), INK)
    # Round window in the gable.
    c.fill(ellipse(32, 19, 5.6, 5.6), INK)
    c.fill(ellipse(32, 19, 4.4, 4.4),
           lambda x, y: mix((255, 232, 140), (240, 196, 80), (y - 15) / 8))
    c.fill(rect(31.5, 14, 32.5, 24), INK)
    c.fill(rect(27, 18.5, 37, 19.5), INK)
    # Two lit windows with crossbars and sills.
    for wx in (12, 41):
        c.fill(rect(wx, 36, wx + 11, 47), INK)
        c.fill(rect(wx + 1, 37, wx + 10, 46),
               lambda x, y: mix((255, 232, 140), (240, 196, 80), (y - 37) / 9))
        c.fill(rect(wx + 5, 37, wx + 6, 46), INK)
        c.fill(rect(wx + 1, 41, wx + 10, 42), INK)
        c.fill(rect(wx - 1, 46, wx + 12, 49), INK)
        c.fill(rect(wx, 47, wx + 11, 48), (200, 196, 188))
    # Arched door with two panels and a brass knob.
    door = lambda x, y: (27 <= x < 37 and 44 <= y < 57) or \
        (27 <= x < 37 and (x - 32) ** 2 + (y - 44) ** 2 <= 25)
    c.fill(lambda x, y: (26 <= x < 38 and 44 <= y < 57)
           or (x - 32) ** 2 + (y - 44) ** 2 <= 6.2 ** 2, INK)
    c.fill(door, lambda x, y: mix((140, 88, 50), (108, 64, 36), (x - 27) / 10))
    c.fill(rect(29, 46, 35, 50), (98, 58, 32))
    c.fill(rect(29, 52, 35, 55), (98, 58, 32))
    c.fill(ellipse(34.8, 51, 1.1, 1.1), (245, 210, 100))
    # Door step.
    c.fill(rect(24, 56, 40, 59), INK)
    c.fill(rect(25, 57, 39, 58), (176, 180, 184))
    return c


def check_box(checked):
    c = Canvas(16, 16)
    c.fill(rect(1, 1, 15, 15), INK)
    c.fill(rect(2, 2, 14, 14),
           lambda x, y: mix((255, 255, 255), (226, 232, 238), (y - 2) / 12))
    if checked:
        c.fill(stroke([(4.6, 8.2), (7.0, 10.8), (11.6, 4.9)], 2.3), INK)
    return c


def small_arrow(direction):
    # Pointing up; the other directions are turned copies.
    up = ["        ",
          "        ",
          "   ##   ",
          "  ####  ",
          " ###### ",
          "########",
          "        ",
          "        "]
    grid = up
    if direction == "down":
        grid = up[::-1]
    elif direction == "left":
        grid = ["".join(row[i] for row in up) for i in range(8)]
    elif direction == "right":
        grid = ["".join(row[i] for row in reversed(up)) for i in range(8)]
    c = Canvas(8, 8)
    c.pixel_art(grid, {"#": INK})
    return c


def big_arrow(direction):
    if direction in ("left", "right"):
        c = Canvas(7, 14)
        for col in range(7):
            half = col + 1                       # 1..7 pixels each side of the middle
            x = col if direction == "left" else 6 - col
            for y in range(7 - half, 7 + half):
                c.px[y][x] = INK
    else:
        c = Canvas(14, 7)
        for row in range(7):
            half = 7 - row
            for x in range(7 - half, 7 + half):
                c.px[row][x] = INK
    return c


def drive_icon():
    c = Canvas(16, 16)
    c.pixel_art([
        "                ",
        "                ",
        "                ",
        "                ",
        "   kkkkkkkkkk   ",
        "  kLLLLLLLLLLk  ",
        " kLLLLLLLLLLLLk ",
        " kkkkkkkkkkkkkk ",
        " kMMMMMMMMMMMMk ",
        " kMddddddMMMgMk ",
        " kMMMMMMMMMMMMk ",
        " kSSSSSSSSSSSSk ",
        "  kkkkkkkkkkkk  ",
        "                ",
        "                ",
        "                ",
    ], {"k": (58, 68, 78), "L": (222, 228, 234), "M": (182, 192, 202),
        "S": (154, 165, 177), "d": (52, 62, 70), "g": (70, 200, 96)})
    return c


FOLDER_ROWS = [
    "                ",
    "                ",
    " bbbbb          ",
    "bOOOOOb         ",
    "bOOOOOObbbbbbbb ",
    "bOOOOOOOOOOOOOOb",
    "bYYYYYYYYYYYYYYb",
    "byyyyyyyyyyyyyyb",
    "byyyyyyyyyyyyyyb",
    "byyyyyyyyyyyyyyb",
    "byyyyyyyyyyyyyyb",
    "byyyyyyyyyyyyyyb",
    "byyyyyyyyyyyyyyb",
    "bssssssssssssssb",
    " bbbbbbbbbbbbbb ",
    "                ",
]
FOLDER_COLOURS = {"b": (150, 104, 30), "O": (226, 170, 58), "Y": (255, 234, 150),
                  "y": (250, 208, 92), "s": (232, 184, 70), "g": (34, 112, 70),
                  "G": (20, 80, 48)}


def folder_icon(up_arrow):
    c = Canvas(16, 16)
    c.pixel_art(FOLDER_ROWS, FOLDER_COLOURS)
    if up_arrow:
        c.pixel_art([
            "       gg       ",
            "      gggg      ",
            "     gggggg     ",
            "    gggggggg    ",
            "      gggg      ",
            "      gggg      ",
            "      gggg      ",
        ], FOLDER_COLOURS, top=6)
    return c


def file_icon():
    c = Canvas(16, 16)
    c.pixel_art([
        "                ",
        "  kkkkkkkk      ",
        "  kwwwwwwkk     ",
        "  kwwwwwwkfk    ",
        "  kwwwwwwkffk   ",
        "  kwwwwwwkkkkk  ",
        "  kwwwwwwwwwwk  ",
        "  kwllllllllwk  ",
        "  kwwwwwwwwwwk  ",
        "  kwllllllllwk  ",
        "  kwwwwwwwwwwk  ",
        "  kwllllllllwk  ",
        "  kwwwwwwwwwwk  ",
        "  kwlllllwwwwk  ",
        "  kwwwwwwwwwwk  ",
        "  kkkkkkkkkkkk  ",
    ], {"k": (84, 96, 108), "w": (255, 255, 255), "f": (208, 216, 224),
        "l": (150, 162, 174)})
    return c


def title_large():
    # Shown on the window background, so its edges are smoothed against it.
    c = Canvas(220, 40, matte=TEAL)
    light_top, light_bottom = (238, 243, 247), (168, 186, 204)
    # Rule under the heading area, fading into the background to the right.
    def rule_colour(start, end, colour):
        return lambda x, y: mix(colour, TEAL, clamp01((x - start) / (end - start)) ** 1.6)
    c.fill(rect(40, 31, 218, 33), rule_colour(40, 218, (214, 224, 233)), box=(40, 31, 218, 33))
    c.fill(rect(40, 35, 170, 36), rule_colour(40, 170, (147, 164, 189)), box=(40, 35, 170, 36))
    c.fill(polygon([(38, 28.5), (41.5, 32), (38, 35.5), (34.5, 32)]), (238, 243, 247),
           box=(33, 27, 43, 37))
    # Gear emblem with an engraved ring and an open centre.
    c.fill(gear(19, 19, 17.5, 13.6, 5.2, 8, phase=0.5),
           lambda x, y: mix(light_top, light_bottom, (y - 2) / 35), box=(0, 0, 40, 40))
    c.fill(lambda x, y: 8.6 <= math.hypot(x - 19, y - 19) <= 9.9, (120, 140, 160),
           box=(0, 0, 40, 40))
    c.fill(lambda x, y: 5.2 <= math.hypot(x - 19, y - 19) <= 6.3, (134, 152, 172),
           box=(0, 0, 40, 40))
    return c


def medium_x():
    c = Canvas(24, 24)
    arms = [(5, 5), (19, 19)], [(19, 5), (5, 19)]
    for pts in arms:
        c.fill(stroke(pts, 6.2), (120, 24, 24))
    for pts in arms:
        c.fill(stroke(pts, 3.8), lambda x, y: mix((236, 84, 70), (196, 44, 38), (y - 4) / 16))
    return c


def framed_face(c, shape, border, face, open_bottom=False):
    """Fills a control face with a crisp one-pixel border along its outline.

    shape decides, by pixel centre, which pixels belong to the control. A
    pixel of it is border when a direct neighbour is outside; with
    open_bottom the bottom edge of the bitmap counts as inside, so the face
    runs on into whatever is drawn below it. face(x, y) gives the colour of an
    inner pixel from its whole-pixel position. Inner pixels that touch the
    outside only diagonally (the inside of a rounded corner) are softened
    toward the border colour.
    """
    def belongs(x, y):
        if x < 0 or x >= c.w or y < 0:
            return False
        if y >= c.h:
            return open_bottom and shape(x + 0.5, c.h - 0.5)
        return shape(x + 0.5, y + 0.5)

    for y in range(c.h):
        for x in range(c.w):
            if not belongs(x, y):
                continue
            if not all(belongs(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                c.px[y][x] = border
            elif not all(belongs(x + dx, y + dy) for dx, dy in ((1, 1), (-1, 1), (1, -1), (-1, -1))):
                c.px[y][x] = mix(face(x, y), border, 0.45)
            else:
                c.px[y][x] = face(x, y)


BUTTON_LOOKS = {
    # border, top highlight row, fill top, fill bottom, bottom shade row
    "UP": ((70, 88, 104), (250, 252, 253), (230, 236, 241), (189, 200, 212), (174, 186, 199)),
    "HOVER": ((52, 110, 136), (255, 255, 255), (244, 248, 251), (208, 219, 230), (192, 204, 217)),
}


def button(state):
    w, h = 201, 26
    c = Canvas(w, h)
    shape = rounded_rect(0, 0, w, h, 4)
    if state == "DOWN":
        # Pressed in: darker, lit from below, with a shadow under the top edge.
        def face(x, y):
            if y == 1:
                return (132, 146, 162)
            if y == 2:
                return (150, 164, 180)
            return mix((162, 176, 192), (192, 203, 215), (y - 3) / (h - 5))
        framed_face(c, shape, (46, 62, 76), face)
        return c
    border, high, top, bottom, shade = BUTTON_LOOKS[state]

    def face(x, y):
        if y == 1:
            return high
        if y == h - 2:
            return shade
        return mix(top, bottom, (y - 2) / (h - 5))
    framed_face(c, shape, border, face)
    return c


def tab(active):
    w, h = 151, 36
    c = Canvas(w, h)
    if active:
        # Open at the bottom, ending in the panel colour of the page below.
        def face(x, y):
            if y == 1:
                return (255, 255, 255)
            return mix((247, 249, 251), PANEL, clamp01((y - 2) / 22))
        framed_face(c, rounded_rect(0, 0, w, h, 6, top_only=True), BORDER, face,
                    open_bottom=True)
    else:
        # Lower than the active tab and closed along the bottom.
        top = 4

        def face(x, y):
            if y == top + 1:
                return (200, 211, 223)
            return mix((180, 194, 208), (144, 160, 178), (y - top - 2) / (h - top - 4))
        framed_face(c, rounded_rect(0, top, w, h, 6, top_only=True), BORDER, face)
    return c


def popup_back():
    w, h = 100, 60
    c = Canvas(w, h)
    for y in range(h):
        grain_row = (hash01(7, y) - 0.5) * 1.6
        for x in range(w):
            v = (smooth_noise(x, y, 20, w, h, 3) * 1.8
                 + smooth_noise(x, y, 10, w, h, 4) * 1.0
                 + (hash01(8, x, y) - 0.5) * 1.6 + grain_row)
            c.px[y][x] = lighten(PANEL, v)
    return c


def background():
    n = 100
    c = Canvas(n, n)
    rows = [(hash01(11, y) - 0.5) * 2.2 for y in range(n)]
    cols = [(hash01(12, x) - 0.5) * 2.2 for x in range(n)]
    for y in range(n):
        for x in range(n):
            v = (smooth_noise(x, y, 25, n, n, 1) * 2.6
                 + smooth_noise(x, y, 10, n, n, 2) * 1.4
                 + rows[y] + cols[x]
                 + (hash01(13, x, y) - 0.5) * 1.4)
            c.px[y][x] = (TEAL[0] + v * 0.8, TEAL[1] + v, TEAL[2] + v * 1.05)
    return c


def main():
    bitmaps = {
        "HOUSE64": house64(),
        "CHECKED_BOX": check_box(True),
        "UNCHECKED_BOX": check_box(False),
        "ARROW_UP": small_arrow("up"),
        "ARROW_DOWN": small_arrow("down"),
        "ARROW_RIGHT": small_arrow("right"),
        "ARROW_LEFT": small_arrow("left"),
        "BIG_LEFT": big_arrow("left"),
        "BIG_RIGHT": big_arrow("right"),
        "BIG_DOWN": big_arrow("down"),
        "DRIVE_ICON": drive_icon(),
        "FOLDER_ICON": folder_icon(False),
        "UPFOLDER_ICON": folder_icon(True),
        "FILE_ICON": file_icon(),
        "TITLE_LARGE": title_large(),
        "MEDIUM_X": medium_x(),
        "BUTTON_UP": button("UP"),
        "BUTTON_HOVER": button("HOVER"),
        "BUTTON_DOWN": button("DOWN"),
        "TAB_ACTIVE": tab(True),
        "TAB_INACTIVE": tab(False),
        "POPUP_BACK": popup_back(),
        "BACKGROUND": background(),
    }
    for name, canvas in bitmaps.items():
        write_xpm(name, canvas)
    for size in ICON_SIZES:
        write_png(os.path.join(HERE, "icons", f"{size}x{size}", APP_ID + ".png"), house64(ScaledCanvas(size)))


if __name__ == "__main__":
    main()

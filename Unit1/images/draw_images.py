#!/usr/bin/env python3
"""Draws Velpin's pictures and writes them as XPM files beside this script.

The 16 x 16 pictures are kept below as character grids in the classic
16-colour palette, so a picture is edited by editing its grid. The disabled
glyphs are derived from the normal ones and the 48 x 48 application icon is
drawn from shapes, so neither is stored as a grid.

The build never runs this script; it compiles the committed XPM files through
images.qrc. After changing a picture, run

    python3 Unit1/images/draw_images.py
    convert Unit1/images/velpin.xpm -strip Unit1/images/velpin.png

and commit the changed XPM files (and velpin.png) together with this script.
"""

import math
import os
import sys

# The classic 16-colour palette. Classic 16-colour glyphs mark transparent
# pixels with olive; the grids use "." instead and the XPM files say "None",
# so Qt builds a real mask. Olive is therefore not in the palette.
TRANSPARENT = "."
PALETTE = {
    "#": "#000000",  # black
    "m": "#800000",  # maroon
    "g": "#008000",  # green
    "n": "#000080",  # navy
    "p": "#800080",  # purple
    "t": "#008080",  # teal
    "d": "#808080",  # grey
    "s": "#C0C0C0",  # silver
    "r": "#FF0000",  # red
    "l": "#00FF00",  # lime
    "y": "#FFFF00",  # yellow
    "b": "#0000FF",  # blue
    "f": "#FF00FF",  # fuchsia
    "c": "#00FFFF",  # cyan
    "w": "#FFFFFF",  # white
}

# ImageList1, in index order: the tree uses the index as the node's image.
IMAGE_LIST = [
    (
        "list0_frame",
        # A film frame: a strip with sprocket holes around a picture with an F.
        [
            "################",
            "#ww##########ww#",
            "#ww#tttttttt#ww#",
            "####tttttttt####",
            "####tggggggt####",
            "#ww#tggggggt#ww#",
            "#ww#tggttttt#ww#",
            "####tgggggtt####",
            "####tgggggtt####",
            "#ww#tggttttt#ww#",
            "#ww#tggttttt#ww#",
            "####tggttttt####",
            "####tttttttt####",
            "#ww#tttttttt#ww#",
            "#ww##########ww#",
            "################",
        ],
    ),
    (
        "list1_control",
        # A triangular body with a red dot and a slanted tip, on a base.
        [
            "..........##....",
            ".........##.....",
            "........##......",
            ".......##.......",
            "......####......",
            "......####......",
            ".....######.....",
            ".....######.....",
            "....###rr###....",
            "....###rr###....",
            "...##########...",
            "...##########...",
            "..############..",
            "################",
            "################",
            "................",
        ],
    ),
    (
        "list2_definition",
        # A D with a colour strip at its top left and a dotted arrow beneath.
        [
            "rryygg..........",
            "rryygg..........",
            "..ttttttt.......",
            "..tttttttt......",
            "..tt....ttt.....",
            "..tt.....tt.....",
            "..tt.....tt.....",
            "..tt.....tt.....",
            "..tt....ttt.....",
            "..tttttttt......",
            "..ttttttt.......",
            "............c...",
            "............cc..",
            "#.#.#.#.#.#.ccc.",
            "............cc..",
            "............c...",
        ],
    ),
    (
        "list3_header",
        # An H whose right stem rises into a small hook like a pick.
        [
            "...........##...",
            "..........#..#..",
            "..........#..#..",
            "..........#.....",
            "..........##....",
            "...##.....##....",
            "...##.....##....",
            "...##.....##....",
            "...##.....##....",
            "...#########....",
            "...#########....",
            "...##.....##....",
            "...##.....##....",
            "...##.....##....",
            "...##.....##....",
            "................",
        ],
    ),
    (
        "list4_field",
        # A red disc above a black block, like a letter i.
        [
            "................",
            "......rrrr......",
            ".....rrrrrr.....",
            ".....rrrrrr.....",
            ".....rrrrrr.....",
            ".....rrrrrr.....",
            "......rrrr......",
            "................",
            "......####......",
            "......####......",
            "......####......",
            "......####......",
            "......####......",
            "......####......",
            "......####......",
            "................",
        ],
    ),
    (
        "list5_file",
        # A written sheet with a pencil at its lower right.
        [
            "############....",
            "#wwwwwwwwww#....",
            "#w###w##www#....",
            "#wwwwwwwwww#....",
            "#w##w####ww#.##.",
            "#wwwwwwwwww##ff#",
            "#w####w##ww#fff#",
            "#wwwwwwwww#sss#.",
            "#w###w#ww#yyy#..",
            "#wwwwwww#yyy#...",
            "#w##w#w#yyy#....",
            "#wwwww#yyy##....",
            "#w##w#www#w#....",
            "#wwww#w#www#....",
            "#www##wwwww#....",
            "############....",
        ],
    ),
]

# Tool-button glyphs (normal pictures); each gets a derived disabled picture.
GLYPHS = [
    (
        "glyph_open",
        # A written page with a folded corner and yellow rays around it.
        [
            "........y.......",
            "..y.....y.....y.",
            "...y.........y..",
            "....######......",
            "....#wwww##.....",
            "....#w##w#w#....",
            "....#wwww###....",
            "yy..#w####w#..yy",
            "....#wwwwww#....",
            "....#w###ww#....",
            "....#wwwwww#....",
            "....#w####w#....",
            "....#wwwwww#....",
            "....########....",
            "..y..........y..",
            ".y......y.....y.",
        ],
    ),
    (
        "glyph_saveas",
        # A page, and a red arrow down into a diskette.
        [
            "######...rr.....",
            "#wwww#...rr.....",
            "#w##w#...rr.....",
            "#wwww#...rr.....",
            "#w##w#.rrrrrr...",
            "#wwww#..rrrr....",
            "#w#ww#...rr.....",
            "################",
            "......#bbbbbbbb#",
            "......#bbbbbbbb#",
            "......#bbbbbbbb#",
            "......##########",
            "......###ssss###",
            "......###s#ss###",
            "......###s#ss###",
            "......##########",
        ],
    ),
    (
        "glyph_delete",
        # A left arrow with a red tail, a red bar, and a column of dashes.
        [
            "..............##",
            "................",
            ".....b........##",
            "....bb..........",
            "...bbb........##",
            "..bbbbbbbbrrr...",
            ".bbbbbbbbbrrr.##",
            "..bbbbbbbbrrr...",
            "...bbb........##",
            "....bb..........",
            ".....b........##",
            "................",
            "..............##",
            "rrrrrrrr........",
            "rrrrrrrr......##",
            "................",
        ],
    ),
    (
        "glyph_help",
        # A red question mark on a disc of yellow and white checks.
        [
            ".....######.....",
            "...##ywwyyw##...",
            "..##wwyywwyy##..",
            ".##ywwrrrryyw##.",
            ".#wwyrrwyrrwyy#.",
            "#ywwyywwyrrwyyw#",
            "#wyywwyyrryywwy#",
            "#wyywwyrrwyywwy#",
            "#ywwyywrrywwyyw#",
            "#ywwyywwyywwyyw#",
            "#wyywwyrrwyywwy#",
            ".#yywwyrrwyyww#.",
            ".##wyywwyywwy##.",
            "..##yywwyyww##..",
            "...##wyywwy##...",
            ".....######.....",
        ],
    ),
]


def check_grid(name, grid, size):
    if len(grid) != size or any(len(row) != size for row in grid):
        sys.exit(f"{name}: the grid is not {size} x {size}")
    for row in grid:
        for ch in row:
            if ch != TRANSPARENT and ch not in PALETTE:
                sys.exit(f"{name}: unknown colour character {ch!r}")


def hex_rgb(colour):
    return tuple(int(colour[i : i + 2], 16) for i in (1, 3, 5))


def is_dark(ch):
    # A monochrome conversion maps each colour to the nearer of black and
    # white; the dark ones make up the shape of the disabled picture.
    r, g, b = hex_rgb(PALETTE[ch])
    to_black = r * r + g * g + b * b
    to_white = (255 - r) ** 2 + (255 - g) ** 2 + (255 - b) ** 2
    return to_black <= to_white


def disabled_grid(grid):
    """Grey shape with a white highlight one pixel down and to the right."""
    size = len(grid)
    shape = [[ch != TRANSPARENT and is_dark(ch) for ch in row] for row in grid]
    out = [[TRANSPARENT] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if shape[y][x] and x + 1 < size and y + 1 < size:
                out[y + 1][x + 1] = "w"
    for y in range(size):
        for x in range(size):
            if shape[y][x]:
                out[y][x] = "d"
    return ["".join(row) for row in out]


def write_grid_xpm(directory, name, grid):
    used = sorted({ch for row in grid for ch in row})
    colours = {ch: ("None" if ch == TRANSPARENT else PALETTE[ch]) for ch in used}
    write_xpm(directory, name, grid, colours, 1)


def write_xpm(directory, name, rows, colours, chars_per_pixel):
    width = len(rows[0]) // chars_per_pixel
    lines = [
        "/* XPM */",
        f"static const char *const {name}_xpm[] = {{",
        f'"{width} {len(rows)} {len(colours)} {chars_per_pixel}",',
    ]
    for key, value in colours.items():
        lines.append(f'"{key} c {value}",')
    for i, row in enumerate(rows):
        lines.append(f'"{row}"' + ("," if i + 1 < len(rows) else ""))
    lines.append("};")
    with open(os.path.join(directory, name + ".xpm"), "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


# ---------------------------------------------------------------------------
# The 48 x 48 application icon: a magnifying glass with a crosshair in its
# lens, lying over a white sheet that bears the letters SWF.

ICON_SIZE = 48
SUPERSAMPLES = 4

SHEET_LEFT, SHEET_TOP, SHEET_RIGHT, SHEET_BOTTOM = 3, 1, 35, 45  # inclusive
SHEET_FOLD = 7
# The lens centre lies in the middle of a pixel so the crosshair is crisp.
LENS_X, LENS_Y = 31.5, 32.5
LENS_INNER, LENS_OUTER = 8.2, 11.4
HANDLE_FROM, HANDLE_TO, HANDLE_HALF_WIDTH = 11.9, 21.5, 2.6

LETTERS = {
    "S": [
        ".#####.",
        "##...##",
        "##.....",
        "###....",
        ".#####.",
        "....###",
        ".....##",
        "##...##",
        ".#####.",
    ],
    "W": [
        "##.....##",
        "##.....##",
        "##.....##",
        "##..#..##",
        "##.###.##",
        "##.###.##",
        "#########",
        ".###.###.",
        ".##...##.",
    ],
    "F": [
        "#######",
        "#######",
        "##.....",
        "##.....",
        "######.",
        "######.",
        "##.....",
        "##.....",
        "##.....",
    ],
}
LETTERS_TOP, LETTERS_LEFT, LETTER_GAP = 11, 6, 2

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
SHEET_EDGE = (64, 64, 64)
SHEET_SHADOW = (128, 128, 128)
FOLD_FILL = (208, 208, 208)
TEXT_LINE = (160, 160, 160)


def letters_mask():
    mask = set()
    x0 = LETTERS_LEFT
    for letter in "SWF":
        glyph = LETTERS[letter]
        for dy, row in enumerate(glyph):
            for dx, ch in enumerate(row):
                if ch == "#":
                    mask.add((x0 + dx, LETTERS_TOP + dy))
        x0 += len(glyph[0]) + LETTER_GAP
    return mask


LETTER_PIXELS = letters_mask()
TEXT_LINES = [(24, 7, 30), (27, 7, 25), (30, 7, 28), (33, 7, 21), (36, 7, 27), (39, 7, 24)]


def sheet_colour(px, py):
    """Colour of the sheet at pixel (px, py), or None outside it."""
    fold_x = SHEET_RIGHT - SHEET_FOLD
    inside = SHEET_LEFT <= px <= SHEET_RIGHT and SHEET_TOP <= py <= SHEET_BOTTOM
    if not inside:
        # A one-pixel shadow below and to the right of the sheet.
        if px == SHEET_RIGHT + 1 and SHEET_TOP + SHEET_FOLD + 1 <= py <= SHEET_BOTTOM + 1:
            return SHEET_SHADOW
        if py == SHEET_BOTTOM + 1 and SHEET_LEFT + 1 <= px <= SHEET_RIGHT + 1:
            return SHEET_SHADOW
        return None
    corner = (px - fold_x) - (py - SHEET_TOP)
    if corner > 0:
        return None
    if corner == 0:
        return SHEET_EDGE
    if px == fold_x and py <= SHEET_TOP + SHEET_FOLD:
        return SHEET_EDGE
    if py == SHEET_TOP + SHEET_FOLD and px >= fold_x:
        return SHEET_EDGE
    if px > fold_x and py < SHEET_TOP + SHEET_FOLD:
        return FOLD_FILL
    if px in (SHEET_LEFT, SHEET_RIGHT) or py in (SHEET_TOP, SHEET_BOTTOM):
        return SHEET_EDGE
    if (px, py) in LETTER_PIXELS:
        return BLACK
    for line_y, x_from, x_to in TEXT_LINES:
        if py == line_y and x_from <= px <= x_to:
            return TEXT_LINE
    return WHITE


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def icon_sample(x, y):
    """Colour at the point (x, y) of the icon, or None where it is clear."""
    px, py = int(math.floor(x)), int(math.floor(y))
    under = sheet_colour(px, py)
    dx, dy = x - LENS_X, y - LENS_Y
    dist = math.hypot(dx, dy)

    if dist < LENS_INNER:
        # Glass: tints what lies beneath it, a pale reflection at upper left.
        base = under if under is not None else WHITE
        glass = mix(base, (170, 215, 255), 0.35)
        glare = max(0.0, 1.0 - math.hypot(dx + 3.5, dy + 3.5) / 4.0)
        glass = mix(glass, WHITE, 0.8 * glare)
        if abs(dx) < 0.5 or abs(dy) < 0.5:
            return BLACK
        return glass
    if dist < LENS_OUTER:
        # Rim: a metal ring lit from the upper left, outlined in black.
        if dist < LENS_INNER + 0.7 or dist > LENS_OUTER - 0.8:
            return BLACK
        light = 0.5 - 0.5 * (dx + dy) / (dist * math.sqrt(2.0))
        return mix((70, 70, 80), (235, 235, 240), light)

    # Handle: a dark grip leading down and to the right from the rim.
    along = (dx + dy) / math.sqrt(2.0)
    across = (dx - dy) / math.sqrt(2.0)
    if HANDLE_FROM - 1.0 <= along <= HANDLE_TO and abs(across) <= HANDLE_HALF_WIDTH:
        if abs(across) > HANDLE_HALF_WIDTH - 0.8 or along > HANDLE_TO - 0.8:
            return BLACK
        if along < HANDLE_FROM + 2.0:
            return (192, 192, 192)
        shade = 0.5 + 0.5 * across / HANDLE_HALF_WIDTH
        return mix((150, 80, 30), (60, 25, 5), shade)
    return under


def draw_icon():
    pixels = []
    step = 1.0 / SUPERSAMPLES
    for py in range(ICON_SIZE):
        row = []
        for px in range(ICON_SIZE):
            samples = []
            for sy in range(SUPERSAMPLES):
                for sx in range(SUPERSAMPLES):
                    c = icon_sample(px + (sx + 0.5) * step, py + (sy + 0.5) * step)
                    if c is not None:
                        samples.append(c)
            # The mask is one bit deep: a pixel is shown when it is mostly
            # covered, in the average colour of its covered part.
            if len(samples) * 2 < SUPERSAMPLES * SUPERSAMPLES:
                row.append(None)
            else:
                row.append(
                    tuple(round(sum(c[i] for c in samples) / len(samples)) for i in range(3))
                )
        pixels.append(row)
    return pixels


def quantise(pixels, limit):
    """Rounds colours more coarsely until at most `limit` remain."""
    for step in (1, 2, 4, 8, 16, 32):
        rounded = [
            [
                None if c is None else tuple(min(255, round(v / step) * step) for v in c)
                for c in row
            ]
            for row in pixels
        ]
        colours = {c for row in rounded for c in row if c is not None}
        if len(colours) <= limit:
            return rounded, sorted(colours)
    sys.exit("the icon has too many colours")


def write_icon_xpm(directory, name, pixels):
    # 256 colours in all, one of them the transparent one.
    pixels, colours = quantise(pixels, 255)
    # Printable characters other than the quote and the backslash; the blank
    # is kept for the transparent pixels.
    symbols = [chr(c) for c in range(35, 127) if chr(c) != "\\"]
    chars_per_pixel = 1 if len(colours) <= len(symbols) else 2
    if chars_per_pixel == 1:
        keys = symbols
    else:
        keys = [a + b for a in symbols for b in symbols]
    table = {None: " " * chars_per_pixel}
    for i, c in enumerate(colours):
        table[c] = keys[i]
    xpm_colours = {table[None]: "None"}
    for c in colours:
        xpm_colours[table[c]] = "#%02X%02X%02X" % c
    rows = ["".join(table[c] for c in row) for row in pixels]
    write_xpm(directory, name, rows, xpm_colours, chars_per_pixel)


def main():
    directory = os.path.dirname(os.path.abspath(__file__))
    for name, grid in IMAGE_LIST:
        check_grid(name, grid, 16)
        write_grid_xpm(directory, name, grid)
    for name, grid in GLYPHS:
        check_grid(name, grid, 16)
        write_grid_xpm(directory, name, grid)
        write_grid_xpm(directory, name + "_disabled", disabled_grid(grid))
    write_icon_xpm(directory, "velpin", draw_icon())


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the library's artwork: the menu item pictures CF, A, R, M and S in
each size a menu may want, the About window's banner and icon, the icon
MAINICON, the Explorer command's icon S and the logos of the package for
Windows 11's Explorer menu.

The item pictures are drawn below as shapes and written as 32-bit bitmaps
with premultiplied alpha, the form the library loads them in; the banner is
24-bit, its star drawn as text, one character per pixel; the About icon has
256 colours and MAINICON 16; the logos are PNGs with alpha. Run it after changing a picture:
    python3 src/Resources/make_bitmaps.py src/Resources
"""
import struct
import sys
import zlib
from pathlib import Path

# The banner's star, one character per pixel, in these colours.
PALETTE = {
    ".": (240, 240, 240),  # unused: the banner keeps its own background
    "S": (255, 196, 24),   # star
    "O": (176, 112, 0),    # star outline
}
BANNER_STAR = [
    "......O......",
    ".....OSO.....",
    ".....OSO.....",
    "....OSSSO....",
    "OOOOOSSSOOOOO",
    ".OSSSSSSSSSO.",
    "..OSSSSSSSO..",
    "...OSSSSSO...",
    "...OSSSSSO...",
    "..OSSSOSSSO..",
    "..OSSO.OSSO..",
    ".OSO.....OSO.",
    ".OO.......OO.",
]

# The menu item pictures are drawn as shapes on a 16 x 16 grid (y downwards)
# and rendered at every size a menu may want: the small icon's size at 100,
# 125, 150, 200 and 250 % scaling. Each pixel is sampled 8 x 8 times; what no
# shape covers stays transparent, so the picture sits on any menu, light or
# dark. The 16-pixel one keeps the plain name; the others carry their size.
PICTURE_SIZES = (16, 20, 24, 32, 40)
SAMPLES = 8

OUTLINE = (64, 64, 64)
FOLDER = (255, 210, 90)
FOLDER_SHADE = (222, 168, 48)
GREEN = (24, 140, 40)
RED = (200, 36, 36)
METAL = (48, 84, 176)
PAPER = (255, 255, 255)
STAR = (255, 196, 24)
STAR_OUTLINE = (176, 112, 0)
CLEAR = None  # cuts a hole into what lies below


def inside_polygon(points, x, y):
    inside = False
    for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
            inside = not inside
    return inside


def near_segment(p0, p1, x, y, radius):
    (x0, y0), (x1, y1) = p0, p1
    dx, dy = x1 - x0, y1 - y0
    length = dx * dx + dy * dy
    t = 0 if length == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length))
    ex, ey = x0 + t * dx - x, y0 + t * dy - y
    return ex * ex + ey * ey <= radius * radius


def fill(points, colour):
    return (colour, lambda x, y: inside_polygon(points, x, y))


def rect(x0, y0, x1, y1, colour):
    return fill([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], colour)


def stroke(points, width, colour, closed=False):
    pairs = list(zip(points, points[1:] + (points[:1] if closed else [])))
    return (colour, lambda x, y: any(near_segment(a, b, x, y, width / 2) for a, b in pairs))


def disc(cx, cy, radius, colour):
    return (colour, lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius)


def star_points(cx, cy, outer, inner):
    from math import cos, pi, sin
    return [(cx + r * sin(k * pi / 5), cy - r * cos(k * pi / 5))
            for k in range(10) for r in [outer if k % 2 == 0 else inner]]


FOLDER_OUTLINE = [(1, 2.5), (6, 2.5), (7.5, 4), (15, 4), (15, 13.5), (1, 13.5)]
CHECK = [(4, 9), (7, 12), (14.5, 4.5)]
STAR_SHAPE = star_points(8, 8.6, 7.4, 3.0)

# Shapes in painting order: a later one covers an earlier one.
PICTURES = {
    # The current folder: a folder carrying a check mark.
    "CF": [
        fill(FOLDER_OUTLINE, FOLDER),
        rect(1, 5.5, 15, 6.8, FOLDER_SHADE),
        stroke(FOLDER_OUTLINE, 1, OUTLINE, closed=True),
        stroke(CHECK, 3.6, PAPER),
        stroke(CHECK, 2.0, GREEN),
    ],
    # Add: a green plus.
    "A": [rect(6.4, 2, 9.6, 14, GREEN), rect(2, 6.4, 14, 9.6, GREEN)],
    # Remove: a red cross.
    "R": [stroke([(3.5, 3.5), (12.5, 12.5)], 3, RED), stroke([(12.5, 3.5), (3.5, 12.5)], 3, RED)],
    # Maintenance: a list page with a spanner across it.
    "M": [
        rect(1.5, 1, 11, 14, PAPER),
        stroke([(1.5, 1), (11, 1), (11, 14), (1.5, 14)], 1, OUTLINE, closed=True),
        rect(3.5, 3.5, 9, 4.7, OUTLINE),
        rect(3.5, 6.5, 9, 7.7, OUTLINE),
        rect(3.5, 9.5, 7, 10.7, OUTLINE),
        stroke([(5, 14.5), (12, 7.5)], 2.4, METAL),
        disc(12.8, 5.6, 2.9, METAL),
        disc(14.2, 4.2, 1.5, CLEAR),
    ],
    # Favourite: a gold star.
    "S": [fill(STAR_SHAPE, STAR), stroke(STAR_SHAPE, 1, STAR_OUTLINE, closed=True)],
}


def render(shapes, size, samples=SAMPLES):
    """Premultiplied blue, green, red and alpha bytes per pixel, rows from
    the top."""
    scale = 16 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = CLEAR
                    for shape_colour, hit in shapes:
                        if hit(x, y):
                            colour = shape_colour
                    if colour is not CLEAR:
                        covered += 1
                        total = [t + c for t, c in zip(total, colour)]
            n = samples * samples
            r, g, b = (round(t / n) for t in total)
            row.append(bytes((b, g, r, round(255 * covered / n))))
        rows.append(row)
    return rows


def picture_bmp_bytes(shapes, size):
    """32 bits per pixel, premultiplied alpha, bottom-up, no colour table:
    the form a menu draws through a 32-bit bitmap's alpha."""
    data = b"".join(b"".join(row) for row in reversed(render(shapes, size)))
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 32, 0, len(data), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return header + info + data


def picture_name(name, size):
    return name if size == PICTURE_SIZES[0] else f"{name}_{size}"


# The package's logos: the icons' folder and star, drawn as shapes, in the
# sizes the package's manifest names (Assets\<name>.png). Four samples a
# side are plenty at these sizes.
LOGO_STAR = star_points(8.6, 8.9, 4.4, 1.8)
LOGO = [
    fill(FOLDER_OUTLINE, FOLDER),
    rect(1, 5.5, 15, 6.8, FOLDER_SHADE),
    stroke(FOLDER_OUTLINE, 0.8, OUTLINE, closed=True),
    fill(LOGO_STAR, RED),
    stroke(LOGO_STAR, 0.6, (128, 16, 16), closed=True),
]
LOGO_SIZES = {"StoreLogo": 50, "Square44x44Logo": 44, "Square150x150Logo": 150}


def straight(pixel):
    """A rendered pixel's blue, green, red and alpha, the colour divided by
    the alpha: icons and PNGs take it straight, not premultiplied."""
    b, g, r, a = pixel
    return tuple(min(255, round(c * 255 / a)) if a else 0 for c in (b, g, r)) + (a,)


def png_bytes(shapes, size):
    """A PNG of 8-bit red, green, blue and straight alpha."""
    def rgba(pixel):
        b, g, r, a = straight(pixel)
        return bytes((r, g, b, a))

    rows = render(shapes, size, samples=4)
    raw = b"".join(b"\0" + b"".join(rgba(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


# The icons: a folder carrying a red star, the mark of a favourite.
ICON_PALETTE = {
    ".": (0, 0, 0),        # transparent
    "K": (64, 48, 16),     # outline
    "Y": (250, 206, 84),   # folder
    "y": (214, 160, 40),   # folder shade
    "S": (226, 38, 38),    # star
    "O": (128, 16, 16),    # star outline
}
ICON = [
    "................",
    ".KKKKK..........",
    "KYYYYYK.........",
    "KYYYYYKKKKKKKKK.",
    "KYYYYYYYYYYYYYYK",
    "KyyyyyyyyyyyyyyK",
    "KYYYYYYOYYYYYYYK",
    "KYYYYYOSOYYYYYYK",
    "KYYOOOOSOOOOYYYK",
    "KYYYOSSSSSOYYYYK",
    "KYYYYOSSSOYYYYYK",
    "KYYYOSSOSSOYYYYK",
    "KYYYOOYYYOOYYYYK",
    "KyyyyyyyyyyyyyyK",
    "KKKKKKKKKKKKKKKK",
    "................",
]

# 5 x 7 capitals for the banner's lettering.
FONT = {
    "V": ["X...X", "X...X", "X...X", "X...X", ".X.X.", ".X.X.", "..X.."],
    "O": [".XXX.", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "K": ["X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"],
    "M": ["X...X", "XX.XX", "X.X.X", "X.X.X", "X...X", "X...X", "X...X"],
    "A": [".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"],
    "R": ["XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"],
}


def scaled(rows, factor):
    return ["".join(c * factor for c in row) for row in rows for _ in range(factor)]


def icon_bytes(rows, bits):
    """An .ico file with one image; "." pixels are transparent."""
    keys = list(ICON_PALETTE)
    height, width = len(rows), len(rows[0])
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in ICON_PALETTE.values())
    colours = colours.ljust(4 << bits, b"\0")
    per_byte = 8 // bits
    stride = ((width * bits + 31) // 32) * 4
    xor = b""
    mask = b""
    mask_stride = ((width + 31) // 32) * 4
    for row in reversed(rows):
        line = bytearray(stride)
        bits_line = bytearray(mask_stride)
        for x, c in enumerate(row):
            shift = (per_byte - 1 - x % per_byte) * bits
            line[x // per_byte] |= keys.index(c) << shift
            if c == ".":
                bits_line[x // 8] |= 0x80 >> (x % 8)
        xor += bytes(line)
        mask += bytes(bits_line)
    info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + colours + xor + mask
    count = 0 if bits == 8 else 1 << bits
    entry = struct.pack("<BBBBHHII", width, height, count, 0, 1, bits, len(image), 6 + 16)
    return struct.pack("<HHH", 0, 1, 1) + entry + image


def picture_icon_bytes(shapes, sizes):
    """An .ico file with one 32-bit image per size, its alpha straight (an
    icon's is not premultiplied) and an AND mask of the clear pixels: the
    Explorer command's picture, the same as the favourite's menu item."""
    images = []
    for size in sizes:
        rows = render(shapes, size)
        xor = b"".join(bytes(straight(px)) for row in reversed(rows) for px in row)
        mask_stride = ((size + 31) // 32) * 4
        mask = b""
        for row in reversed(rows):
            line = bytearray(mask_stride)
            for x, px in enumerate(row):
                if px[3] == 0:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(line)
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append((size, info + xor + mask))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + b"".join(image for _, image in images)


def banner_bytes(width=39, height=194):
    """The About window's vertical banner, 24 bits per pixel: a deep blue
    fading downwards, a gold star at the top and the product's name reading
    upwards."""
    top, bottom = (16, 32, 96), (44, 116, 178)
    pixels = [[tuple(t + (b - t) * y // (height - 1) for t, b in zip(top, bottom)) for _ in range(width)]
              for y in range(height)]
    star = scaled(BANNER_STAR, 2)
    left = (width - len(star[0])) // 2
    for y, row in enumerate(star):
        for x, c in enumerate(row):
            if c != ".":
                pixels[10 + y][left + x] = PALETTE[c]
    word = "VOKMARK"
    text = ["." .join(FONT[ch][r] for ch in word) for r in range(7)]
    text = scaled(text, 3)
    # Turned a quarter left: the word reads from the bottom up.
    left = (width - len(text)) // 2
    for r, row in enumerate(text):
        for c, ch in enumerate(row):
            if ch == "X":
                pixels[height - 12 - c][left + r] = (255, 255, 255)
    stride = (width * 3 + 3) & ~3
    data = b"".join(b"".join(bytes((b, g, r)) for r, g, b in row).ljust(stride, b"\0")
                    for row in reversed(pixels))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return header + info + data


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)
    (out / "bitmaps").mkdir(parents=True, exist_ok=True)
    (out / "icons").mkdir(parents=True, exist_ok=True)
    for name, shapes in PICTURES.items():
        for size in PICTURE_SIZES:
            (out / "bitmaps" / f"{picture_name(name, size)}.bmp").write_bytes(picture_bmp_bytes(shapes, size))
    (out / "bitmaps" / "BANNER.bmp").write_bytes(banner_bytes())
    (out / "icons" / "About.ico").write_bytes(icon_bytes(scaled(ICON, 2), 8))
    (out / "icons" / "MAINICON.ico").write_bytes(icon_bytes(ICON, 4))
    (out / "icons" / "S.ico").write_bytes(picture_icon_bytes(PICTURES["S"], (16, 20, 24, 32)))
    (out / "package").mkdir(parents=True, exist_ok=True)
    for name, size in LOGO_SIZES.items():
        (out / "package" / f"{name}.png").write_bytes(png_bytes(LOGO, size))


if __name__ == "__main__":
    main()

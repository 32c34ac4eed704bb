#!/usr/bin/env python3
"""Writes the library's artwork: the menu item bitmaps CF, A, R, M and S,
the About window's banner and icon, and the icon MAINICON.

Glyphs are drawn below as text, one character per pixel. The item bitmaps are
uncompressed, 8 bits per pixel, with a full 256-entry colour table, which is
the form the library loads them in; the banner is 24-bit; the About icon has
256 colours and MAINICON 16. Run it after changing a glyph:
    python3 src/Resources/make_bitmaps.py src/Resources
"""
import struct
import sys
from pathlib import Path

# Index 0 is the menu background, so the glyphs sit on the menu's own colour.
PALETTE = {
    ".": (240, 240, 240),  # menu background
    "K": (64, 64, 64),     # outline
    "Y": (255, 210, 90),   # folder
    "y": (222, 168, 48),   # folder shade
    "G": (24, 140, 40),    # add / current mark
    "R": (200, 36, 36),    # remove
    "B": (48, 84, 176),    # tool metal
    "b": (140, 160, 210),  # tool highlight
    "S": (255, 196, 24),   # star
    "O": (176, 112, 0),    # star outline
    "W": (255, 255, 255),  # paper
}

GLYPHS = {
    # The current folder: a folder carrying a check mark.
    "CF": [
        ".............",
        ".KKKK........",
        "KYYYYK.......",
        "KYYYYKKKKKK..",
        "KYYYYYYYYYYK.",
        "KyyyyyyyyyyK.",
        "KYYYYYYYYYYK.",
        "KYYYYYYYYYG..",
        "KYYYYYYYYGG..",
        "KYYGYYYYGGK..",
        "KYYGGYYGGYK..",
        "KYYYGGGGYYK..",
        "KKKKKGGKKKK..",
        ".............",
    ],
    # Add: a green plus.
    "A": [
        ".............",
        ".............",
        ".....GGG.....",
        ".....GGG.....",
        ".....GGG.....",
        "..GGGGGGGGG..",
        "..GGGGGGGGG..",
        "..GGGGGGGGG..",
        ".....GGG.....",
        ".....GGG.....",
        ".....GGG.....",
        ".............",
        ".............",
        ".............",
    ],
    # Remove: a red cross.
    "R": [
        ".............",
        ".............",
        "..RR.....RR..",
        "..RRR...RRR..",
        "...RRR.RRR...",
        "....RRRRR....",
        ".....RRR.....",
        "....RRRRR....",
        "...RRR.RRR...",
        "..RRR...RRR..",
        "..RR.....RR..",
        ".............",
        ".............",
        ".............",
    ],
    # Maintenance: a list page with a spanner across it.
    "M": [
        "..............",
        ".KKKKKKKK.....",
        ".KWWWWWWK.....",
        ".KWKKKKWK.....",
        ".KWWWWWWK..bb.",
        ".KWKKKKWK.bB..",
        ".KWWWWWWKbB...",
        ".KWKKKKWbB....",
        ".KWWWWWbB.....",
        ".KKKKKbB......",
        "..bb.bB.......",
        "..bBbB........",
        "...BB.........",
    ],
    # Favourite: a gold star.
    "S": [
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
    ],
}


def bmp_bytes(rows):
    keys = list(PALETTE)
    height, width = len(rows), len(rows[0])
    assert all(len(r) == width for r in rows)
    stride = (width + 3) & ~3
    pixels = b"".join(
        bytes(keys.index(c) for c in row).ljust(stride, b"\0") for row in reversed(rows)
    )
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE.values())
    colours = colours.ljust(256 * 4, b"\0")
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + colours + pixels


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


def banner_bytes(width=39, height=194):
    """The About window's vertical banner, 24 bits per pixel: a deep blue
    fading downwards, a gold star at the top and the product's name reading
    upwards."""
    top, bottom = (16, 32, 96), (44, 116, 178)
    pixels = [[tuple(t + (b - t) * y // (height - 1) for t, b in zip(top, bottom)) for _ in range(width)]
              for y in range(height)]
    star = scaled(GLYPHS["S"], 2)
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
    for name, rows in GLYPHS.items():
        (out / "bitmaps" / f"{name}.bmp").write_bytes(bmp_bytes(rows))
    (out / "bitmaps" / "BANNER.bmp").write_bytes(banner_bytes())
    (out / "icons" / "About.ico").write_bytes(icon_bytes(scaled(ICON, 2), 8))
    (out / "icons" / "MAINICON.ico").write_bytes(icon_bytes(ICON, 4))


if __name__ == "__main__":
    main()

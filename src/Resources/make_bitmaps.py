#!/usr/bin/env python3
"""Writes the menu item bitmaps CF, A, R, M and S as 8-bit BMP files.

Each glyph is drawn below as text, one character per pixel; the files are
uncompressed, 8 bits per pixel, with a full 256-entry colour table, which is
the form the library loads them in. Run it after changing a glyph:
    python3 src/Resources/make_bitmaps.py src/Resources/bitmaps
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


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent / "bitmaps")
    out.mkdir(parents=True, exist_ok=True)
    for name, rows in GLYPHS.items():
        (out / f"{name}.bmp").write_bytes(bmp_bytes(rows))


if __name__ == "__main__":
    main()

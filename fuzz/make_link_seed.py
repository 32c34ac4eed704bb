#!/usr/bin/env python3
"""Writes a small well-formed shell link, the seed of the link fuzz run:
header, an item list of two items, a location record with volume and local
path, one counted string and the environment-path block."""
import struct
import sys

CLASS_ID = bytes.fromhex("0114020000000000c000000000000046")
flags = 0x1 | 0x2 | 0x4 | 0x200
header = struct.pack("<I16sII", 0x4C, CLASS_ID, flags, 0x10) + bytes(0x4C - 28)
items = struct.pack("<H", 5) + b"abc" + struct.pack("<H", 4) + b"de" + struct.pack("<H", 0)
item_list = struct.pack("<H", len(items)) + items
volume = struct.pack("<IIII", 0x11, 3, 0x1234, 0x10) + b"\0"
path = b"C:\\Data\0"
suffix = b"\0"
start = 0x1C
location_body = volume + path + suffix
location = struct.pack("<IIIIIII", start + len(location_body), 0x1C, 1, start, start + len(volume), 0,
                       start + len(volume) + len(path)) + location_body
name = struct.pack("<H", 4) + b"Data"
env = struct.pack("<II", 0x314, 0xA0000001) + b"%SystemRoot%".ljust(260, b"\0") + \
      "%SystemRoot%".encode("utf-16-le").ljust(520, b"\0")
sys.stdout.buffer.write(header + item_list + location + name + env + struct.pack("<I", 0))

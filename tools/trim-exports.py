#!/usr/bin/env python3
"""Cuts from a PE image's export table every name its .def file does not
list: Zig's libunwind exports its own functions from every image it links,
and no linker option of Zig's hides them. The names kept keep their
ordinals; the table shrinks in place. Usage: trim-exports.py DLL DEF"""
import re
import struct
import sys


def def_names(path):
    names = []
    for line in open(path):
        match = re.match(r"\s+(\w+)\s+@\d+", line)
        if match:
            names.append(match.group(1))
    return set(names)


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.export_rva = struct.unpack_from("<I", data, directories)[0]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

    def offset(self, rva):
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise ValueError("RVA %#x lies in no section" % rva)

    def string(self, rva):
        start = self.offset(rva)
        return bytes(self.data[start:self.data.index(b"\0", start)]).decode()


def trim(image, wanted):
    directory = image.offset(image.export_rva)
    data = image.data
    count, names_rva, ordinals_rva = struct.unpack_from("<I4xII", data, directory + 24)
    names, ordinals = image.offset(names_rva), image.offset(ordinals_rva)
    entries = [(struct.unpack_from("<I", data, names + 4 * i)[0], struct.unpack_from("<H", data, ordinals + 2 * i)[0])
               for i in range(count)]
    kept = [entry for entry in entries if image.string(entry[0]) in wanted]
    if len(kept) != len(wanted):
        raise SystemExit("trim-exports: the image lacks some of " + ", ".join(sorted(wanted)))
    for i, (name, ordinal) in enumerate(kept):
        struct.pack_into("<I", data, names + 4 * i, name)
        struct.pack_into("<H", data, ordinals + 2 * i, ordinal)
    functions = max(ordinal for _, ordinal in kept) + 1
    struct.pack_into("<II", data, directory + 20, functions, len(kept))
    return len(entries) - len(kept)


def main(dll, definitions):
    data = bytearray(open(dll, "rb").read())
    cut = trim(Image(data), def_names(definitions))
    open(dll, "wb").write(data)
    print("trim-exports: %s: %d foreign exports cut" % (dll, cut))


if __name__ == "__main__":
    main(*sys.argv[1:])

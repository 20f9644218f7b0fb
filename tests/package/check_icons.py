#!/usr/bin/env python3
"""The icon theme's PNGs of a package are the pixel art, enlarged without smoothing.

    check_icons.py <res folder> <icons folder>

<icons folder> is the package's share/icons/hicolor. Each of the 16, 32, 48 and 256 px
icons must be exactly its art (res/icon_2.txt for 16 and 48, res/icon_1.txt for 32 and
256), every art pixel a square block of one colour, transparent where the art has '.'.
"""
import os
import struct
import sys
import zlib

# The standard 16-colour palette, as the art's header names it.
PALETTE = {
    "0": (0, 0, 0), "1": (128, 0, 0), "2": (0, 128, 0), "3": (128, 128, 0), "4": (0, 0, 128), "5": (128, 0, 128),
    "6": (0, 128, 128), "7": (192, 192, 192), "8": (128, 128, 128), "9": (255, 0, 0), "a": (0, 255, 0),
    "b": (255, 255, 0), "c": (0, 0, 255), "d": (255, 0, 255), "e": (0, 255, 255), "f": (255, 255, 255),
}


def art(path):
    with open(path) as f:
        return [line.rstrip("\r\n") for line in f if line.strip() and not line.startswith("#")]


def png_rgba(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "%s is no PNG" % path
    at, idat, header = 8, b"", None
    while at < len(data):
        n, kind = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + n]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + n
    width, height, depth, colour = header[:4]
    assert (depth, colour) == (8, 6), "%s is not 8-bit RGBA" % path
    raw = zlib.decompress(idat)
    rows, stride = [], 1 + 4 * width
    for y in range(height):
        line = raw[y * stride:(y + 1) * stride]
        assert line[0] == 0, "%s: a row with filter %d" % (path, line[0])
        rows.append([tuple(line[1 + 4 * x:5 + 4 * x]) for x in range(width)])
    return width, height, rows


def main():
    res, icons = sys.argv[1], sys.argv[2]
    failures = 0
    for name, size in (("icon_2", 16), ("icon_1", 32), ("icon_2", 48), ("icon_1", 256)):
        lines = art(os.path.join(res, name + ".txt"))
        path = os.path.join(icons, "%dx%d" % (size, size), "apps", "qksonnerix.png")
        width, height, rows = png_rgba(path)
        if (width, height) != (size, size):
            print("FAILED: %s is %dx%d" % (path, width, height))
            failures += 1
            continue
        k = size // len(lines)
        bad = None
        for y in range(size):
            for x in range(size):
                c = lines[y // k][x // k].lower()
                want = (0, 0, 0, 0) if c == "." else PALETTE[c] + (255,)
                if rows[y][x] != want and bad is None:
                    bad = (x, y, rows[y][x], want)
        if bad:
            print("FAILED: %s at %d,%d is %s, not %s" % ((path,) + bad))
            failures += 1
        else:
            print("ok: %s is %s enlarged %d times" % (path, name, k))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Compares the face and mask blocks of the emulation's drawing with those of Wine's real GDI.

Writes a set of bitmaps (1, 4, 8, 16, 24 and 32 bits per pixel, full and short palettes, odd
widths, bottom-up and top-down), runs face_blocks of the Linux build and face_blocks.exe of the
Windows build under Wine on them, and reports every block that differs with the first bytes
that do. The last two bytes of a mask block are never written and are not compared.

  compare_face_blocks.py --linux build/dev/tests/wine/face_blocks --wine build/mingw64/tests/wine
"""

import argparse
import os
import random
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

from wine_machine import WineMachine, WinePrefix, architecture_of, windows_path

WHITE = (255, 255, 255)


def row_bytes(row, bpp: int) -> bytes:
    if bpp <= 8:
        bits = 0
        out = bytearray()
        for i, index in enumerate(row):
            bits = (bits << bpp) | index
            if (i + 1) * bpp % 8 == 0:
                out.append(bits)
                bits = 0
        if len(row) * bpp % 8:
            out.append(bits << (8 - len(row) * bpp % 8))
    elif bpp == 16:
        out = b"".join(struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3) for r, g, b in row)
    else:
        out = b"".join(bytes((b, g, r)) + (b"\0" if bpp == 32 else b"") for r, g, b in row)
    return bytes(out) + b"\0" * (-len(out) % 4)


def bitmap(width: int, height: int, bpp: int, seed: int, colours=0, top_down=False) -> bytes:
    """A bitmap of random pixels, a quarter of them white (or the palette's white entry)."""
    rnd = random.Random(seed)
    palette = []
    if bpp <= 8:
        palette = [tuple(rnd.randrange(256) for _ in range(3)) for _ in range(colours or 1 << bpp)]
        palette[rnd.randrange(len(palette))] = WHITE
        pixels = [[rnd.randrange(len(palette)) for _ in range(width)] for _ in range(height)]
    else:
        near = [WHITE, (254, 254, 254), (255, 255, 254), (0, 0, 0)]
        pixels = [[rnd.choice(near) if rnd.random() < 0.4 else
                   tuple(rnd.randrange(256) for _ in range(3)) for _ in range(width)]
                  for _ in range(height)]
    rows = [row_bytes(row, bpp) for row in pixels]
    bits = b"".join(rows if top_down else reversed(rows))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bpp, 0,
                       len(bits), 2835, 2835, colours, 0)
    offset = 14 + len(info) + len(table)
    return struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset) + info + table + bits


SAMPLES = {
    "bw_13x7_1bpp.bmp": dict(width=13, height=7, bpp=1),
    "two_colours_33x3_1bpp.bmp": dict(width=33, height=3, bpp=1),
    "palette_7x5_4bpp.bmp": dict(width=7, height=5, bpp=4),
    "short_palette_9x4_4bpp.bmp": dict(width=9, height=4, bpp=4, colours=5),
    "palette_17x9_8bpp.bmp": dict(width=17, height=9, bpp=8),
    "short_palette_16x16_8bpp.bmp": dict(width=16, height=16, bpp=8, colours=20),
    "top_down_11x6_8bpp.bmp": dict(width=11, height=6, bpp=8, top_down=True),
    "rgb555_5x5_16bpp.bmp": dict(width=5, height=5, bpp=16),
    "one_pixel_1x1_24bpp.bmp": dict(width=1, height=1, bpp=24),
    "odd_3x2_24bpp.bmp": dict(width=3, height=2, bpp=24),
    "icon_16x16_24bpp.bmp": dict(width=16, height=16, bpp=24),
    "wide_33x5_24bpp.bmp": dict(width=33, height=5, bpp=24),
    "top_down_7x7_24bpp.bmp": dict(width=7, height=7, bpp=24, top_down=True),
    "rgb_9x3_32bpp.bmp": dict(width=9, height=3, bpp=32),
}


def parse(output: str) -> dict:
    blocks = {}
    for line in output.splitlines():
        file, colour, kind, *data = line.split()
        blocks[(file, colour, kind)] = " ".join(data)
    return blocks


def describe_difference(kind: str, expected: str, actual: str) -> str:
    if expected in ("none",) or actual in ("none",) or kind == "error":
        return f"Wine {expected!r}, emulation {actual!r}"
    wine, emulation = bytes.fromhex(expected), bytes.fromhex(actual)
    if kind == "mask":
        wine, emulation = wine[:-2], emulation[:-2]
    if wine == emulation:
        return ""
    first = next((i for i in range(min(len(wine), len(emulation))) if wine[i] != emulation[i]),
                 min(len(wine), len(emulation)))
    where = "header" if first < 40 else "colour table or bits"
    return (f"{len(wine)} bytes under Wine, {len(emulation)} in the emulation; first difference at "
            f"byte {first} ({where}): Wine {wine[first:first + 16].hex()} emulation "
            f"{emulation[first:first + 16].hex()}")


def compare_faces(linux: Path, wine: WineMachine) -> list:
    """The differences between the blocks of the emulation (face_blocks at `linux`) and those of
    the build in `wine`, one line each."""
    with tempfile.TemporaryDirectory(prefix="tkw-faces-") as work:
        work = Path(work)
        files = []
        for seed, (name, shape) in enumerate(SAMPLES.items()):
            (work / name).write_bytes(bitmap(seed=seed, **shape))
            files.append(windows_path(work / name))
        (work / "prefix").mkdir()
        emulation = subprocess.run([str(linux.resolve()), *files], capture_output=True, check=True,
                                   env=dict(os.environ, TKW_PREFIX=str(work / "prefix")))
        real = wine.run([str(wine.tools / "face_blocks.exe"), *files])
    if real.returncode != 0:
        return [f"face_blocks.exe failed: {real.stderr.decode(errors='replace')}"]
    expected, actual = parse(real.stdout.decode()), parse(emulation.stdout.decode())
    differences = []
    for key in sorted(expected.keys() | actual.keys()):
        difference = describe_difference(key[2], expected.get(key, "none"), actual.get(key, "none"))
        if difference:
            differences.append(f"{' '.join(key)}: {difference}")
    if not expected:
        differences.append("face_blocks.exe printed no blocks")
    return differences


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--linux", type=Path, required=True, help="face_blocks of the Linux build")
    parser.add_argument("--wine", type=Path, required=True, metavar="TOOLS",
                        help="the folder of face_blocks.exe and the stand-ins of a Windows build")
    args = parser.parse_args()
    architecture = architecture_of(args.wine / "face_blocks.exe")
    with WinePrefix() as prefix, WineMachine(prefix, args.wine, architecture) as wine:
        differences = compare_faces(args.linux, wine)
    for difference in differences:
        print(f"DIFF {difference}")
    print(f"{len(SAMPLES) * 2} bitmaps compared, {len(differences)} blocks differ")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())

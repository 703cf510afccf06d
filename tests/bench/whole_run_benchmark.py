#!/usr/bin/env python3
"""Whole-process cost of a run per definition, on generated machines.

Generates emulated machines with N toolbar definitions (spread over ten bars) and N menu
definitions (spread over PowerPoint's menus), every one with a 16 x 16 face, runs the program
on each several times, with logging off and on, and reports the median time, the cost per definition
and the ratio of the largest to the smallest size.

    tests/bench/whole_run_benchmark.py --exe build/release/tkwPPTToolbarAdder [--sizes 1000 10000]
"""

import argparse
import os
import shutil
import statistics
import struct
import subprocess
import tempfile
import time
from pathlib import Path

MENUS = ["&File", "&Edit", "&View", "&Insert", "F&ormat", "&Tools", "Sli&de Show", "&Window", "&Help"]


def icon() -> bytes:
    rows = b"".join(bytes([x * 16, y * 16, 128]) * 1 for y in range(16) for x in range(16))
    header = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 24, 0, len(rows), 0, 0, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(rows), 0, 0, 54) + header + rows


def make_machine(folder: Path, count: int, logging: bool):
    addins = folder / "prefix" / "drive_c" / "Bench" / "Addins"
    addins.mkdir(parents=True)
    (addins / "face.bmp").write_bytes(icon())
    lines = ["Windows Registry Editor Version 5.00", "",
             "[HKEY_CLASSES_ROOT\\PowerPoint.Application\\CLSID]", '@="{91493441-5A91-11CF-8700-00AA0060263B}"', "",
             "[HKEY_CLASSES_ROOT\\AtlClipBoard.Clipboard\\CLSID]", '@="{6C1B6E43-2F7D-4E43-9A3E-5C8E0F3A7D21}"', "",
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Bench]", '"InstallFolder"="C:\\\\Bench"', "",
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]", f'"Logging"=dword:0000000{int(logging)}']
    lines += [f'"b{i:06}"="Bench {i % 10},Button {i},Bench.Run{i},tag.{i},Bench,face.bmp"' for i in range(count)]
    lines += ["", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]"]
    lines += [f'"m{i:06}"="{MENUS[i % len(MENUS)]},Entry {i},Bench.Menu{i},,Bench,face.bmp"' for i in range(count)]
    (folder / "prefix" / "registry.reg").write_text("\r\n".join(lines) + "\r\n", encoding="cp1252")


def time_run(exe: Path, folder: Path) -> float:
    shutil.rmtree(folder / "prefix" / "powerpoint", ignore_errors=True)
    env = dict(os.environ, TKW_PREFIX=str(folder / "prefix"))
    start = time.perf_counter()
    subprocess.run([str(exe)], env=env, check=True)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", type=Path, required=True)
    parser.add_argument("--sizes", type=int, nargs="+", default=[1000, 10000])
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="tkw-bench-") as work:
        for logging in (False, True):
            medians = {}
            for count in args.sizes:
                folder = Path(work) / f"{count}-{logging}"
                (folder / "app").mkdir(parents=True)
                shutil.copy2(args.exe, folder / "app" / args.exe.name)
                make_machine(folder, count, logging)
                times = [time_run(folder / "app" / args.exe.name, folder) for _ in range(args.runs)]
                medians[count] = statistics.median(times)
                per_definition = medians[count] / (2 * count) * 1e6
                print(f"logging {'on ' if logging else 'off'} {count:>6} toolbar + {count} menu definitions: "
                      f"median {medians[count]:.3f} s (min {min(times):.3f}, max {max(times):.3f}), "
                      f"{per_definition:.1f} us per definition")
            smallest, largest = min(medians), max(medians)
            if smallest != largest:
                print(f"logging {'on ' if logging else 'off'} ratio {largest} / {smallest}: "
                      f"{medians[largest] / medians[smallest]:.2f}")


if __name__ == "__main__":
    main()

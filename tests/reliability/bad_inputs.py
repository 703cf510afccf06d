#!/usr/bin/env python3
"""Whole runs on bad input, under AddressSanitizer and UndefinedBehaviorSanitizer: registry
files, icon files, PowerPoint state files and clipboard files that no program should trust, and
paths that try to climb out of drive C:.

Every run ends normally within its time, with no sanitizer report and nothing on standard error
but one-line messages of the kinds the emulated machine gives (a skipped registry line, a state
file it cannot read, a message box). A definition whose install folder or image name climbs with
".." stays on drive C: (Z: is the Linux root by design, as under Wine): a bitmap outside the
machine never becomes a face.

  bad_inputs.py [--build asan] [--random N] [--seed S]
"""

import argparse
import json
import os
import random
import re
import struct
import tempfile
from pathlib import Path

import machines

# The one-line messages the emulated machine may give on standard error.
MESSAGES = re.compile(
    r"^(MessageBox \[RLSToolbarAdder\] .*"
    r"|.*registry\.reg(:\d+)?: .*"
    r"|PowerPoint\.Application: .*)$")


def bmp(width, height, bpp, compression=0, bits=None, colours=None, offset=None, size=None,
        header=40, masks=b""):
    """A bitmap file, as wrong as asked."""
    stride = ((abs(width) * bpp + 31) // 32) * 4 if width and bpp else 0
    if bits is None:
        bits = bytes(random.randrange(256) for _ in range(min(stride * abs(height), 1 << 16)))
    table_entries = colours if colours is not None else (1 << bpp if bpp <= 8 else 0)
    table = bytes(4 * min(table_entries, 256))
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bpp, compression, len(bits),
                       2835, 2835, table_entries, 0)[:max(header, 0)] if header >= 16 else \
        struct.pack("<I", header)
    info = info.ljust(max(header, 4), b"\0")[:max(header, 4)]
    offset = offset if offset is not None else 14 + len(info) + len(masks) + len(table)
    body = info + masks + table + bits
    return struct.pack("<2sIHHI", b"BM", size if size is not None else 14 + len(body), 0, 0,
                       offset & 0xFFFFFFFF) + body


def icons() -> dict:
    random.seed(1)
    rle8 = bytes([3, 5, 0, 0, 2, 7, 0, 1])  # a run, end of line, a run, end of bitmap
    bad_rle8 = bytes([255, 5, 0, 2, 200, 200, 0, 2, 255, 255, 255])  # runs and deltas past the end
    rle4 = bytes([4, 0x12, 0, 0, 0, 1])
    cases = {f"depth {bpp}": bmp(16, 16, bpp) for bpp in (1, 4, 8, 16, 24, 32)}
    cases.update({
        "RLE8": bmp(8, 2, 8, compression=1, bits=rle8),
        "RLE8 past its end": bmp(8, 2, 8, compression=1, bits=bad_rle8),
        "RLE4": bmp(8, 2, 4, compression=2, bits=rle4),
        "RLE4 past its end": bmp(8, 2, 4, compression=2, bits=bad_rle8),
        "bit fields 16": bmp(4, 4, 16, compression=3, masks=struct.pack("<III", 0xF800, 0x7E0, 0x1F)),
        "bit fields of nothing": bmp(4, 4, 32, compression=3, masks=struct.pack("<III", 0, 0, 0)),
        "bit fields overlapping": bmp(4, 4, 32, compression=3,
                                      masks=struct.pack("<III", 0xFFFFFFFF, 0xFFFFFFFF, 1)),
        "pixels past the end": bmp(16, 16, 24, offset=1 << 30),
        "palette past the end": bmp(16, 16, 8, colours=1_000_000),
        "truncated pixels": bmp(64, 64, 24)[:2000],
        "truncated header": bmp(16, 16, 24)[:30],
        "zero width": bmp(0, 16, 24, bits=b""),
        "zero height": bmp(16, 0, 24, bits=b""),
        "negative width": bmp(-16, 16, 24),
        "top-down": bmp(16, -16, 24),
        "huge": bmp(1_000_000, 1_000_000, 24, bits=b"\0" * 1000),
        "header of size 0": bmp(16, 16, 24, header=0),
        "header past the file": bmp(16, 16, 24, header=1 << 20),
        "core header": bmp(16, 16, 24, header=12),
        "depth 0": bmp(16, 16, 0, bits=b"\0" * 64),
        "depth 7": bmp(16, 16, 7),
        "wrong file size": bmp(16, 16, 24, size=3),
        "icon with a truncated directory": b"\0\0\1\0\5\0" + b"\x10" * 10,
        "icon of no images": b"\0\0\1\0\0\0",
        "icon of 65535 images": b"\0\0\1\0\xff\xff" + b"\0" * 64,
        "empty file": b"",
        "binary garbage": bytes(random.randrange(256) for _ in range(4096)),
    })
    return cases


def registries() -> dict:
    good = machines.registry_text(machines.toolbar_definitions(3), machines.menu_definitions(2))
    utf16 = b"\xff\xfe" + good.encode("utf-16-le")
    random.seed(2)
    many = machines.registry_text([(f"v{n}", "just one field") for n in range(100_000)], [])
    return {
        "truncated UTF-16": utf16[:len(utf16) // 2],
        "odd byte count": utf16 + b"\x41",
        "lone surrogates": b"\xff\xfe" + good.replace("Button 1", "\ud800\udfff\ud800").encode(
            "utf-16-le", "surrogatepass"),
        "no header": good.split("\n", 1)[1].encode(),
        "only a byte-order mark": b"\xff\xfe",
        "a line over 1 MB": (good + '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n"long"="' +
                             "x" * 1_200_000 + '"\n').encode(),
        "a key name over 1 MB": (good + "\n[HKEY_LOCAL_MACHINE\\" + "k" * 1_100_000 + "]\n").encode(),
        "hex data over continued lines": (good + '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n"h"=hex:' +
                                          ",\\\n  ".join(["41"] * 200_000) + "\n").encode(),
        "binary garbage": bytes(random.randrange(256) for _ in range(65536)),
        "a header then garbage": b"REGEDIT4\r\n" + bytes(random.randrange(256) for _ in range(65536)),
        "100,000 values": many.encode(),
        "keys 2000 deep": (good + "\n[HKEY_LOCAL_MACHINE\\" + "\\".join(["k"] * 2000) + "]\n").encode(),
    }


def states() -> dict:
    built_in = json.loads((machines.REPOSITORY / "examples" / "broken" / "powerpoint" /
                           "commandbars.json").read_text())
    deep = {"type": "popup", "id": 1, "caption": "P", "tag": "", "onAction": "", "tooltipText": "",
            "temporary": False, "builtIn": False, "controls": []}
    nested = deep
    for _ in range(200):
        inner = dict(deep, controls=[])
        nested["controls"].append(inner)
        nested = inner
    deep_state = json.loads(json.dumps(built_in))
    deep_state["commandBars"][0]["controls"].append(deep)
    big = {"commandBars": [dict(built_in["commandBars"][1], name=f"Bar {n}") for n in range(3000)]}
    wrong_face = json.loads(json.dumps(built_in))
    wrong_face["commandBars"][1]["controls"][0]["face"] = {"dib": "!!not base64!!", "mask": 5}
    text = json.dumps(built_in)
    return {
        "truncated": text[:len(text) // 2].encode(),
        "not JSON": b"commandBars: none",
        "wrong types": json.dumps({"commandBars": [{"name": 5, "controls": "many"}]}).encode(),
        "no bars at all": json.dumps({"commandBars": 7}).encode(),
        "an array 100,000 deep": b"[" * 100_000 + b"]" * 100_000,
        "pop-ups 200 deep": json.dumps(deep_state).encode(),
        "3000 bars": json.dumps(big).encode(),
        "a face that is no base64": json.dumps(wrong_face).encode(),
        "invalid UTF-8": text.replace("Standard", "Stand\udcffard").encode("utf-8", "surrogateescape"),
        "empty": b"",
    }


def clipboards() -> dict:
    random.seed(3)
    return {
        "a format of 64 MB": {"8": b"\0" * (64 << 20)},
        "a garbage face and mask": {"Toolbar Button Face": b"garbage", "Toolbar Button Mask": b"x"},
        "format numbers out of range": {"0": b"zero", "4294967296": b"big", "-1": b"minus"},
        "a CF_DIB of random bytes": {"8": bytes(random.randrange(256) for _ in range(5000))},
    }


class Runner:
    def __init__(self, work: Path, exe: Path, tally: machines.Tally):
        self.work, self.exe, self.tally, self.count = work, exe, tally, 0

    def machine(self, toolbar=None, menus=None, registry=None) -> Path:
        self.count += 1
        prefix = self.work / f"m{self.count}"
        toolbar = machines.toolbar_definitions(2) if toolbar is None else toolbar
        menus = machines.menu_definitions(2) if menus is None else menus
        return machines.make_machine(prefix, toolbar, menus, registry=registry)

    def judge(self, what: str, prefix: Path, extra=None):
        app = machines.app_folder(self.work / f"app{self.count}", self.exe)
        faults = []
        try:
            result = machines.run(app, prefix, timeout=120)
        except Exception as error:  # the run hung
            self.tally.check(what, [f"no end within its time: {error}"])
            return
        if result.returncode != 0:
            faults.append(f"exit {result.returncode}")
        report = machines.sanitizer_report(result.stderr)
        if report:
            faults.append(report)
        odd = [line for line in result.stderr.decode(errors="replace").splitlines()
               if not MESSAGES.match(line) or len(line) > 400]
        if odd and not report:
            faults.append(f"standard error: {odd[0][:200]!r}")
        if extra:
            faults += extra(prefix)
        self.tally.check(what, faults)


def only_inside_faces(prefix: Path) -> list:
    """Button A's image lies outside drive C: and must give no face; button B's climbs no
    higher than the install folder and must give one."""
    state = json.loads((prefix / "powerpoint" / "commandbars.json").read_text())
    faces = {c["caption"]: bool(c.get("face")) for b in state["commandBars"] for c in b["controls"]
             if c["caption"] in ("A", "B")}
    faults = ["a bitmap outside drive C: became a face"] if faces.get("A") else []
    return faults + ([] if faces.get("B") else ["a climb that stays inside gave no face"])


def main(argv) -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="asan")
    parser.add_argument("--random", type=int, default=0, help="as many random icons too")
    parser.add_argument("--seed", type=int, default=4)
    args = parser.parse_args(argv)
    exe = machines.program(args.build)
    tally = machines.Tally("bad input")
    with tempfile.TemporaryDirectory(prefix="tkw-bad-") as work:
        runner = Runner(Path(work), exe, tally)
        for what, data in registries().items():
            prefix = runner.machine()
            (prefix / "registry.reg").write_bytes(data)
            runner.judge(f"registry: {what}", prefix)

        icon_cases = icons()
        chance = random.Random(args.seed)
        for n in range(args.random):
            base = chance.choice(list(icon_cases.values()))
            data = bytearray(base)
            for _ in range(chance.randrange(1, 8)):
                if data:
                    data[chance.randrange(len(data))] = chance.randrange(256)
            icon_cases[f"random {n}"] = bytes(data)
        for what, data in icon_cases.items():
            prefix = runner.machine(toolbar=[("a", "Bar,A,Mac,tkw.a,Glintwave,bad.bmp")],
                                    menus=[("m", "&Tools,M,Mac,,Glintwave,bad.bmp")])
            (prefix / "drive_c" / "Program Files" / "Tarnwick" / "Glintwave" / "Addins" /
             "bad.bmp").write_bytes(data)
            runner.judge(f"icon: {what}", prefix)
        for what, make in (("a folder", lambda p: p.mkdir()), ("a FIFO", os.mkfifo)):
            prefix = runner.machine(toolbar=[("a", "Bar,A,Mac,tkw.a,Glintwave,bad.bmp")])
            make(prefix / "drive_c" / "Program Files" / "Tarnwick" / "Glintwave" / "Addins" /
                 "bad.bmp")
            runner.judge(f"icon: {what} where the icon should be", prefix)

        for what, data in states().items():
            prefix = runner.machine()
            (prefix / "powerpoint").mkdir()
            (prefix / "powerpoint" / "commandbars.json").write_bytes(data)
            runner.judge(f"state file: {what}", prefix)

        for what, formats in clipboards().items():
            prefix = runner.machine()
            machines.set_clipboard(prefix, formats)
            runner.judge(f"clipboard: {what}", prefix)
        for what, make in (("a folder", lambda p: p.mkdir()), ("a FIFO", os.mkfifo)):
            prefix = runner.machine()
            make(prefix / "clipboard" / "8")
            runner.judge(f"clipboard: {what} as a format", prefix)

        # Climbing out of drive C: a bitmap waits beside drive_c, in the machine's folder.
        for what, folder, image in (
                ("an install folder of ..", "C:\\\\..\\\\..\\\\..", "secret.bmp"),
                ("an image name of ..", "C:\\\\Program Files\\\\Tarnwick\\\\Glintwave",
                 "..\\\\..\\\\..\\\\..\\\\..\\\\..\\\\secret.bmp")):
            toolbar = [("a", f"Bar,A,Mac,tkw.a,Glintwave,{image}"),
                       ("b", "Bar,B,Mac,tkw.b,Glintwave,..\\\\Addins\\\\new.bmp")]
            prefix = runner.machine(toolbar=toolbar, menus=[], registry=machines.registry_text(
                toolbar, [], install_folder=folder))
            (prefix / "secret.bmp").write_bytes(bmp(16, 16, 24))
            (prefix / "Addins").mkdir()
            (prefix / "Addins" / "secret.bmp").write_bytes(bmp(16, 16, 24))
            # Where the climb ends when it stops at the root of C:.
            (prefix / "drive_c" / "Addins").mkdir()
            (prefix / "drive_c" / "Addins" / "new.bmp").write_bytes(bmp(16, 16, 24))
            runner.judge(f"path: {what}", prefix, extra=only_inside_faces)
        print(f"bad input: {runner.count} inputs tried")
    return tally.close()


if __name__ == "__main__":
    machines.main_guard(main)

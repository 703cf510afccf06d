#!/usr/bin/env python3
"""What a definition costs the Windows builds under Wine: round trips to PowerPoint and time.

PowerPoint serves every automation call on its one UI thread while the user waits for it to
start, so each call that crosses to it counts. This runs the i686 and the x86_64 program under
Wine against the stand-in PowerPoint (running, as the user's) on generated machines of N toolbar
and N menu definitions, each with a 16 x 16 face, several times each, and prints per definition
(the cost beyond the machine without definitions, divided by the 2 N definitions):

  round trips   every call that reaches the server, as the stand-in's report has them: member
                calls, name look-ups, type information, QueryInterface, AddRef and Release
  member calls  IDispatch::Invoke
  ratio         round trips / member calls
  time          the median of the runs' wall-clock times

Builds are given as LABEL=FOLDER, FOLDER holding mingw32/ and mingw64/ as the presets make
them; the runs of all builds alternate, so that they are measured side by side, and the last
build's time is set against each other's. The stand-in servers are those of the last build
(built with TKW_BUILD_TESTS=ON):

  git worktree add --detach /tmp/before main
  (cd /tmp/before && for p in mingw32 mingw64; do cmake --preset $p &&
     cmake --build build/$p --target tkwPPTToolbarAdder; done)
  tests/bench/wine_round_trips_benchmark.py before=/tmp/before/build after=build [--sizes 0 20 100]

It takes some minutes: a run of the old code over 100 + 100 definitions alone takes 10 to 20 s.
"""

import argparse
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
from collections import Counter
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "wine"))
from wine_machine import WineMachine, WinePrefix, missing_loader, windows_path  # noqa: E402

PROGRAM = "tkwPPTToolbarAdder.exe"
PRESETS = {"i686": "mingw32", "x86_64": "mingw64"}
RESET = HERE.parent / "wine" / "reset_scenario.reg"
MENUS = ["&File", "&Edit", "&View", "&Insert", "F&ormat", "&Tools", "Sli&de Show", "&Window", "&Help"]


def icon() -> bytes:
    rows = b"".join(bytes([x * 16, y * 16, 128]) for y in range(16) for x in range(16))
    header = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 24, 0, len(rows), 0, 0, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(rows), 0, 0, 54) + header + rows


def registry(count: int) -> str:
    """N buttons over ten new bars and N menu entries over PowerPoint's menus, every second one
    placed before the entry defined just before it. Wine enumerates values sorted by name."""
    lines = ["Windows Registry Editor Version 5.00", "",
             "[HKEY_CLASSES_ROOT\\PowerPoint.Application\\CLSID]",
             '@="{91493441-5A91-11CF-8700-00AA0060263B}"', "",
             "[HKEY_CLASSES_ROOT\\AtlClipBoard.Clipboard\\CLSID]",
             '@="{6C1B6E43-2F7D-4E43-9A3E-5C8E0F3A7D21}"', "",
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Bench]", '"InstallFolder"="C:\\\\Bench"', "",
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]", '"Logging"=dword:00000000']
    lines += [f'"b{i:06}"="Bench {i % 10},Button {i},Bench.Run{i},tag.{i},Bench,face.bmp"'
              for i in range(count)]
    lines += ["", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]"]
    for i in range(count):
        before = f"Entry {i - len(MENUS)}" if i % 2 and i >= len(MENUS) else ""
        lines.append(f'"m{i:06}"="{MENUS[i % len(MENUS)]},Entry {i},Bench.Menu{i},{before},Bench,face.bmp"')
    return "\r\n".join(lines) + "\r\n"


class Run:
    def __init__(self, seconds: float, calls: Counter):
        self.seconds, self.calls = seconds, calls

    @property
    def round_trips(self) -> int:
        return sum(self.calls.values())

    @property
    def member_calls(self) -> int:
        return self.calls["Invoke"]


def run_once(wine: WineMachine, exe: Path, work: Path) -> Run:
    """One run of `exe` with the user's PowerPoint freshly started on PowerPoint's own bars."""
    shutil.rmtree(work / "powerpoint", ignore_errors=True)
    report = work / "stand_ins.txt"
    report.unlink(missing_ok=True)
    env = dict(wine.env, TKW_POWERPOINT_STATE=windows_path(work) + "\\powerpoint\\commandbars.json",
               TKW_STAND_IN_REPORT=windows_path(report))
    server = wine.stand_ins + "tkw_powerpoint.exe"
    powerpoint = subprocess.Popen(wine.command(server, "/running"), env=env,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
    try:
        if powerpoint.stdout.readline().rstrip() != b"running":
            raise RuntimeError("the stand-in PowerPoint did not start")
        start = time.perf_counter()
        result = wine.run([str(exe)], env=env, timeout=300)
        seconds = time.perf_counter() - start
        if result.returncode != 0:
            raise RuntimeError(f"{exe} exited with {result.returncode}")
    finally:
        wine.run([server, "/close"], env=env)
        powerpoint.wait(timeout=60)
        powerpoint.stdout.close()
    # "powerpoint objects 0 locks 0 received GetIDsOfNames <n> Invoke <n> ...": the server's end.
    lines = report.read_text().splitlines()
    ends = [line.split() for line in lines if line.startswith("powerpoint objects ")]
    if len(ends) != 1 or ends[0][2:6] != ["0", "locks", "0", "received"]:
        raise RuntimeError(f"the run left the stand-in holding objects, or did not end it: {lines}")
    received = ends[0][6:]
    calls = Counter({name: int(count) for name, count in zip(received[::2], received[1::2])})
    return Run(seconds, calls)


def median_run(runs: list) -> tuple:
    return (statistics.median(r.seconds for r in runs), statistics.median(r.round_trips for r in runs),
            statistics.median(r.member_calls for r in runs))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("builds", nargs="+", metavar="LABEL=FOLDER")
    parser.add_argument("--sizes", type=int, nargs="+", default=[0, 20, 100])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--architectures", nargs="+", default=["i686", "x86_64"])
    parser.add_argument("--calls", action="store_true", help="also list the calls of one run by kind")
    args = parser.parse_args()
    builds = dict(build.split("=", 1) for build in args.builds)
    sizes = sorted(set(args.sizes) | {0})

    with WinePrefix() as prefix, tempfile.TemporaryDirectory(prefix="tkw-wine-bench-") as scratch:
        for architecture in args.architectures:
            if missing_loader(architecture):
                print(f"{architecture}: skipped: {missing_loader(architecture)}")
                continue
            preset = PRESETS[architecture]
            tools = Path(list(builds.values())[-1]) / preset / "tests" / "wine"
            with WineMachine(prefix, tools, architecture) as wine:
                addins = wine.drive_c / "Bench" / "Addins"
                addins.mkdir(parents=True, exist_ok=True)
                (addins / "face.bmp").write_bytes(icon())
                results = {}
                for count in sizes:
                    machine = Path(scratch) / f"{architecture}-{count}"
                    machine.mkdir()
                    (machine / "registry.reg").write_text(registry(count), encoding="cp1252")
                    wine.import_registry(RESET, machine / "registry.reg")
                    apps = {}
                    for label, folder in builds.items():
                        apps[label] = machine / label / PROGRAM
                        apps[label].parent.mkdir()
                        shutil.copy2(Path(folder) / preset / PROGRAM, apps[label])
                    runs = {label: [] for label in builds}
                    for _ in range(args.runs):
                        for label in builds:
                            runs[label].append(run_once(wine, apps[label], machine))
                    for label in builds:
                        results[(label, count)] = median_run(runs[label])
                        if args.calls:
                            kinds = ", ".join(f"{kind} {n}" for kind, n in runs[label][0].calls.items())
                            print(f"{architecture} {label} {count}: {kinds}")
                shutil.rmtree(wine.drive_c / "Bench")

            print(f"\n{architecture} (medians of {args.runs} runs; per definition: beyond the machine "
                  f"without definitions, over its N toolbar + N menu definitions)")
            print("| build | definitions | whole run | round trips | member calls | ratio | time |")
            print("|---|---|---|---|---|---|---|")
            for count in sizes:
                for label in builds:
                    seconds, trips, members = results[(label, count)]
                    if count == 0:
                        print(f"| {label} | 0 | {seconds:.3f} s | {trips:g} | {members:g} | | |")
                        continue
                    base_seconds, base_trips, base_members = results[(label, 0)]
                    n = 2 * count
                    per_trips, per_members = (trips - base_trips) / n, (members - base_members) / n
                    per_ms = (seconds - base_seconds) / n * 1e3
                    print(f"| {label} | {count} + {count} | {seconds:.3f} s | {per_trips:.2f} | "
                          f"{per_members:.2f} | {per_trips / per_members:.2f} | {per_ms:.2f} ms |")
            last = list(builds)[-1]
            for other in list(builds)[:-1]:
                for count in sizes[1:]:
                    before = (results[(other, count)][0] - results[(other, 0)][0])
                    after = (results[(last, count)][0] - results[(last, 0)][0])
                    print(f"time per definition, {count} + {count}: {last} / {other} = {after / before:.2f}")


if __name__ == "__main__":
    main()

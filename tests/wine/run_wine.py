#!/usr/bin/env python3
"""Proves each given Windows build under Wine and ends with one line per build:

  Wine <architecture>: N passed, M failed, K skipped
  Wine <architecture>: skipped: <reason>          (when this machine cannot run the build)

  run_wine.py --linux build/dev build/mingw64 build/mingw32

Every build runs in one Wine prefix with its own stand-in servers registered in its
architecture's registry view (see README.md). The checks, each counted once:
  win32_host_test   the Win32 platform layer against the real system
  stand_ins_test    a late-bound client of the registered stand-ins, across processes
  <scenario>        every scenario of tests/scenarios, as for the Linux build, with the program
                    run under tkw_census and the stand-ins' reports read
  census growth     a machine with three times the definitions of another: the run on it ends
                    holding exactly the GDI objects, windows and handles of every kind that the
                    smaller run ends holding, so nothing is kept per definition
  face blocks       the face and mask blocks of Wine's GDI against the emulation's (--linux)
  tkwcheck          the definitions checker: its report on an export, judged against the
                    registered PowerPoint (the stand-in), is the Linux build's against
                    PowerPoint's own bars, and on the live registry it reads the view the
                    shipped 32-bit program reads
  tkwcheck --machine  the prefix as its stand-ins leave it, registered for both architectures:
                    nothing wrong, exit 0, in text and as JSON
  shipped file      what an administrator expects of the executable: a windowless program for
                    Windows XP and later, with its icon and version resource, without symbols
  tools' command line  tkwcheck.exe and tkwremove.exe: --help, -h, --version and a wrong command
                    line as the Linux tools answer them, and their icon and version resource

  --only CHECK runs only the checks named (and "scenarios" for the scenarios).
"""

import argparse
import json
import re
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "scenarios"))
import run_scenarios  # noqa: E402
from compare_face_blocks import compare_faces  # noqa: E402
from wine_machine import (WineMachine, WinePrefix, architecture_of, missing_loader,  # noqa: E402
                          read_census, windows_path)

PROGRAM = "tkwPPTToolbarAdder.exe"


class Tally:
    def __init__(self):
        self.passed = self.failed = self.skipped = 0

    def record(self, name: str, failures: list):
        if failures:
            self.failed += 1
            print(f"FAIL {name}: " + "; ".join(failures))
        else:
            self.passed += 1
            print(f"PASS {name}")


def run_test_program(wine: WineMachine, program: Path, work: Path) -> list:
    report = work / "stand_ins.txt"
    env = dict(wine.env, TKW_STAND_IN_REPORT=run_scenarios.windows_path(report))
    result = wine.run([str(program)], env=env)
    failures = [] if result.returncode == 0 else [
        f"exit code {result.returncode}: " + (result.stdout + result.stderr).decode(errors="replace")]
    return failures + wine.stand_in_failures(report)


def growing_machine(folder: Path, shares: int):
    """A scenario folder whose registry holds `shares` copies of one share of definitions, each
    copy on bars, tags and captions of its own. A share takes every road that holds resources:
    new buttons with faces, buttons already there, images missing, in an unknown product's
    (relative) folder or icons, too few fields, menu controls with and without faces, replaced,
    placed before another, and in no menu."""
    toolbar, menus = [], []
    for n in range(1, shares + 1):
        bar = f"Bar {n}"
        toolbar += [
            (f"{n} a new", f"{bar},New {n},Mac.a{n},tag.a{n},Prod,new.bmp,Tip {n}"),
            (f"{n} b existing tag", f"{bar},Again {n},Mac.b{n},tag.a{n},Prod,new.bmp"),
            (f"{n} c missing image", f"{bar},Missing {n},Mac.c{n},tag.c{n},Prod,missing.bmp"),
            (f"{n} d unknown product", f"{bar},Stray {n},Mac.d{n},tag.d{n},Nobody,new.bmp"),
            (f"{n} e icon file", f"{bar},Icon {n},Mac.e{n},tag.e{n},Prod,face.ico"),
            (f"{n} f too few", f"{bar},Few {n}"),
        ]
        menus += [
            (f"{n} a face", f"&Tools,Menu {n},Mac.m{n},,Prod,new.bmp"),
            (f"{n} b replaced", f"&Tools,Menu {n},Mac.r{n},,Prod,new.bmp"),
            (f"{n} c plain", f"&Insert,Plain {n},Mac.p{n}"),
            (f"{n} d before", f"&Tools,Before {n},Mac.q{n},Menu {n},Prod,missing.bmp"),
            (f"{n} e no menu", f"No Such Menu,Lost {n},Mac.l{n}"),
        ]

    def values(pairs):
        return "".join(f'"{name}"="{data}"\n' for name, data in pairs)

    folder.mkdir(parents=True)
    (folder / "registry.reg").write_text(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CLASSES_ROOT\\PowerPoint.Application\\CLSID]\n"
        '@="{91493441-5A91-11CF-8700-00AA0060263B}"\n\n'
        "[HKEY_CLASSES_ROOT\\AtlClipBoard.Clipboard\\CLSID]\n"
        '@="{6C1B6E43-2F7D-4E43-9A3E-5C8E0F3A7D21}"\n\n'
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n" + values(toolbar) +
        '"Logging"=dword:00000001\n\n'
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Prod]\n"
        '"InstallFolder"="C:\\\\Prog"\n\n'
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\n" + values(menus))
    # The bitmap and the icon of the scenario that tries every toolbar record.
    shutil.copytree(run_scenarios.HERE / "toolbar_records" / "files", folder / "files")


def census_growth(wine: WineMachine, exe: Path, work: Path) -> list:
    """Wine's RPC keeps a connection or two more in one run than in another, as calls happen to
    meet; a leak is in every run. So each machine is run twice, and the fewer of each kind
    counts."""
    machine = run_scenarios.WineScenarioMachine(wine, exe.parent / "tests" / "wine" / "tkw_hold.exe")
    readings = {}
    for shares, attempt in ((1, 1), (3, 1), (1, 2), (3, 2)):
        run = work / f"shares_{shares}_{attempt}"
        growing_machine(run / "scenario", shares)
        (run / "app").mkdir()
        shutil.copy2(exe, run / "app" / PROGRAM)
        try:
            machine.prepare(run / "scenario", run, {})
            result = machine.run_program(run / "app" / PROGRAM, machine.env)
            failures = wine.stand_in_failures(machine.report)
        finally:
            machine.finish()
        if result.returncode != 0 or failures:
            return [f"the run of {shares} shares failed (exit code {result.returncode})"] + failures
        reading = read_census(machine.census()).get("exit")
        if reading is None:
            return [f"the run of {shares} shares never reached ExitProcess"]
        earlier = readings.get(shares, reading)
        readings[shares] = {kind: min(reading.get(kind, 0), earlier.get(kind, 0))
                            for kind in reading.keys() | earlier.keys()}
    small, large = readings[1], readings[3]
    grown = [f"{name} {small.get(name, 0)} after one share, {large.get(name, 0)} after three"
             for name in sorted(small.keys() | large.keys()) if small.get(name, 0) != large.get(name, 0)]
    return [f"kept per definition: {', '.join(grown)}"] if grown else []


RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16


def shipped_file_faults(exe: Path, architecture: str, console: bool = False) -> list:
    """What the executable's PE headers say against what it must be: a windowed program without
    symbols (or a tool for the console), with its icon and version resource. The Windows version
    they declare is tests/check_imports.py's to check, with the imports."""
    data = exe.read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    symbols, count = struct.unpack_from("<II", data, pe + 12)
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from(
        "<H", data, pe + 20)[0]
    optional = pe + 24
    subsystem = struct.unpack_from("<H", data, optional + 68)[0]
    directories = optional + (96 if architecture == "i686" else 112)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    faults = []
    if not console and (symbols or count):
        faults.append("it carries a symbol table")
    if subsystem != (3 if console else 2):
        faults.append(f"subsystem {subsystem}, not the Windows {'console (3)' if console else 'GUI (2)'}")
    types = set()
    for i in range(sections):
        name, _, virtual, raw_size, raw = struct.unpack_from("<8sIIII", data, optional + optional_size + 40 * i)
        if virtual == resource_rva and resource_rva:
            named, numbered = struct.unpack_from("<HH", data, raw + 12)
            types = {struct.unpack_from("<I", data, raw + 16 + 8 * j)[0]
                     for j in range(named, named + numbered)}
    for kind, what in ((RT_ICON, "icon"), (RT_GROUP_ICON, "icon group"), (RT_VERSION, "version")):
        if kind not in types:
            faults.append(f"no {what} resource")
    if "FileDescription".encode("utf-16-le") not in data:
        faults.append("the version resource has no FileDescription")
    version = f"{project_version()}.0.0".encode("utf-16-le")
    if version not in data:
        faults.append(f"the version resource does not carry the project's version {project_version()}")
    return faults


REPOSITORY = HERE.parent.parent


def project_version() -> str:
    """The version CMake's project() gives, which the tools print and the resources carry."""
    text = (REPOSITORY / "CMakeLists.txt").read_text()
    return re.search(r"project\(\S+ VERSION (\S+)", text).group(1)


def tool_manner_faults(wine: WineMachine, build: Path, architecture: str) -> list:
    """tkwcheck.exe and tkwremove.exe as the Linux tools: --help and -h print the usage on
    standard output, --version the name and the project's version; a wrong command line is one
    line on standard error naming the tool and what was wrong, then the usage, exit 2. Each
    carries the icon and the version resource as the program does."""
    cases = (
        (["--help"], 0, "usage: {tool} "),
        (["-h"], 0, "usage: {tool} "),
        (["--version"], 0, "{tool} (tkwPPTToolbarAdder) " + project_version() + "\n"),
        (["--no-such-option"], 2, "{tool}: unknown option --no-such-option\nusage: {tool} "),
        (["--definitions"], 2, "{tool}: --definitions needs a value\nusage: {tool} "),
    )
    faults = []
    for tool in ("tkwcheck", "tkwremove"):
        exe = build / f"{tool}.exe"
        faults += [f"{exe.name}: {fault}"
                   for fault in shipped_file_faults(exe, architecture, console=True)]
        for arguments, status, first in cases:
            result = wine.run([str(exe), *arguments])
            out, err = (stream.decode(errors="replace").replace("\r\n", "\n")
                        for stream in (result.stdout, result.stderr))
            shown, other = (out, err) if status == 0 else (err, out)
            expected = first.format(tool=tool)
            if result.returncode != status or not shown.startswith(expected) or other:
                faults.append(f"{tool}.exe {' '.join(arguments)}: exit {result.returncode}, "
                              f"standard output {out[:120]!r}, standard error {err[:120]!r}; "
                              f"expected exit {status} and {expected!r}")
    return faults


def tkwcheck_faults(wine: WineMachine, build: Path, linux: Path) -> list:
    exe = build / "tkwcheck.exe"
    broken = REPOSITORY / "examples" / "broken" / "registry.reg"
    native = subprocess.run([str(linux / "tkwcheck"), str(broken)], capture_output=True)
    windows = wine.run([str(exe), windows_path(broken)])
    faults = []
    # Windows judges against the PowerPoint it finds registered, the stand-in with PowerPoint's
    # own bars; Linux against those bars themselves. Their first lines say so.
    judged, _, expected = native.stdout.decode().replace(str(broken), "registry.reg").partition("\n")
    live, _, actual = (windows.stdout.decode().replace("\r\n", "\n")
                       .replace(windows_path(broken), "registry.reg").partition("\n"))
    if (judged, live) != ("judged against PowerPoint's built-in English bars",
                          "judged against the PowerPoint of this machine"):
        faults.append(f"its report on examples/broken/registry.reg was judged against {live!r}, "
                      f"the Linux build's against {judged!r}")
    if (windows.returncode, actual) != (native.returncode, expected):
        faults.append(f"its report on examples/broken/registry.reg differs from the Linux build's "
                      f"(exit {windows.returncode}, Linux {native.returncode})")
    # The live registry: definitions that only the 64-bit view holds are not seen.
    for view, seen in (("x86_64", False), ("i686", True)):
        if view == "i686" and missing_loader("i686"):
            continue
        wine.import_registry(run_scenarios.WineScenarioMachine.RESET, view="x86_64")
        if not missing_loader("i686"):
            wine.import_registry(run_scenarios.WineScenarioMachine.RESET, view="i686")
        wine.import_registry(broken, view=view)
        live = wine.run([str(exe)])
        report = live.stdout.decode()
        if live.returncode != 1 or "[too-few-fields]" not in report:
            faults.append(f"on the {view} view: exit {live.returncode}, no finding of the definitions")
        if ("[wrong-view]" in report) == seen:
            faults.append(f"on the {view} view: the definitions are {'not ' if seen else ''}"
                          "said to be unseen")
    wine.import_registry(run_scenarios.WineScenarioMachine.RESET, view="x86_64")
    return faults


def machine_faults(wine: WineMachine, build: Path) -> list:
    """tkwcheck --machine on the prefix as the build's stand-ins leave it, with the other
    architecture's stand-ins registered beside them where that build is at hand, as a machine
    with both is: it finds nothing wrong."""
    other = next(a for a in run_scenarios.WineScenarioMachine.PRESETS if a != wine.architecture)
    tools = build.parent / run_scenarios.WineScenarioMachine.PRESETS[other] / "tests" / "wine"
    if not missing_loader(other) and (tools / "tkw_atl_clipboard.dll").exists():
        folder = wine.drive_c / "tkw" / other
        folder.mkdir(parents=True, exist_ok=True)
        regsvr32 = run_scenarios.WineScenarioMachine.REGSVR32S[other]
        for server in ("tkw_powerpoint.exe", "tkw_atl_clipboard.dll"):
            shutil.copy2(tools / server, folder)
        for command in ([f"C:\\tkw\\{other}\\tkw_powerpoint.exe", "/RegServer"],
                        [regsvr32, "/s", f"C:\\tkw\\{other}\\tkw_atl_clipboard.dll"]):
            if wine.run(command, architecture=other).returncode != 0:
                return [f"{' '.join(command)} failed"]
    exe = str(build / "tkwcheck.exe")
    text = wine.run([exe, "--machine"])
    report = text.stdout.decode(errors="replace").replace("\r\n", "\n")
    faults = []
    if text.returncode != 0 or not report.endswith("\n0 errors, 0 warnings\n"):
        faults.append(f"exit {text.returncode}, not 0:\n{report}")
    result = wine.run([exe, "--machine", "--format", "json"])
    try:
        findings = json.loads(result.stdout)
        rules = sorted(f["rule"] for f in findings["findings"] if f["severity"] == "note")
        if result.returncode != 0 or findings["errors"] or findings["warnings"] or rules != sorted(
                ["powerpoint-registered", "office-interfaces", "clipboard-component", "session",
                 "powerpoint-running", "code-page", "folder-writable"]):
            faults.append(f"as JSON, exit {result.returncode}: {findings}")
    except (ValueError, KeyError) as error:
        faults.append(f"as JSON, not the report: {error}")
    return faults


def prove(prefix: WinePrefix, build: Path, linux: Path, only: set) -> tuple:
    """Runs every check of one build (or those named in `only`); gives its closing line and
    whether nothing failed."""
    exe = build / PROGRAM
    architecture = architecture_of(exe)
    reason = missing_loader(architecture)
    if reason:
        return f"Wine {architecture}: skipped: {reason}", True
    tools = build / "tests" / "wine"
    tally = Tally()

    def record(name: str, check):
        if not only or name in only:
            tally.record(name, check())

    record("shipped file", lambda: shipped_file_faults(exe, architecture))
    with WineMachine(prefix, tools, architecture) as wine, \
            tempfile.TemporaryDirectory(prefix="tkw-wine-checks-") as work:
        work = Path(work)
        print(f"== {architecture}: {exe}")
        for test in ("win32_host_test", "stand_ins_test"):
            folder = work / test
            folder.mkdir()
            program = build / "tests" / f"{test}.exe"
            if not program.exists():
                program = tools / f"{test}.exe"
            record(test, lambda: run_test_program(wine, program, folder))
        record("tkwcheck --machine", lambda: machine_faults(wine, build))
        if not only or "scenarios" in only:
            machine = run_scenarios.WineScenarioMachine(wine, tools / "tkw_hold.exe")
            passed, failed, skipped = run_scenarios.run_all(machine, exe.resolve(),
                                                            run_scenarios.all_scenarios())
            tally.passed += passed
            tally.failed += failed
            tally.skipped += skipped
        record("census growth", lambda: census_growth(wine, exe.resolve(), work))
        record("face blocks",
               lambda: compare_faces(linux / "tests" / "wine" / "face_blocks", wine))
        record("tkwcheck", lambda: tkwcheck_faults(wine, build, linux))
        record("tools' command line", lambda: tool_manner_faults(wine, build, architecture))
    return (f"Wine {architecture}: {tally.passed} passed, {tally.failed} failed, "
            f"{tally.skipped} skipped"), tally.failed == 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--linux", type=Path, required=True,
                        help="the Linux build, for the emulation's face blocks")
    parser.add_argument("builds", type=Path, nargs="+", help="Windows build folders")
    parser.add_argument("--only", action="append", default=[], metavar="CHECK",
                        help="run only this check (as the tally names it, or \"scenarios\"); "
                             "may be given more than once")
    args = parser.parse_args()
    with WinePrefix() as prefix:
        results = [prove(prefix, build.resolve(), args.linux.resolve(), set(args.only))
                   for build in args.builds]
    for line, _ in results:
        print(line)
    return 0 if all(ok for _, ok in results) else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Runs the program on prepared machines and compares what it leaves behind.

Each folder beside this script is one scenario:
  registry.reg          the machine's registry
  files/                laid into the machine as they are (drive_c/..., powerpoint/..., clipboard/...)
  expected.log          the diagnostic log; "{date}" stands for a start line's date and time,
                        "{app}" for the executable's folder as the program sees it;
                        expected.<n>.log, when there is one, the log of run n
  expected_bars.txt     optional: the command bars each run leaves, as dump_bars() writes them
  expected_bars_closed.txt  optional: the command bars once PowerPoint is closed after the runs
  scenario.json         optional settings: "log": false when no log may appear,
                        "hold": ["mutex", "clipboard", "clipboard-watcher", "powerpoint"] what
                        other programs hold during the run ("powerpoint": PowerPoint is slow to
                        start, and a program that starts it waits; "clipboard-watcher" is
                        clipboard history, which reads the clipboard for about 300 ms when it
                        starts and after every change not marked to be left out of it: the
                        run passes only when every change that held the program's face carried
                        the three formats that keep it out of clipboard history and the cloud
                        clipboard, and the watcher held the clipboard at least once during the
                        run),
                        "second_copy_at": a log line; once the program has logged it, a second
                        copy starts from the same folder and runs to its end, and then the
                        holders let go,
                        "registry_at": {"line": a log line, "registry": FILE}; once the program
                        has logged the line, FILE, a regedit file, is imported into the machine's
                        registry while the holders keep the program there, and then they let
                        go: another process changing the registry during a run,
                        "stderr": the exact standard error, "marker": true when the marker stays,
                        "stale_marker": true to leave an earlier run's marker beside the program,
                        "read_only_app": true to run as a user who cannot write the program's folder,
                        "powerpoint": false when PowerPoint must not have been touched,
                        "running" (the default) when the user has PowerPoint open, so that what
                        a run adds lasts until PowerPoint is closed, "closed" when it is not
                        running, so that the program starts it and it closes at the run's end,
                        "runs": how many times the program runs (1),
                        "steps": what happens instead of the runs, in order, each one of
                        {"run": "tkwPPTToolbarAdder"} a run of the program, compared as above
                        with expected.<n>.log for the n-th;
                        {"run": "TOOL ARGUMENTS...", "exit": N (0), "stdout": FILE} a tool built
                        beside the program (tkwcheck, tkwremove), with "{where}" in FILE for
                        where a line's definition is, on the machine or, with "file": FILE, on
                        that file of the scenario; "{scenario}/NAME" in an argument is the
                        scenario's file NAME as the tool's system names it, and so written back
                        in FILE, and "{judged}" in FILE stands for what an export alone is judged
                        against: PowerPoint's built-in English bars on Linux, the PowerPoint of
                        the machine under Wine; "{build}" in FILE is the build's folder, which
                        holds the tools, as they name it, and "{arch}" in FILE's name the build's
                        architecture (i686, x86_64); {"registry": FILE} a regedit file imported;
                        {"powerpoint": "close" or "open"} the user closes PowerPoint, or starts
                        it; with any of them "only": ARCHITECTURE, a step that only that Windows
                        build takes, and "bars": FILE, the command bars it leaves,
                        "menu": {MENU: FILE}, every control of that menu of the menu bar as
                        dump_menu() writes it, "state": "unchanged" or "first", PowerPoint's
                        state as before the step or before the first step, and "clipboard":
                        FILE, the clipboard's formats after it, as in expected_clipboard.txt,
                        "close": true to close PowerPoint after the runs
                        "environment": variables for the program and the servers it starts,
                        "wine_only": why the Linux build does not run it,
                        "powerpoint_stays": true when PowerPoint's server is expected not to
                        end (a PowerPoint that never answers); the runner ends it,
                        "code_page": the ANSI code page the program runs with, 1252 (the
                        default) or 65001 (UTF-8, under Wine only), in which its log and
                        expected.log are read,
                        "powerpoint_registered": "x86_64" or "i686", under Wine: PowerPoint's
                        stand-in and its type library are registered by the tools of that
                        architecture alone, in its registry view (64-bit Office beside the
                        32-bit program), for this scenario; the stand-ins of a build of the
                        other architecture are taken from its build folder beside this one,
                        "clipboard_registered": the same for the clipboard-backup component's
                        stand-in, where "other" names the architecture that is not the build's
  expected_clipboard.txt  optional: the clipboard's formats after the run, "<format> <bytes>" each

The machine is an emulated Windows prefix (TKW_PREFIX) for the Linux build. With --wine TOOLS
a Windows build runs under Wine instead (see tests/wine/README.md): the same scenarios, with the
registry imported by the regedit of the build's architecture, the files laid in the prefix's
drive_c, and the stand-in automation servers of TOOLS. There the program also runs under
tkw_census, and a run passes only when it gave back every GDI object, user object and kernel
handle it took, the stand-ins were left no live COM object, and PowerPoint's server ended.
"""

import argparse
import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "wine"))
from wine_machine import (LOADERS, WineMachine, WinePrefix, architecture_of,  # noqa: E402
                          missing_loader, windows_path)
DATE_LINE = re.compile(r"^\d{1,2}/\d{1,2}/\d{4}( \d{1,2}:\d{2}:\d{2} [AP]M)?$")
LOG_NAME = "tkwtbrloggin.txt"
# The ANSI code pages a scenario may run with, and Python's names for them.
ENCODINGS = {1252: "cp1252", 65001: "utf-8"}
MARKER_NAME = "tkwtbrstrtd.txt"


def describe_face(face) -> str:
    if face is None:
        return "none"
    dib = base64.b64decode(face["dib"])
    width, height = int.from_bytes(dib[4:8], "little", signed=True), int.from_bytes(dib[8:12], "little", signed=True)
    mask = "mask" if face.get("mask") else "no mask"
    return f"{width}x{abs(height)} {mask}"


def dump_bars(state: dict) -> str:
    """The bars and controls that are not PowerPoint's own, with the built-in neighbours of
    each added control so that places show."""
    lines = []

    def custom(control) -> bool:
        return not control["builtIn"] or any(custom(c) for c in control.get("controls", []))

    def dump_controls(controls, indent):
        for place, control in enumerate(controls, 1):
            caption = control["caption"]
            if control["builtIn"] and not custom(control):
                lines.append(f"{indent}{place} builtin {caption!r}")
                continue
            if control["type"] == "popup":
                lines.append(f"{indent}{place} popup {caption!r}")
                dump_controls(control["controls"], indent + "  ")
                continue
            lines.append(
                f"{indent}{place} button {caption!r} tag={control['tag']!r} "
                f"onAction={control['onAction']!r} tooltip={control['tooltipText']!r} "
                f"style={control['style']} temporary={str(control['temporary']).lower()} "
                f"face={describe_face(control.get('face'))}")

    for bar in state["commandBars"]:
        if bar["builtIn"] and not any(custom(c) for c in bar["controls"]):
            continue
        lines.append(f"bar {bar['name']!r} {bar['type']} position={bar['position']} "
                     f"visible={str(bar['visible']).lower()} "
                     f"temporary={str(bar['temporary']).lower()}")
        dump_controls(bar["controls"], "  ")
    return "\n".join(lines) + "\n"


def dump_menu(state: dict, caption: str) -> str:
    """Every control of a menu of the menu bar, PowerPoint's own among them: its place, Id and
    caption, and whether it is PowerPoint's own or lasts only while PowerPoint runs."""
    bar = next((b for b in state["commandBars"] if b["type"] == "menuBar"), None)
    menu = next((c for c in bar["controls"] if c["caption"] == caption), None) if bar else None
    if menu is None:
        return "no menu\n"
    return "".join(f"{place} {control['id']} {control['caption']!r}"
                   f"{' builtin' if control['builtIn'] else ''}"
                   f"{' temporary' if control['temporary'] else ''}\n"
                   for place, control in enumerate(menu["controls"], 1))


def drop_root():
    """Runs the program as "nobody", for whom permissions hold even when the tests run as root."""
    if os.getuid() == 0:
        os.setgid(65534)
        os.setuid(65534)


class Failure(Exception):
    pass


class Skipped(Exception):
    pass


class LinuxMachine:
    """The emulated Windows environment: a prefix folder per scenario."""

    # An export checked on its own has no machine to judge against.
    EXPORT_JUDGED_AGAINST = "PowerPoint's built-in English bars"

    # The Linux build takes no step that is only for a Windows build.
    architecture = "linux"

    def __init__(self, hold: Path):
        self.hold = hold

    def prepare(self, scenario: Path, work: Path, settings: dict):
        if settings.get("wine_only"):
            raise Skipped(settings["wine_only"])
        if settings.get("code_page", 1252) != 1252:
            raise Skipped("the emulated machine's ANSI code page is Windows-1252")
        self.prefix = work / "prefix"
        self.prefix.mkdir()
        shutil.copy2(scenario / "registry.reg", self.prefix / "registry.reg")
        if (scenario / "files").is_dir():
            shutil.copytree(scenario / "files", self.prefix, dirs_exist_ok=True)
        self.env = dict(os.environ, TKW_PREFIX=str(self.prefix))
        if settings.get("read_only_app"):
            # The machine stays writable for the unprivileged user; the program's folder does not.
            for folder, dirs, files in os.walk(work):
                os.chmod(folder, 0o777)
                for name in files:
                    os.chmod(os.path.join(folder, name), 0o666)

    def hold_command(self, resource: str) -> list:
        return [str(self.hold), resource]

    def open_powerpoint(self, running: bool):
        """Leaves PowerPoint open as the user's, or closed, before the first run."""
        if not running:
            self.close_powerpoint()

    def close_powerpoint(self):
        """Closes the machine's PowerPoint as its user would."""
        self.tell_powerpoint("close")

    def reopen_powerpoint(self):
        """The user starts PowerPoint again."""
        self.tell_powerpoint("open")

    def tell_powerpoint(self, what: str):
        tool = self.hold.parent / "tkw_powerpoint"
        result = subprocess.run([str(tool), what, str(self.prefix)], capture_output=True)
        if result.returncode != 0:
            raise Failure(f"tkw_powerpoint {what}: {result.stderr.decode(errors='replace')}")

    def run_program(self, program: Path, env: dict, preexec_fn=None, copy: int = 1) -> subprocess.CompletedProcess:
        return subprocess.run([str(program)], env=env, capture_output=True, timeout=120,
                              preexec_fn=preexec_fn)

    def powerpoint_folder(self) -> Path:
        return self.prefix / "powerpoint"

    def run_tool(self, folder: Path, name: str, arguments: list,
                 file: Path = None) -> subprocess.CompletedProcess:
        """A tool on the machine, or on `file` instead."""
        judged = [str(file)] if file else ["--prefix", str(self.prefix)]
        return subprocess.run([str(folder / name), *arguments, *judged],
                              env=self.env, capture_output=True, timeout=120)

    def path_of(self, path: Path) -> str:
        return str(path)

    def change_registry(self, changes: Path):
        """Imports a regedit file: its keys and values follow the machine's, and a value named
        again takes its last definition. The registry is written anew and renamed over the old,
        so that a program reading it meanwhile finds it before or after the import, never half
        way."""
        header, _, body = changes.read_text(encoding="cp1252").partition("\n")
        registry = self.prefix / "registry.reg"
        before = registry.read_bytes() if registry.exists() else b""
        staged = registry.with_name(registry.name + ".importing")
        staged.write_bytes(before + ("\n" + body).encode("cp1252"))
        if registry.exists():
            shutil.copymode(registry, staged)
        os.replace(staged, registry)

    def clipboard_formats(self) -> list:
        folder = self.prefix / "clipboard"
        return sorted(f"{p.name} {p.stat().st_size}" for p in folder.iterdir()) if folder.is_dir() else []

    def check_leaks(self):
        pass

    def finish(self):
        pass


# Formats Windows offers beside others, converted from them on demand: text as OEM and Unicode
# text with its locale, a DIB as a bitmap and a version 5 DIB. They are the system's, not the
# program's, so they are left out of the comparison.
SYNTHESIZED_FORMATS = {"1": {"7", "13", "16"}, "8": {"2", "17"}}


class WineScenarioMachine:
    """A Windows build under Wine: one prefix for every scenario, reset between them."""

    RESET = HERE.parent / "wine" / "reset_scenario.reg"
    # Windows judges an export against the PowerPoint installed, here the stand-in.
    EXPORT_JUDGED_AGAINST = "the PowerPoint of this machine"
    UTF8_MANIFEST = HERE.parent / "wine" / "utf8_code_page.manifest"
    # Each stand-in a scenario may register for one architecture alone: its file, the key of
    # its server in a view, and the registry file that takes its registration out of a view.
    STAND_INS = {
        "powerpoint": ("tkw_powerpoint.exe",
                       "HKCR\\CLSID\\{91493441-5A91-11CF-8700-00AA0060263B}\\LocalServer32",
                       HERE.parent / "wine" / "unregister_powerpoint.reg"),
        "clipboard": ("tkw_atl_clipboard.dll",
                      "HKCR\\CLSID\\{6C1B6E43-2F7D-4E43-9A3E-5C8E0F3A7D21}\\InprocServer32",
                      HERE.parent / "wine" / "unregister_clipboard.reg"),
    }
    REGS = {"x86_64": "C:\\windows\\system32\\reg.exe", "i686": "C:\\windows\\syswow64\\reg.exe"}
    REGSVR32S = {"x86_64": "C:\\windows\\system32\\regsvr32.exe",
                 "i686": "C:\\windows\\syswow64\\regsvr32.exe"}
    PRESETS = {"x86_64": "mingw64", "i686": "mingw32"}

    def __init__(self, wine: WineMachine, hold: Path):
        self.wine = wine
        self.hold = hold
        self.architecture = wine.architecture
        self.laid = []
        self.powerpoint = None
        # The architecture of the PowerPoint stand-in the scenario uses, and the servers that
        # were registered in each view before a scenario registered another, by stand-in
        # ({stand-in: {view: path}}).
        self.powerpoint_architecture = wine.architecture
        self.registered_before = {}

    def prepare(self, scenario: Path, work: Path, settings: dict):
        if settings.get("read_only_app"):
            raise Skipped("Wine runs every program with the user's own rights")
        self.work = work
        self.powerpoint_stays = settings.get("powerpoint_stays", False)
        if settings.get("code_page") == 65001:
            # An external manifest: the program has none of its own, so Wine reads this one.
            for program in (work / "app").glob("*.exe"):
                shutil.copy2(self.UTF8_MANIFEST, program.with_name(program.name + ".manifest"))
        self.environment = settings.get("environment", {})
        for stand_in in self.STAND_INS:
            if settings.get(f"{stand_in}_registered"):
                self.register_only(stand_in, settings[f"{stand_in}_registered"])
        self.wine.import_registry(self.RESET, scenario / "registry.reg")
        files = scenario / "files"
        self.lay(files / "drive_c", self.wine.drive_c)
        if (files / "powerpoint").is_dir():
            shutil.copytree(files / "powerpoint", work / "powerpoint")
        self.wine.clipboard("set", files / "clipboard")
        self.report = work / "stand_ins.txt"
        self.env = dict(self.wine.env,
                        TKW_POWERPOINT_STATE=windows_path(work) + "\\powerpoint\\commandbars.json",
                        TKW_STAND_IN_REPORT=windows_path(work) + "\\stand_ins.txt")

    def registered_server(self, key: str, view: str):
        """The server that the key `key` names in the registry view `view`, or None."""
        result = self.wine.run([self.REGS[view], "query", key, "/ve"], architecture=view)
        found = re.search(r"REG_SZ\s+(.+?)\s*$", result.stdout.decode(errors="replace"), re.MULTILINE)
        return found.group(1) if result.returncode == 0 and found else None

    def views(self) -> list:
        return [view for view in LOADERS if not missing_loader(view)]

    def unregister(self, stand_in: str):
        for view in self.views():
            self.wine.import_registry(self.STAND_INS[stand_in][2], view=view)

    def register_server(self, server: str, view: str):
        """Registers a stand-in as its kind registers: a local server itself, a DLL by the
        regsvr32 of the view's architecture."""
        command = ([self.REGSVR32S[view], "/s", server] if server.lower().endswith(".dll")
                   else [server, "/RegServer"])
        result = self.wine.run(command, architecture=view)
        if result.returncode != 0:
            raise Failure(f"{' '.join(command)} failed: {result.stderr!r}")

    def register_only(self, stand_in: str, architecture: str):
        """Registers the stand-in `stand_in` of `architecture` ("other": the one that is not the
        build's) in that architecture's registry view and nowhere else, as 64-bit Office or a
        component installed by a 64-bit installer is registered beside a 32-bit program;
        finish() puts back what each view held."""
        if architecture == "other":
            architecture = next(a for a in self.PRESETS if a != self.wine.architecture)
        if missing_loader(architecture):
            raise Skipped(missing_loader(architecture))
        name, key, _ = self.STAND_INS[stand_in]
        tools = self.wine.tools
        if architecture != self.wine.architecture:
            tools = tools.parents[2] / self.PRESETS[architecture] / "tests" / "wine"
        server = tools / name
        if not server.exists():
            raise Skipped(f"needs the {architecture} stand-ins, {server}: build the preset "
                          f"{self.PRESETS[architecture]} with TKW_BUILD_TESTS=ON")
        self.registered_before[stand_in] = {view: self.registered_server(key, view)
                                            for view in self.views()}
        folder = self.wine.drive_c / "tkw" / architecture
        if not folder.exists():
            folder.mkdir()
            self.laid.append(folder)
        if not (folder / server.name).exists():
            self.laid.append(folder / server.name)
        shutil.copy2(server, folder)
        self.unregister(stand_in)
        self.register_server(f"C:\\tkw\\{architecture}\\{name}", architecture)
        if stand_in == "powerpoint":
            self.powerpoint_architecture = architecture

    def restore_registrations(self):
        before, self.registered_before = self.registered_before, {}
        self.powerpoint_architecture = self.wine.architecture
        for stand_in, servers in before.items():
            self.unregister(stand_in)
            for view, server in servers.items():
                if server:
                    self.register_server(server, view)

    def lay(self, source: Path, destination: Path):
        """Copies the scenario's files into the shared prefix, noting what it adds so that the
        next scenario finds the prefix as it was."""
        if not source.is_dir():
            return
        for folder, dirs, files in os.walk(source, followlinks=True):
            target = destination / Path(folder).relative_to(source)
            if not target.exists():
                target.mkdir()
                self.laid.append(target)
            for name in files:
                shutil.copy2(Path(folder) / name, target / name)
                self.laid.append(target / name)

    def open_powerpoint(self, running: bool):
        """The user's PowerPoint is the stand-in started beforehand, which the program's
        CreateObject attaches to; one that is not running COM starts for each builder."""
        if running:
            self.start_users_powerpoint()

    def start_users_powerpoint(self):
        self.powerpoint = subprocess.Popen(
            self.wine.command(self.powerpoint_server(), "/running",
                              architecture=self.powerpoint_architecture),
            env=dict(self.env, **self.environment), stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE)
        if self.powerpoint.stdout.readline().rstrip() != b"running":
            self.end_powerpoint()
            raise Failure("the user's PowerPoint did not start")

    def close_powerpoint(self):
        """Closes the user's PowerPoint as its user would; one that is not running closed
        already with its last client."""
        if self.powerpoint is not None and not self.end_powerpoint():
            raise Failure("tkw_powerpoint /close could not close the user's PowerPoint")

    def reopen_powerpoint(self):
        """The user starts PowerPoint again."""
        if self.powerpoint is None:
            self.start_users_powerpoint()

    def end_powerpoint(self) -> bool:
        """Closes the user's PowerPoint, or kills it when it does not close; whether it closed."""
        if self.powerpoint is None:
            return True
        closed = self.wine.run([self.powerpoint_server(), "/close"],
                               architecture=self.powerpoint_architecture).returncode == 0
        try:
            self.powerpoint.wait(timeout=30)
        except subprocess.TimeoutExpired:
            closed = False
            self.powerpoint.kill()
            self.powerpoint.wait()
        self.powerpoint.stdout.close()
        self.powerpoint = None
        return closed

    def powerpoint_server(self) -> str:
        return f"C:\\tkw\\{self.powerpoint_architecture}\\tkw_powerpoint.exe"

    def hold_command(self, resource: str) -> list:
        if resource == "clipboard":
            return self.wine.command(self.wine.tools / "tkw_clipboard.exe", "hold")
        if resource == "clipboard-watcher":
            return self.wine.command(self.wine.tools / "tkw_clipboard.exe", "watch")
        return self.wine.command(self.hold, resource)

    def run_program(self, program: Path, env: dict, preexec_fn=None, copy: int = 1) -> subprocess.CompletedProcess:
        return self.wine.run([str(self.wine.tools / "tkw_census.exe"),
                              windows_path(self.census(copy)), windows_path(program)], env=env)

    def census(self, copy: int = 1) -> Path:
        """What tkw_census counted in the run of the copy `copy`."""
        return self.work / f"census.{copy}.txt"

    def powerpoint_folder(self) -> Path:
        return self.work / "powerpoint"

    def run_tool(self, folder: Path, name: str, arguments: list,
                 file: Path = None) -> subprocess.CompletedProcess:
        """A tool on the live machine, or on `file` instead."""
        judged = [windows_path(file)] if file else []
        return self.wine.run([str(folder / f"{name}.exe"), *arguments, *judged], env=self.env)

    def path_of(self, path: Path) -> str:
        return windows_path(path)

    def change_registry(self, changes: Path):
        self.wine.import_registry(changes)

    def clipboard_formats(self) -> list:
        folder = self.work / "clipboard"
        self.wine.clipboard("dump", folder)
        names = {p.name: p.stat().st_size for p in folder.iterdir()}
        for source, derived in SYNTHESIZED_FORMATS.items():
            if source in names:
                names = {name: size for name, size in names.items() if name not in derived}
        return sorted(f"{name} {size}" for name, size in names.items())

    def check_leaks(self):
        # The user's PowerPoint reports what its clients left it holding as it closes.
        self.end_powerpoint()
        failures = self.wine.stand_in_failures(self.report, stays=self.powerpoint_stays)
        for census in sorted(self.work.glob("census.*.txt")):
            failures += self.wine.census_failures(census)
        if failures:
            raise Failure("; ".join(failures))

    def finish(self):
        self.end_powerpoint()
        self.restore_registrations()
        # A folder laid here goes whole: a stand-in registered from it writes beside itself
        # (tkw_powerpoint.exe its type library).
        for path in reversed(self.laid):
            shutil.rmtree(path) if path.is_dir() else path.unlink(missing_ok=True)
        self.laid.clear()


def compare(what: str, expected: str, actual: str):
    if expected != actual:
        import difflib
        diff = "".join(difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                            f"expected {what}", f"actual {what}"))
        raise Failure(f"{what} differs:\n{diff}")


def run_scenario(machine, exe: Path, scenario: Path, work: Path):
    settings = json.loads((scenario / "scenario.json").read_text()) if (scenario / "scenario.json").exists() else {}
    powerpoint = settings.get("powerpoint", "running")
    if powerpoint not in (False, "running", "closed"):
        raise Failure(f"PowerPoint is false, \"running\" or \"closed\", not {powerpoint!r}")
    app = work / "app"
    app.mkdir(parents=True)
    shutil.copy2(exe, app / exe.name)
    machine.prepare(scenario, work, settings)
    if powerpoint:
        machine.open_powerpoint(powerpoint == "running")
    if "steps" in settings:
        run_steps(machine, app / exe.name, exe.parent, scenario, settings)
    for run in range(1, settings.get("runs", 0 if "steps" in settings else 1) + 1):
        run_program_once(machine, app / exe.name, scenario, settings, run)
    if settings.get("close"):
        machine.close_powerpoint()
        compare_bars(machine, scenario / "expected_bars_closed.txt")
    machine.check_leaks()


# A scenario's own file in a tool's arguments: "{scenario}/NAME".
SCENARIO_FILE = "{scenario}/"

# Where a tool's line says a definition is: "FILE:LINE" in an export, "KEY [VALUE]" in the live
# registry. Expected outputs write "{where}" for it.
DEFINITION_PLACE = re.compile(r"^(?:\S[^\n]*?:\d+|HKEY_[^\[\n]*\[[^\]\n]*\]): ", re.MULTILINE)


def run_steps(machine, program: Path, tools: Path, scenario: Path, settings: dict):
    """The scenario's "steps" in their order: runs of the program and of the tools built beside
    it, each with the exit status and standard output it must give and the state it must leave
    PowerPoint in, and changes to the registry."""
    first = powerpoint_state(machine)
    runs = 0
    for number, step in enumerate(settings["steps"], 1):
        if step.get("only", machine.architecture) != machine.architecture:
            continue
        before = powerpoint_state(machine)
        label = f"step {number} ({step.get('run') or step.get('registry') or step.get('powerpoint')})"
        if "registry" in step:
            machine.change_registry(scenario / step["registry"])
        elif "powerpoint" in step:
            if step["powerpoint"] not in ("close", "open"):
                raise Failure(f"{label}: PowerPoint is \"close\"d or \"open\"ed")
            if step["powerpoint"] == "close":
                machine.close_powerpoint()
            else:
                machine.reopen_powerpoint()
        elif step["run"] == program.stem:
            runs += 1
            run_program_once(machine, program, scenario, settings, runs)
        else:
            tool, *arguments = step["run"].split()
            # The scenario's files as the tool's system names them, and back in its output.
            named = {}
            for i, argument in enumerate(arguments):
                if argument.startswith(SCENARIO_FILE):
                    named[argument] = arguments[i] = machine.path_of(
                        scenario / argument[len(SCENARIO_FILE):])
            result = machine.run_tool(tools, tool, arguments,
                                      scenario / step["file"] if "file" in step else None)
            if result.returncode != step.get("exit", 0):
                raise Failure(f"{label}: exit code {result.returncode}, not {step.get('exit', 0)}; "
                              f"stderr:\n{result.stderr.decode(errors='replace')}")
            output = result.stdout.decode("utf-8", errors="replace").replace("\r\n", "\n")
            for placeholder, path in named.items():
                output = output.replace(path, placeholder)
            expected = ""
            if "stdout" in step:
                stdout = scenario / step["stdout"].replace("{arch}", machine.architecture)
                expected = stdout.read_text(encoding="utf-8")
            expected = expected.replace("{judged}", machine.EXPORT_JUDGED_AGAINST)
            expected = expected.replace("{build}", windows_path(tools))
            compare(f"standard output of {label}", expected, DEFINITION_PLACE.sub("{where}: ", output))
        if "bars" in step:
            compare_bars(machine, scenario / step["bars"])
        for caption, expected in step.get("menu", {}).items():
            state = powerpoint_state(machine)
            if state is None:
                raise Failure("PowerPoint's command bars were never saved")
            compare(f"menu {caption!r} ({expected})", (scenario / expected).read_text(),
                    dump_menu(state, caption))
        if "clipboard" in step:
            compare_clipboard(machine, scenario / step["clipboard"])
        if "state" in step:
            wanted = {"unchanged": before, "first": first}[step["state"]]
            compare(f"PowerPoint's state after {label}", json.dumps(wanted, indent=1),
                    json.dumps(powerpoint_state(machine), indent=1))


def powerpoint_state(machine):
    """PowerPoint's saved state, or None before it has saved one."""
    state = machine.powerpoint_folder() / "commandbars.json"
    return json.loads(state.read_text(encoding="utf-8")) if state.exists() else None


def compare_bars(machine, expected: Path):
    state = powerpoint_state(machine)
    if state is None:
        raise Failure("PowerPoint's command bars were never saved")
    compare(f"command bars ({expected.name})", expected.read_text(encoding="utf-8"), dump_bars(state))


def compare_clipboard(machine, expected: Path):
    compare(f"clipboard ({expected.name})", expected.read_text(),
            "".join(line + "\n" for line in machine.clipboard_formats()))


def run_program_once(machine, program: Path, scenario: Path, settings: dict, run: int):
    app = program.parent
    env = dict(machine.env, **settings.get("environment", {}))
    if settings.get("read_only_app"):
        os.chmod(program, 0o755)
        os.chmod(app, 0o555)
    holders = []
    try:
        for resource in settings.get("hold", []):
            # Another program holding the resource for the whole run.
            holder = subprocess.Popen(machine.hold_command(resource), env=env,
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE)
            holders.append(holder)
            if holder.stdout.readline().rstrip() != b"held":  # CR LF from Windows programs
                raise Failure(f"could not hold the {resource}")
        if "mutex" in settings.get("hold", []):
            # The copy at work has its marker written.
            (app / MARKER_NAME).write_bytes(b"tkwtbar app is running\r\n")
        if settings.get("stale_marker"):
            (app / MARKER_NAME).write_bytes(b"left by a run that was cut short\r\n")
        if settings.get("second_copy_at"):
            result = run_held_at(machine, program, env, settings["second_copy_at"], holders,
                                 lambda: run_second_copy(machine, program, env))
        elif settings.get("registry_at"):
            change = settings["registry_at"]
            result = run_held_at(machine, program, env, change["line"], holders,
                                 lambda: machine.change_registry(scenario / change["registry"]))
        else:
            result = machine.run_program(program, env,
                                         preexec_fn=drop_root if settings.get("read_only_app") else None)
    finally:
        release(holders)

    where = f" (run {run})" if settings.get("runs", 1) > 1 else ""
    if result.returncode != 0:
        raise Failure(f"exit code {result.returncode}{where}; stderr:\n{result.stderr.decode(errors='replace')}")
    if result.stdout:
        raise Failure(f"unexpected standard output{where}: {result.stdout!r}")
    compare("standard error", settings.get("stderr", ""), result.stderr.decode("utf-8", errors="replace"))

    marker_left = (app / MARKER_NAME).exists()
    if marker_left != settings.get("marker", False):
        raise Failure(f"marker file {'left behind' if marker_left else 'missing'}{where}")

    log = app / LOG_NAME
    if settings.get("log", True):
        if not log.exists():
            raise Failure("no log written")
        raw = log.read_bytes()
        if not raw.endswith(b"\r\n") or b"\n" in raw.replace(b"\r\n", b""):
            raise Failure("log lines do not all end in CR LF")
        encoding = ENCODINGS[settings.get("code_page", 1252)]
        try:
            lines = raw.decode(encoding).split("\r\n")
        except UnicodeDecodeError as error:
            raise Failure(f"the log is not in the code page's encoding, {encoding}: {error}")
        if not DATE_LINE.match(lines[0]):
            raise Failure(f"first line is no date and time: {lines[0]!r}")
        actual = "\r\n".join("{date}" if DATE_LINE.match(line) else line for line in lines)
        expected_log = scenario / f"expected.{run}.log"
        if not expected_log.exists():
            expected_log = scenario / "expected.log"
        expected = expected_log.read_text(encoding=encoding).replace("\r\n", "\n")
        expected = expected.replace("\n", "\r\n").replace("{app}", windows_path(app))
        compare(f"log{where}", expected, actual)
    elif log.exists():
        raise Failure("a log was written with logging off")

    if (scenario / "expected_clipboard.txt").exists():
        compare_clipboard(machine, scenario / "expected_clipboard.txt")

    if not settings.get("powerpoint", True) and machine.powerpoint_folder().exists():
        raise Failure("PowerPoint was touched")

    if (scenario / "expected_bars.txt").exists():
        compare_bars(machine, scenario / "expected_bars.txt")

    for resource, holder in zip(settings.get("hold", []), holders):
        if resource == "clipboard-watcher":
            check_watched_changes(holder.said, where)


def release(holders: list):
    """Lets the holders go, keeping what each printed after "held" as its `said`."""
    for holder in holders:
        if holder.stdin.closed:
            continue
        holder.stdin.close()
        holder.said = holder.stdout.read().decode(errors="replace").replace("\r\n", "\n")
        holder.wait()


# What keeps a change out of clipboard history and the cloud clipboard, and the formats of the
# program's face.
OUT_OF_HISTORY = {"ExcludeClipboardContentFromMonitorProcessing", "CanIncludeInClipboardHistory",
                  "CanUploadToCloudClipboard"}
FACE_FORMATS = {"8", "Toolbar Button Face", "Toolbar Button Mask"}


def check_watched_changes(said: str, where: str):
    """The clipboard watcher's lines, "held|excluded|busy: <format>, <format>...", one for each
    change it saw: what it did and the formats of interest that the contents held."""
    verdicts = []
    for line in said.splitlines():
        verdict, _, listed = line.partition(": ")
        formats = set(listed.split(", ")) if listed else set()
        if formats & FACE_FORMATS and not OUT_OF_HISTORY <= formats:
            raise Failure(f"the face went into clipboard history{where}: {line}")
        verdicts.append(verdict)
    if "held" not in verdicts:
        raise Failure(f"the clipboard watcher never held the clipboard during the run{where}: "
                      f"{said!r}")


def run_held_at(machine, program: Path, env: dict, line: str, holders: list, meanwhile):
    """Runs the program and, once it has logged `line` (the holders keep it there), calls
    `meanwhile`; then lets the holders go. Gives the program's result."""
    first = {}
    worker = threading.Thread(target=lambda: first.update(result=machine.run_program(program, env)))
    worker.start()
    try:
        log, wanted = program.parent / LOG_NAME, line.encode("cp1252") + b"\r\n"
        deadline = time.monotonic() + 60
        while not (log.exists() and wanted in log.read_bytes()):
            if not worker.is_alive() or time.monotonic() > deadline:
                raise Failure(f"the program never logged {line!r} while held")
            time.sleep(0.05)
        meanwhile()
    finally:
        release(holders)
        worker.join()
    return first["result"]


def run_second_copy(machine, program: Path, env: dict):
    """A second copy from the same folder as the held first, run to its end."""
    second = machine.run_program(program, env, copy=2)
    if second.returncode != 0 or second.stdout or second.stderr:
        raise Failure(f"the second copy ended with {second.returncode}: "
                      f"{(second.stdout + second.stderr).decode(errors='replace')}")


def run_all(machine, exe: Path, names: list) -> tuple:
    """Runs the scenarios `names`, printing a line for each; gives the counts passed, failed
    and skipped."""
    passed = failed = skipped = 0
    for name in names:
        with tempfile.TemporaryDirectory(prefix=f"tkw-{name}-") as work:
            try:
                run_scenario(machine, exe, HERE / name, Path(work))
                passed += 1
                print(f"PASS {name}")
            except Skipped as reason:
                skipped += 1
                print(f"SKIP {name}: {reason}")
            except Failure as failure:
                failed += 1
                print(f"FAIL {name}: {failure}")
            finally:
                machine.finish()
    return passed, failed, skipped


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", type=Path, help="the program to run")
    parser.add_argument("--hold", type=Path, help="the tkw_hold tool of the same build")
    parser.add_argument("--wine", type=Path, metavar="TOOLS",
                        help="run the Windows build under Wine, with the stand-in servers and "
                             "tkw_clipboard.exe of the folder TOOLS")
    parser.add_argument("scenarios", nargs="*", help="scenario names (default: all)")
    parser.add_argument("--dump", type=Path, help="print the bars of a commandbars.json and stop")
    args = parser.parse_args()
    if args.dump:
        sys.stdout.write(dump_bars(json.loads(args.dump.read_text(encoding="utf-8"))))
        return 0
    if not args.exe or not args.hold:
        parser.error("--exe and --hold are needed to run scenarios")

    names = args.scenarios or all_scenarios()
    exe, hold = args.exe.resolve(), args.hold.resolve()
    if not args.wine:
        counts = run_all(LinuxMachine(hold), exe, names)
    else:
        with WinePrefix() as prefix, WineMachine(prefix, args.wine, architecture_of(exe)) as wine:
            counts = run_all(WineScenarioMachine(wine, hold), exe, names)
    print("{} passed, {} failed, {} skipped".format(*counts))
    return 1 if counts[1] else 0


def all_scenarios() -> list:
    return sorted(p.name for p in HERE.iterdir() if (p / "registry.reg").exists())


if __name__ == "__main__":
    sys.exit(main())

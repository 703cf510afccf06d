"""Emulated machines for the reliability checks: made to measure, run, and judged whole.

A machine is a prefix folder as the Linux build reads it (see the README): registry.reg,
drive_c with the product's icons, the clipboard and PowerPoint's state. The program runs from a
folder of its own (its log and marker go there) with TKW_PREFIX naming the machine.
"""

import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]
ICONS = REPOSITORY / "examples" / "machine" / "drive_c" / "Program Files" / "Tarnwick" / "Glintwave" / "Addins"
PROGRAM_NAME = "tkwPPTToolbarAdder"
LOG, MARKER = "tkwtbrloggin.txt", "tkwtbrstrtd.txt"
# What the user had on the clipboard before any run: text, as CF_TEXT.
USER_CLIPBOARD = {"1": b"The user's own text\0"}


class Tally:
    """Counts the cases of one check: says when it starts, how far it has come every
    PROGRESS_SECONDS, and the closing line."""

    PROGRESS_SECONDS = 15

    def __init__(self, name: str):
        self.name = name
        self.passed = self.failed = 0
        self.said = time.monotonic()
        print(f"{self.name}: started", flush=True)

    def check(self, case: str, failures: list):
        if failures:
            self.failed += 1
            print(f"  FAIL {case}: " + "; ".join(failures), flush=True)
        else:
            self.passed += 1
        if time.monotonic() - self.said >= self.PROGRESS_SECONDS:
            self.said = time.monotonic()
            print(f"  {self.passed + self.failed} cases so far, {self.failed} failed", flush=True)

    def close(self) -> int:
        print(f"{self.name}: {self.passed} passed, {self.failed} failed", flush=True)
        return 1 if self.failed else 0


def program(build: str = "dev") -> Path:
    return REPOSITORY / "build" / build / PROGRAM_NAME


def toolbar_definitions(count: int, bar: str = "Tarnwick") -> list:
    return [(f"{n:05} button", f"{bar} {n % 4},Button {n},Mac.b{n},tkw.b{n},Glintwave,new.bmp,Tip {n}")
            for n in range(count)]


def menu_definitions(count: int) -> list:
    menus = ["&File", "&Insert", "&Tools", "&Help"]
    return [(f"{n:05} menu", f"{menus[n % 4]},Menu {n},Mac.m{n},,Glintwave,chart.bmp")
            for n in range(count)]


def registry_text(toolbar: list, menus: list, logging: bool = True, install_folder=None,
                  clipboard_component: bool = True) -> str:
    folder = install_folder or "C:\\\\Program Files\\\\Tarnwick\\\\Glintwave"
    component = ("[HKEY_CLASSES_ROOT\\AtlClipBoard.Clipboard\\CLSID]\n"
                 '@="{6C1B6E43-2F7D-4E43-9A3E-5C8E0F3A7D21}"\n\n') if clipboard_component else ""
    values = "".join(f'"{name}"="{data}"\n' for name, data in toolbar)
    menu_values = "".join(f'"{name}"="{data}"\n' for name, data in menus)
    return ("Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CLASSES_ROOT\\PowerPoint.Application\\CLSID]\n"
            '@="{91493441-5A91-11CF-8700-00AA0060263B}"\n\n' + component +
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n" + values +
            f'"Logging"=dword:{int(logging):08x}\n\n'
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Glintwave]\n"
            f'"InstallFolder"="{folder}"\n\n'
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\n" + menu_values)


def make_machine(prefix: Path, toolbar: list, menus: list, logging: bool = True,
                 registry: str = None) -> Path:
    """A machine with the given definitions, Glintwave's icons and the user's clipboard."""
    prefix.mkdir(parents=True, exist_ok=True)
    (prefix / "registry.reg").write_text(registry or registry_text(toolbar, menus, logging))
    addins = prefix / "drive_c" / "Program Files" / "Tarnwick" / "Glintwave" / "Addins"
    shutil.copytree(ICONS, addins, dirs_exist_ok=True)
    set_clipboard(prefix, USER_CLIPBOARD)
    return prefix


def set_clipboard(prefix: Path, formats: dict):
    folder = prefix / "clipboard"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for name, data in formats.items():
        (folder / name).write_bytes(data)


def clipboard(prefix: Path) -> dict:
    folder = prefix / "clipboard"
    return {p.name: p.read_bytes() for p in folder.iterdir()} if folder.is_dir() else {}


def app_folder(folder: Path, exe: Path) -> Path:
    """A folder holding a copy of the program, for it to keep its log and marker in."""
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy2(exe, folder / PROGRAM_NAME)
    return folder / PROGRAM_NAME


def environment(prefix: Path) -> dict:
    # ASan's reports go to standard error with a non-zero exit; leaks count too.
    return dict(os.environ, TKW_PREFIX=str(prefix), ASAN_OPTIONS="detect_leaks=1:abort_on_error=0")


def start(exe: Path, prefix: Path, **kwargs) -> subprocess.Popen:
    return subprocess.Popen([str(exe)], env=environment(prefix), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, **kwargs)


def run(exe: Path, prefix: Path, timeout: float = 120, **kwargs) -> subprocess.CompletedProcess:
    return subprocess.run([str(exe)], env=environment(prefix), capture_output=True,
                          timeout=timeout, **kwargs)


def log_lines(app: Path) -> list:
    log = app / LOG
    return log.read_bytes().decode("cp1252").split("\r\n")[:-1] if log.exists() else []


def kind_of_log(lines: list) -> str:
    """"full", "refused" or what is wrong with it."""
    if lines[1:] == ["Creating Mutex", "Creating Mutex Failed"]:
        return "refused"
    if len(lines) > 2 and lines[1] == "Creating Mutex" and lines[-1] == "Work completed successfully":
        return "full"
    return f"neither whole nor refused ({len(lines)} lines, last {lines[-1:]!r})"


def state_faults(prefix: Path) -> list:
    """What is wrong with PowerPoint's state file: not whole JSON, or a tag twice on a bar, or
    a caption twice in a menu of ours."""
    state = prefix / "powerpoint" / "commandbars.json"
    if not state.exists():
        return []
    try:
        bars = json.loads(state.read_text(encoding="utf-8"))["commandBars"]
    except (ValueError, KeyError, TypeError) as error:
        return [f"commandbars.json is not whole: {error}"]
    faults = []
    for bar in bars:
        tags = []

        def walk(controls):
            for control in controls:
                if control["tag"]:
                    tags.append(control["tag"])
                walk(control.get("controls", []))
        walk(bar["controls"])
        if len(tags) != len(set(tags)):
            faults.append(f"a tag stands twice on bar {bar['name']!r}")
        if bar["name"] == "Menu Bar":
            for menu in bar["controls"]:
                ours = [c["caption"] for c in menu.get("controls", []) if not c["builtIn"]]
                if len(ours) != len(set(ours)):
                    faults.append(f"a control of ours stands twice in menu {menu['caption']!r}")
    return faults


def bars(prefix: Path) -> dict:
    """Our buttons by tag and our menu controls by caption, as PowerPoint's state has them."""
    state = prefix / "powerpoint" / "commandbars.json"
    found = {"buttons": set(), "menu controls": set()}
    for bar in json.loads(state.read_text(encoding="utf-8"))["commandBars"]:
        for control in bar["controls"]:
            if bar["name"] == "Menu Bar":
                found["menu controls"].update(c["caption"] for c in control.get("controls", [])
                                              if not c["builtIn"])
            elif control["tag"]:
                found["buttons"].add(control["tag"])
    return found


def expected_bars(toolbar: list, menus: list) -> dict:
    return {"buttons": {data.split(",")[3] for _, data in toolbar},
            "menu controls": {data.split(",")[1] for _, data in menus}}


def message_boxes(stderr: bytes) -> list:
    return [line for line in stderr.decode(errors="replace").splitlines()
            if line.startswith("MessageBox [")]


def sanitizer_report(stderr: bytes) -> str:
    text = stderr.decode(errors="replace")
    for marker in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"):
        if marker in text:
            start = text.index(marker)
            return text[start:start + 300]
    return ""


def main_guard(function):
    """Runs a check's main with its arguments and exits with its status."""
    sys.exit(function(sys.argv[1:]))

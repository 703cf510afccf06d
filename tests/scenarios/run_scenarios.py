#!/usr/bin/env python3
"""Runs the program on prepared machines and compares what it leaves behind.

Each folder beside this script is one scenario:
  registry.reg          the machine's registry
  files/                laid into the machine as they are (drive_c/..., powerpoint/..., clipboard/...)
  expected.log          the diagnostic log; "{date}" stands for the first line's date and time,
                        "{app}" for the executable's folder as the program sees it
  expected_bars.txt     optional: the command bars the run leaves, as dump_bars() writes them
  scenario.json         optional settings: "log": false when no log may appear,
                        "hold": ["mutex", "clipboard"] what other programs hold during the run,
                        "stderr": the exact standard error, "marker": true when the marker stays,
                        "stale_marker": true to leave an earlier run's marker beside the program,
                        "read_only_app": true to run as a user who cannot write the program's folder,
                        "powerpoint": false when PowerPoint must not have been touched
  expected_clipboard.txt  optional: the clipboard's formats after the run, "<format> <bytes>" each

The machine is an emulated Windows prefix (TKW_PREFIX) for the Linux build.
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
from pathlib import Path

HERE = Path(__file__).resolve().parent
DATE_LINE = re.compile(r"^\d{1,2}/\d{1,2}/\d{4}( \d{1,2}:\d{2}:\d{2} [AP]M)?$")
LOG_NAME = "tkwtbrloggin.txt"
MARKER_NAME = "tkwtbrstrtd.txt"


def windows_path(path: Path) -> str:
    return "Z:" + str(path).replace("/", "\\")


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


def drop_root():
    """Runs the program as "nobody", for whom permissions hold even when the tests run as root."""
    if os.getuid() == 0:
        os.setgid(65534)
        os.setuid(65534)


class Failure(Exception):
    pass


def compare(what: str, expected: str, actual: str):
    if expected != actual:
        import difflib
        diff = "".join(difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                            f"expected {what}", f"actual {what}"))
        raise Failure(f"{what} differs:\n{diff}")


def run_scenario(exe: Path, hold: Path, scenario: Path, work: Path):
    settings = json.loads((scenario / "scenario.json").read_text()) if (scenario / "scenario.json").exists() else {}
    prefix = work / "prefix"
    app = work / "app"
    app.mkdir(parents=True)
    prefix.mkdir()
    shutil.copy2(exe, app / exe.name)
    shutil.copy2(scenario / "registry.reg", prefix / "registry.reg")
    if (scenario / "files").is_dir():
        shutil.copytree(scenario / "files", prefix, dirs_exist_ok=True)

    env = dict(os.environ, TKW_PREFIX=str(prefix))
    if settings.get("read_only_app"):
        # The machine stays writable for the unprivileged user; the program's folder does not.
        for folder, dirs, files in os.walk(work):
            os.chmod(folder, 0o777)
            for name in files:
                os.chmod(os.path.join(folder, name), 0o666)
        os.chmod(app / exe.name, 0o755)
        os.chmod(app, 0o555)
    holders = []
    try:
        for resource in settings.get("hold", []):
            # Another program holding the resource for the whole run.
            holder = subprocess.Popen([str(hold), resource], env=env, stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE)
            holders.append(holder)
            if holder.stdout.readline() != b"held\n":
                raise Failure(f"could not hold the {resource}")
        if "mutex" in settings.get("hold", []):
            # The copy at work has its marker written.
            (app / MARKER_NAME).write_bytes(b"tkwtbar app is running\r\n")
        if settings.get("stale_marker"):
            (app / MARKER_NAME).write_bytes(b"left by a run that was cut short\r\n")
        result = subprocess.run([str(app / exe.name)], env=env, capture_output=True, timeout=120,
                                preexec_fn=drop_root if settings.get("read_only_app") else None)
    finally:
        for holder in holders:
            holder.stdin.close()
            holder.wait()

    if result.returncode != 0:
        raise Failure(f"exit code {result.returncode}; stderr:\n{result.stderr.decode(errors='replace')}")
    if result.stdout:
        raise Failure(f"unexpected standard output: {result.stdout!r}")
    compare("standard error", settings.get("stderr", ""), result.stderr.decode("utf-8", errors="replace"))

    marker_left = (app / MARKER_NAME).exists()
    if marker_left != settings.get("marker", False):
        raise Failure(f"marker file {'left behind' if marker_left else 'missing'}")

    log = app / LOG_NAME
    if settings.get("log", True):
        if not log.exists():
            raise Failure("no log written")
        raw = log.read_bytes()
        if not raw.endswith(b"\r\n") or b"\n" in raw.replace(b"\r\n", b""):
            raise Failure("log lines do not all end in CR LF")
        lines = raw.decode("cp1252").split("\r\n")
        if not DATE_LINE.match(lines[0]):
            raise Failure(f"first line is no date and time: {lines[0]!r}")
        actual = "\r\n".join(["{date}"] + lines[1:])
        expected = (scenario / "expected.log").read_text(encoding="cp1252").replace("\r\n", "\n")
        expected = expected.replace("\n", "\r\n").replace("{app}", windows_path(app))
        compare("log", expected, actual)
    elif log.exists():
        raise Failure("a log was written with logging off")

    if (scenario / "expected_clipboard.txt").exists():
        folder = prefix / "clipboard"
        formats = sorted(f"{p.name} {p.stat().st_size}" for p in folder.iterdir()) if folder.is_dir() else []
        compare("clipboard", (scenario / "expected_clipboard.txt").read_text(),
                "".join(line + "\n" for line in formats))

    if not settings.get("powerpoint", True) and (prefix / "powerpoint").exists():
        raise Failure("PowerPoint was touched")

    if (scenario / "expected_bars.txt").exists():
        state = prefix / "powerpoint" / "commandbars.json"
        if not state.exists():
            raise Failure("PowerPoint's command bars were never saved")
        compare("command bars", (scenario / "expected_bars.txt").read_text(),
                dump_bars(json.loads(state.read_text(encoding="utf-8"))))


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", type=Path, help="the program to run")
    parser.add_argument("--hold", type=Path, help="the tkw_hold tool of the same build")
    parser.add_argument("scenarios", nargs="*", help="scenario names (default: all)")
    parser.add_argument("--dump", type=Path, help="print the bars of a commandbars.json and stop")
    args = parser.parse_args()
    if args.dump:
        sys.stdout.write(dump_bars(json.loads(args.dump.read_text(encoding="utf-8"))))
        return 0
    if not args.exe or not args.hold:
        parser.error("--exe and --hold are needed to run scenarios")

    names = args.scenarios or sorted(p.name for p in HERE.iterdir() if (p / "registry.reg").exists())
    passed = failed = 0
    for name in names:
        with tempfile.TemporaryDirectory(prefix=f"tkw-{name}-") as work:
            try:
                run_scenario(args.exe.resolve(), args.hold.resolve(), HERE / name, Path(work))
                passed += 1
                print(f"PASS {name}")
            except Failure as failure:
                failed += 1
                print(f"FAIL {name}: {failure}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""A new user's path through the README, on the build: the program steps of scripts/run-example,
then every command the sections "Checking definitions" and "Deploying to many machines" show
after a "$" prompt, as written, each compared with the output and exit status the README gives.

Commands and output are read from README.md and scripts/run-example themselves, so that neither
can drift from what the build does; and every program the README runs from build/dev/ must be
one scripts/run-example builds. Everything runs in a fresh folder laid out as a clone after
scripts/run-example: build/dev/ holds copies of the built programs the commands name, with the
example machine as build/dev/prefix, beside copies of examples/ and the snapshot the README
uses. In the README's output "..." standing alone on a line stands for any lines, and between
blanks for any text. "DIR" is a copy of the example machine after a run, PowerPoint open, fresh
for each block that names it.

The lines in the README without a prompt are synopses with placeholders (FILE.reg, old.reg) or
Windows commands (tkwcheck.exe, regedit, reg.exe, regsvr32): they are left out.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

SECTIONS = ("## Checking definitions", "## Deploying to many machines")
SUMMARY = re.compile(r"^(\d+) errors?, (\d+) warnings?$")


def sections(readme):
    """The README's lines in the sections walked through."""
    lines, keep = [], False
    for line in readme.splitlines():
        if line.startswith("## "):
            keep = line.startswith(SECTIONS)
        if keep:
            lines.append(line)
    return lines


def transcripts(lines):
    """Each indented block holding "$ " commands, as a list of (command, expected output)."""
    blocks, block = [], None
    for line in lines + ["end"]:
        if line.startswith("    "):
            block = [] if block is None else block
            if line[4:].startswith("$ "):
                block.append((line[6:], []))
            elif block:
                block[-1][1].append(line[4:])
        elif line.strip() == "" and block is not None:
            if block:
                block[-1][1].append("")  # a blank line of the output, or the block's end
        else:
            if block:
                for _, output in block:
                    while output and output[-1] == "":
                        output.pop()
                blocks.append(block)
            block = None
    return blocks


def pattern(expected):
    """A regular expression for the README's output, with its elisions."""
    parts = []
    for line in expected:
        if line.strip() == "...":
            parts.append(r"(?:[^\n]*\n)*?")
            continue
        pieces = re.split(r"(?:(?<=\s)|^)\.\.\.(?=\s|$)", line)
        parts.append(".*?".join(re.escape(p) for p in pieces) + r"\n")
    return re.compile("".join(parts), re.S)


def expected_status(expected):
    """0 when nothing is found, 1 when the summary counts errors or warnings."""
    summary = SUMMARY.match(expected[-1]) if expected else None
    return 1 if summary and (int(summary[1]) or int(summary[2])) else 0


class Clone:
    def __init__(self, source, build, folder):
        self.source, self.build, self.folder = source, build, folder
        self.environment = {k: v for k, v in os.environ.items() if k != "TKW_PREFIX"}
        shutil.copytree(source / "examples", folder / "examples")
        shutil.copytree(source / "tests/scenarios/localized_powerpoint",
                        folder / "tests/scenarios/localized_powerpoint")
        shutil.copytree(source / "examples/machine", folder / "build/dev/prefix")
        self.machines = 0

    def lay_program(self, command):
        """Copies the built program a command starts with, as build/dev/... names it."""
        first = command.split()[0]
        if first.startswith("build/dev/"):
            relative = first[len("build/dev/"):]
            target = self.folder / first
            if not target.exists():
                target.parent.mkdir(parents=True, exist_ok=True)
                shutil.copy2(self.build / relative, target)

    def run(self, command):
        self.lay_program(command)
        return subprocess.run(["bash", "-c", command], cwd=self.folder, env=self.environment,
                              capture_output=True, text=True, timeout=300)

    def machine_after_a_run(self):
        """A fresh copy of the example machine, after one run of the program."""
        self.machines += 1
        name = f"machine{self.machines}"
        shutil.copytree(self.source / "examples/machine", self.folder / name)
        self.lay_program("build/dev/tkwPPTToolbarAdder")
        subprocess.run([self.folder / "build/dev/tkwPPTToolbarAdder"], check=True,
                       env=dict(self.environment, TKW_PREFIX=str(self.folder / name)))
        return name


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", type=Path, required=True)
    parser.add_argument("--build", type=Path, required=True)
    arguments = parser.parse_args()
    source = arguments.source.resolve()
    failures, passed = [], 0

    def check(what, result, status, expected=None):
        nonlocal passed
        why = []
        if result.returncode != status:
            why.append(f"exit status {result.returncode}, not {status}")
        if result.stderr:
            why.append("standard error: " + result.stderr.strip())
        if expected is not None and not pattern(expected).fullmatch(result.stdout):
            why.append("output differs from the README's:\n" + result.stdout +
                       "-- the README shows:\n" + "\n".join(expected))
        if why:
            failures.append(f"{what}: " + "; ".join(why))
        else:
            print("ok", what)
            passed += 1

    # scripts/run-example builds every program the README runs from build/dev.
    script = (source / "scripts/run-example").read_text().replace("\\\n", " ")
    build_line = re.search(r"^cmake --build --preset dev --target (.*)$", script, re.M)
    targets = set(build_line[1].split()) if build_line else set()
    readme = (source / "README.md").read_text()
    called = set(re.findall(r"^    (?:\$ )?build/dev/(?:tests/)?(\w+)", readme, re.M))
    if called - targets:
        failures.append(f"scripts/run-example does not build {sorted(called - targets)}, "
                        "which the README runs")

    with tempfile.TemporaryDirectory() as folder:
        clone = Clone(source, arguments.build.resolve(), Path(folder))
        # The program steps of scripts/run-example; their output is shown for reading.
        for line in (source / "scripts/run-example").read_text().splitlines():
            if line.startswith("build/dev/"):
                check(f"scripts/run-example: {line}", clone.run(line), 0)
        log = (clone.folder / "build/dev/tkwtbrloggin.txt").read_text(errors="replace").splitlines()
        if log[1:2] != ["Creating Mutex"] or log[-1:] != ["Work completed successfully"]:
            failures.append("the run's log does not go as the README says: " + repr(log[:2] + log[-1:]))

        for block in transcripts(sections(readme)):
            machine = None
            for command, expected in block:
                if "DIR" in command and machine is None:
                    machine = clone.machine_after_a_run()
                if "# after a second run" in command:
                    clone.run("build/dev/tkwPPTToolbarAdder")
                if machine:
                    command = command.replace("DIR", machine)
                    expected = [line.replace("DIR", machine) for line in expected]
                check("$ " + command, clone.run(command), expected_status(expected), expected)

    for failure in failures:
        print("FAILED", failure)
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures or passed == 0 else 0


if __name__ == "__main__":
    sys.exit(main())

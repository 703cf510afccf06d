#!/usr/bin/env python3
"""Holds every shipped Windows executable to the oldest Windows the project names.

Reads each executable's PE header (the Windows version it declares) and its import table with
the cross toolchain's objdump, and fails when the declared version is not the one CMakeLists.txt
sets (TKW_WINDOWS_MINIMUM), when an import is not in tests/windows_imports.txt (look it up in
Microsoft's documentation, "Minimum supported client", and add it), or when it came to Windows
after that version: there the loader refuses the program before it runs.

  check_imports.py build/mingw64 build/mingw32
"""

import argparse
import re
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
SHIPPED = ("tkwPPTToolbarAdder.exe", "tkwcheck.exe", "tkwremove.exe")
HEADER_FIELDS = ("MajorOSystemVersion", "MinorOSystemVersion", "MajorSubsystemVersion",
                 "MinorSubsystemVersion")


def version(text: str) -> tuple:
    return tuple(int(part) for part in text.split("."))


def declared_minimum() -> tuple:
    cmake = (HERE.parent / "CMakeLists.txt").read_text()
    found = re.search(r'set\(TKW_WINDOWS_MINIMUM "?(\d+\.\d+)"?', cmake)
    if not found:
        sys.exit("check_imports: CMakeLists.txt sets no TKW_WINDOWS_MINIMUM")
    return version(found.group(1))


def known_imports() -> dict:
    """(DLL, function) in lower case -> the Windows version that brought it."""
    table = {}
    for number, line in enumerate((HERE / "windows_imports.txt").read_text().splitlines(), 1):
        line = line.split("#", 1)[0].strip()
        if line:
            dll, function, since = line.split()
            table[(dll.lower(), function)] = version(since)
    return table


def read_pe(executable: Path) -> tuple:
    """The header's version fields and the imports, as (DLL, function) pairs."""
    dump = None
    for objdump in ("x86_64-w64-mingw32-objdump", "i686-w64-mingw32-objdump"):
        result = subprocess.run([objdump, "-p", str(executable)], capture_output=True, text=True)
        if result.returncode == 0:
            dump = result.stdout
            break
    if dump is None:
        raise RuntimeError(f"objdump cannot read {executable}")
    header = {name: int(value) for name, value in re.findall(r"^(\w+)\s+(\d+)$", dump, re.M)
              if name in HEADER_FIELDS}
    imports, dll = [], None
    for line in dump.splitlines():
        named = re.match(r"\s+DLL Name: (\S+)", line)
        if named:
            dll = named.group(1)
            continue
        entry = re.match(r"\t[0-9a-f]+\s+\d+\s+(\w+)$", line)
        if dll and entry:
            imports.append((dll, entry.group(1)))
    return header, imports


def faults_of(executable: Path, minimum: tuple, table: dict) -> list:
    header, imports = read_pe(executable)
    faults = []
    for kind, what in (("OSystem", "operating system"), ("Subsystem", "subsystem")):
        declared = (header.get(f"Major{kind}Version"), header.get(f"Minor{kind}Version"))
        if declared != minimum:
            faults.append(f"its header declares {what} version "
                          f"{declared[0]}.{declared[1]}, not {minimum[0]}.{minimum[1]}")
    for dll, function in imports:
        since = table.get((dll.lower(), function))
        if since is None:
            faults.append(f"imports {dll} {function}, which tests/windows_imports.txt does not "
                          f"know: add the Windows version that brought it")
        elif since > minimum:
            faults.append(f"imports {dll} {function}, which Windows gained in version "
                          f"{since[0]}.{since[1]}: the loader refuses the program before that")
    return faults


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("builds", nargs="+", type=Path, help="build folders of the mingw presets")
    args = parser.parse_args()
    minimum, table = declared_minimum(), known_imports()
    failed = 0
    for build in args.builds:
        for name in SHIPPED:
            executable = build / name
            faults = [f"{executable} is missing"] if not executable.exists() else \
                faults_of(executable, minimum, table)
            failed += bool(faults)
            print(f"{'FAIL' if faults else 'PASS'} {executable}")
            for fault in faults:
                print(f"  {fault}")
    print(f"imports for Windows {minimum[0]}.{minimum[1]}: "
          f"{len(args.builds) * len(SHIPPED) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

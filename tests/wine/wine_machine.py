"""Wine machines for the Windows builds' tests.

WinePrefix is one Wine prefix served by one persistent wineserver. WINEPREFIX, when set to a
prefix that exists, is used as it is (its owner ends its wineserver); otherwise a fresh prefix is
made in a temporary folder and removed at the end.

WineMachine is one build's view of a prefix: that build's stand-in automation servers, laid in
C:\\tkw\\<architecture>\\ and registered as COM servers register themselves
(tkw_powerpoint.exe /RegServer, and regsvr32 of the same architecture for tkw_atl_clipboard.dll),
so that they land in the registry view that the build's architecture reads. The stand-ins and
tools come from the folder `tools` of the build (tests/wine).
"""

import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
# Debian keeps the loaders out of PATH. "wine" is the 32-bit loader, which hands 64-bit programs
# on to wine64; it exists only with wine32.
WINE32 = shutil.which("wine", path="/usr/lib/wine")
WINE64 = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
ARCHITECTURES = ("x86_64", "i686")
LOADERS = {"x86_64": WINE64, "i686": WINE32}
# Each started by its own architecture's loader: Wine gives a builtin program the architecture
# of the loader that starts it.
REGEDITS = {"x86_64": "C:\\windows\\regedit.exe", "i686": "C:\\windows\\syswow64\\regedit.exe"}


def windows_path(path: Path) -> str:
    """The path as a program under Wine sees it: the Linux root is drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def architecture_of(program: Path) -> str:
    """The architecture a Windows executable is built for, from its PE header."""
    data = program.read_bytes()[:4096]
    header = int.from_bytes(data[0x3C:0x40], "little")
    machine = int.from_bytes(data[header + 4:header + 6], "little")
    return {0x8664: "x86_64", 0x14C: "i686"}[machine]


def missing_loader(architecture: str):
    """Why programs of `architecture` cannot run here, or None when they can."""
    if architecture == "i686" and not WINE32:
        unavailable = HERE.parent.parent / "build" / "wine32-unavailable"
        if unavailable.exists():
            return unavailable.read_text().strip()
        return "wine32 is not installed (Debian's wine32:i386)"
    return None


class WinePrefix:
    def __init__(self):
        self.own_folder = None
        prefix = os.environ.get("WINEPREFIX")
        if not prefix or not (Path(prefix) / "system.reg").exists():
            self.own_folder = Path(tempfile.mkdtemp(prefix="tkw-wine-"))
            prefix = str(self.own_folder / "prefix")
        self.path = Path(prefix)
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    def __enter__(self):
        if self.own_folder:
            self.path.mkdir()
            subprocess.run([WINESERVER, "-p"], env=self.env, check=True)
            with tempfile.TemporaryFile() as output:
                booted = subprocess.run([WINE64, "wineboot", "-i"], env=self.env, stdout=output,
                                        stderr=output, timeout=300)
            if booted.returncode != 0:
                raise RuntimeError("wineboot could not make the prefix")
            # The desktop that wineboot starts asks for COM's RPC service before the prefix can
            # start it, and leaves it unable to start for the life of that wineserver; COM's
            # local servers need it. A new wineserver starts it when it is first asked.
            subprocess.run([WINESERVER, "-k"], env=self.env)
            subprocess.run([WINESERVER, "-p"], env=self.env, check=True)
        return self

    def __exit__(self, *exc):
        if self.own_folder:
            subprocess.run([WINESERVER, "-k"], env=self.env)
            shutil.rmtree(self.own_folder, ignore_errors=True)


class WineMachine:
    def __init__(self, prefix: WinePrefix, tools: Path, architecture: str):
        if architecture not in ARCHITECTURES:
            raise ValueError(f"no Windows build for {architecture}")
        self.prefix = prefix.path
        self.env = prefix.env
        self.tools = tools.resolve()
        self.architecture = architecture
        self.wine = LOADERS[architecture]
        # The system's tools of the build's architecture write to the registry view it reads.
        self.regsvr32 = ("C:\\windows\\syswow64\\regsvr32.exe" if architecture == "i686"
                         else "C:\\windows\\system32\\regsvr32.exe")
        self.keeper = None

    @property
    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    @property
    def stand_ins(self) -> str:
        """The folder the build's stand-ins are registered from, as Windows names it."""
        return f"C:\\tkw\\{self.architecture}\\"

    def __enter__(self):
        stand_ins = self.drive_c / "tkw" / self.architecture
        stand_ins.mkdir(parents=True, exist_ok=True)
        for server in ("tkw_powerpoint.exe", "tkw_atl_clipboard.dll"):
            shutil.copy2(self.tools / server, stand_ins)
        for registration in ([self.stand_ins + "tkw_powerpoint.exe", "/RegServer"],
                             [self.regsvr32, "/s", self.stand_ins + "tkw_atl_clipboard.dll"]):
            result = self.run(registration)
            if result.returncode != 0:
                raise RuntimeError(f"{' '.join(registration)} failed: {result.stderr!r}")
        # Wine drops the clipboard soon after the last process using user32 ends; this one
        # outlives every program a test starts.
        self.keeper = subprocess.Popen(self.command(self.tools / "tkw_clipboard.exe", "keep"),
                                       env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        if self.keeper.stdout.readline().rstrip() != b"kept":
            raise RuntimeError("tkw_clipboard keep did not start")
        return self

    def __exit__(self, *exc):
        if self.keeper:
            self.keeper.stdin.close()
            self.keeper.wait()

    def command(self, program, *args: str, architecture=None) -> list:
        return [LOADERS[architecture or self.architecture], str(program), *args]

    def run(self, argv: list, env=None, timeout=120, architecture=None) -> subprocess.CompletedProcess:
        """Runs a Windows program (of the build's architecture unless `architecture` says
        otherwise) and captures its output in files, not pipes: a process that Wine starts on
        the way (the desktop's explorer.exe) would hold a pipe open after the program has
        ended."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(self.command(*argv, architecture=architecture),
                                    env=env or self.env, stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(result.args, result.returncode, out.read(), err.read())

    def import_registry(self, *files: Path, view=None):
        """Imports into the registry view of the build's architecture, or of the architecture
        `view`. On a machine under load regedit now and then fails at once without a word; a
        second try imports the file."""
        view = view or self.architecture
        for file in files:
            for attempt in range(3):
                result = subprocess.run([LOADERS[view], REGEDITS[view], "/S", windows_path(file)],
                                        env=self.env, capture_output=True, timeout=120)
                if result.returncode == 0:
                    break
            else:
                raise RuntimeError(f"regedit could not import {file}: {result.stderr!r}")

    def clipboard(self, action: str, folder: Path):
        """Lays the clipboard from `folder` ("set") or writes it there ("dump")."""
        # A prefix that has just been made may still be starting its desktop, which holds the
        # clipboard for a moment; a second try finds it free.
        for attempt in range(3):
            result = self.run([str(self.tools / "tkw_clipboard.exe"), action, windows_path(folder)])
            if result.returncode == 0:
                return
            time.sleep(1)
        raise RuntimeError(f"tkw_clipboard {action} (exit {result.returncode}): "
                           f"{result.stderr.decode(errors='replace')}")

    def stand_in_failures(self, report: Path, wait: float = 15, stays: bool = False) -> list:
        """What the stand-ins' report (TKW_STAND_IN_REPORT) says went wrong in a run: a
        PowerPoint server that did not end (unless it `stays`, and is ended here), or a server
        left with objects or locks alive."""
        deadline = time.monotonic() + wait
        while True:
            lines = report.read_text().splitlines() if report.exists() else []
            started = lines.count("powerpoint started")
            ended = sum(line.startswith("powerpoint objects") for line in lines)
            if ended >= started or stays or time.monotonic() > deadline:
                break
            time.sleep(0.1)
        failures = []
        if ended < started:
            self.run(["taskkill", "/f", "/im", "tkw_powerpoint.exe"])
            if not stays:
                failures.append("PowerPoint's server did not end: a reference to it was kept")
        left = [line for line in lines
                if (held := re.search(r"objects (\d+) locks (\d+)", line)) and held.groups() != ("0", "0")]
        if left:
            failures.append(f"the stand-ins were left holding references: {left}")
        return failures

    @staticmethod
    def census_failures(report: Path) -> list:
        """What tkw_census found a run kept that it had to give back: the program's own guard
        and COM's proxies (Wine gives each proxy a mutex, so a reference the program never
        released shows as one) and its windows. Wine makes its caches (a screen DC, registry
        and RPC handles) as a run first needs them; those are judged by the census of a growing
        machine instead (run_wine.py)."""
        census = read_census(report)
        if "exit" not in census:
            return ["tkw_census: the program never reached ExitProcess"]
        start, end = census["start"], census["exit"]
        kept = [f"{name} {start.get(name, 0)} at start, {end.get(name, 0)} at exit"
                for name in ("user", "Mutant") if start.get(name, 0) != end.get(name, 0)]
        return [f"the run did not give back what it took: {', '.join(kept)}"] if kept else []


def read_census(report: Path) -> dict:
    """tkw_census_probe's readings: {"start": {...}, "exit": {...}}, each with "gdi", "user",
    "handles" and the handles of each kind."""
    census = {}
    for line in report.read_text().splitlines() if report.exists() else []:
        moment, *fields = line.split()
        reading = {}
        for name, value in zip(fields[0:6:2], fields[1:6:2]):
            reading[name] = int(value)
        for kind in fields[6:]:
            name, _, value = kind.rpartition("=")
            reading[name] = int(value)
        census[moment] = reading
    return census

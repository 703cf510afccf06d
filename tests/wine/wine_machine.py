"""A Wine machine for the Windows build's tests: one prefix with the stand-in automation servers
registered, served by one persistent wineserver.

WINEPREFIX, when set to a prefix that exists, is used as it is (CI makes one per run and ends
its wineserver itself); otherwise a fresh prefix is made in a temporary folder and removed at the
end. The stand-ins (tkw_stand_ins.dll) and tkw_clipboard.exe come from the tools folder of the
x86_64 build.
"""

import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
# Debian keeps the 64-bit loader out of PATH.
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"


def windows_path(path: Path) -> str:
    """The path as a program under Wine sees it: the Linux root is drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class WineMachine:
    def __init__(self, tools: Path):
        self.tools = tools.resolve()
        self.own_prefix = None
        self.keeper = None
        prefix = os.environ.get("WINEPREFIX")
        if not prefix or not (Path(prefix) / "system.reg").exists():
            self.own_prefix = Path(tempfile.mkdtemp(prefix="tkw-wine-"))
            prefix = str(self.own_prefix / "prefix")
        self.prefix = Path(prefix)
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    @property
    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    def __enter__(self):
        if self.own_prefix:
            self.prefix.mkdir()
            subprocess.run([WINESERVER, "-p"], env=self.env, check=True)
            if self.run(["wineboot", "-i"], timeout=300).returncode != 0:
                raise RuntimeError("wineboot could not make the prefix")
        stand_ins = self.drive_c / "tkw"
        stand_ins.mkdir(exist_ok=True)
        shutil.copy2(self.tools / "tkw_stand_ins.dll", stand_ins)
        self.import_registry(HERE / "stand_ins.reg")
        # Wine drops the clipboard soon after the last process using user32 ends; this one
        # outlives every program a test starts.
        self.keeper = subprocess.Popen([WINE, str(self.tools / "tkw_clipboard.exe"), "keep"],
                                       env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        if self.keeper.stdout.readline().rstrip() != b"kept":
            raise RuntimeError("tkw_clipboard keep did not start")
        return self

    def __exit__(self, *exc):
        if self.keeper:
            self.keeper.stdin.close()
            self.keeper.wait()
        if self.own_prefix:
            subprocess.run([WINESERVER, "-k"], env=self.env)
            shutil.rmtree(self.own_prefix, ignore_errors=True)

    def command(self, program: Path, *args: str) -> list:
        return [WINE, str(program), *args]

    def run(self, argv: list, env=None, timeout=120) -> subprocess.CompletedProcess:
        """Runs a Windows program and captures its output in files, not pipes: a process that
        Wine starts on the way (the desktop's explorer.exe) would hold a pipe open after the
        program has ended."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run([WINE, *argv], env=env or self.env, stdout=out, stderr=err,
                                    timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(result.args, result.returncode, out.read(), err.read())

    def import_registry(self, *files: Path):
        for file in files:
            result = self.run(["regedit", "/S", windows_path(file)])
            if result.returncode != 0:
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

#!/usr/bin/env python3
"""Runs on full disks and in folders the user cannot write: the executable's folder and the
machine on small tmpfs mounts, filled up, and an executable's folder that an unprivileged user
runs from.

Every run completes. The message boxes are exactly those the log's failure rules give: one
"StartLogging: " when the log cannot be started, one "RecordLog: " per line that could not be
written, and none else: every line a run means to log is in the log or has its box. PowerPoint's
state and the clipboard stay whole. Mounting needs root; without it the check says so.

  full_disk.py [--rounds 1] [--build dev]
"""

import argparse
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

import machines

TITLE = "MessageBox [RLSToolbarAdder] "


class Mount:
    """A tmpfs of `size` at `folder`, filled up to `leave` bytes free."""

    def __init__(self, folder: Path, size: str, leave: int):
        self.folder = folder
        folder.mkdir(parents=True, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(folder)],
                       check=True, capture_output=True)
        self.leave = leave

    def fill(self):
        free = os.statvfs(self.folder)
        available = free.f_bavail * free.f_frsize - self.leave
        if available > 0:
            with open(self.folder / "filler", "wb") as filler:
                filler.write(b"\0" * available)

    def close(self):
        subprocess.run(["umount", "-l", str(self.folder)], capture_output=True)


def mounting_refused():
    """Why this machine cannot mount a tmpfs here, or None."""
    if os.getuid() != 0:
        return "mounting a tmpfs needs root"
    with tempfile.TemporaryDirectory() as folder:
        try:
            Mount(Path(folder), "64k", 0).close()
        except subprocess.CalledProcessError as error:
            return f"mount refused: {error.stderr.decode(errors='replace').strip()}"
    return None


def drop_root():
    os.setgid(65534)
    os.setuid(65534)


def log_faults(reference: list, present: list, boxes: list) -> list:
    """Each line the run meant to write is in the log or has its own message box."""
    started = [box for box in boxes if box.startswith(TITLE + "StartLogging: ")]
    recorded = [box for box in boxes if box.startswith(TITLE + "RecordLog: ")]
    faults = []
    if len(started) + len(recorded) != len(boxes):
        faults.append(f"message boxes of another kind: {boxes[:3]}")
    if len(started) > 1:
        faults.append(f"{len(started)} StartLogging boxes")
    # Without its first line the log was never started; its lines then have no boxes.
    if started and not present:
        return faults + ([f"{len(recorded)} RecordLog boxes for a log never opened"]
                         if recorded and len(recorded) != len(reference) - 1 else [])
    if len(present) + len(recorded) + len(started) != len(reference):
        faults.append(f"{len(reference)} lines meant, {len(present)} in the log, "
                      f"{len(recorded)} RecordLog and {len(started)} StartLogging boxes")
    # The marker's closing line gives way to its error line when the marker cannot be written.
    for meant, written in zip(reference[1:], present[1:]):
        if meant != written and not (meant == "CreateApplicationStartedFile]" and
                                     written.startswith("Error: CreateApplicationStartedFile: ")):
            faults.append(f"the log holds {written!r} where {meant!r} was meant")
            break
    return faults


def whole_state(prefix: Path, before: bytes) -> list:
    state = prefix / "powerpoint" / "commandbars.json"
    faults = machines.state_faults(prefix)
    if before and not state.exists():
        faults.append("PowerPoint's state is gone")
    return faults


def main(argv) -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rounds", type=int, default=1)
    parser.add_argument("--build", default="dev")
    args = parser.parse_args(argv)
    tally = machines.Tally("full disks and unwritable folders")
    reason = mounting_refused()
    if reason:
        print(f"full disks and unwritable folders: skipped: {reason}")
        return tally.close()
    exe = machines.program(args.build)
    toolbar, menus = machines.toolbar_definitions(30), machines.menu_definitions(10)

    with tempfile.TemporaryDirectory(prefix="tkw-disk-") as work:
        work = Path(work)
        # What a run on a roomy disk logs, and the state and clipboard it leaves.
        roomy = machines.make_machine(work / "roomy", toolbar, menus)
        roomy_app = machines.app_folder(work / "roomy_app", exe)
        machines.run(roomy_app, roomy)
        reference = machines.log_lines(roomy_app.parent)
        for n in range(args.rounds):
            # The executable's folder with room for a few lines, then none, then 0 bytes.
            for leave in (600, 100, 0):
                # Room for the program and 64 KB, then filled up to what is left.
                room = exe.stat().st_size // 1024 + 64
                mount = Mount(work / f"app_mount_{n}_{leave}", f"{room}k", leave)
                try:
                    app = machines.app_folder(mount.folder, exe)
                    prefix = machines.make_machine(work / f"prefix_{n}_{leave}", toolbar, menus)
                    mount.fill()
                    result = machines.run(app, prefix)
                    faults = [] if result.returncode == 0 else [f"exit {result.returncode}"]
                    faults += log_faults(reference, machines.log_lines(mount.folder),
                                         machines.message_boxes(result.stderr))
                    faults += whole_state(prefix, b"")
                    if machines.bars(prefix) != machines.expected_bars(toolbar, menus):
                        faults.append("the run did not add every definition")
                    tally.check(f"the executable's folder full, {leave} bytes left", faults)
                finally:
                    mount.close()

            # The machine on a full disk: PowerPoint's state and the clipboard cannot be
            # written; what was there stays whole.
            mount = Mount(work / f"prefix_mount_{n}", "1m", 0)
            try:
                prefix = machines.make_machine(mount.folder, toolbar, menus)
                shutil.copytree(roomy / "powerpoint", prefix / "powerpoint")
                before = (prefix / "powerpoint" / "commandbars.json").read_bytes()
                machines.set_clipboard(prefix, {**machines.USER_CLIPBOARD,
                                                "Toolbar Button Face": b"x" * 2000})
                mount.fill()
                app = machines.app_folder(work / f"app_{n}", exe)
                result = machines.run(app, prefix)
                faults = [] if result.returncode == 0 else [f"exit {result.returncode}"]
                if machines.kind_of_log(machines.log_lines(app.parent)) != "full":
                    faults.append("the run did not complete")
                if machines.message_boxes(result.stderr):
                    faults.append(f"message boxes: {machines.message_boxes(result.stderr)[:2]}")
                faults += whole_state(prefix, before)
                clipboard = machines.clipboard(prefix)
                if any(clipboard.get(name) not in (data, None) for name, data in
                       {**machines.USER_CLIPBOARD, "Toolbar Button Face": b"x" * 2000}.items()):
                    faults.append("a clipboard format is no longer whole")
                tally.check("the machine on a full disk", faults)
            finally:
                mount.close()

            # An executable's folder that the user cannot write.
            locked = work / f"locked_{n}"
            app = machines.app_folder(locked, exe)
            prefix = machines.make_machine(work / f"locked_prefix_{n}", toolbar, menus)
            for folder, _, files in os.walk(prefix):
                os.chmod(folder, 0o777)
                for name in files:
                    os.chmod(os.path.join(folder, name), 0o666)
            os.chmod(work, 0o755)
            os.chmod(locked, 0o555)
            result = machines.run(app, prefix, preexec_fn=drop_root)
            boxes = machines.message_boxes(result.stderr)
            faults = [] if result.returncode == 0 else [f"exit {result.returncode}"]
            if len(boxes) != 1 or not boxes[0].startswith(TITLE + "StartLogging: "):
                faults.append(f"message boxes {boxes[:3]}, not one StartLogging box")
            faults += whole_state(prefix, b"")
            if machines.bars(prefix) != machines.expected_bars(toolbar, menus):
                faults.append("the run did not add every definition")
            tally.check("an executable's folder the user cannot write", faults)
    return tally.close()


if __name__ == "__main__":
    machines.main_guard(main)

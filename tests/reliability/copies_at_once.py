#!/usr/bin/env python3
"""Many copies of the program started together on one machine, as at a log-on where several
start it at once: each from a folder of its own, and all from one folder.

Every copy must end normally; a copy either works in full or is refused by the single-instance
guard (each own-folder log says which); at most one of them finds the machine fresh, since a copy
that starts after another has worked finds its buttons there; afterwards the machine holds every
definition once, PowerPoint's state is whole, no marker is left, and the clipboard is the user's,
as the last restore left it.

  copies_at_once.py [--copies 20] [--rounds 3] [--build dev]
"""

import argparse
import tempfile
from pathlib import Path

import machines


def one_round(work: Path, exe: Path, copies: int, own_folders: bool) -> list:
    toolbar, menus = machines.toolbar_definitions(40), machines.menu_definitions(20)
    prefix = machines.make_machine(work / "prefix", toolbar, menus)
    if own_folders:
        apps = [machines.app_folder(work / f"app{n}", exe) for n in range(copies)]
    else:
        apps = [machines.app_folder(work / "app", exe)] * copies
    started = [machines.start(app, prefix) for app in apps]
    faults = []
    for process in started:
        _, stderr = process.communicate(timeout=300)
        if process.returncode != 0:
            faults.append(f"a copy ended with {process.returncode}: {stderr[-300:]!r}")
    if own_folders:
        kinds = [machines.kind_of_log(machines.log_lines(app.parent)) for app in apps]
        odd = [kind for kind in kinds if kind not in ("full", "refused")]
        if odd:
            faults.append(f"logs that are neither a full run nor a refusal: {odd[:2]}")
        fresh = sum(1 for app in apps if "ToolBar not exist" in machines.log_lines(app.parent))
        if fresh > 1:
            faults.append(f"{fresh} copies found the machine fresh: they worked at the same time")
    if any((app.parent / machines.MARKER).exists() for app in apps):
        faults.append("a marker was left")
    faults += machines.state_faults(prefix)
    if not faults and machines.bars(prefix) != machines.expected_bars(toolbar, menus):
        faults.append("the bars do not hold every definition")
    if machines.clipboard(prefix) != machines.USER_CLIPBOARD:
        faults.append(f"the clipboard holds {sorted(machines.clipboard(prefix))}, not the user's")
    return faults


def main(argv) -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--copies", type=int, default=20)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--build", default="dev")
    args = parser.parse_args(argv)
    exe = machines.program(args.build)
    tally = machines.Tally(f"copies at once ({args.copies} copies, {args.rounds} rounds each way)")
    for own_folders in (True, False):
        for n in range(args.rounds):
            with tempfile.TemporaryDirectory(prefix="tkw-copies-") as work:
                where = "each from its own folder" if own_folders else "all from one folder"
                tally.check(f"{where}, round {n + 1}", one_round(Path(work), exe, args.copies,
                                                                 own_folders))
    return tally.close()


if __name__ == "__main__":
    machines.main_guard(main)

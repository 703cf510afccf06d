#!/usr/bin/env python3
"""Runs killed half-way: the program on a machine of many definitions is killed (SIGKILL) at a
random moment of its run, again and again, and each time a complete run follows.

After every kill PowerPoint's state file is whole JSON (never half-written), and is still there
if it was before (never lost); every clipboard file is whole (one of the formats a run can leave
there); the next run is not refused (the guard is free again), writes the marker over the stale
one and removes it, and completes. At the end the machine holds every definition once.

  killed_runs.py [--kills 50] [--definitions 2000] [--build dev] [--seed N]
"""

import argparse
import random
import signal
import tempfile
import time
from pathlib import Path

import machines


def written(clipboard: dict) -> set:
    """The clipboard's formats as a run writes them: the last two bytes of a mask block are
    allocated but never written, so they hold whatever the memory held, not the run's data."""
    return {(name, data[:-2] if name == "Toolbar Button Mask" else data)
            for name, data in clipboard.items()}


def whole_formats(work: Path, exe: Path) -> set:
    """Every clipboard file a run can leave whole: the user's, and the face, its copy and its
    mask of each icon, which a run without the clipboard component leaves behind."""
    known = set(machines.USER_CLIPBOARD.items())
    for icon, definition in (("new.bmp", machines.toolbar_definitions(1)),
                             ("chart.bmp", [("m", "&Tools,Menu,Mac,,Glintwave,chart.bmp")])):
        prefix = work / icon
        toolbar, menus = (definition, []) if icon == "new.bmp" else ([], definition)
        machines.make_machine(prefix, toolbar, menus, registry=machines.registry_text(
            toolbar, menus, clipboard_component=False))
        machines.run(machines.app_folder(work / f"app-{icon}", exe), prefix)
        known |= written(machines.clipboard(prefix))
    return known


def whole_clipboard_faults(prefix: Path, known: set) -> list:
    return [f"clipboard format {name} holds {len(data)} bytes no run ever left"
            for name, data in written(machines.clipboard(prefix)) if (name, data) not in known]


def main(argv) -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kills", type=int, default=50)
    parser.add_argument("--definitions", type=int, default=2000)
    parser.add_argument("--build", default="dev")
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args(argv)
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    chance = random.Random(seed)
    exe = machines.program(args.build)
    tally = machines.Tally(f"killed runs ({args.kills} kills, {args.definitions} definitions, "
                           f"seed {seed})")
    toolbar = machines.toolbar_definitions(args.definitions // 2)
    menus = machines.menu_definitions(args.definitions - args.definitions // 2)

    with tempfile.TemporaryDirectory(prefix="tkw-kills-") as work:
        work = Path(work)
        prefix = machines.make_machine(work / "prefix", toolbar, menus)
        app = machines.app_folder(work / "app", exe)

        # A complete run first: how long a run takes.
        begun = time.monotonic()
        first = machines.run(app, prefix)
        duration = time.monotonic() - begun
        tally.check("the first run", [] if first.returncode == 0 else ["it failed"])
        known = whole_formats(work / "faces", exe)

        for n in range(args.kills):
            state = prefix / "powerpoint" / "commandbars.json"
            had_state = state.exists()
            process = machines.start(app, prefix)
            time.sleep(chance.uniform(0, duration))
            process.send_signal(signal.SIGKILL)
            process.communicate()
            faults = machines.state_faults(prefix)
            if had_state and not state.exists():
                faults.append("PowerPoint's state is gone")
            faults += whole_clipboard_faults(prefix, known)
            after = machines.run(app, prefix)
            kind = machines.kind_of_log(machines.log_lines(app.parent))
            if after.returncode != 0 or kind != "full":
                faults.append(f"the run after the kill: exit {after.returncode}, {kind}")
            if (app.parent / machines.MARKER).exists():
                faults.append("the marker stays after the run that follows")
            if not any(line.startswith("Creating File ") for line in machines.log_lines(app.parent)):
                faults.append("the run that follows wrote no marker")
            tally.check(f"kill {n + 1}", faults)
        final = machines.state_faults(prefix)
        if not final and machines.bars(prefix) != machines.expected_bars(toolbar, menus):
            final.append("the bars do not hold every definition")
        tally.check("the machine at the end", final)
    return tally.close()


if __name__ == "__main__":
    machines.main_guard(main)

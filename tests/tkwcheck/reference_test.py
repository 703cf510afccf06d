#!/usr/bin/env python3
"""tkwcheck's reference for authors: every rule its sources can report is explained by
tkwcheck --explain and listed in docs/definitions.md, and --list-menus shows a PowerPoint's
menus by the captions definitions name them by."""
import argparse
import json
import pathlib
import re
import subprocess
import sys
import tempfile

# A rule is the first string of a checker's Add(...) call, or the last string before the
# closing brace of a Finding built in place (one with a Severity).
TOKEN = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:[^"\\\n]|\\.)*"|\'(?:[^\'\\\n]|\\.)*\'|[;{}]|'
                   r'\bAdd\(|Severity::k\w+', re.S)
RULE = re.compile(r'"([a-z][a-z0-9]*(?:-[a-z0-9]+)*)"')


def rules_in_sources(folder):
    rules = set()
    for source in sorted(folder.glob("*.cc")):
        statement = []
        for token in (m[0] for m in TOKEN.finditer(source.read_text())):
            if token.startswith(("//", "/*", "'")):
                continue
            if token != ";":
                statement.append(token)
                continue
            if "Add(" in statement:
                strings = [t for t in statement[statement.index("Add("):] if t.startswith('"')]
                if strings and RULE.fullmatch(strings[0]):
                    rules.add(strings[0][1:-1])
            elif any(t.startswith("Severity::k") for t in statement):
                rules |= {a[1:-1] for a, b in zip(statement, statement[1:])
                          if b == "}" and RULE.fullmatch(a)}
            statement = []
    return rules


def listed(lines, heading, row):
    """{group: [(rule, severity, summary)]} from lines of headings and rows."""
    groups, group = {}, None
    for line in lines:
        if m := heading.match(line):
            group = groups.setdefault(m[1], [])
        elif (m := row.match(line)) and group is not None:
            group.append(m.groups())
    return groups


def control(kind, id, caption, **rest):
    """A control as a state file holds it."""
    fields = {"type": kind, "id": id, "caption": caption, "tag": "", "onAction": "",
              "tooltipText": "", "temporary": False, "builtIn": True}
    if kind == "button":
        fields.update(style=0, face=None)
    return {**fields, **rest}


# The menus of a PowerPoint whose "Menu Bar" holds what a definition cannot name: a German menu,
# a sub-menu, a combo box, a hidden control and one a run added; and a button on the bar.
SNAPSHOT = {"running": True, "commandBars": [{
    "name": "Menu Bar", "type": "menuBar", "position": 1, "visible": True, "temporary": False,
    "builtIn": True, "controls": [
        control("popup", 30007, "E&xtras", controls=[
            control("button", 2, "&Rechtschreibung..."),
            control("popup", 30100, "&Makro", controls=[control("button", 186, "&Makros...")]),
            control(4, 1733, "Sprache"),
            control("button", 797, "&Anpassen...", visible=False),
            control("button", 1, "Glintwave Options...", builtIn=False, temporary=True)]),
        control("popup", 30009, "&Window", controls=[]),
        control("button", 3, "&Save")]}]}
MENUS = """the menus of "Menu Bar" in the PowerPoint in {file}
E&xtras  (in English PowerPoints '&Tools')
    &Rechtschreibung...
    &Makro  (a sub-menu: no before-control)
    Sprache  (a control of type 4: no before-control)
    &Anpassen...  (hidden)
    Glintwave Options...  (not PowerPoint's own)
&Window
&Save  (not a menu)
A menu definition names the menu (field 1) and the button to stand before (field 4) by these captions; "&" and letter case do not count.
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", type=pathlib.Path, required=True)
    parser.add_argument("--tkwcheck", required=True)
    arguments = parser.parse_args()
    failures = []

    def run(*args):
        return subprocess.run([arguments.tkwcheck, *args], capture_output=True, text=True)

    def expect(what, condition, detail=""):
        if not condition:
            failures.append(f"{what}{': ' + detail if detail else ''}")

    # One table, three readers: the sources, the tool and the reference must name the same rules.
    explained = listed(run("--explain").stdout.splitlines(), re.compile(r"^Rules (.*):$"),
                       re.compile(r"^  (\S+) \(([^)]*)\): (.*)$"))
    documented = listed((arguments.source / "docs/definitions.md").read_text().splitlines(),
                        re.compile(r"^### Rules (.*)$"),
                        re.compile(r"^\| `([^`]+)` \| ([^|]+) \| (.*) \|$"))
    names = [rule[0] for group in explained.values() for rule in group]
    in_sources = rules_in_sources(arguments.source / "tools/tkwcheck")
    expect("rules the checker reports without an explanation",
           not in_sources - set(names), str(sorted(in_sources - set(names))))
    expect("explanations of rules the checker never reports",
           not set(names) - in_sources, str(sorted(set(names) - in_sources)))
    expect("rules explained twice", len(names) == len(set(names)))
    expect("docs/definitions.md lists the rules as tkwcheck --explain does",
           documented == explained,
           "\n".join(f"{g}: {sorted(set(documented.get(g, [])) ^ set(explained.get(g, [])))}"
                     for g in set(documented) | set(explained)))

    # The worked examples quote the example machine as it is.
    machine = (arguments.source / "examples/machine/registry.reg").read_text().splitlines()
    quoted = [line[4:] for line in
              (arguments.source / "docs/definitions.md").read_text().splitlines()
              if re.match(r'    ("|\[HKEY)', line)]
    expect("docs/definitions.md quotes examples/machine/registry.reg",
           quoted and all(line in machine for line in quoted),
           str([line for line in quoted if line not in machine]))

    for name in names:
        result = run("--explain", name)
        out = result.stdout
        expect(f"--explain {name}",
               result.returncode == 0 and out.startswith(name + ": ") and
               re.search(r"\nBad:\n    \S", out) and re.search(r"\nGood:\n    \S", out) and
               all(len(line) <= 78 for line in out.split("\n\n")[1].splitlines()),
               out + result.stderr)

    with tempfile.TemporaryDirectory() as folder:
        snapshot = pathlib.Path(folder) / "snapshot.json"
        snapshot.write_text(json.dumps(SNAPSHOT), encoding="utf-8")
        no_menu_bar = pathlib.Path(folder) / "toolbars.json"
        no_menu_bar.write_text(json.dumps({"commandBars": []}))
        not_json = pathlib.Path(folder) / "notes.json"
        not_json.write_text("notes")

        result = run("--list-menus", "--powerpoint", str(snapshot))
        expect("--list-menus --powerpoint FILE", result.returncode == 0 and
               result.stdout == MENUS.format(file=snapshot), result.stdout + result.stderr)
        english = run("--list-menus").stdout.splitlines()
        expect("--list-menus: PowerPoint's English menus, each with its buttons",
               english[0] == "the menus of \"Menu Bar\" in PowerPoint's built-in English bars" and
               "&Tools" in english and english[english.index("&Tools") + 5] == "    &Options...",
               "\n".join(english))

        # Arguments, exit status, the stream written to and the first line there.
        cases = [
            (["--explain", "[tag-taken]"], 0, "stdout", "tag-taken: warning"),
            (["--explain", "no-such-rule"], 2, "stderr",
             "tkwcheck: there is no rule 'no-such-rule'; tkwcheck --explain lists every rule"),
            (["--explain", "icon-missing", "tag-taken"], 2, "stderr",
             "tkwcheck: --explain takes the name of one rule and no other option"),
            (["--explain", "--format", "json"], 2, "stderr",
             "tkwcheck: --explain takes the name of one rule and no other option"),
            (["--list-menus", "--format", "json"], 2, "stderr",
             "tkwcheck: --list-menus takes --powerpoint FILE or --prefix DIR, not '--format'"),
            (["--list-menus", "--powerpoint"], 2, "stderr",
             "tkwcheck: --list-menus takes --powerpoint FILE or --prefix DIR, not '--powerpoint'"
             " without a value"),
            (["--list-menus", "--powerpoint", str(not_json)], 2, "stderr", f"tkwcheck: {not_json}"),
            (["--list-menus", "--prefix", str(pathlib.Path(folder) / "none")], 2, "stderr",
             f"tkwcheck: {pathlib.Path(folder) / 'none'} is no folder"),
            (["--list-menus", "--powerpoint", str(no_menu_bar)], 1, "stdout",
             f"the menus of \"Menu Bar\" in the PowerPoint in {no_menu_bar}"),
            (["--prefix", str(arguments.source / "examples/machine"), "--list-menus"], 0, "stdout",
             "the menus of \"Menu Bar\" in the PowerPoint of this machine"),
        ]
        for args, status, stream, first in cases:
            result = run(*args)
            text = getattr(result, stream)
            other = result.stdout if stream == "stderr" else result.stderr
            expect(" ".join(args), result.returncode == status and
                   text.splitlines()[:1] and text.splitlines()[0].startswith(first) and
                   (stream == "stderr" or not other),
                   f"status {result.returncode}\n{result.stdout}{result.stderr}")
        # A look writes nothing: the machine listed is as it was.
        before = {p: p.read_bytes() for p in (arguments.source / "examples/machine").rglob("*")
                  if p.is_file()}
        run("--list-menus", "--prefix", str(arguments.source / "examples/machine"))
        after = {p: p.read_bytes() for p in (arguments.source / "examples/machine").rglob("*")
                 if p.is_file()}
        expect("--list-menus --prefix leaves the machine as it was", before == after)

    for failure in failures:
        print("FAILED", failure)
    print(f"{len(names)} rules; {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

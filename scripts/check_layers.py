#!/usr/bin/env python3
"""Checks that the program's layers only point down, from its #include lines.

Each folder may include only the folders listed for it below (and itself);
the check also fails when any two folders include each other, whatever the
table says. Run from anywhere; exits 1 and names each offending line.
"""

import re
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]

# From the bottom up: what each folder of the program may include.
ALLOWED = {
    "res": set(),
    "platform": set(),
    "settings": {"platform"},
    "agent": {"settings", "platform", "res"},
    "tray": {"agent", "settings", "platform", "res"},
    "config": {"agent", "settings", "platform", "res"},
    "app": {"agent", "tray", "config", "settings", "platform", "res"},
}
SOURCES = {".h", ".cpp", ".c", ".rc"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def main() -> int:
    problems = []
    edges = {}  # (from, to) -> first place seen
    for folder in ALLOWED:
        for path in sorted((REPO / folder).rglob("*")):
            if path.suffix not in SOURCES:
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = match.group(1).split("/")[0]
                if target not in ALLOWED or target == folder:
                    continue  # a file beside it, or not one of the program's folders
                where = f"{path.relative_to(REPO)}:{number}"
                edges.setdefault((folder, target), where)
                if target not in ALLOWED[folder]:
                    problems.append(f"{where}: {folder}/ may not include {match.group(1)}")
    for (a, b), where in sorted(edges.items()):
        if a < b and (b, a) in edges:
            problems.append(f"{a}/ and {b}/ include each other ({where}, {edges[(b, a)]})")
    for problem in problems:
        print(f"layers: {problem}", file=sys.stderr)
    if not problems:
        print(f"layers: {len(edges)} folder dependencies, all pointing down")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

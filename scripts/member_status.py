#!/usr/bin/env python3
"""Prints the README's member status table: every member of IaxLumora in interface order, built
or not yet. A member is "not yet" while control/NotYetBuilt.cpp (gone once every member is built)
still answers for it."""
import re
from pathlib import Path

root = Path(__file__).resolve().parent.parent
entries = (root / "control" / "IaxLumoraEntries.inc").read_text()
stubs = root / "control" / "NotYetBuilt.cpp"
not_built = set(re.findall(r'NotBuiltYet\("(\w+)"\)', stubs.read_text())) if stubs.exists() else set()

members = []
for line in entries.splitlines():
    m = re.match(r"(AX_\w+)\((-?\d+)(?:,\s*(\w+))?", line)
    if not m:
        continue
    kind, dispid, name = m.group(1), m.group(2), m.group(3) or "Font"
    kind = {"AX_PROP": "property", "AX_PROP_GET": "read-only property", "AX_PROP_FONT": "property",
            "AX_METHOD": "method", "AX_METHOD_NOVALUE": "method"}[kind]
    members.append((dispid, name, kind))

print("| DISPID | Member | Kind | Status |")
print("|---:|---|---|---|")
for dispid, name, kind in members:
    print(f"| {dispid} | `{name}` | {kind} | {'not yet' if name in not_built else 'built'} |")
built = sum(1 for _, n, _ in members if n not in not_built)
print(f"\n{built} of {len(members)} members built.")

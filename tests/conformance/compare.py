#!/usr/bin/env python3
"""Compares what the conformance probes printed on the stand-in and on Wine.

    compare.py DIFFERENCES.md <stand-in output dir> <wine output dir> <probe>...

Each output is <dir>/<probe>.txt, one "<key>: <value>" line per observation. Every line that
differs (or that only one side printed) must be documented in DIFFERENCES.md as

    ## <probe>: <key>
    - stand-in: `<value>`
    - wine: `<value>`
    - why: [<reason>](#<reason>)

with both values exactly as printed, and the reason stated once, in the "# Reasons" section:

    ### <reason>
    Why the stand-in differs on purpose (at least one line of text).

An undocumented difference fails, so does a documented one whose values are not the ones
printed now, and so does a documented one that no longer occurs. A reason no entry names, an
entry naming no reason or one that is not stated, and text in an entry besides its three
lines are mistakes in the file. Exit code 0 when all is accounted for.
"""
import re
import sys

MISSING = "<missing>"
REASONS = "Reasons"


def read_output(path):
    lines = {}
    order = []
    with open(path, encoding="latin-1", newline="") as f:
        text = f.read().replace("\r\n", "\n")
    for number, line in enumerate(text.split("\n"), 1):
        if not line:
            continue
        key, sep, value = line.partition(": ")
        if not sep:
            raise SystemExit(f"{path}:{number}: not an observation: {line!r}")
        if key in lines:
            raise SystemExit(f"{path}:{number}: key printed twice: {key}")
        lines[key] = value
        order.append(key)
    return lines, order


def read_differences(path):
    """The entries, {(probe, key): {"line", "stand-in", "wine", "why"}}, and the reasons,
    {name: {"line", "text"}}, of a DIFFERENCES.md."""
    entries = {}
    reasons = {}
    section = None  # the "# ..." heading above
    entry = None
    reason = None
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, line in enumerate(lines, 1):
        if line.startswith("# "):
            section = line[2:].strip()
            entry = reason = None
            continue
        heading = re.match(r"^## ([A-Za-z0-9_]+): (.+)$", line)
        if heading:
            if section == REASONS:
                raise SystemExit(f"{path}:{number}: an entry among the reasons")
            key = (heading.group(1), heading.group(2))
            if key in entries:
                raise SystemExit(f"{path}:{number}: entry listed twice: {key[0]}: {key[1]}")
            entry = entries[key] = {"line": number}
            reason = None
            continue
        named = re.match(r"^### ([a-z0-9-]+)$", line)
        if named:
            if section != REASONS:
                raise SystemExit(f"{path}:{number}: a reason outside the '# {REASONS}' section")
            name = named.group(1)
            if name in reasons:
                raise SystemExit(f"{path}:{number}: reason stated twice: {name}")
            reason = reasons[name] = {"line": number, "text": ""}
            entry = None
            continue
        if line.startswith("#"):
            raise SystemExit(f"{path}:{number}: a heading of no known kind: {line!r}")
        if reason is not None:
            if line.strip():
                reason["text"] += line.strip() + " "
            continue
        if entry is None:
            continue
        side = re.match(r"^- (stand-in|wine): `(.*)`$", line)
        why = re.match(r"^- why: \[([a-z0-9-]+)\]\(#([a-z0-9-]+)\)$", line)
        if side:
            if side.group(1) in entry:
                raise SystemExit(f"{path}:{number}: a second '- {side.group(1)}:' line")
            entry[side.group(1)] = side.group(2)
        elif why:
            if why.group(1) != why.group(2):
                raise SystemExit(f"{path}:{number}: the reason's link does not match its name")
            if "why" in entry:
                raise SystemExit(f"{path}:{number}: a second '- why:' line")
            entry["why"] = why.group(1)
        elif line.strip():
            raise SystemExit(f"{path}:{number}: text in an entry; a reason is stated once, under '# {REASONS}'")
    for (probe, key), entry in entries.items():
        for field in ("stand-in", "wine"):
            if field not in entry:
                raise SystemExit(f"{path}:{entry['line']}: {probe}: {key}: no '- {field}: `...`' line")
        if "why" not in entry:
            raise SystemExit(f"{path}:{entry['line']}: {probe}: {key}: no '- why: [reason](#reason)' line")
        if entry["why"] not in reasons:
            raise SystemExit(f"{path}:{entry['line']}: {probe}: {key}: no reason '{entry['why']}' is stated")
    used = {entry["why"] for entry in entries.values()}
    for name, reason in reasons.items():
        if not reason["text"].strip():
            raise SystemExit(f"{path}:{reason['line']}: reason {name} says nothing")
        if name not in used:
            raise SystemExit(f"{path}:{reason['line']}: reason {name} is named by no entry")
    return entries, reasons


def main():
    if len(sys.argv) < 5:
        raise SystemExit(__doc__)
    entries, _ = read_differences(sys.argv[1])
    standin_dir, wine_dir, probes = sys.argv[2], sys.argv[3], sys.argv[4:]
    failures = 0
    seen = set()
    total_observations = 0
    total_differences = 0
    for probe in probes:
        standin, order = read_output(f"{standin_dir}/{probe}.txt")
        wine, wine_order = read_output(f"{wine_dir}/{probe}.txt")
        keys = order + [k for k in wine_order if k not in standin]
        differences = 0
        for key in keys:
            a, b = standin.get(key, MISSING), wine.get(key, MISSING)
            if a == b:
                continue
            differences += 1
            entry = entries.get((probe, key))
            seen.add((probe, key))
            if entry is None:
                failures += 1
                print(f"UNDOCUMENTED {probe}: {key}\n  stand-in: {a}\n  wine:     {b}")
            elif entry["stand-in"] != a or entry["wine"] != b:
                failures += 1
                print(f"CHANGED {probe}: {key} (DIFFERENCES.md line {entry['line']})\n"
                      f"  stand-in: {a}\n  wine:     {b}\n"
                      f"  documented stand-in: {entry['stand-in']}\n  documented wine:     {entry['wine']}")
        total_observations += len(keys)
        total_differences += differences
        print(f"{probe}: {len(keys)} observations, {differences} differ")
    for (probe, key), entry in sorted(entries.items()):
        if probe in probes and (probe, key) not in seen:
            failures += 1
            print(f"GONE {probe}: {key} (DIFFERENCES.md line {entry['line']}): both now print the same")
        elif probe not in probes:
            failures += 1
            print(f"UNKNOWN PROBE {probe}: {key} (DIFFERENCES.md line {entry['line']})")
    print(f"conformance: {total_observations} observations, {total_differences} differ, "
          f"{failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Compares what the conformance probes printed on the stand-in and on Wine.

    compare.py DIFFERENCES.md <stand-in output dir> <wine output dir> <probe>...

Each output is <dir>/<probe>.txt, one "<key>: <value>" line per observation. Every line that
differs (or that only one side printed) must be documented in DIFFERENCES.md as

    ## <probe>: <key>
    - stand-in: `<value>`
    - wine: `<value>`

    Why the stand-in differs on purpose (at least one line of text).

with both values exactly as printed. An undocumented difference fails, so does a documented
one whose values are not the ones printed now, and so does a documented one that no longer
occurs. Exit code 0 when all is accounted for.
"""
import re
import sys

MISSING = "<missing>"


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
    entries = {}
    current = None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f.read().split("\n"), 1):
            heading = re.match(r"^## ([A-Za-z0-9_]+): (.+)$", line)
            if heading:
                current = (heading.group(1), heading.group(2))
                if current in entries:
                    raise SystemExit(f"{path}:{number}: entry listed twice: {current[0]}: {current[1]}")
                entries[current] = {"line": number, "why": ""}
                continue
            if line.startswith("#"):
                current = None
                continue
            if current is None:
                continue
            side = re.match(r"^- (stand-in|wine): `(.*)`$", line)
            if side:
                entries[current][side.group(1)] = side.group(2)
            elif line.strip():
                entries[current]["why"] += line.strip() + " "
    for (probe, key), entry in entries.items():
        for side in ("stand-in", "wine"):
            if side not in entry:
                raise SystemExit(f"{path}:{entry['line']}: {probe}: {key}: no '- {side}: `...`' line")
        if not entry["why"].strip():
            raise SystemExit(f"{path}:{entry['line']}: {probe}: {key}: no reason given")
    return entries


def main():
    if len(sys.argv) < 5:
        raise SystemExit(__doc__)
    entries = read_differences(sys.argv[1])
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

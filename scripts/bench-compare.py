#!/usr/bin/env python3
"""bench-compare.py BEFORE NOW: compares the figures of one section of
docs/benchmarks.md as it stood before a run (BEFORE) with the section the run
wrote (NOW) and prints, as markdown, one row per figure found in both: its
value before and now in each flavour and the ratio now / before. A figure that
moved past 1.25x the same way in both flavours is named: "slower" or "faster"
for times and rates, "more" or "less" for amounts. Prints nothing when BEFORE
holds no figures. Used by scripts/bench.sh --compare."""

import re
import sys

FLAVOURS = ("x86", "x64")
THRESHOLD = 1.25
# Figures this small in both runs are mostly noise: no ratio is worth reading.
NEGLIGIBLE = 0.05
NUMBER = re.compile(r"^[<>]?\s*([+-]?\d+(?:\.\d+)?)")
COMPARISON_TITLE = "compared with the run before"


def cells(line):
    return [c.strip() for c in line.strip().strip("|").split("|")]


def value(cell):
    """The figure a cell holds, or None: ratios and shares are derived."""
    if cell.endswith("%") or cell.endswith("×"):
        return None
    match = NUMBER.match(cell)
    return float(match.group(1)) if match else None


def figures(path):
    """{(title, row, column): {flavour: value}} of the section's tables."""
    found = {}
    with open(path, encoding="utf-8") as page:
        lines = page.read().splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        if not (line.startswith("|") and i + 1 < len(lines) and lines[i + 1].startswith("|---")):
            i += 1
            continue
        head = cells(line)
        i += 2
        title = head[0]
        if title.startswith(COMPARISON_TITLE):
            continue
        flavour = next((f for f in FLAVOURS if title.startswith(f + ", ")), None)
        if flavour:
            title = title[len(flavour) + 2:]
        while i < len(lines) and lines[i].startswith("|"):
            row = cells(lines[i])
            i += 1
            for column, cell in zip(head[1:], row[1:]):
                v = value(cell)
                if v is None:
                    continue
                where = flavour if flavour else (column if column in FLAVOURS else None)
                if not where:
                    continue
                key = (title, row[0], "" if column in FLAVOURS else column)
                found.setdefault(key, {})[where] = v
    return found


def higher_is_better(text):
    return "MiB/s" in text


def is_time(text):
    return bool(re.search(r"\bms\b|MiB/s", text))


def verdict(key, ratios):
    if len(ratios) < len(FLAVOURS) or any(r is None for r in ratios):
        return ""
    text = " ".join(key)
    if all(r > THRESHOLD for r in ratios):
        up = True
    elif all(r < 1 / THRESHOLD for r in ratios):
        up = False
    else:
        return ""
    if is_time(text):
        return "**slower**" if up != higher_is_better(text) else "faster"
    return "**more**" if up else "less"


def number(v):
    return f"{v:.3f}".rstrip("0").rstrip(".") if abs(v) < 10 else f"{v:.1f}".rstrip("0").rstrip(".")


def main():
    before, now = figures(sys.argv[1]), figures(sys.argv[2])
    common = [k for k in now if k in before]
    if not common:
        return
    stamp = ""
    with open(sys.argv[1], encoding="utf-8") as page:
        for line in page:
            match = re.match(r"(?:Run|Written) on (\d{4}-\d\d-\d\d \d\d:\d\d UTC)", line)
            if match:
                stamp = match.group(1)
    rows = []
    moved = []
    for key in common:
        title, row, column = key
        cells_out, ratios = [], []
        for f in FLAVOURS:
            a, b = before[key].get(f), now[key].get(f)
            if a is None or b is None:
                cells_out.append("")
                ratios.append(None)
                continue
            ratio = b / a if a > 0 and b > 0 and max(abs(a), abs(b)) >= NEGLIGIBLE else None
            ratios.append(ratio)
            shown = f"{number(a)} → {number(b)}"
            cells_out.append(shown + (f" ({ratio:.2f}×)" if ratio is not None else ""))
        said = verdict(key, ratios)
        label = title + ": " + row + (", " + column if column else "")
        rows.append(f"| {label} | {' | '.join(cells_out)} | {said} |")
        if said:
            moved.append(f"{said.strip('*')}: {label}")
    print(f"| {COMPARISON_TITLE} ({stamp.strip() or 'undated'}): before → now (now / before) | "
          + " | ".join(FLAVOURS) + " | past 1.25× in both |")
    print("|---|" + "---:|" * len(FLAVOURS) + "---|")
    print("\n".join(rows))
    print()
    for line in moved:
        print(f"bench-compare: {line}", file=sys.stderr)


if __name__ == "__main__":
    main()

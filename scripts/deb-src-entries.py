#!/usr/bin/env python3
"""deb-src-entries.py OUTPUT_FOLDER

Writes deb-src entries that mirror the machine's own Debian `deb` entries, so
that `apt-get source` fetches from wherever this machine fetches its binary
packages (a mirror, a proxy, a local copy) with the same options and keys:
  OUTPUT_FOLDER/flinter-deb-src.list     copies of one-line entries
  OUTPUT_FOLDER/flinter-deb-src.sources  copies of deb822 stanzas
Each file is written only when it has entries. Which entries are Debian's is
apt's own answer (the Origin of their Release file), so apt-get update must
have run. Exits 1 when apt knows no Debian `deb` entry."""
import collections
import os
import re
import subprocess
import sys


def debian_deb_targets():
    """{sources file: {(repository URI, suite)}} of the Debian deb entries apt reads."""
    listing = subprocess.run(
        ["apt-get", "indextargets", "--format", "$(SOURCESENTRY)\t$(REPO_URI)\t$(RELEASE)",
         "Target-Of: deb", "Origin: Debian"],
        check=True, capture_output=True, text=True).stdout
    targets = collections.defaultdict(set)
    for line in listing.splitlines():
        if line.count("\t") != 2:
            continue
        entry, uri, suite = line.split("\t")
        path = entry.rsplit(":", 1)[0]
        targets[path].add((uri.rstrip("/"), suite))
    return targets


def one_line_copies(text, wanted):
    """`deb [options] URI SUITE COMPONENTS...` lines for wanted (URI, suite) pairs, as deb-src."""
    copies = []
    for line in text.splitlines():
        line = line.split("#", 1)[0].strip()
        match = re.match(r"deb(\s+\[[^\]]*\])?\s+(\S+)\s+(\S+)(.*)$", line)
        if match and (match.group(2).rstrip("/"), match.group(3)) in wanted:
            copies.append("deb-src" + line[len("deb"):])
    return copies


def stanzas(text):
    """Paragraphs of a deb822 file as lists of lines, comment lines left out."""
    current = []
    for line in text.splitlines():
        if not line.strip():
            if current:
                yield current
            current = []
        elif not line.startswith("#"):
            current.append(line)
    if current:
        yield current


def fields(stanza):
    """{lower-case field name: value with continuation lines joined}."""
    values, name = {}, None
    for line in stanza:
        if line[:1] in (" ", "\t") and name:
            values[name] += " " + line.strip()
        elif ":" in line:
            name, value = line.split(":", 1)
            name = name.strip().lower()
            values[name] = value.strip()
    return values


def deb822_copies(text, wanted):
    """Stanzas of type deb that hold a wanted (URI, suite) pair, as deb-src stanzas."""
    copies = []
    for stanza in stanzas(text):
        values = fields(stanza)
        if "deb" not in values.get("types", "").split():
            continue
        pairs = {(uri.rstrip("/"), suite) for uri in values.get("uris", "").split()
                 for suite in values.get("suites", "").split()}
        if not pairs & wanted:
            continue
        copy, in_types = [], False
        for line in stanza:
            if line[:1] in (" ", "\t") and in_types:
                continue
            in_types = line.split(":", 1)[0].strip().lower() == "types"
            copy.append("Types: deb-src" if in_types else line)
        copies.append("\n".join(copy))
    return copies


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    one_line, deb822 = [], []
    for path, wanted in sorted(debian_deb_targets().items()):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        if path.endswith(".sources"):
            deb822 += deb822_copies(text, wanted)
        else:
            one_line += one_line_copies(text, wanted)
    header = "# Written by QAV_Flinter's scripts/install-deps.sh: the Debian deb entries as deb-src.\n"
    if one_line:
        with open(os.path.join(folder, "flinter-deb-src.list"), "w", encoding="utf-8") as f:
            f.write(header + "\n".join(one_line) + "\n")
    if deb822:
        with open(os.path.join(folder, "flinter-deb-src.sources"), "w", encoding="utf-8") as f:
            f.write(header + "\n\n".join(deb822) + "\n")
    if not one_line and not deb822:
        print("deb-src-entries: apt knows no Debian deb entry (has apt-get update run?)",
              file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()

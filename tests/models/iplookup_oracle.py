#!/usr/bin/env python3
"""Independent checks of iplookup's output, for the iplookup tests.

  iplookup_oracle.py json EXPECTED OUTPUT
      OUTPUT holds --json lines; EXPECTED one line per object,
      "address<TAB>id<TAB>code<TAB>title" with code and title as hex bytes
      ("-" for null). Each byte outside well-formed UTF-8 must come back as
      the character of the same number.

  iplookup_oracle.py tables MANIFEST
      Each line of MANIFEST, "TABLE NAMES SUMMARY [ID EXPORT]...", names a
      boundary table, its names file (simple "id code title" lines), the
      output of --summary on it and, for some ids, the output of --export
      for the id's code.

Prints every problem found and exits with 1 when there was one.
"""
import bisect
import codecs
import ipaddress
import json
import sys

SPACE = 1 << 32
problems = []


def problem(text):
    problems.append(text)


# ---- --json ----

def byte_as_character(error):
    return chr(error.object[error.start]), error.start + 1


codecs.register_error("byte_as_character", byte_as_character)


def expected_text(field):
    if field == "-":
        return None
    return bytes.fromhex(field).decode("utf-8", "byte_as_character")


def check_json(expected_path, output_path):
    raw = open(output_path, "rb").read()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as error:
        problem(f"output is not UTF-8: {error}")
        return
    # Only LF ends a line; str.splitlines would also cut at U+2028 and such.
    lines = text.split("\n")
    if lines[-1] != "":
        problem("output does not end with a line feed")
    lines = lines[:-1]
    expected = [line.split("\t") for line in open(expected_path).read().splitlines()]
    if len(lines) != len(expected):
        problem(f"{len(lines)} objects, expected {len(expected)}")
    for line, (address, ident, code, title) in zip(lines, expected):
        try:
            pairs = json.loads(line, object_pairs_hook=lambda pairs: pairs)
        except ValueError as error:
            problem(f"not JSON: {line!r}: {error}")
            continue
        keys = [key for key, _ in pairs]
        if keys != ["address", "id", "code", "title"]:
            problem(f"keys {keys} in {line!r}")
            continue
        got = dict(pairs)
        want = {"address": address, "id": int(ident),
                "code": expected_text(code), "title": expected_text(title)}
        if got != want or type(got["id"]) is not int:
            problem(f"got {got!r}, expected {want!r}")


# ---- the table model: an address has the id of the last entry whose
# start is not above it, 0 below the first start ----

def read_table(path):
    entries = []
    for line in open(path).read().splitlines():
        start, ident = line.split(" ")
        entries.append((int(ipaddress.IPv4Address(start)), int(ident) & 0xFF))
    return entries


def model_runs(entries):
    """Maximal runs (first, last, id) over the whole address space."""
    starts = [start for start, _ in entries]
    boundaries = sorted(set(starts) | {0})
    runs = []
    for index, first in enumerate(boundaries):
        end = boundaries[index + 1] if index + 1 < len(boundaries) else SPACE
        at = bisect.bisect_right(starts, first) - 1
        ident = entries[at][1] if at >= 0 else 0
        if runs and runs[-1][2] == ident:
            runs[-1][1] = end - 1
        else:
            runs.append([first, end - 1, ident])
    return runs


def read_names(path):
    codes = {}
    for line in open(path).read().splitlines():
        fields = line.split(" ", 2)
        codes[int(fields[0])] = fields[1]
    return codes


def check_export(runs, ident, path):
    label = f"--export of id {ident}"
    try:
        blocks = [ipaddress.IPv4Network(line)
                  for line in open(path).read().splitlines()]
    except ValueError as error:
        problem(f"{label}: not a CIDR block: {error}")
        return
    for before, after in zip(blocks, blocks[1:]):
        if after.network_address <= before.broadcast_address:
            problem(f"{label}: {after} overlaps or precedes {before}")
    model = [net for first, last, run_id in runs if run_id == ident
             for net in ipaddress.summarize_address_range(
                 ipaddress.IPv4Address(first), ipaddress.IPv4Address(last))]
    smallest = list(ipaddress.collapse_addresses(model))
    if list(ipaddress.collapse_addresses(blocks)) != smallest:
        problem(f"{label}: the blocks cover other addresses than the table gives the id")
    elif blocks != smallest:
        problem(f"{label}: {len(blocks)} blocks where {len(smallest)} cover the same")


def check_summary(runs, codes, path):
    lines = open(path).read().splitlines()
    if len({len(line) for line in lines}) != 1:
        problem(f"--summary: columns not aligned:\n" + "\n".join(lines))
    if not lines or lines[0].split() != ["id", "code", "ranges", "addresses"]:
        problem(f"--summary: heading {lines[:1]!r}")
        return
    want = {}
    for first, last, ident in runs:
        ranges, addresses = want.get(ident, (0, 0))
        want[ident] = (ranges + 1, addresses + last - first + 1)
    rows = [line.split() for line in lines[1:]]
    got_ids = [int(row[0]) for row in rows[:-1]]
    if got_ids != sorted(want):
        problem(f"--summary: ids {got_ids}, expected {sorted(want)}")
    for row in rows[:-1]:
        ident = int(row[0])
        expected = [codes.get(ident, "-"), *map(str, want.get(ident, (0, 0)))]
        if row[1:] != expected:
            problem(f"--summary: id {ident}: {row[1:]}, expected {expected}")
    total = ["total", str(len(runs)), str(SPACE)]
    if rows[-1] != total:
        problem(f"--summary: total {rows[-1]}, expected {total}")


def check_tables(manifest_path):
    for line in open(manifest_path).read().splitlines():
        table_path, names_path, summary_path, *exports = line.split(" ")
        before = len(problems)
        runs = model_runs(read_table(table_path))
        check_summary(runs, read_names(names_path), summary_path)
        for ident, path in zip(exports[::2], exports[1::2]):
            check_export(runs, int(ident), path)
        if len(problems) > before:
            head = "".join(open(table_path).readlines()[:40])
            problem(f"in the table {table_path}, which begins\n{head}")


def main(argv):
    if argv[1:2] == ["json"] and len(argv) == 4:
        check_json(argv[2], argv[3])
    elif argv[1:2] == ["tables"] and len(argv) == 3:
        check_tables(argv[2])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    for text in problems:
        print(text)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

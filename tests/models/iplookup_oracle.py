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

  iplookup_oracle.py families MANIFEST
      The same for runs over both tables of a name: each line,
      "TABLE4 TABLE6 NAMES SUMMARY [ID EXPORT]...", names the IPv4 and the
      IPv6 table ("-" for a family the run did not walk). The summary holds
      one block per table walked, IPv4 first, with a blank line between; an
      export the IPv4 blocks, then the IPv6 ones. The IPv4-mapped addresses
      ::ffff:0:0/96 are answered by the IPv4 table: no IPv6 run holds them.

  iplookup_oracle.py table6 SEED ENTRIES TABLE
      Writes TABLE, an IPv6 boundary table of ENTRIES lines shaped like
      registry data: most starts on /48 bounds in a few crowded /32s, some
      on /64 bounds, some around and inside ::ffff:0:0/96, a few anywhere,
      ids from 0, 1, 2, 7 and 255. The same seed gives the same table.

  iplookup_oracle.py table4 SEED ENTRIES WINDOW TABLE
      Writes TABLE, an IPv4 boundary table: 0.0.0.0 with id 0, then
      ENTRIES-1 distinct starts on /24 bounds inside one stretch of WINDOW
      addresses (the whole space for a table of large ranges, a few /8s for
      one of short ones), each with an id other than the one before it,
      from 0, 1, 2, 7 and 255. The same seed gives the same table.

Prints every problem found and exits with 1 when there was one.
"""
import bisect
import codecs
import ipaddress
import json
import random
import sys

SPACE = 1 << 32
problems = []


class Family:
    """What differs between the two tables: the text, the space and the
    addresses another table answers."""

    def __init__(self, address, network, bits, foreign):
        self.address = address
        self.network = network
        self.size = 1 << bits
        self.foreign = foreign  # a network the table does not answer, or None

    def answered(self):
        hole = self.foreign.num_addresses if self.foreign else 0
        return self.size - hole


IPV4 = Family(ipaddress.IPv4Address, ipaddress.IPv4Network, 32, None)
IPV6 = Family(ipaddress.IPv6Address, ipaddress.IPv6Network, 128,
              ipaddress.IPv6Network("::ffff:0:0/96"))


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

def read_table(path, family=IPV4):
    entries = []
    for line in open(path).read().splitlines():
        start, ident = line.split(" ")
        entries.append((int(family.address(start)), int(ident) & 0xFF))
    return entries


def model_runs(entries, family=IPV4):
    """Maximal runs (first, last, id) over the addresses the table answers."""
    starts = [start for start, _ in entries]
    boundaries = set(starts) | {0}
    foreign = None
    if family.foreign:
        foreign = (int(family.foreign.network_address),
                   int(family.foreign.broadcast_address))
        boundaries |= {foreign[0], foreign[1] + 1}
    boundaries = sorted(boundaries)
    runs = []
    for index, first in enumerate(boundaries):
        end = boundaries[index + 1] if index + 1 < len(boundaries) else family.size
        if foreign and foreign[0] <= first <= foreign[1]:
            continue
        at = bisect.bisect_right(starts, first) - 1
        ident = entries[at][1] if at >= 0 else 0
        if runs and runs[-1][2] == ident and runs[-1][1] == first - 1:
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


def check_export(runs, ident, lines, family=IPV4):
    label = f"--export of id {ident}"
    try:
        blocks = [family.network(line) for line in lines]
    except ValueError as error:
        problem(f"{label}: not a CIDR block: {error}")
        return
    for before, after in zip(blocks, blocks[1:]):
        if after.network_address <= before.broadcast_address:
            problem(f"{label}: {after} overlaps or precedes {before}")
    model = [net for first, last, run_id in runs if run_id == ident
             for net in ipaddress.summarize_address_range(
                 family.address(first), family.address(last))]
    # The smallest cover of a set of addresses is unique: the blocks must be
    # exactly that list. Only when they are not is it worth telling why.
    smallest = list(ipaddress.collapse_addresses(model))
    if blocks == smallest:
        return
    if list(ipaddress.collapse_addresses(blocks)) != smallest:
        problem(f"{label}: the blocks cover other addresses than the table gives the id")
    else:
        problem(f"{label}: {len(blocks)} blocks where {len(smallest)} cover the same")


def check_summary(runs, codes, lines, family=IPV4):
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
    total = ["total", str(len(runs)), str(family.answered())]
    if rows[-1] != total:
        problem(f"--summary: total {rows[-1]}, expected {total}")


def lines_of(path):
    return open(path).read().splitlines()


def check_tables(manifest_path):
    for line in open(manifest_path).read().splitlines():
        table_path, names_path, summary_path, *exports = line.split(" ")
        before = len(problems)
        runs = model_runs(read_table(table_path))
        check_summary(runs, read_names(names_path), lines_of(summary_path))
        for ident, path in zip(exports[::2], exports[1::2]):
            check_export(runs, int(ident), lines_of(path))
        if len(problems) > before:
            head = "".join(open(table_path).readlines()[:40])
            problem(f"in the table {table_path}, which begins\n{head}")


# ---- both tables of a name ----

def split_summary(lines, walked):
    """The summary's block of each walked family."""
    if len(walked) == 1:
        return {walked[0]: lines}
    if "" not in lines:
        problem(f"--summary: no blank line between the tables:\n" + "\n".join(lines))
        return {}
    gap = lines.index("")
    return {IPV4: lines[:gap], IPV6: lines[gap + 1:]}


def split_export(lines, walked, ident):
    """The export's IPv4 blocks (the lines before the first IPv6 block) and
    its IPv6 blocks; a family not walked must have none."""
    cut = next((i for i, line in enumerate(lines) if ":" in line), len(lines))
    by_family = {IPV4: lines[:cut], IPV6: lines[cut:]}
    for family, blocks in by_family.items():
        if family not in walked and blocks:
            problem(f"--export of id {ident}: blocks of a table not walked: {blocks[:3]}")
    return by_family


def check_families(manifest_path):
    for line in lines_of(manifest_path):
        table4, table6, names_path, summary_path, *exports = line.split(" ")
        before = len(problems)
        tables = {IPV4: table4, IPV6: table6}
        walked = [family for family in (IPV4, IPV6) if tables[family] != "-"]
        runs = {family: model_runs(read_table(tables[family], family), family)
                for family in walked}
        codes = read_names(names_path)
        for family, lines in split_summary(lines_of(summary_path), walked).items():
            check_summary(runs[family], codes, lines, family)
        for ident, path in zip(exports[::2], exports[1::2]):
            by_family = split_export(lines_of(path), walked, ident)
            for family in walked:
                check_export(runs[family], int(ident), by_family[family], family)
        if len(problems) > before:
            for path in (table4, table6):
                if path != "-":
                    head = "".join(open(path).readlines()[:40])
                    problem(f"in the table {path}, which begins\n{head}")


def write_table6(seed, count, path):
    rng = random.Random(seed)
    crowded = [rng.getrandbits(32) << 96 for _ in range(12)]
    mapped = int(IPV6.foreign.network_address)
    chosen = set()
    while len(chosen) < count:
        kind = rng.randrange(1000)
        base = rng.choice(crowded)
        if kind < 900:
            chosen.add(base | rng.randrange(1 << 16) << 80)
        elif kind < 980:
            chosen.add(base | rng.randrange(1 << 16) << 80 | rng.randrange(1 << 16) << 64)
        elif kind < 998:
            chosen.add(mapped + rng.randrange(-(1 << 20), (1 << 32) + (1 << 20)))
        else:
            chosen.add(rng.getrandbits(128))
    with open(path, "w", encoding="ascii") as table:
        for start in sorted(chosen):
            ident = rng.choice((0, 1, 2, 7, 255))
            table.write(f"{ipaddress.IPv6Address(start)} {ident}\n")


def write_table4(seed, count, window, path):
    rng = random.Random(seed)
    slots = window >> 8
    base = rng.randrange(((1 << 32) - window >> 8) + 1) << 8
    chosen = {0}
    while len(chosen) < min(count, slots + 1):
        chosen.add(base + (rng.randrange(slots) << 8))
    ident = 0
    with open(path, "w", encoding="ascii") as table:
        for start in sorted(chosen):
            table.write(f"{ipaddress.IPv4Address(start)} {ident}\n")
            ident = rng.choice([other for other in (0, 1, 2, 7, 255) if other != ident])


def main(argv):
    if argv[1:2] == ["json"] and len(argv) == 4:
        check_json(argv[2], argv[3])
    elif argv[1:2] == ["tables"] and len(argv) == 3:
        check_tables(argv[2])
    elif argv[1:2] == ["families"] and len(argv) == 3:
        check_families(argv[2])
    elif argv[1:2] == ["table4"] and len(argv) == 6:
        write_table4(int(argv[2]), int(argv[3]), int(argv[4]), argv[5])
        return 0
    elif argv[1:2] == ["table6"] and len(argv) == 5:
        write_table6(int(argv[2]), int(argv[3]), argv[4])
        return 0
    else:
        print(__doc__, file=sys.stderr)
        return 2
    for text in problems:
        print(text)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

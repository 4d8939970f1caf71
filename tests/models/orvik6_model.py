#!/usr/bin/env python3
"""orvik's IPv6 table and the answers it gives, as Python's ipaddress,
bisect and csv compute them.

Usage: orvik6_model.py SEED LINES ROOT

Writes under ROOT (an installation root with conf/):
  conf/countries       a names file of 200 codes
  six-field.csv        LINES IPv6 lines in the six-field form of the
                       published list ("a", "b", "n", "m", "CC", "Name"),
                       the separator ", " or ","
  range-code.csv       the same lines in the "first,last,code" form, quoted
                       or not, with the addresses as canonical, exploded or
                       upper-case text
  expected6.ips        the table "orvik six-field.csv" must write
  expected6-closed.ips the table "orvik --format range-code --close-gaps
                       range-code.csv" must write
  probes               lines "ADDRESS ID CLOSED_ID": what a lookup of
                       ADDRESS gives in each table

The lines hold ranges next to each other and with gaps, runs of one code,
unknown codes, lines out of order or running backwards (skipped), lines
with a number beyond 128 bits, without digits or negative (six-field) or
an address text that is none (range-code), both skipped as malformed; the
first line starts at "::" (skipped), a run lies in ::ffff:0:0/96, whose
six-field texts are written as "::a.b.c.d" to disagree with the numbers
(the numbers decide), and the last range reaches the top address.

The table: an entry "START ID" (START as str(ipaddress.IPv6Address)) where
the id changes, none for a gap (it keeps the id before it) unless gaps are
closed, a closing entry after the last range unless it reaches the top.
The answers come from the accepted ranges themselves, not from the table:
an address in a range has the range's id; in a gap, the id of the range
before it (0 with gaps closed); 0 before the first range and after the
last; and 0 in ::ffff:0:0/96, which the library answers from the IPv4
table, absent here.
"""
import bisect
import csv
import ipaddress
import os
import random
import sys

TOP = (1 << 128) - 1
MAPPED = 0xFFFF << 32  # ::ffff:0:0
BAD_TEXTS = ["2001:db8::g", "2001:db8::/48", "1:2:3:4:5:6:7:8:9", ":::1", "2001:db8::1::2",
             "[2001:db8::1]", "::ffff:1.2.3.04", "2001:db8:0:0:0:0:0:0:0"]


def is_mapped(address):
    return address >> 32 == 0xFFFF


def text(address):
    """Canonical text; IPv4-mapped ones in hex groups, as Python 3.11's
    str() writes them (later versions write a dotted tail)."""
    if is_mapped(address):
        return f"::ffff:{address >> 16 & 0xFFFF:x}:{address & 0xFFFF:x}"
    return str(ipaddress.IPv6Address(address))


def spelling(rng, address):
    """A text of address that a strict reader takes: canonical, exploded,
    upper case, or with a dotted tail for IPv4-mapped ones."""
    kind = rng.randrange(4)
    if is_mapped(address) and kind == 3:
        return "::ffff:" + str(ipaddress.IPv4Address(address & 0xFFFFFFFF))
    if kind == 1:
        return ipaddress.IPv6Address(address).exploded
    if kind == 2:
        return text(address).upper()
    return text(address)


def make_names(rng):
    letters = "abcdefghijklmnopqrstuvwxyz"
    codes = rng.sample([a + b for a in letters for b in letters], 210)
    known = {code: i + 1 for i, code in enumerate(codes[:200])}
    return known, codes[200:]  # 10 codes the names lack


class Lines:
    """The generated lines: (kind, first, last, code, name) with kind
    "range" (it may still be out of order), "malformed"."""

    def __init__(self, rng, count, known, unknown):
        self.rng, self.known, self.unknown = rng, list(known), unknown
        self.items = []
        self.code = self.known[0]
        self.walk(count)

    def pick_code(self):
        rng = self.rng
        roll = rng.random()
        if roll < 0.02:
            self.code = rng.choice(self.unknown)
        elif roll < 0.6:
            self.code = rng.choice(self.known)
        code = self.code  # else: the code of the line before
        return code.upper() if rng.random() < 0.7 else code

    def add(self, first, last):
        code = self.pick_code()
        name = f"Country {code.upper()}" + (", the" if self.rng.random() < 0.1 else "")
        self.items.append(("range", first, last, code, name))

    def walk(self, count):
        rng = self.rng
        self.add(0, 0xFF)  # starts at "::": skipped as unsorted
        at = MAPPED + (1 << 24)  # ::ffff:1.0.0.0
        end = 0
        mapped_lines = count // 100
        for i in range(count - 2):
            if i == mapped_lines:
                at = 0x2001 << 112  # 2001::
            roll = rng.random()
            if roll < 0.01 and end:
                # Out of order: starts at or below the end of the range before.
                first = end - rng.randrange(1 << 16)
                self.add(first, first + rng.randrange(1 << 20))
                continue
            if roll < 0.015:
                self.add(at + (1 << 20), at)  # runs backwards
                continue
            if roll < 0.02:
                self.items.append(("malformed", at, at + 1, "jp", "Malformed"))
                continue
            in_mapped = i < mapped_lines  # ::ffff:0:0/96 holds 2**32 addresses only
            if rng.random() < 0.5:  # a gap before the range
                at += 1 + rng.getrandbits(rng.choice((4, 8) if in_mapped else (8, 16, 40, 64)))
            bits = 8 if in_mapped else rng.choice((8, 16, 32, 48, 64, 80))
            size = rng.getrandbits(bits) + 1
            first, end = at, at + size - 1
            self.add(first, end)
            at = end + 1
        self.add(at + (1 << 100), TOP)  # the last range reaches the top


def six_field_line(rng, item):
    kind, first, last, code, name = item
    separator = ", " if rng.random() < 0.8 else ","
    texts = [text(first), text(last)]
    if is_mapped(first):  # the texts disagree with the numbers here
        texts = ["::" + str(ipaddress.IPv4Address(a & 0xFFFFFFFF)) for a in (first, last)]
    numbers = [str(first), str(last)]
    if kind == "malformed":
        numbers = rng.choice(
            [[str(first), str(TOP + 1 + rng.randrange(1 << 64))], ["", str(last)],
             [str(first), "-" + str(last)], ["x" + str(first), str(last)]])
    fields = texts + numbers + [code, name]
    return separator.join('"' + field + '"' for field in fields)


def range_code_line(rng, item):
    kind, first, last, code, _ = item
    addresses = [spelling(rng, first), spelling(rng, last)]
    if kind == "malformed":
        bad = rng.choice(BAD_TEXTS)
        try:
            ipaddress.IPv6Address(bad)
            raise SystemExit(f"the model's bad text {bad!r} reads as an address")
        except ValueError:
            pass
        addresses[rng.randrange(2)] = bad
    fields = addresses + [code]
    if rng.random() < 0.5:
        return ",".join('"' + field + '"' for field in fields)
    return ",".join(fields)


def accepted_ranges(lines, known):
    """The lines a converter takes, in order: (first, last, id)."""
    ranges, prev_end = [], 0
    for kind, first, last, code, _ in lines:
        if kind == "malformed" or first <= prev_end or last < first:
            continue
        ranges.append((first, last, known.get(code.lower(), 0)))
        prev_end = last
    return ranges


def table(ranges, close_gaps):
    entries, written, prev_end = [(0, 0)], 0, 0
    for first, last, id_ in ranges:
        if close_gaps and prev_end and first - prev_end > 1 and written != 0:
            entries.append((prev_end + 1, 0))
            written = 0
        if id_ != written:
            entries.append((first, id_))
            written = id_
        prev_end = last
    if prev_end not in (0, TOP):
        entries.append((prev_end + 1, 0))
    return "".join(f"{text(start)} {id_}\n" for start, id_ in entries)


def answer(ranges, firsts, address, close_gaps):
    if is_mapped(address):
        return 0
    at = bisect.bisect_right(firsts, address) - 1
    if at < 0:
        return 0
    first, last, id_ = ranges[at]
    if address <= last:
        return id_
    if at == len(ranges) - 1 or close_gaps:
        return 0
    return id_


def probes(rng, ranges):
    chosen = [0, TOP, MAPPED, MAPPED + 0x01000001, MAPPED - 1, MAPPED + (1 << 32)]
    for first, last, _ in ranges[::10]:
        chosen.extend(a for a in (first - 1, first, (first + last) // 2, last, last + 1)
                      if 0 <= a <= TOP)
    chosen.extend(rng.getrandbits(128) for _ in range(20000))
    chosen.extend((0x2001 << 112) + rng.getrandbits(100) for _ in range(20000))
    return chosen


def check_csv(path, expected_fields, skip_initial_space):
    """The files read back through Python's csv as orvik reads them."""
    with open(path, newline="", encoding="ascii") as lines:
        for row in csv.reader(lines, skipinitialspace=skip_initial_space):
            if len(row) != expected_fields:
                raise SystemExit(f"{path}: {row} has not {expected_fields} fields")


def main(seed, count, root):
    rng = random.Random(seed)
    known, unknown = make_names(rng)
    with open(os.path.join(root, "conf", "countries"), "w", encoding="ascii") as names:
        names.write("0 -- Unknown\n")
        for code, id_ in known.items():
            names.write(f"{id_} {code} Country {code.upper()}\n")
    lines = Lines(rng, count, known, unknown).items
    with open(os.path.join(root, "six-field.csv"), "w", encoding="ascii") as out:
        out.writelines(six_field_line(rng, item) + "\n" for item in lines)
    with open(os.path.join(root, "range-code.csv"), "w", encoding="ascii") as out:
        out.writelines(range_code_line(rng, item) + "\n" for item in lines)
    check_csv(os.path.join(root, "six-field.csv"), 6, True)
    check_csv(os.path.join(root, "range-code.csv"), 3, False)

    ranges = accepted_ranges(lines, known)
    for name, close_gaps in (("expected6.ips", False), ("expected6-closed.ips", True)):
        with open(os.path.join(root, name), "w", encoding="ascii") as out:
            out.write(table(ranges, close_gaps))
    firsts = [first for first, _, _ in ranges]
    with open(os.path.join(root, "probes"), "w", encoding="ascii") as out:
        for address in probes(rng, ranges):
            out.write(f"{text(address)} {answer(ranges, firsts, address, False)} "
                      f"{answer(ranges, firsts, address, True)}\n")
    print(len(lines), len(ranges))


if __name__ == "__main__":
    main(int(sys.argv[1]), int(sys.argv[2]), sys.argv[3])

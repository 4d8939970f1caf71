#!/usr/bin/env python3
"""IPv6 range lists, and the table and CIDR blocks of their union as
Python's ipaddress computes them.

Usage:
  tamsel6_model.py generate SEED LINES DIR   writes DIR/list0, list1, list2
  tamsel6_model.py model ID OUT FILE...      writes OUT.table and OUT.cidr

generate: LINES lines of IPv6 networks, ranges and bare addresses, crowded
into windows (at "::", at the top of the space, and at random places) so
that about half of each window is covered and many ranges overlap or touch;
a few wide networks elsewhere, a few IPv4 lines (which tamsel -6 passes
over), and the very ends of the space. The addresses are written in every
spelling ipaddress reads: compressed, exploded, upper case, with leading
zeros, with a dotted IPv4 tail; lines may have white space around them and
around the "-", and CR LF line ends.

model: reads the files as "tamsel -6 -s" reads those lines (a line without
":" is an IPv4 line and skipped), joins the ranges into their union, and
writes the CIDR blocks of the union as summarize_address_range gives them
(one "<network>/<n>" per line, ascending) and the boundary table: "<start>
<id>" lines, the covered runs with ID and the gaps with 0, starting at "::";
an empty union is ":: 0". On lists of up to COLLAPSE_LIMIT ranges the blocks
are checked against collapse_addresses of every range's own blocks.
"""
import ipaddress
import random
import sys

TOP = (1 << 128) - 1
IPV4_LINES = ["10.0.0.0/8", "192.0.2.0-192.0.2.99", "198.51.100.7", "203.0.113.0/24"]


def spelling(rng, value):
    address = ipaddress.IPv6Address(value)
    kind = rng.randrange(10)
    if kind == 0:
        return address.exploded
    if kind == 1:
        return str(address).upper()
    if kind == 2:  # leading zeros in every group, one "::" at most
        return ":".join(f"{int(g, 16):04x}" for g in address.exploded.split(":"))
    if kind == 3 and value & 0xFFFFFFFF:  # the last 32 bits as a dotted quad
        head = ipaddress.IPv6Address(value & ~0xFFFFFFFF).exploded.rsplit(":", 2)[0]
        return f"{head}:{ipaddress.IPv4Address(value & 0xFFFFFFFF)}"
    return str(address)


def range_line(rng, first):
    kind = rng.randrange(3)
    if kind == 0:
        bits = 118 + rng.randrange(11)
        first &= ~((1 << (128 - bits)) - 1)
        return f"{spelling(rng, first)}/{bits}"
    if kind == 1:
        # Mostly short, some up to 2000 addresses long.
        last = min(TOP, first + rng.randrange(1 << rng.randrange(1, 12)))
        dash = rng.choice(["-", "-", " - ", "\t-"])
        return f"{spelling(rng, first)}{dash}{spelling(rng, last)}"
    return spelling(rng, first)


def dress(rng, line):
    """White space around the line and its line end."""
    if rng.randrange(8) == 0:
        line = rng.choice([" ", "\t", "  "]) + line
    if rng.randrange(8) == 0:
        line += rng.choice([" ", "\t"])
    return line + ("\r\n" if rng.randrange(10) == 0 else "\n")


def generate(seed, count, directory):
    rng = random.Random(seed)
    span = 512 * count + 8192
    windows = [0, TOP - span + 1] + [rng.getrandbits(128) for _ in range(3)]
    files = [[], [], []]
    for _ in range(count):
        kind = rng.randrange(100)
        if kind == 0:
            bits = 16 + rng.randrange(49)
            line = f"{spelling(rng, rng.getrandbits(bits) << (128 - bits))}/{bits}"
        elif kind == 1:
            line = rng.choice(IPV4_LINES)
        else:
            window = rng.choice(windows)
            line = range_line(rng, min(TOP, window + rng.randrange(span)))
        files[rng.randrange(3)].append(dress(rng, line))
    # The very ends of the space, alone or joined to their neighbours.
    files[0] += ["::\n", "::1\n", f"{ipaddress.IPv6Address(TOP)}\n"]
    for index, lines in enumerate(files):
        with open(f"{directory}/list{index}", "w", encoding="ascii", newline="") as out:
            out.writelines(lines)


def address(text):
    return int(ipaddress.IPv6Address(text.strip()))


def span(line):
    """The first and last address of one line's range."""
    if "/" in line:
        network = ipaddress.IPv6Network(line)
        return int(network.network_address), int(network.broadcast_address)
    first, dash, last = line.partition("-")
    return address(first), address(last) if dash else address(first)


def union(spans):
    """The union as ascending runs [first, last] that neither overlap nor touch."""
    runs = []
    for first, last in sorted(spans):
        if runs and first <= runs[-1][1] + 1:
            runs[-1][1] = max(runs[-1][1], last)
        else:
            runs.append([first, last])
    return runs


def blocks_of(runs):
    return [
        block
        for first, last in runs
        for block in ipaddress.summarize_address_range(
            ipaddress.IPv6Address(first), ipaddress.IPv6Address(last)
        )
    ]


# collapse_addresses builds the same union from the lines' own networks, a
# second way to the same blocks; it takes minutes on the largest lists.
COLLAPSE_LIMIT = 50_000


def model(id_, out, paths):
    spans = []
    for path in paths:
        with open(path, encoding="ascii") as lines:
            for line in lines:
                line = line.strip()
                if ":" in line:
                    spans.append(span(line))
    runs = union(spans)
    blocks = blocks_of(runs)
    if len(spans) <= COLLAPSE_LIMIT:
        assert blocks == list(ipaddress.collapse_addresses(blocks_of(spans)))
    with open(out + ".cidr", "w", encoding="ascii") as cidr:
        cidr.writelines(f"{block.with_prefixlen}\n" for block in blocks)
    entries = [] if runs and runs[0][0] == 0 else [(0, 0)]
    for first, last in runs:
        entries.append((first, id_))
        if last != TOP:
            entries.append((last + 1, 0))
    with open(out + ".table", "w", encoding="ascii") as table:
        table.writelines(f"{ipaddress.IPv6Address(start)} {id_}\n" for start, id_ in entries)


if __name__ == "__main__":
    if sys.argv[1] == "generate":
        generate(int(sys.argv[2]), int(sys.argv[3]), sys.argv[4])
    else:
        model(int(sys.argv[2]), sys.argv[3], sys.argv[4:])

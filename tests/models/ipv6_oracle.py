#!/usr/bin/env python3
"""IPv6 addresses with their text as Python's ipaddress writes and reads it.

Usage: ipv6_oracle.py [seed]

Prints one line per address:

    <32 hex digits of the 16 bytes> <str()> <exploded> <another spelling>

where str() is ipaddress.IPv6Address's text, exploded its full form with
leading zeros, and the other spelling a random non-canonical text of the same
address (upper case, leading zeros, another or no "::", a dotted tail), which
ipaddress has been checked to read back to the same address. A last line
"end <count>" tells the reader that nothing was lost on the way.

The addresses: every pattern of zero groups (so zero runs of every length and
position, ties between runs and single zero groups) many times over with
random other groups, uniformly random ones, groups mixed from 0, 1, ffff and
random values, IPv4-mapped and other embedded IPv4 forms, and a few fixed
ones (all zero, all ones, ...). The same seed gives the same lines.
"""

import ipaddress
import random
import sys

ZERO_MASK_REPEATS = 400  # 256 patterns
UNIFORM = 150_000
SPARSE = 100_000
MIXED = 100_000
EMBEDDED_IPV4 = 50_000

FIXED = [
    [0] * 8,
    [0xFFFF] * 8,
    [0] * 7 + [1],
    [1] + [0] * 7,
    [0] * 5 + [0xFFFF, 0, 0],
    [0] * 5 + [0xFFFF, 0xFFFF, 0xFFFF],
] + [[0xFFFF] * i + [0] + [0xFFFF] * (7 - i) for i in range(8)]


# The helpers below draw raw random bits instead of calling randint: the
# script makes millions of draws, and randint is several times slower.


def random_group(rng):
    """A non-zero group with 1 to 4 hex digits, each length equally likely."""
    digits = rng.getrandbits(2) + 1
    low = 1 if digits == 1 else 16 ** (digits - 1)
    return low + rng.getrandbits(32) % (16**digits - low)


def zero_mask_groups(rng, mask):
    return [0 if mask >> i & 1 else random_group(rng) for i in range(8)]


def ipv4_value(rng):
    special = [0, 1, 0xFFFFFFFF, 0x01000000, 0x7F000001, 0x00FF00FF, 0xFF000000]
    return rng.choice(special) if rng.random() < 0.1 else rng.getrandbits(32)


def embedded_ipv4_groups(rng):
    prefix = rng.choice(
        [
            [0, 0, 0, 0, 0, 0xFFFF],  # IPv4-mapped
            [0, 0, 0, 0, 0, 0xFFFF],
            [0, 0, 0, 0, 0, 0xFFFF],
            [0, 0, 0, 0, 0, 0],  # IPv4-compatible
            [0, 0, 0, 0, 0xFFFF, 0],  # IPv4-translated
            [0x64, 0xFF9B, 0, 0, 0, 0],  # NAT64 well-known prefix
        ]
    )
    value = ipv4_value(rng)
    return prefix + [value >> 16, value & 0xFFFF]


def addresses(rng):
    yield from FIXED
    for _ in range(ZERO_MASK_REPEATS):
        for mask in range(256):
            yield zero_mask_groups(rng, mask)
    for _ in range(UNIFORM):
        value = rng.getrandbits(128)
        yield [value >> (112 - 16 * i) & 0xFFFF for i in range(8)]
    for _ in range(SPARSE):
        yield [0 if rng.random() < 0.3 else random_group(rng) for _ in range(8)]
    for _ in range(MIXED):
        yield [rng.choice([0, 0, 1, 0xFFFF, random_group(rng)]) for _ in range(8)]
    for _ in range(EMBEDDED_IPV4):
        yield embedded_ipv4_groups(rng)


def padded(rng, group):
    """Hex text of group with random leading zeros and random case."""
    text = "%x" % group
    text = "0" * (rng.getrandbits(3) % (5 - len(text))) + text
    upper = rng.getrandbits(4)
    return "".join(c.upper() if upper >> i & 1 else c for i, c in enumerate(text))


def zero_runs(groups, limit):
    """(start, end) of every run of zero groups within groups[:limit]."""
    runs, start = [], None
    for i in range(limit + 1):
        zero = i < limit and groups[i] == 0
        if zero and start is None:
            start = i
        elif not zero and start is not None:
            runs.append((start, i))
            start = None
    return runs


def join_compressed(rng, pieces, runs):
    """pieces joined by ':', one random zero run (if any, by chance) as '::'."""
    if not runs or rng.random() < 0.25:
        return ":".join(pieces)
    start, end = rng.choice(runs)
    return ":".join(pieces[:start]) + "::" + ":".join(pieces[end:])


def other_spelling(rng, groups, canonical):
    kind = rng.getrandbits(8) % 3
    if kind == 0:
        return canonical.upper()
    if kind == 1:
        pieces = [padded(rng, g) for g in groups]
        return join_compressed(rng, pieces, zero_runs(groups, 8))
    quad = ".".join(str(groups[6 + i // 2] >> (8 - 8 * (i % 2)) & 0xFF) for i in range(4))
    pieces = [padded(rng, g) for g in groups[:6]] + [quad]
    return join_compressed(rng, pieces, zero_runs(groups, 6))


def main():
    seed = int(sys.argv[1]) if len(sys.argv) > 1 else 1
    rng = random.Random(seed)
    out = sys.stdout
    count = 0
    for groups in addresses(rng):
        value = 0
        for group in groups:
            value = value << 16 | group
        address = ipaddress.IPv6Address(value)
        canonical = str(address)
        spelling = other_spelling(rng, groups, canonical)
        if ipaddress.IPv6Address(spelling) != address:
            sys.exit("ipv6_oracle: %s does not read back as %s" % (spelling, canonical))
        out.write("%s %s %s %s\n" % (address.packed.hex(), canonical, address.exploded, spelling))
        count += 1
    out.write("end %d\n" % count)


if __name__ == "__main__":
    main()

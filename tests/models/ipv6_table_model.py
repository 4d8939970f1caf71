#!/usr/bin/env python3
"""An IPv6 boundary table and the answers it gives, as Python's ipaddress
and bisect compute them.

Usage: ipv6_table_model.py SEED ENTRIES TABLE PROBES

Writes TABLE, a boundary table of ENTRIES lines "START ID" (START as
str(ipaddress.IPv6Address), strictly ascending, the first "::"), with starts
spread over the whole space, crowded into a few /32s, next to each other,
and at the very top; and PROBES, lines "ADDRESS ID": addresses around every
tenth start and random ones, with the id of the last entry whose start is
not above the address. The library's tests load TABLE and compare.
"""
import bisect
import ipaddress
import random
import sys

TOP = (1 << 128) - 1


def starts(rng, count):
    chosen = {0}
    crowded = [rng.getrandbits(32) << 96 for _ in range(8)]
    while len(chosen) < count:
        kind = rng.randrange(4)
        if kind == 0:
            chosen.add(rng.getrandbits(128))
        elif kind == 1:
            chosen.add(rng.choice(crowded) | rng.getrandbits(40) << 56)
        elif kind == 2:
            chosen.add(min(TOP, rng.choice(crowded) + rng.randrange(1 << 16)))
        else:
            chosen.add(TOP - rng.randrange(1 << 20))
    return sorted(chosen)


def main(seed, count, table_path, probes_path):
    rng = random.Random(seed)
    keys = starts(rng, count)
    ids = [rng.randrange(256) for _ in keys]
    with open(table_path, "w", encoding="ascii") as table:
        for key, id_ in zip(keys, ids):
            table.write(f"{ipaddress.IPv6Address(key)} {id_}\n")
    probes = []
    for key in keys[::10]:
        probes.extend(k for k in (key - 1, key, key + 1) if 0 <= k <= TOP)
    probes.extend(rng.getrandbits(128) for _ in range(count // 10))
    probes.extend((0, TOP))
    with open(probes_path, "w", encoding="ascii") as out:
        for address in probes:
            at = bisect.bisect_right(keys, address) - 1
            out.write(f"{ipaddress.IPv6Address(address)} {ids[at] if at >= 0 else 0}\n")
    print(len(keys), len(probes))


if __name__ == "__main__":
    main(int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4])

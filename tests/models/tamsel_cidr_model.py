#!/usr/bin/env python3
"""The CIDR cover of a range list, as Python's ipaddress computes it.

Reads the files named on the command line, one range per line:
"a.b.c.d/n" (a network address), "a.b.c.d-e.f.g.h" or a bare "a.b.c.d".
Prints the smallest list of CIDR blocks covering exactly the union of the
ranges, one "a.b.c.d/n" per line in ascending order. The tamsel tests
compare "tamsel --cidr -s" with it on generated lists.
"""
import ipaddress
import sys


def networks(line):
    if "/" in line:
        return [ipaddress.IPv4Network(line)]
    first, _, last = line.partition("-")
    first = ipaddress.IPv4Address(first)
    last = ipaddress.IPv4Address(last) if last else first
    return list(ipaddress.summarize_address_range(first, last))


def main(paths):
    blocks = []
    for path in paths:
        with open(path, encoding="ascii") as lines:
            for line in lines:
                if line.strip():
                    blocks.extend(networks(line.strip()))
    for block in ipaddress.collapse_addresses(blocks):
        print(block.with_prefixlen)


if __name__ == "__main__":
    main(sys.argv[1:])

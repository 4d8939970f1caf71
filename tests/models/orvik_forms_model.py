#!/usr/bin/env python3
"""One data set of country ranges written in every form orvik reads, and
the two tables each must give, as Python's ipaddress, csv and json compute
them.

Usage: orvik_forms_model.py SEED RANGES4 RANGES6 ROOT [CODES]

Writes under ROOT (an installation root with conf/):
  conf/countries         a names file of all but 5 of the data set's CODES
                         codes (default 40)
  six-field.csv          the ranges with a country in the default form:
                         six quoted fields, IPv6 ones with ", " between them
  range-code.csv         the ranges with a country as "first,last,code"
  range-code-numeric.csv the same with a header line and the addresses as
                         numbers (IPv4 below 2^32, IPv6 in 128 bits)
  range-code.tsv         the same tab-separated with a header line
  geolite2-ipv4.csv      GeoLite2 Country blocks (networks from
  geolite2-ipv6.csv      ipaddress.summarize_address_range), a block's
                         country given by its location, its registered
                         country, or a location that is a continent and a
                         registered country; blocks without any in gaps
  geolite2-locations.csv the locations: countries and continents, names
                         with commas quoted
  ip2location6.csv       IP2Location LITE DB1 IPv6 file: the whole space in
                         order, the IPv4 ranges as IPv4-mapped numbers,
                         "-","-" in the gaps
  ip2location4.csv       the IPv4 file
  delegated-a, -b        registry statistics: the ranges dealt out to two
                         registries (each file sorted, the two together
                         not), IPv4 records by address count (not always a
                         power of two), IPv6 ones by prefix, available and
                         reserved records in gaps, asn records, a version
                         line, summary lines and comments
  iso.json               an ISO 3166-1 list of the codes (as Debian's
                         iso-codes writes it) for the titles
  expected4.ips          the tables every form must give
  expected6.ips
  expected-names         the names file --update-names must write from an
                         empty one with the registry files (ISO titles)

The table: "0.0.0.0 0" / ":: 0" first, an entry where the id changes (a
gap keeps the id before it), a closing entry after the last range unless
it reaches the top; a code the names lack has id 0.
"""
import csv
import io
import ipaddress
import json
import os
import random
import sys

TOP4 = (1 << 32) - 1
TOP6 = (1 << 128) - 1
MAPPED = 0xFFFF << 32


def make_codes(rng, count):
    letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    codes = rng.sample([a + b for a in letters for b in letters if a + b != "ZZ"], count)
    names = {code: f"Country {code}" + (", Republic of" if rng.random() < 0.2 else "")
             for code in codes}
    return codes, names


def walk(rng, codes, count, start, top, sizes, aligned_share):
    """count ranges (first, last, code) from start on, gaps between some;
    aligned_share of them networks (a power of two in size, aligned), the
    others of any size."""
    ranges, at, code = [], start, rng.choice(codes)
    for _ in range(count):
        if rng.random() < 0.4:
            code = rng.choice(codes)
        aligned = rng.random() < aligned_share
        size = 1 << rng.choice(sizes) if aligned else rng.randrange(1, 1 << rng.choice(sizes))
        if rng.random() < 0.3:
            at += rng.randrange(1, size + 1)  # a gap
        if aligned:
            at = (at + size - 1) // size * size
        if at + size - 1 > top:
            break
        ranges.append((at, at + size - 1, code))
        at += size
    return ranges


def gaps(ranges, low, high):
    """The gaps between ranges within [low, high], as (first, last)."""
    out, at = [], low
    for first, last, _ in ranges:
        if first > at:
            out.append((at, first - 1))
        at = last + 1
    if at <= high:
        out.append((at, high))
    return out


def networks(first, last, version):
    cls = ipaddress.IPv4Address if version == 4 else ipaddress.IPv6Address
    return list(ipaddress.summarize_address_range(cls(first), cls(last)))


def table(ranges, ids, top, text):
    entries, written, prev_end = [(0, 0)], 0, 0
    for first, last, code in ranges:
        id_ = ids.get(code.lower(), 0)
        if id_ != written:
            entries.append((first, id_))
            written = id_
        prev_end = last
    if prev_end not in (0, top):
        entries.append((prev_end + 1, 0))
    return "".join(f"{text(start)} {id_}\n" for start, id_ in entries)


def text4(address):
    return str(ipaddress.IPv4Address(address))


def text6(address):
    if address >> 32 == 0xFFFF:  # hex groups, whatever the Python version writes
        return f"::ffff:{address >> 16 & 0xFFFF:x}:{address & 0xFFFF:x}"
    return str(ipaddress.IPv6Address(address))


def csv_text(rows, quote_all=False):
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n",
                        quoting=csv.QUOTE_ALL if quote_all else csv.QUOTE_MINIMAL)
    writer.writerows(rows)
    return out.getvalue()


def write(root, name, text):
    with open(os.path.join(root, name), "w", encoding="utf-8", newline="") as out:
        out.write(text)


def six_field(root, names, ranges4, ranges6):
    lines = [f'"{text4(a)}","{text4(b)}","{a}","{b}","{c}","{names[c]}"\n' for a, b, c in ranges4]
    lines += [f'"{ipaddress.IPv6Address(a)}", "{ipaddress.IPv6Address(b)}", "{a}", "{b}", '
              f'"{c}", "{names[c]}"\n' for a, b, c in ranges6]
    write(root, "six-field.csv", "".join(lines))


def range_codes(root, ranges4, ranges6):
    both = [(first, last, code, 4) for first, last, code in ranges4] + \
           [(first, last, code, 6) for first, last, code in ranges6]
    def text(address, version):
        return text4(address) if version == 4 else str(ipaddress.IPv6Address(address))
    write(root, "range-code.csv", "".join(
        f"{text(a, v)},{text(b, v)},{c}\n" for a, b, c, v in both))
    write(root, "range-code-numeric.csv", "ip_range_start,ip_range_end,country_code\n" + "".join(
        f"{a},{b},{c}\n" for a, b, c, _ in both))
    write(root, "range-code.tsv", "ip_range_start\tip_range_end\tcountry_code\n" + "".join(
        f"{text(a, v)}\t{text(b, v)}\t{c}\n" for a, b, c, v in both))


def geolite2(rng, root, codes, names, ranges4, ranges6):
    ids = {code: 1000 + i for i, code in enumerate(codes)}
    continents = [(6255146 + i, name) for i, name in enumerate(["Africa", "Asia", "Europe"])]
    rows = [["geoname_id", "locale_code", "continent_code", "continent_name", "country_iso_code",
             "country_name", "is_in_european_union"]]
    for code in codes:
        rows.append([ids[code], "en", "EU", "Europe", code, names[code], 0])
    for id_, name in continents:
        rows.append([id_, "en", name[:2].upper(), name, "", "", 0])
    write(root, "geolite2-locations.csv", csv_text(rows))
    header = ["network", "geoname_id", "registered_country_geoname_id",
              "represented_country_geoname_id", "is_anonymous_proxy",
              "is_satellite_provider", "is_anycast"]
    for version, ranges, top in ((4, ranges4, TOP4), (6, ranges6, TOP6)):
        blocks = []
        for first, last, code in ranges:
            for net in networks(first, last, version):
                roll = rng.random()
                if roll < 0.7:
                    blocks.append((net, [ids[code], ids[code], "", 0, 0, ""]))
                elif roll < 0.9:
                    blocks.append((net, ["", ids[code], "", 0, 0, ""]))
                else:
                    blocks.append((net, [rng.choice(continents)[0], ids[code], "", 0, 0, ""]))
        low = 1 << 24 if version == 4 else 0x2000 << 112
        for first, last in gaps(ranges, low, low + (1 << (24 if version == 4 else 100))):
            if rng.random() < 0.3:  # a proxy or satellite block: no country
                for net in networks(first, last, version)[:2]:
                    blocks.append((net, ["", "", "", 1, 0, ""]))
        blocks.sort(key=lambda block: int(block[0].network_address))
        write(root, f"geolite2-ipv{version}.csv",
              csv_text([header] + [[str(net)] + fields for net, fields in blocks]))


def ip2location(root, names, ranges4, ranges6):
    def rows(ranges, low, high, offset):
        items = [(a, b, c) for a, b, c in ranges] + [(a, b, None) for a, b in gaps(ranges, low, high)]
        items.sort()
        return [[a + offset, b + offset, c or "-", names[c] if c else "-"] for a, b, c in items]
    write(root, "ip2location4.csv", csv_text(rows(ranges4, 0, TOP4, 0), quote_all=True))
    six = [[0, MAPPED - 1, "-", "-"]] + rows(ranges4, 0, TOP4, MAPPED) + \
          rows(ranges6, MAPPED + (1 << 32), TOP6, 0)
    write(root, "ip2location6.csv", csv_text(six, quote_all=True))


def registry(rng, root, ranges4, ranges6):
    records = {"a": [], "b": []}
    for version, ranges in ((4, ranges4), (6, ranges6)):
        for i, (first, last, code) in enumerate(ranges):
            owner = "ab"[i % 2]
            status = rng.choice(["allocated", "assigned"])
            if version == 4:
                records[owner].append((4, first, f"{code}|ipv4|{text4(first)}|{last - first + 1}"
                                       f"|20100101|{status}|opaque{i}"))
            else:
                for net in networks(first, last, 6):
                    records[owner].append((6, first, f"{code}|ipv6|{net.network_address}"
                                           f"|{net.prefixlen}|20100101|{status}"))
        low = 1 << 24 if version == 4 else 0x2000 << 112
        for first, last in gaps(ranges, low, low + (1 << (24 if version == 4 else 100)))[:50]:
            net = networks(first, last, version)[0]
            value = net.num_addresses if version == 4 else net.prefixlen
            status = rng.choice(["|available", "ZZ|reserved"])
            cc, status = status.split("|")
            records[rng.choice("ab")].append(
                (version, first, f"{cc}|ipv{version}|{net.network_address}|{value}|"
                                 f"|{status}|"))
    for owner, lines in records.items():
        lines.sort()
        name = f"rir{owner}"
        out = [f"2.3|{name}|20261209|{len(lines)}|19830101|20261208|+0100",
               "# statistics of a registry", f"{name}|*|ipv4|*|{len(lines)}|summary",
               f"{name}|*|asn|*|2|summary", f"{name}|ZZ|asn|4608|1|20010101|allocated|x"]
        out += [f"{name}|{line}" for _, _, line in lines]
        write(root, f"delegated-{owner}", "\n".join(out) + "\n")


def main(seed, count4, count6, root, code_count=40):
    rng = random.Random(seed)
    codes, names = make_codes(rng, code_count)
    listed = codes[:code_count - 5]
    ids = {code.lower(): i + 1 for i, code in enumerate(listed)}
    write(root, "conf/countries", "0 -- Unknown\n" + "".join(
        f"{ids[code.lower()]} {code.lower()} {names[code]}\n" for code in listed))
    ranges4 = walk(rng, codes, count4, 1 << 24, TOP4, (4, 8, 10, 12), 0.8)
    ranges6 = walk(rng, codes, count6, 0x2001 << 112, TOP6, (32, 48, 64, 80), 1.0)
    six_field(root, names, ranges4, ranges6)
    range_codes(root, ranges4, ranges6)
    geolite2(rng, root, codes, names, ranges4, ranges6)
    ip2location(root, names, ranges4, ranges6)
    registry(rng, root, ranges4, ranges6)
    write(root, "iso.json", json.dumps(
        {"3166-1": [{"alpha_2": code, "alpha_3": code + "X", "name": f"ISO {code}"}
                    for code in codes[5:]]}, indent=2))
    write(root, "expected4.ips", table(ranges4, ids, TOP4, text4))
    write(root, "expected6.ips", table(ranges6, ids, TOP6, text6))
    # From an empty names file: codes numbered as they first come in address
    # order of the registry files as orvik reads them (each family's records
    # in file order: file a, then file b).
    seen = []
    for owner in "ab":
        for line in open(os.path.join(root, f"delegated-{owner}"), encoding="ascii"):
            fields = line.rstrip("\n").split("|")
            if len(fields) >= 7 and fields[2] in ("ipv4", "ipv6") and fields[1] not in ("", "ZZ") \
                    and fields[6] in ("allocated", "assigned") and fields[1].lower() not in seen:
                seen.append(fields[1].lower())
    iso = {code.lower(): f"ISO {code}" for code in codes[5:]}
    write(root, "expected-names", "".join(
        f"{i + 1} {code} {iso.get(code, code)}\n" for i, code in enumerate(seen)))
    print(len(ranges4), len(ranges6))


if __name__ == "__main__":
    main(int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4],
         *(int(arg) for arg in sys.argv[5:6]))

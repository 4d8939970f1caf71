#!/usr/bin/env python3
"""Independent checks of the firewall sets that iplookup's scripts load,
read back from the kernel, for the iplookup firewall tests.

  firewall_sets_model.py ipset TABLE4 TABLE6 NAMES CODES NAME LISTING
      LISTING holds the output of "ipset save". The set NAME must hold
      exactly the smallest CIDR cover of the IPv4 addresses that TABLE4
      gives the ids of CODES (codes separated by ','; the lowest id the
      NAMES file lists for each), the whole space as its two halves, and
      NAME6 the same of TABLE6. A table given as "-" was not exported:
      its set is not checked. No temporary set (NAME.tmp, NAME6.tmp) may
      be left.

  firewall_sets_model.py nft TABLE4 TABLE6 NAMES CODES NAME LISTING
      LISTING holds the output of "nft -j list ruleset". Each set must hold
      one element per maximal range of those addresses, exactly the range.

Prints every problem found and exits with 1 when there was one.
"""
import ipaddress
import json
import sys

from iplookup_oracle import IPV4, IPV6, model_runs, read_names, read_table

problems = []


def problem(text):
    problems.append(text)


def wanted_ids(names_path, codes):
    listed = read_names(names_path)
    ids = set()
    for code in codes.split(","):
        matching = [ident for ident, name in listed.items() if name == code.lower()]
        if not matching:
            problem(f"no code {code!r} in {names_path}")
        else:
            ids.add(min(matching))
    return ids


def set_ranges(table_path, family, ids):
    """The maximal ranges (first, last) of the ids' addresses, touching runs
    of different ids joined."""
    ranges = []
    for first, last, ident in model_runs(read_table(table_path, family), family):
        if ident not in ids:
            continue
        if ranges and ranges[-1][1] + 1 == first:
            ranges[-1][1] = last
        else:
            ranges.append([first, last])
    return [tuple(pair) for pair in ranges]


def block(net):
    """A network as a plain (address, prefix length) pair: cheap to sort."""
    return int(net.network_address), net.prefixlen


def smallest_cover(ranges, family):
    blocks = []
    for first, last in ranges:
        for net in ipaddress.summarize_address_range(family.address(first),
                                                     family.address(last)):
            if net.prefixlen == 0:  # hash:net takes the two halves
                blocks.extend(block(half) for half in net.subnets(prefixlen_diff=1))
            else:
                blocks.append(block(net))
    return blocks


def compare(label, got, want):
    if got == want:
        return
    missing = sorted(set(want) - set(got))[:5]
    extra = sorted(set(got) - set(want))[:5]
    problem(f"{label}: {len(got)} elements, expected {len(want)}; "
            f"missing {missing}, not expected {extra}")


def families(table4, table6, name):
    for path, family, set_name in ((table4, IPV4, name), (table6, IPV6, name + "6")):
        if path != "-":
            yield path, family, set_name


def check_ipset(table4, table6, names, codes, name, listing):
    ids = wanted_ids(names, codes)
    created, members = set(), {}
    for line in open(listing).read().splitlines():
        words = line.split()
        if words[0] == "create":
            created.add(words[1])
        elif words[0] == "add":
            members.setdefault(words[1], []).append(words[2])
    for temporary in (name + ".tmp", name + "6.tmp"):
        if temporary in created:
            problem(f"the temporary set {temporary} is left")
    for path, family, set_name in families(table4, table6, name):
        if set_name not in created:
            problem(f"no set {set_name}")
            continue
        got = sorted(block(family.network(text)) for text in members.get(set_name, []))
        want = smallest_cover(set_ranges(path, family, ids), family)
        compare(f"set {set_name}", got, want)


def element_range(element, family):
    if isinstance(element, str):
        address = int(family.address(element))
        return address, address
    if "prefix" in element:
        net = family.network(f"{element['prefix']['addr']}/{element['prefix']['len']}")
        return int(net.network_address), int(net.broadcast_address)
    first, last = element["range"]
    return int(family.address(first)), int(family.address(last))


def check_nft(table4, table6, names, codes, name, listing):
    ids = wanted_ids(names, codes)
    sets = {}
    for entry in json.load(open(listing))["nftables"]:
        if "set" in entry:
            sets[entry["set"]["name"]] = entry["set"]
    for path, family, set_name in families(table4, table6, name):
        if set_name not in sets:
            problem(f"no set {set_name}")
            continue
        elements = sets[set_name].get("elem", [])
        got = sorted(element_range(element, family) for element in elements)
        compare(f"set {set_name}", got, set_ranges(path, family, ids))


def main(argv):
    checks = {"ipset": check_ipset, "nft": check_nft}
    if len(argv) != 8 or argv[1] not in checks:
        print(__doc__, file=sys.stderr)
        return 2
    checks[argv[1]](*argv[2:])
    for text in problems:
        print(text)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

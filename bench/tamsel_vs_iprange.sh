#!/bin/sh
# tamsel against Debian's `iprange -j` on the same generated range list:
# checks that both describe the same set of addresses, then times both in
# one hyperfine run and reads each one's peak memory.
#
#   cmake --preset release && cmake --build --preset release -j2
#   bench/tamsel_vs_iprange.sh [LINES]        (default 1000000)
set -eu
cd "$(dirname "$0")/.."
lines=${1:-1000000}
build=build/release
root=$build/test-root                 # the root tamsel_testroot was built for
tamsel=$build/tests/tamsel_testroot   # the tamsel program, working in $root
input=/tmp/tamsel-vs-iprange-$lines.txt
work=$(mktemp -d /tmp/tamsel-vs-iprange.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build/bench/tamsel_bench" --write-input "$input" "$lines"
mkdir -p "$root/conf" "$root/logs"
printf '0 -- Unknown\n1 ru Russia\n' > "$root/conf/countries"

"$tamsel" < "$input" > "$work/table"
iprange -j < "$input" > "$work/iprange"
if bench/table_to_ranges.awk "$work/table" | cmp -s - "$work/iprange"; then
  echo "same set of addresses: $(wc -l < "$work/iprange") merged ranges"
else
  echo "DIFFERENT sets of addresses" >&2
  exit 1
fi

hyperfine --warmup 2 --runs 15 --export-json "$work/times.json" \
  -n tamsel "$tamsel < $input > /dev/null" \
  -n "iprange -j" "iprange -j < $input > /dev/null"
# Medians, and their ratio (the machine may be shared: medians are steadier).
awk -F'[:,]' '/"command"/ { name = $2 } /"median"/ { printf "median %s: %.1f ms\n", name, $2 * 1000; m[++n] = $2 }
  END { if (n == 2) printf "median ratio tamsel / iprange -j: %.2f\n", m[1] / m[2] }' "$work/times.json"

for cmd in "$tamsel" "iprange -j"; do
  /usr/bin/time -f "$cmd: peak %M KiB" $cmd < "$input" > /dev/null
done 2>&1 | sed "s|$build/tests/tamsel_testroot|tamsel|"
echo "input: $lines lines"

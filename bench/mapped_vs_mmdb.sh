#!/bin/sh
# The compiled table on real data against libmaxminddb and libGeoIP: fetches
# the published GeoLite2 country lists (first,last,code lines) and the .mmdb
# of the same data with npm pack into build/bench-data (kept as a cache),
# converts the lists with orvik --format range-code --close-gaps into a
# scratch root, compiles them with iplookup --compile, and runs
# build/release/bench/mapped_bench there (first answers, memory, PSS, bytes
# per entry, lookups, and the answers against libmaxminddb on 2,000,000
# addresses), then times iplookup against mmdblookup as whole processes
# with hyperfine.
# Usage: bench/mapped_vs_mmdb.sh   (after cmake --preset release && cmake --build --preset release)
set -eu
cd "$(dirname "$0")/.."
top=$PWD
build=build/release
cache=build/bench-data
root=$top/build/bench-root
command -v npm >/dev/null || { echo "mapped_vs_mmdb: npm is needed (Debian: npm)"; exit 1; }
mkdir -p "$cache"
if ! ls "$cache"/ip-location-db-geolite2-country-[0-9]*.tgz >/dev/null 2>&1 ||
   ! ls "$cache"/ip-location-db-geolite2-country-mmdb-*.tgz >/dev/null 2>&1; then
  (cd "$cache" && npm pack --silent @ip-location-db/geolite2-country @ip-location-db/geolite2-country-mmdb)
fi
rm -rf "$cache/lists" "$cache/mmdb" "$root"
mkdir -p "$cache/lists" "$cache/mmdb" "$root/conf" "$root/logs"
tar xzf "$(ls "$cache"/ip-location-db-geolite2-country-[0-9]*.tgz | tail -n 1)" -C "$cache/lists"
tar xzf "$(ls "$cache"/ip-location-db-geolite2-country-mmdb-*.tgz | tail -n 1)" -C "$cache/mmdb"
lists=$cache/lists/package
mmdb=$top/$cache/mmdb/package/geolite2-country.mmdb
echo "lines: $(wc -l <"$lists/geolite2-country-ipv4.csv") IPv4, $(wc -l <"$lists/geolite2-country-ipv6.csv") IPv6"

"$build/orvik" -r "$root" --format range-code --close-gaps --update-names \
  "$lists/geolite2-country-ipv4.csv" "$lists/geolite2-country-ipv6.csv"
"$build/iplookup" -r "$root" --compile
"$build/iplookup" -r "$root" --verify

MAPPED_BENCH_ROOT=$root MAPPED_BENCH_MMDB=$mmdb "$build/bench/mapped_bench" \
  --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true

# Whole processes: iplookup with the compiled table, with the text tables
# only (the compiled file moved aside), and mmdblookup.
for address in 8.8.8.8 2a02:6b8::1; do
  hyperfine -N --style basic --warmup 20 --runs 300 \
    "$build/iplookup -r $root $address" \
    "mmdblookup --file $mmdb --ip $address"
done
mv "$root/conf/countries.ipt" "$root/conf/countries.ipt.aside"
hyperfine -N --style basic --warmup 3 --runs 20 "$build/iplookup -r $root 8.8.8.8" "$build/iplookup -r $root 2a02:6b8::1"
mv "$root/conf/countries.ipt.aside" "$root/conf/countries.ipt"

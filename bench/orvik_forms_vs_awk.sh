#!/bin/sh
# orvik on every input form against awk merely printing two fields of the
# same files (Debian's mawk; -F'\t' for tab forms, -F'|' for the registry
# files). One data set, written in every form by the tests' Python model
# (tests/models/orvik_forms_model.py: ~350,000 IPv4 and ~250,000 IPv6
# ranges over 250 codes); first checks that every form gives the tables of
# the range-code list, then times all of them in one hyperfine run and
# prints each form's median and its ratio to awk's on the same files.
#
# The root lies on tmpfs (/dev/shm): orvik syncs its tables before the
# rename, which on a disk adds a wait that awk, writing nothing, never has;
# BENCH_DIR=DIR puts it elsewhere to see that wait too.
#
#   cmake --preset release && cmake --build --preset release -j2
#   bench/orvik_forms_vs_awk.sh [RANGES4 RANGES6]
set -eu
cd "$(dirname "$0")/.."
ranges4=${1:-350000}
ranges6=${2:-250000}
orvik=$PWD/build/release/orvik
work=$(mktemp -d "${BENCH_DIR:-/dev/shm}/orvik-forms.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/conf" "$work/logs"
python3 tests/models/orvik_forms_model.py 42 "$ranges4" "$ranges6" "$work" 250 >/dev/null
cd "$work"
# Every code listed, as in a names file kept up to date: no line is logged.
awk -F, '{ print tolower($3) }' range-code.csv | sort -u |
  awk 'BEGIN { print "0 -- Unknown" } { print NR, $1, "Country", toupper($1) }' > conf/countries
# The six-field form as published: the IPv4 and the IPv6 list apart.
grep -v '", "' six-field.csv > six-field4.csv
grep '", "' six-field.csv > six-field6.csv

# name;tables it makes;orvik options;awk's field separator;files
forms='six-field IPv4;4;;,;six-field4.csv
six-field IPv6;6;;,;six-field6.csv
range-code text;46;--format range-code;,;range-code.csv
range-code numeric;46;--format range-code;,;range-code-numeric.csv
range-code tab;46;--format range-code;\t;range-code.tsv
geolite2;46;--format geolite2 --locations geolite2-locations.csv;,;geolite2-ipv4.csv geolite2-ipv6.csv
ip2location;46;--format ip2location;,;ip2location6.csv
registry;46;--format registry;|;delegated-a delegated-b'

"$orvik" -r . --format range-code range-code.csv
mv conf/countries.ips expected4.ips
mv conf/countries6.ips expected6.ips
commands=$work/commands
: > "$commands"
echo "$forms" | while IFS=';' read -r name tables options separator files; do
  rm -f conf/countries.ips conf/countries6.ips
  # shellcheck disable=SC2086
  "$orvik" -r . $options $files
  for family in 4 6; do
    case $tables in *$family*) ;; *) continue ;; esac
    table=conf/countries.ips
    [ "$family" = 6 ] && table=conf/countries6.ips
    cmp -s "$table" "expected$family.ips" || { echo "$name: DIFFERENT IPv$family table" >&2; exit 1; }
  done
  # shellcheck disable=SC2086
  echo "$name: $(cat $files | wc -l) lines, the tables of the range-code list"
  printf '%s\n' "-n" "orvik $name" "$orvik -r . $options $files" \
    "-n" "awk $name" "awk -F'$separator' '{print \$3, \$5}' $files" >> "$commands"
done
[ -s "$commands" ] && [ "$(grep -c '^-n$' "$commands")" = 16 ] || exit 1

# One hyperfine run of all of them; then each form's median and its ratio
# to awk's (the machine may be shared: medians are steadier).
tr '\n' '\0' < "$commands" | xargs -0 hyperfine --warmup 2 --runs "${BENCH_RUNS:-15}" \
  --export-json times.json --style basic >/dev/null
python3 - times.json <<'PY'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
print(f"{'form':<20} {'orvik ms':>9} {'awk ms':>9} {'orvik/awk':>10}")
for name in dict.fromkeys(c.split(" ", 1)[1] for c in results):
    orvik, awk = results["orvik " + name], results["awk " + name]
    print(f"{name:<20} {orvik * 1000:9.1f} {awk * 1000:9.1f} {orvik / awk:10.2f}")
PY

#!/usr/bin/awk -f
# Turns a boundary table ("start id" per line, ascending) into the covered
# ranges "first-last", one per line, the way `iprange -j` prints a set:
# every entry with a non-zero id runs up to the next entry's start minus one.
function num(quad,   o) { split(quad, o, "."); return ((o[1] * 256 + o[2]) * 256 + o[3]) * 256 + o[4] }
function quad(n) {
  return sprintf("%d.%d.%d.%d", int(n / 16777216), int(n / 65536) % 256, int(n / 256) % 256, n % 256)
}
{
  if (open) printf "%s-%s\n", quad(first), quad(num($1) - 1)
  open = $2 != 0
  first = num($1)
}
END { if (open) printf "%s-%s\n", quad(first), "255.255.255.255" }

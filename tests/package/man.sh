#!/bin/sh
# Renders every manual page in the directory the way `man -l` does, with
# all of groff's warnings on, and fails on any warning; also checks that
# each page's .TH names the section its file name ends in (the section the
# install rules put it in).
# Usage: man.sh <man directory>
set -eu
dir=$1
for tool in man groff; do
  if ! command -v $tool >/dev/null; then
    echo "man_pages: $tool not found (Debian: man-db, groff-base; scripts/deps installs them): skipped"
    exit 77
  fi
done
status=0
count=0
for page in "$dir"/*.[0-9]; do
  name=$(basename "$page")
  count=$((count + 1))
  th=$(sed -n 's/^\.TH  *"*\([^" ]*\)"*  *\([0-9]\).*/\2/p' "$page")
  if [ "$th" != "${name##*.}" ]; then
    echo "man_pages: $name: .TH gives section '$th'"
    status=1
  fi
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "man_pages: $name:"
    echo "$warnings" | sed 's/^/  | /'
    status=1
  fi
done
[ $status -eq 0 ] && echo "man_pages: $count pages render without warnings"
exit $status

#!/bin/sh
# Checks the symbols an archive defines for its users: every C symbol is a
# name declared in the public headers, every C++ symbol lies in the
# library's own namespace, and nothing is a test seam.
# Usage: symbols.sh <libvelmor.a> <directory of the public headers>
set -eu
archive=$1 headers=$2
# Strong definitions only: weak ones are the compiler's template and inline
# copies, which every object may carry.
defined=$(nm -g --defined-only "$archive" | awk 'NF == 3 && $2 ~ /^[TDBR]$/ { print $3 }' | sort -u)
status=0
for symbol in $defined; do
  case $symbol in
    __*) ;;  # reserved names the compiler adds (sanitizer instrumentation)
    _Z*)
      name=$(echo "$symbol" | c++filt)
      case $name in
        velmor::*) ;;
        *) echo "symbols: $name is outside namespace velmor"; status=1 ;;
      esac ;;
    *)
      if ! grep -q -E "[ *]$symbol(\\(|\\[| *;)" "$headers"/*.h; then
        echo "symbols: $symbol is not declared in a public header"
        status=1
      fi ;;
  esac
done
seams=$(echo "$defined" | c++filt | grep -i -E 'for_tests|hook' || true)
if [ -n "$seams" ]; then
  echo "symbols: test seams in the archive: $seams"
  status=1
fi
[ $status -eq 0 ] && echo "symbols: $(echo "$defined" | wc -l) definitions, all interface or internal"
exit $status

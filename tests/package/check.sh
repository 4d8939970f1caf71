#!/bin/sh
# Installs the scratch build (build.sh) under a prefix other than the one it
# was configured with, checks what the installation holds, moves the
# installed tree elsewhere, and builds and runs C programs against it: one
# through pkg-config, and the C-only consumer project that finds the library
# with find_package(Velmor).
# Usage: check.sh <scratch dir> <C compiler> <generator>
#        (CFLAGS and LDFLAGS from the environment)
set -eu
scratch=$1 c_compiler=$2 generator=$3
here=$(cd "$(dirname "$0")" && pwd)
prefix=$scratch/prefix
rm -rf "$prefix" "$scratch/moved" "$scratch/consumer" "$scratch/app"
cmake --install "$scratch/velmor" --prefix "$prefix" >/dev/null

# Exactly the three public headers, and no internals.
headers=$(cd "$prefix/include" && find . -type f | sort | tr '\n' ' ')
if [ "$headers" != "./velmor/ip_ranges.h ./velmor/misc.h ./velmor/str.h " ]; then
  echo "package: installed headers are: $headers"
  exit 1
fi
"$here/symbols.sh" "$prefix/lib/libvelmor.a" "$prefix/include/velmor"

# Nothing installed names the prefix the build was configured with: the
# CMake package and velmor.pc find their paths from where they lie.
if grep -r -l "configured-prefix" "$prefix"; then
  echo "package: the files above name the configured prefix, not the one installed to"
  exit 1
fi
mv "$prefix" "$scratch/moved"
prefix=$scratch/moved

# A C program built with the compiler driver and pkg-config's flags alone.
if command -v pkg-config >/dev/null; then
  flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs velmor)
  # shellcheck disable=SC2086
  "$c_compiler" ${CFLAGS:-} -o "$scratch/app" "$here/app.c" "$here/syslog_unit.c" \
    $flags ${LDFLAGS:-}
  "$scratch/app"
  echo "package: C program built with pkg-config ($flags)"
fi

cmake -S "$here" -B "$scratch/consumer" -G "$generator" -DCMAKE_C_COMPILER="$c_compiler" \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/consumer"
"$scratch/consumer/consumer_quoted"
echo "package: C-only project found and linked the installed library"

if ! command -v pkg-config >/dev/null; then
  echo "package: pkg-config not found (Debian: pkgconf; scripts/deps installs it):" \
    "the pkg-config build was skipped"
  exit 77
fi

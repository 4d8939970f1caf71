#!/bin/sh
# Builds and installs the library from a scratch build of its own (the build
# a user installs from is left as it is) into a scratch prefix, checks what
# the installation holds, and builds and runs a consumer project that finds
# the library with find_package(Velmor).
# Usage: check.sh <source dir> <generator> <C compiler> <C++ compiler>
set -eu
source_dir=$1 generator=$2 c_compiler=$3 cxx_compiler=$4
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/velmor-package.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

cmake -S "$source_dir" -B "$scratch/velmor" -G "$generator" \
  -DCMAKE_C_COMPILER="$c_compiler" -DCMAKE_CXX_COMPILER="$cxx_compiler" \
  -DVELMOR_TESTS=OFF -DVELMOR_BENCH=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$scratch/velmor" >/dev/null
cmake --install "$scratch/velmor" >/dev/null

# Exactly the three public headers, and no internals.
headers=$(cd "$prefix/include" && find . -type f | sort | tr '\n' ' ')
if [ "$headers" != "./velmor/ip_ranges.h ./velmor/misc.h ./velmor/str.h " ]; then
  echo "package: installed headers are: $headers"
  exit 1
fi
"$here/symbols.sh" "$prefix/lib/libvelmor.a" "$prefix/include/velmor"

cmake -S "$here" -B "$scratch/consumer" -G "$generator" \
  -DCMAKE_C_COMPILER="$c_compiler" -DCMAKE_CXX_COMPILER="$cxx_compiler" \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
"$scratch/consumer/consumer"
echo "package: installed library found and linked"

#!/bin/sh
# Installs the build into a scratch prefix and builds and runs a consumer
# project that finds the library with find_package(Velmor).
set -eu
build=$1
source_dir=$(dirname "$0")
scratch=$(mktemp -d /tmp/velmor-package.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
cmake -S "$source_dir" -B "$scratch/build" -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/build" >/dev/null
"$scratch/build/consumer"
test -f "$scratch/prefix/include/velmor/misc.h"
echo "package: installed library found and linked"

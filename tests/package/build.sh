#!/bin/sh
# Configures and builds the library and the programs in a scratch build of
# their own (the build a user installs from, and its install_manifest.txt,
# are left alone), with the enclosing build's generator and compilers, for
# the package tests that follow (installed_package, debian_package). The
# configured prefix is never installed to: the tests install elsewhere and
# check that no installed file names it.
# Usage: build.sh <source dir> <scratch dir> <generator> <C compiler> <C++ compiler>
set -eu
source_dir=$1 scratch=$2 generator=$3 c_compiler=$4 cxx_compiler=$5
rm -rf "$scratch"
mkdir -p "$scratch"
cmake -S "$source_dir" -B "$scratch/velmor" -G "$generator" \
  -DCMAKE_C_COMPILER="$c_compiler" -DCMAKE_CXX_COMPILER="$cxx_compiler" \
  -DVELMOR_TESTS=OFF -DVELMOR_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX="$scratch/configured-prefix" >"$scratch/configure.log" ||
  { cat "$scratch/configure.log"; exit 1; }
cmake --build "$scratch/velmor" >"$scratch/build.log" || { cat "$scratch/build.log"; exit 1; }
echo "package: scratch build in $scratch/velmor"

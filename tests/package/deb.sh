#!/bin/sh
# Makes the Debian package from the scratch build (build.sh) with cpack and
# checks it: the files it holds (every program, the archive, the public
# headers, the CMake and pkg-config files, every manual page in its section,
# the examples; nothing else, nothing outside /usr), their owners and modes,
# the control fields, and what its postinst does to an installation root.
# Usage: deb.sh <source dir> <scratch dir> <version>
set -eu
source_dir=$1 scratch=$2 version=$3
for tool in cpack dpkg dpkg-deb; do
  if ! command -v $tool >/dev/null; then
    echo "debian_package: $tool not found (Debian: cmake, dpkg): skipped"
    exit 77
  fi
done
out=$scratch/deb
rm -rf "$out"
mkdir -p "$out"
(cd "$scratch/velmor" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) ||
  { cat "$out/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
deb=$out/velmor_${version}_${arch}.deb
if [ ! -f "$deb" ]; then
  echo "debian_package: no $(basename "$deb"); cpack made: $(ls "$out")"
  exit 1
fi
status=0

# The files, as "mode owner path", against the list the source tree gives.
{
  for dir in "$source_dir"/tools/*/; do
    [ -f "$dir/main.cpp" ] && echo "-rwxr-xr-x root/root ./usr/bin/$(basename "$dir")"
  done
  for file in "$source_dir"/include/velmor/*.h; do
    echo "-rw-r--r-- root/root ./usr/include/velmor/$(basename "$file")"
  done
  for file in "$source_dir"/man/*.[0-9]; do
    echo "-rw-r--r-- root/root ./usr/share/man/man${file##*.}/$(basename "$file")"
  done
  for file in lib/libvelmor.a lib/pkgconfig/velmor.pc lib/cmake/Velmor/VelmorConfig.cmake \
    lib/cmake/Velmor/VelmorConfigVersion.cmake lib/cmake/Velmor/VelmorTargets.cmake \
    lib/cmake/Velmor/VelmorTargets-CONFIG.cmake share/doc/velmor/examples/countries.csv \
    share/doc/velmor/examples/ranges.txt share/doc/velmor/examples/conf/countries; do
    echo "-rw-r--r-- root/root ./usr/$file"
  done
} | sort >"$out/expected"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' |
  sed 's/VelmorTargets-[a-z]*\.cmake$/VelmorTargets-CONFIG.cmake/' | sort >"$out/files"
if ! diff -u "$out/expected" "$out/files"; then
  echo "debian_package: files differ from the expected list (- expected, + in the package)"
  status=1
fi
# Directories: root's, 0755, and only /usr and below.
dirs=$(dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root" ||
                                   ($6 != "./" && $6 !~ /^\.\/usr\//)) { print $1, $2, $6 }')
if [ -n "$dirs" ]; then
  echo "debian_package: directories not root's 0755 under /usr: $dirs"
  status=1
fi

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
expect_field() {
  if ! field "$1" | grep -q -E "$2"; then
    echo "debian_package: $1 is '$(field "$1")', expected /$2/"
    status=1
  fi
}
expect_field Package '^velmor$'
expect_field Version "^$version\$"
expect_field Architecture "^$arch\$"
expect_field Maintainer '^[^<]+ <[^@ ]+@[^> ]+>$'
expect_field Section '^[a-z]+$'
expect_field Depends 'libc6'
expect_field Depends 'libstdc\+\+6'
expect_field Description '^[a-z].{10,79}$'

# Maintainer scripts: a postinst only (nothing removes the root's
# directories), for the programs' default root.
dpkg-deb -e "$deb" "$out/control"
scripts=""
for file in "$out"/control/*; do
  case $(basename "$file") in control | md5sums) ;; *) scripts="$scripts$(basename "$file") " ;; esac
done
if [ "$scripts" != "postinst " ]; then
  echo "debian_package: maintainer scripts are '$scripts', expected only postinst"
  status=1
fi
if ! grep -q -x "root='/usr/local'" "$out/control/postinst"; then
  echo "debian_package: postinst is not for the root /usr/local"
  status=1
fi

# The postinst on a scratch root, under a strict umask: it creates what is
# missing with mode 0755 and leaves what exists as it is, contents and mode.
root=$out/root
mkdir -p "$root/logs"
chmod 0700 "$root/logs"
echo "operator data" >"$root/logs/kept"
sed "s|^root=.*|root='$root'|" "$out/control/postinst" >"$out/postinst"
if ! (umask 077 && sh "$out/postinst" configure); then
  echo "debian_package: postinst failed"
  status=1
fi
for dir in conf velmor velmor/pids velmor/logs; do
  if [ "$(stat -c %F.%a "$root/$dir" 2>&1)" != "directory.755" ]; then
    echo "debian_package: postinst left $dir as: $(stat -c %F.%a "$root/$dir" 2>&1)"
    status=1
  fi
done
if [ "$(stat -c %a "$root/logs")" != 700 ] || [ "$(cat "$root/logs/kept")" != "operator data" ]; then
  echo "debian_package: postinst changed the existing logs directory"
  status=1
fi
# Run again with a file where a directory belongs: reported, left alone,
# and the installation goes on.
rmdir "$root/velmor/logs"
echo "not a directory" >"$root/velmor/logs"
if ! sh "$out/postinst" configure 2>"$out/postinst.err" ||
  [ "$(cat "$root/velmor/logs")" != "not a directory" ] || ! grep -q velmor/logs "$out/postinst.err"; then
  echo "debian_package: postinst did not report and keep a file in place of velmor/logs"
  status=1
fi

[ $status -eq 0 ] && echo "debian_package: $(basename "$deb"): files, fields and postinst as expected"
exit $status

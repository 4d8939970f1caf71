#!/bin/sh
# <syslog.h> and velmor/misc.h in one C translation unit. Both define
# LOG_DEBUG (syslog as 7, which is LOG_CLOSE for the logger), so each order
# must give a clean build or a diagnostic, never a silent change of level.
# The header directory is given with -isystem, as an installed header in
# /usr/include is seen, where the compilers hide warnings.
# Usage: syslog.sh <C compiler> <include dir>   (CFLAGS from the environment)
set -eu
cc=$1 include=$2
scratch=$(mktemp -d /tmp/velmor-syslog.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
status=0

# compile <name>: compiles $scratch/<name>.c, output in $scratch/<name>.out.
compile() {
  # shellcheck disable=SC2086
  $cc ${CFLAGS:-} -std=c11 -isystem "$include" -c "$scratch/$1.c" -o "$scratch/$1.o" \
    >"$scratch/$1.out" 2>&1
}
fail() {
  echo "syslog: $1"
  sed 's/^/  | /' "$scratch/$2.out"
  status=1
}

cat >"$scratch/alone.c" <<'C'
#include <velmor/misc.h>
_Static_assert(LOG_DEBUG == 0, "LOG_DEBUG is the logger's debug level");
_Static_assert(VELMOR_LOG_DEBUG == 0, "VELMOR_LOG_DEBUG is the same level");
int level(void) { return LOG_DEBUG | LOG_ERRNO; }
C
compile alone || fail "misc.h alone does not build" alone

cat >"$scratch/syslog_first.c" <<'C'
#include <syslog.h>
#include <velmor/misc.h>
int level(void) { return LOG_ERROR; }
C
if compile syslog_first; then
  fail "<syslog.h> then misc.h builds without VELMOR_NO_LOG_DEBUG" syslog_first
elif ! grep -q 'define VELMOR_NO_LOG_DEBUG' "$scratch/syslog_first.out" ||
  [ "$(grep -c 'error:' "$scratch/syslog_first.out")" -ne 1 ]; then
  fail "<syslog.h> then misc.h: not the one #error line that says what to do" syslog_first
fi

cat >"$scratch/opt_in.c" <<'C'
#define VELMOR_NO_LOG_DEBUG
#include <syslog.h>
#include <velmor/misc.h>
_Static_assert(LOG_DEBUG == 7, "LOG_DEBUG stays syslog's");
_Static_assert(VELMOR_LOG_DEBUG == 0, "the logger's debug level");
int level(void) { return VELMOR_LOG_DEBUG | LOG_MASK(LOG_DEBUG); }
C
compile opt_in || fail "VELMOR_NO_LOG_DEBUG, <syslog.h>, misc.h does not build cleanly" opt_in

cat >"$scratch/misc_first.c" <<'C'
#include <velmor/misc.h>
#include <syslog.h>
int level(void) { return LOG_DEBUG; }
C
if compile misc_first; then
  fail "misc.h then <syslog.h> builds: LOG_DEBUG silently became 7" misc_first
elif ! grep -q 'poisoned' "$scratch/misc_first.out"; then
  fail "misc.h then <syslog.h>: not the diagnostic at syslog's LOG_EMERG" misc_first
fi

[ $status -eq 0 ] && echo "syslog: both orders give a clean build or a diagnostic"
exit $status

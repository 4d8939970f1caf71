/* Failure counting for the tests written in C. */
#ifndef VELMOR_C_CHECK_H
#define VELMOR_C_CHECK_H

#include <stdio.h>

static int failures;

/* Counts a failed check and names it on the standard error. */
static void check(int ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "failed: %s\n", what);
    failures++;
  }
}

#endif

// A record over a scratch root for the fuzz targets that load tables: the
// fuzz input is written as the table file and loaded through the record,
// as a server would load it.
//
// The table's files are relative to the working directory; the fuzzer's own
// paths (corpus, artifacts) are relative to the directory it was started
// in, so the scratch directory is entered only around each load.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ip_ranges.h"

namespace fuzz_support {

enum class TableFamily { ipv4, ipv6 };

struct ScratchTable {
  int home = -1;
  int dir = -1;
  ip_ranges *table = nullptr;
};

// The process's one scratch root with "conf" and "logs", and its record
// "fuzz", made at the first call.
inline ScratchTable &scratch_table() {
  static ScratchTable s;
  if (s.table) return s;
  char dir[] = "/tmp/velmor-fuzz.XXXXXX";
  if (!mkdtemp(dir)) abort();
  s.home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  s.dir = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (s.home < 0 || s.dir < 0) abort();
  mkdirat(s.dir, "conf", 0755);
  mkdirat(s.dir, "logs", 0755);
  s.table = ip_ranges_new("fuzz");
  if (!s.table) abort();
  return s;
}

// Writes data as the family's table file and loads it: what the load gave.
inline bool load_from_bytes(ScratchTable &s, const uint8_t *data, size_t size, TableFamily family) {
  const bool ipv6 = family == TableFamily::ipv6;
  if (fchdir(s.dir) != 0) abort();
  FILE *out = fopen(ipv6 ? "conf/fuzz6.ips" : "conf/fuzz.ips", "wbe");
  if (!out) abort();
  if (size && fwrite(data, 1, size, out) != size) abort();
  fclose(out);
  const bool loaded = ipv6 ? ip_ranges_load6(s.table) : ip_ranges_load(s.table);
  if (fchdir(s.home) != 0) abort();
  return loaded;
}

}  // namespace fuzz_support

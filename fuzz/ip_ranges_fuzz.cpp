// Arbitrary bytes as a boundary table file: the load must stay in bounds, and
// every lookup must answer an id that some entry holds, or 0. On ascending
// tables the answer must be the last entry whose start is not above the
// address.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ip_ranges.h"

namespace {

// The table's files are relative to the working directory; the fuzzer's own
// paths (corpus, artifacts) are relative to the directory it was started in,
// so the scratch directory is entered only around each load.
struct Scratch {
  int home = -1;
  int dir = -1;
  ip_ranges *table = nullptr;
};

Scratch &scratch() {
  static Scratch s;
  if (s.table) return s;
  char dir[] = "/tmp/velmor-fuzz.XXXXXX";
  if (!mkdtemp(dir)) abort();
  s.home = open(".", O_RDONLY | O_DIRECTORY);
  s.dir = open(dir, O_RDONLY | O_DIRECTORY);
  if (s.home < 0 || s.dir < 0) abort();
  mkdirat(s.dir, "conf", 0755);
  mkdirat(s.dir, "logs", 0755);
  s.table = ip_ranges_new("fuzz");
  if (!s.table) abort();
  return s;
}

bool load_from_bytes(Scratch &s, const uint8_t *data, size_t size) {
  if (fchdir(s.dir) != 0) abort();
  FILE *out = fopen("conf/fuzz.ips", "wb");
  if (!out) abort();
  if (size && fwrite(data, 1, size, out) != size) abort();
  fclose(out);
  bool loaded = ip_ranges_load(s.table);
  if (fchdir(s.home) != 0) abort();
  return loaded;
}

bool held(const ip_ranges *table, uint8_t id) {
  if (id == 0) return true;
  for (int32_t i = 0; i < table->count; i++)
    if (table->ids[i] == id) return true;
  return false;
}

bool ascending(const ip_ranges *table) {
  for (int32_t i = 1; i < table->count; i++)
    if (table->starts[i - 1] > table->starts[i]) return false;
  return true;
}

uint8_t expected_on_ascending(const ip_ranges *table, uint32_t addr) {
  uint8_t id = 0;
  for (int32_t i = 0; i < table->count && table->starts[i] <= addr; i++) id = table->ids[i];
  return id;
}

void check(ip_ranges *table, uint32_t addr, bool sorted) {
  uint8_t id = ip_ranges_lookup(table, addr);
  if (!held(table, id)) abort();
  if (sorted && id != expected_on_ascending(table, addr)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Scratch &s = scratch();
  ip_ranges *table = s.table;
  if (!load_from_bytes(s, data, size)) {
    if (table->starts || table->ids) abort();  // a failed load leaves no table
    return 0;
  }
  if (table->count <= 0 || static_cast<size_t>(table->count) > size) abort();
  bool sorted = ascending(table);
  check(table, 0, sorted);
  check(table, 0xFFFFFFFFu, sorted);
  for (int32_t i = 0; i < table->count && i < 64; i++) {
    uint32_t start = table->starts[i];
    check(table, start - 1, sorted);
    check(table, start, sorted);
    check(table, start + 1, sorted);
  }
  for (size_t at = 0; at + 4 <= size && at < 256; at += 4) {
    uint32_t addr;
    memcpy(&addr, data + at, 4);
    check(table, addr, sorted);
  }
  return 0;
}

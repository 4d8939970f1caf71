// Arbitrary bytes as a compiled table file "conf/fuzz.ipt", opened by a
// mapped record as a server would open it. The source files are laid out as
// the header records them (present and older, or absent), so that the
// staleness rule lets every input through to the constant-time check.
// Whatever the bytes, no lookup, name query or IPv6 entry may read outside
// the mapping (ASan and the mapping's own end catch that); every answer is
// an id some entry holds, or 0; the arrays lie inside the mapping; and a
// file that passes the full verifier answers by the lookup's rule.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ip_ranges.h"
#include "ip_ranges/internal/compiled_table.h"
#include "ip_ranges/internal/mapped_record.h"
#include "scratch_table.h"
#include "str/internal/uint128.h"

namespace {

using velmor::compiled::Header;

constexpr const char *kSources[velmor::compiled::source_count] = {"conf/fuzz.ips", "conf/fuzz6.ips",
                                                                  "conf/fuzz"};
constexpr const char *kSourceTexts[velmor::compiled::source_count] = {"0.0.0.0 0\n", ":: 0\n",
                                                                      "0 -- none\n"};

void write_bytes(const char *path, const void *data, size_t size) {
  FILE *out = fopen(path, "wbe");
  if (!out) abort();
  if (size && fwrite(data, 1, size, out) != size) abort();
  fclose(out);
}

// Each source present (and older than anything written now) or absent, as
// the header says; without a whole header, all present.
void lay_out_sources(const uint8_t *data, size_t size) {
  Header h{};
  const bool whole = size >= sizeof h;
  if (whole) memcpy(&h, data, sizeof h);
  for (uint32_t s = 0; s < velmor::compiled::source_count; s++) {
    if (whole && h.sources[s].present == 0) {
      unlink(kSources[s]);
      continue;
    }
    write_bytes(kSources[s], kSourceTexts[s], strlen(kSourceTexts[s]));
    const struct timespec old[2] = {{1, 0}, {1, 0}};
    utimensat(AT_FDCWD, kSources[s], old, 0);
  }
}

bool inside(const void *p, size_t bytes, const velmor::CompiledMapping &m) {
  const auto *base = static_cast<const uint8_t *>(m.base);
  const auto *at = static_cast<const uint8_t *>(p);
  return at >= base && bytes <= m.length && static_cast<size_t>(at - base) <= m.length - bytes;
}

bool held4(const ip_ranges *t, uint8_t id) {
  if (id == 0) return true;
  for (int32_t i = 0; i < t->count; i++)
    if (t->ids[i] == id) return true;
  return false;
}

bool held6(const ip_ranges_state *s, uint8_t id) {
  if (id == 0) return true;
  for (int32_t i = 0; i < s->count6; i++)
    if (s->ids6[i] == id) return true;
  return false;
}

// The id by the rule, on a table whose starts ascend.
uint8_t expected4(const ip_ranges *t, uint32_t addr) {
  uint8_t id = 0;
  for (int32_t i = 0; i < t->count && t->starts[i] <= addr; i++) id = t->ids[i];
  return id;
}

void check4(ip_ranges *t, uint32_t addr, bool verified) {
  const uint8_t id = ip_ranges_lookup(t, addr);
  if (!held4(t, id) || (verified && id != expected4(t, addr))) abort();
}

void check6(ip_ranges *t, velmor::uint128 addr) {
  uint8_t bytes[16];
  velmor::uint128_to_bytes(addr, bytes);
  const uint8_t id = ip_ranges_lookup6(t, bytes);
  if (addr >> 32 == 0xffff) return;  // IPv4-mapped: the IPv4 table answers
  if (!held6(t->state, id)) abort();
}

void probe(ip_ranges *t, const uint8_t *data, size_t size, bool verified) {
  const velmor::CompiledMapping &m = t->state->mapped->mapping;
  const ip_ranges_state *s = t->state;
  if (t->count && !(inside(t->starts, 4 * size_t(t->count), m) && inside(t->ids, t->count, m)))
    abort();
  if (s->count6 && !(inside(s->his, 8 * size_t(s->count6), m) && inside(s->ids6, s->count6, m)))
    abort();
  check4(t, 0, verified);
  check4(t, UINT32_MAX, verified);
  for (int32_t i = 0; i < t->count && i < 64; i++) {
    check4(t, t->starts[i] - 1, verified);
    check4(t, t->starts[i], verified);
  }
  for (size_t at = 0; at + 4 <= size && at < 1024; at += 4) {
    uint32_t addr;
    memcpy(&addr, data + at, 4);
    check4(t, addr, verified);
  }
  for (size_t at = 0; at + 16 <= size && at < 1024; at += 16)
    check6(t, velmor::uint128_from_bytes(data + at));
  check6(t, velmor::uint128_max);
  for (int32_t i = 0; i < ip_ranges_count6(t) && i < 64; i++) {
    uint8_t start[16], id;
    if (!ip_ranges_entry6(t, i, start, &id)) abort();
    check6(t, velmor::uint128_from_bytes(start));
  }
  for (int id = 0; id < 256; id++) {
    for (const char *text : {ip_ranges_code(t, static_cast<uint16_t>(id)),
                             ip_ranges_title(t, static_cast<uint16_t>(id))}) {
      if (text && t->titles && !inside(text, strlen(text) + 1, m)) abort();
    }
  }
  ip_ranges_find(t, "--");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The shared scratch root (its own record goes unused here).
  fuzz_support::ScratchTable &s = fuzz_support::scratch_table();
  if (fchdir(s.dir) != 0) abort();
  lay_out_sources(data, size);
  write_bytes("conf/fuzz.ipt", data, size);
  velmor::CompiledProblem problem;
  const bool verified = velmor::verify_compiled("conf/fuzz.ipt", &problem);
  ip_ranges *table = ip_ranges_new_mapped("fuzz");
  if (!table) abort();
  ip_ranges_load(table);
  if (velmor::answers_from_compiled(table)) {
    probe(table, data, size, verified);
  } else if (verified) {
    abort();  // a file the verifier passes must open
  }
  ip_ranges_reload(table);  // nothing changed: stays as it is
  ip_ranges_free(table);
  if (fchdir(s.home) != 0) abort();
  return 0;
}

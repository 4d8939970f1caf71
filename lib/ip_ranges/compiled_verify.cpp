// The full check of a compiled file, for iplookup --verify: what opening
// checks, and then everything opening leaves out because it would walk the
// table: section order, ascending starts, the indexes, the ids' codes and
// the checksum.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "ip_ranges/internal/compiled_table.h"

namespace velmor {

namespace {

bool say(CompiledProblem *problem, const char *text) {
  snprintf(problem->text, sizeof problem->text, "%s", text);
  return false;
}

// Present sections follow each other in file order without overlapping.
bool sections_in_order(const uint8_t *bytes, CompiledProblem *problem) {
  compiled::Header h;
  memcpy(&h, bytes, sizeof h);
  uint64_t end = sizeof h;
  for (const compiled::SectionPlace &place : h.sections) {
    if (place.size == 0) continue;
    if (place.offset < end) return say(problem, "sections overlap");
    end = place.offset + place.size;
  }
  return true;
}

bool starts_ascend(const CompiledTables &t, CompiledProblem *problem) {
  for (uint32_t i = 1; i < t.count4; i++) {
    if (t.starts[i] < t.starts[i - 1]) {
      snprintf(problem->text, sizeof problem->text,
               "IPv4 entry %" PRIu32 " starts below the one before it", i + 1);
      return false;
    }
  }
  for (uint32_t i = 1; i < t.count6; i++) {
    if (t.his[i] < t.his[i - 1] || (t.his[i] == t.his[i - 1] && t.los[i] < t.los[i - 1])) {
      snprintf(problem->text, sizeof problem->text,
               "IPv6 entry %" PRIu32 " starts below the one before it", i + 1);
      return false;
    }
  }
  return true;
}

bool same_index(const range_index &built, const range_index &stored) {
  if (built.buckets != stored.buckets || built.fence_count != stored.fence_count) return false;
  if (built.buckets != 0 && memcmp(built.bucket_starts, stored.bucket_starts,
                                   (size_t{built.buckets} + 1) * sizeof(uint32_t)) != 0)
    return false;
  return built.fence_count == 0 ||
         memcmp(built.fences, stored.fences, size_t{built.fence_count} * sizeof(uint64_t)) == 0;
}

// Each index (buckets and fences) as range_index builds it from the starts.
bool indexes_match(const CompiledTables &t, CompiledProblem *problem) {
  range_index v4{}, v6{};
  if (t.count4) range_index_build(&v4, t.starts, t.count4);
  if (t.count6) range6_index_build(&v6, range6_table{t.his, t.los, t.ids6, t.count6});
  const bool v4_ok = same_index(v4, t.index4);
  const bool v6_ok = same_index(v6, t.index6);
  range_index_release(&v4);
  range_index_release(&v6);
  if (!v4_ok) return say(problem, "the IPv4 index does not match the IPv4 starts");
  if (!v6_ok) return say(problem, "the IPv6 index does not match the IPv6 starts");
  return true;
}

bool ids_have_codes(const CompiledTables &t, CompiledProblem *problem) {
  bool used4[compiled::id_count] = {}, used6[compiled::id_count] = {};
  for (uint32_t i = 0; i < t.count4; i++) used4[t.ids[i]] = true;
  for (uint32_t i = 0; i < t.count6; i++) used6[t.ids6[i]] = true;
  for (int id = 1; id < compiled::id_count; id++) {
    if ((!used4[id] && !used6[id]) || t.name_offsets[id] != compiled::no_name) continue;
    snprintf(problem->text, sizeof problem->text, "id %d of the %s table has no code", id,
             used4[id] ? "IPv4" : "IPv6");
    return false;
  }
  return true;
}

bool verify_bytes(const uint8_t *bytes, uint64_t size, CompiledProblem *problem) {
  CompiledTables t;
  if (!check_compiled_layout(bytes, size, &t, problem)) return false;
  if (!sections_in_order(bytes, problem) || !starts_ascend(t, problem) ||
      !indexes_match(t, problem) || !ids_have_codes(t, problem))
    return false;
  compiled::Header h;
  memcpy(&h, bytes, sizeof h);
  if (compiled_checksum(bytes, size) != h.checksum)
    return say(problem, "the checksum does not match the contents");
  return true;
}

}  // namespace

bool verify_compiled(const char *path, CompiledProblem *problem) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    snprintf(problem->text, sizeof problem->text, "cannot open it: %s", strerror(errno));
    return false;
  }
  const FileIdentity identity = fd_identity(fd);
  const uint64_t size = identity.present ? static_cast<uint64_t>(identity.size) : 0;
  void *base = size >= sizeof(compiled::Header) ? mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0)
                                                : MAP_FAILED;
  const int error = errno;
  close(fd);
  if (base == MAP_FAILED) {
    if (size >= sizeof(compiled::Header)) {
      snprintf(problem->text, sizeof problem->text, "cannot map it: %s", strerror(error));
    } else {
      snprintf(problem->text, sizeof problem->text, "shorter than a header (%" PRIu64 " bytes)",
               size);
    }
    return false;
  }
  const bool good = verify_bytes(static_cast<const uint8_t *>(base), size, problem);
  munmap(base, size);
  return good;
}

}  // namespace velmor

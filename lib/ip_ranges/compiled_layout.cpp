// The constant-time check of a compiled file's bytes (compiled_format.h):
// the header, each section's place and size, the index parameters and the
// name offsets; and the checksum the full verifier compares.
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "ip_ranges/internal/compiled_table.h"

namespace velmor {

namespace {

using compiled::Header;
using compiled::Section;

constexpr const char *kSectionNames[compiled::section_count] = {
    "starts4", "ids4", "index4", "his6", "los6", "ids6", "index6", "fences6", "names", "pool"};

bool fail(CompiledProblem *problem, const char *format, ...) __attribute__((format(printf, 2, 3)));

bool fail(CompiledProblem *problem, const char *format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(problem->text, sizeof problem->text, format, args);
  va_end(args);
  return false;
}

// The index parameters range_index would choose for bits-bit buckets over
// key_bits-bit keys.
bool index_parameters_fit(const compiled::IndexParameters &index, uint32_t bits,
                          uint32_t key_bits) {
  if (bits == 0) return index.buckets == 0 && index.shift == 0;
  return index.buckets == uint32_t{1} << bits && index.shift == key_bits - bits;
}

uint64_t index_size(const compiled::IndexParameters &index) {
  return index.buckets ? (uint64_t{index.buckets} + 1) * sizeof(uint32_t) : 0;
}

// Each section's size from the counts; the pool has a size of its own.
void expected_sizes(const Header &h, uint64_t (&sizes)[compiled::section_count]) {
  sizes[compiled::starts4] = uint64_t{h.count4} * sizeof(uint32_t);
  sizes[compiled::ids4] = h.count4;
  sizes[compiled::index4] = index_size(h.index4);
  sizes[compiled::his6] = uint64_t{h.count6} * sizeof(uint64_t);
  sizes[compiled::los6] = uint64_t{h.count6} * sizeof(uint64_t);
  sizes[compiled::ids6] = h.count6;
  sizes[compiled::index6] = index_size(h.index6);
  sizes[compiled::fences6] =
      h.index6.buckets ? uint64_t{index6_fence_count(h.count6)} * sizeof(uint64_t) : 0;
  sizes[compiled::names] = sizeof(uint32_t) * 2 * compiled::id_count;
  sizes[compiled::pool] = h.sections[compiled::pool].size;
}

bool check_header(const Header &h, uint64_t size, CompiledProblem *problem) {
  if (memcmp(h.magic, compiled::magic, sizeof h.magic) != 0)
    return fail(problem, "no compiled table (bad magic)");
  if (h.byte_order != compiled::byte_order_mark)
    return fail(problem, "written in another byte order");
  if (h.version != compiled::format_version)
    return fail(problem, "format version %" PRIu32 ", not %" PRIu32, h.version,
                compiled::format_version);
  if (h.header_size != sizeof(Header))
    return fail(problem, "header size %" PRIu32 ", not %zu", h.header_size, sizeof(Header));
  if (h.file_size != size)
    return fail(problem, "the header says %" PRIu64 " bytes, the file has %" PRIu64, h.file_size,
                size);
  if (h.count4 > INT32_MAX || h.count6 > INT32_MAX)
    return fail(problem, "more entries than a table can hold");
  if (!index_parameters_fit(h.index4, index_bucket_bits(h.count4), 32))
    return fail(problem, "IPv4 index parameters do not fit %" PRIu32 " entries", h.count4);
  if (!index_parameters_fit(h.index6, index6_bucket_bits(h.count6), 64))
    return fail(problem, "IPv6 index parameters do not fit %" PRIu32 " entries", h.count6);
  return true;
}

bool check_sections(const Header &h, uint64_t size, CompiledProblem *problem) {
  uint64_t sizes[compiled::section_count] = {};
  expected_sizes(h, sizes);
  for (uint32_t s = 0; s < compiled::section_count; s++) {
    const compiled::SectionPlace &place = h.sections[s];
    if (place.size != sizes[s])
      return fail(problem, "section %s has %" PRIu64 " bytes, not %" PRIu64, kSectionNames[s],
                  place.size, sizes[s]);
    if (place.size == 0) continue;
    if (place.offset % compiled::section_alignment != 0 || place.offset < sizeof(Header))
      return fail(problem, "section %s is misplaced (offset %" PRIu64 ")", kSectionNames[s],
                  place.offset);
    if (place.offset > size || place.size > size - place.offset)
      return fail(problem, "section %s lies outside the file", kSectionNames[s]);
  }
  if (sizes[compiled::pool] == 0) return fail(problem, "section pool is empty");
  return true;
}

template <typename T>
const T *section(const uint8_t *bytes, const Header &h, Section s) {
  const compiled::SectionPlace &place = h.sections[s];
  return place.size ? reinterpret_cast<const T *>(bytes + place.offset) : nullptr;
}

// Read-only: range_index's pointers are not const because built indexes
// own theirs; one read from a file is never released or written.
range_index index_over(const uint8_t *bytes, const Header &h, Section s,
                       const compiled::IndexParameters &parameters) {
  return {const_cast<uint32_t *>(section<uint32_t>(bytes, h, s)), parameters.buckets,
          parameters.shift, nullptr, 0};
}

range_index index6_over(const uint8_t *bytes, const Header &h) {
  range_index index = index_over(bytes, h, compiled::index6, h.index6);
  index.fences = const_cast<uint64_t *>(section<uint64_t>(bytes, h, compiled::fences6));
  index.fence_count = index.fences ? index6_fence_count(h.count6) : 0;
  return index;
}

}  // namespace

bool check_compiled_layout(const uint8_t *bytes, uint64_t size, CompiledTables *tables,
                           CompiledProblem *problem) {
  if (size < sizeof(Header))
    return fail(problem, "shorter than a header (%" PRIu64 " bytes)", size);
  Header h;
  memcpy(&h, bytes, sizeof h);
  if (!check_header(h, size, problem) || !check_sections(h, size, problem)) return false;
  const char *pool = section<char>(bytes, h, compiled::pool);
  const uint64_t pool_size = h.sections[compiled::pool].size;
  if (pool[pool_size - 1] != '\0') return fail(problem, "the string pool does not end in NUL");
  const uint32_t *offsets = section<uint32_t>(bytes, h, compiled::names);
  for (int i = 0; i < 2 * compiled::id_count; i++) {
    if (offsets[i] != compiled::no_name && offsets[i] >= pool_size)
      return fail(problem, "the %s of id %d lies outside the string pool",
                  i < compiled::id_count ? "code" : "title", i % compiled::id_count);
  }
  *tables = CompiledTables{};
  tables->starts = section<uint32_t>(bytes, h, compiled::starts4);
  tables->ids = section<uint8_t>(bytes, h, compiled::ids4);
  tables->count4 = h.count4;
  tables->index4 = index_over(bytes, h, compiled::index4, h.index4);
  tables->his = section<uint64_t>(bytes, h, compiled::his6);
  tables->los = section<uint64_t>(bytes, h, compiled::los6);
  tables->ids6 = section<uint8_t>(bytes, h, compiled::ids6);
  tables->count6 = h.count6;
  tables->index6 = index6_over(bytes, h);
  tables->name_offsets = offsets;
  tables->pool = pool;
  tables->pool_size = pool_size;
  memcpy(tables->sources, h.sources, sizeof h.sources);
  return true;
}

uint64_t compiled_checksum(const uint8_t *bytes, uint64_t size) {
  static constexpr uint8_t kZeros[8] = {};
  ChecksumStream sum;
  const uint64_t field = compiled::checksum_offset;
  if (size <= field) {
    sum.add(bytes, size);
    return sum.value();
  }
  sum.add(bytes, field);
  const uint64_t after = size < field + 8 ? size : field + 8;
  sum.add(kZeros, after - field);
  sum.add(bytes + after, size - after);
  return sum.value();
}

}  // namespace velmor

// Writing a compiled table file (compiled_format.h) from in-memory tables,
// through a temporary file that is synced and renamed into place; and
// compiling a table's text files into it.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "ip_ranges.h"
#include "ip_ranges/internal/compiled_table.h"
#include "ip_ranges/internal/record.h"
#include "misc.h"
#include "misc/internal/temp_file.h"

namespace velmor {

namespace {

using compiled::Header;

constexpr int kCompileAttempts = 3;

uint64_t aligned(uint64_t offset) {
  const uint64_t a = compiled::section_alignment;
  return (offset + a - 1) / a * a;
}

bool ascending4(const CompiledContent &c, const char *target) {
  for (uint32_t i = 1; i < c.count4; i++) {
    if (c.starts[i] < c.starts[i - 1]) {
      log_msg(LOG_ERROR, "cannot write %s: IPv4 entry %u starts below the one before it", target,
              i + 1);
      return false;
    }
  }
  return true;
}

bool ascending6(const CompiledContent &c, const char *target) {
  for (uint32_t i = 1; i < c.count6; i++) {
    if (c.his[i] < c.his[i - 1] || (c.his[i] == c.his[i - 1] && c.los[i] < c.los[i - 1])) {
      log_msg(LOG_ERROR, "cannot write %s: IPv6 entry %u starts below the one before it", target,
              i + 1);
      return false;
    }
  }
  return true;
}

// The names as offsets into one pool of NUL-terminated strings, which ends
// in a NUL even when no id is listed.
struct Names {
  uint32_t offsets[2 * compiled::id_count];
  std::string pool;
};

bool build_names(const CompiledContent &c, Names *names) {
  try {
    for (int i = 0; i < 2 * compiled::id_count; i++) {
      const char *const *texts = i < compiled::id_count ? c.codes : c.titles;
      const char *text = texts ? texts[i % compiled::id_count] : nullptr;
      names->offsets[i] = compiled::no_name;
      if (!text) continue;
      names->offsets[i] = static_cast<uint32_t>(names->pool.size());
      names->pool.append(text, strlen(text) + 1);
    }
    if (names->pool.empty()) names->pool.push_back('\0');
  } catch (...) {
    log_msg(LOG_ERROR, "cannot allocate the names of a compiled table");
    return false;
  }
  return true;
}

// The indexes as range_index builds them; a table too small for one has
// none, which is no failure.
struct Indexes {
  range_index v4{};
  range_index v6{};
  ~Indexes() {
    range_index_release(&v4);
    range_index_release(&v6);
  }
};

bool build_indexes(const CompiledContent &c, Indexes *indexes) {
  if (index_bucket_bits(c.count4) && !range_index_build(&indexes->v4, c.starts, c.count4))
    return false;
  const range6_table table6{c.his, c.los, c.ids6, c.count6};
  return !index6_bucket_bits(c.count6) || range6_index_build(&indexes->v6, table6);
}

uint64_t index_bytes(const range_index &index) {
  return index.buckets ? (uint64_t{index.buckets} + 1) * sizeof(uint32_t) : 0;
}

// The file as it is written: the header, then each section at its
// offset, zeros between them. It is written from the arrays themselves (a
// copy of the whole file in memory would cost as much again); the checksum
// is taken over the same pieces first.
struct FilePlan {
  Header header{};
  const void *data[compiled::section_count] = {};
};

// The zeros before a section: fewer than section_alignment of them.
constexpr uint8_t kPadding[compiled::section_alignment] = {};

template <class Write>
bool each_piece(const FilePlan &plan, const Write &write) {
  const Header &h = plan.header;
  if (!write(reinterpret_cast<const uint8_t *>(&h), sizeof h)) return false;
  uint64_t at = sizeof h;
  for (uint32_t s = 0; s < compiled::section_count; s++) {
    const compiled::SectionPlace &section = h.sections[s];
    if (section.size == 0) continue;
    if (!write(kPadding, section.offset - at) ||
        !write(static_cast<const uint8_t *>(plan.data[s]), section.size))
      return false;
    at = section.offset + section.size;
  }
  return true;
}

FilePlan plan_file(const CompiledContent &c, const Indexes &indexes, const Names &names) {
  FilePlan plan;
  Header &h = plan.header;
  memcpy(h.magic, compiled::magic, sizeof h.magic);
  h.version = compiled::format_version;
  h.byte_order = compiled::byte_order_mark;
  h.header_size = sizeof(Header);
  h.count4 = c.count4;
  h.count6 = c.count6;
  h.index4 = {indexes.v4.buckets, indexes.v4.shift};
  h.index6 = {indexes.v6.buckets, indexes.v6.shift};
  memcpy(h.sources, c.sources, sizeof h.sources);
  const void *data[compiled::section_count] = {c.starts,
                                               c.ids,
                                               indexes.v4.bucket_starts,
                                               c.his,
                                               c.los,
                                               c.ids6,
                                               indexes.v6.bucket_starts,
                                               indexes.v6.fences,
                                               names.offsets,
                                               names.pool.data()};
  const uint64_t sizes[compiled::section_count] = {
      uint64_t{c.count4} * 4,  c.count4,
      index_bytes(indexes.v4), uint64_t{c.count6} * 8,
      uint64_t{c.count6} * 8,  c.count6,
      index_bytes(indexes.v6), uint64_t{indexes.v6.fence_count} * 8,
      sizeof names.offsets,    names.pool.size()};
  uint64_t end = sizeof(Header);
  for (uint32_t s = 0; s < compiled::section_count; s++) {
    plan.data[s] = data[s];
    if (sizes[s] == 0) continue;
    h.sections[s] = {aligned(end), sizes[s]};
    end = h.sections[s].offset + sizes[s];
  }
  h.file_size = end;
  // The checksum field is still zero here, as the checksum reads it.
  ChecksumStream sum;
  each_piece(plan, [&sum](const uint8_t *bytes, uint64_t size) {
    sum.add(bytes, size);
    return true;
  });
  h.checksum = sum.value();
  return plan;
}

bool write_all(int fd, const uint8_t *bytes, uint64_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    bytes += n;
    size -= static_cast<uint64_t>(n);
  }
  return true;
}

// Writes the planned file into "<target>.<pid>", syncs it, asks
// before_rename and renames it over target; the temporary file never stays
// behind.
bool write_file(const char *target, const FilePlan &plan,
                const std::function<bool()> &before_rename) {
  PathText temp;
  if (!build_path(temp, {"cannot write to "}, {target, ".", std::to_string(getpid())}))
    return false;
  const int fd = create_file_anew(temp.c_str());
  if (fd < 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot create %s", temp.c_str());
    return false;
  }
  bool written = each_piece(plan, [fd](const uint8_t *bytes,
                                       uint64_t size) { return write_all(fd, bytes, size); }) &&
                 fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  errno = error;
  if (!written) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot write to %s", temp.c_str());
    unlink(temp.c_str());
    return false;
  }
  if (before_rename && !before_rename()) {
    unlink(temp.c_str());
    return false;
  }
  if (rename(temp.c_str(), target) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot rename %s to %s", temp.c_str(), target);
    unlink(temp.c_str());
    return false;
  }
  const PathParts parts = split_last(target);
  const std::string dir(parts.dir);
  if (!sync_dir(dir.c_str())) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot sync directory %s", dir.c_str());
    return false;
  }
  return true;
}

bool write_checked(const char *target, const CompiledContent &content,
                   const std::function<bool()> &before_rename) {
  if (!ascending4(content, target) || !ascending6(content, target)) return false;
  Indexes indexes;
  Names names;
  return build_indexes(content, &indexes) && build_names(content, &names) &&
         write_file(target, plan_file(content, indexes, names), before_rename);
}

// ---- compiling the text files ----

compiled::SourceStamp stamp(const FileIdentity &identity) {
  return {identity.present ? 1u : 0u, 0, identity.present ? identity.mtime_ns : 0};
}

void identities(const char *name, FileIdentity (&out)[compiled::source_count]) {
  for (uint32_t s = 0; s < compiled::source_count; s++) {
    PathText path;
    out[s] = compiled_source_path(name, static_cast<compiled::Source>(s), path)
                 ? file_identity(path.c_str(), false)
                 : FileIdentity{};
  }
}

// The sources a compile reads from disk: a given table is the writer's.
bool same_sources(const FileIdentity (&a)[compiled::source_count],
                  const FileIdentity (&b)[compiled::source_count], const GivenTables *given) {
  for (uint32_t s = 0; s < compiled::source_count; s++) {
    const bool given_file = given && (s == compiled::source_names ? given->names : given->given[s]);
    if (!given_file && !same_identity(a[s], b[s])) return false;
  }
  return true;
}

// A present table file that gives no table fails the compile, unless it is
// empty: a record of ip_ranges_new answers 0 from it, and so does the
// compiled table.
bool load_family(ip_ranges *table, Family family, const FileIdentity &seen, const char *name) {
  if (!seen.present) return true;
  const bool loaded = family == Family::ipv4 ? ip_ranges_load(table) : ip_ranges_load6(table);
  if (loaded || seen.size == 0) return true;
  log_msg(LOG_ERROR, "cannot compile table %s: conf/%s%s gives no table", name, name,
          table_file_suffix(family));
  return false;
}

bool is_given(const GivenTables *given, Family family) {
  return given && given->given[family == Family::ipv4 ? 0 : 1];
}

// The content of the tables as read (or given, or reused), and their
// sources' stamps.
CompiledContent content_of(const ip_ranges *table, const GivenTables *given,
                           const CompiledTables *reused4, const CompiledTables *reused6,
                           const FileIdentity (&sources)[compiled::source_count]) {
  const ip_ranges_state *state = table->state;
  CompiledContent content;
  for (uint32_t s = 0; s < compiled::source_count; s++) content.sources[s] = stamp(sources[s]);
  if (is_given(given, Family::ipv4)) {
    content.starts = given->content.starts;
    content.ids = given->content.ids;
    content.count4 = given->content.count4;
    content.sources[compiled::source_ipv4] = given->content.sources[compiled::source_ipv4];
  } else if (reused4) {
    content.starts = reused4->starts;
    content.ids = reused4->ids;
    content.count4 = reused4->count4;
  } else {
    content.starts = table->starts;
    content.ids = table->ids;
    content.count4 = table->starts ? static_cast<uint32_t>(table->count) : 0;
  }
  if (is_given(given, Family::ipv6)) {
    content.his = given->content.his;
    content.los = given->content.los;
    content.ids6 = given->content.ids6;
    content.count6 = given->content.count6;
    content.sources[compiled::source_ipv6] = given->content.sources[compiled::source_ipv6];
  } else if (reused6) {
    content.his = reused6->his;
    content.los = reused6->los;
    content.ids6 = reused6->ids6;
    content.count6 = reused6->count6;
  } else {
    content.his = state->his;
    content.los = state->los;
    content.ids6 = state->ids6;
    content.count6 = state->his ? static_cast<uint32_t>(state->count6) : 0;
  }
  if (given && given->names) {
    content.codes = given->content.codes;
    content.titles = given->content.titles;
    content.sources[compiled::source_names] = given->content.sources[compiled::source_names];
  } else {
    content.codes = table->codes;
    content.titles = table->titles;
  }
  return content;
}

enum class Attempt { written, failed, changed };

Attempt compile_once(const char *name, const char *target, const GivenTables *given) {
  FileIdentity before[compiled::source_count];
  identities(name, before);
  const bool has4 = before[compiled::source_ipv4].present || is_given(given, Family::ipv4);
  const bool has6 = before[compiled::source_ipv6].present || is_given(given, Family::ipv6);
  if (!has4 && !has6) {
    log_msg(LOG_ERROR, "cannot compile table %s: neither conf/%s.ips nor conf/%s6.ips exists", name,
            name, name);
    return Attempt::failed;
  }
  ip_ranges *table = ip_ranges_new(name);
  if (!table) return Attempt::failed;
  // A writer that gives some tables keeps the others: one not changed since
  // the compiled file in place was written is taken from that file, not
  // parsed again. A compile of the text files alone reads them all.
  CompiledReuse reuse(name);
  const bool reuse4 = given && !is_given(given, Family::ipv4) &&
                      reuse.holds(compiled::source_ipv4, before[compiled::source_ipv4]);
  const bool reuse6 = given && !is_given(given, Family::ipv6) &&
                      reuse.holds(compiled::source_ipv6, before[compiled::source_ipv6]);
  bool loaded = (is_given(given, Family::ipv4) || reuse4 ||
                 load_family(table, Family::ipv4, before[compiled::source_ipv4], name)) &&
                (is_given(given, Family::ipv6) || reuse6 ||
                 load_family(table, Family::ipv6, before[compiled::source_ipv6], name));
  const bool read_names = before[compiled::source_names].present && !(given && given->names);
  if (loaded && read_names && !ip_ranges_load_names(table)) {
    log_msg(LOG_ERROR, "cannot compile table %s: conf/%s cannot be read", name, name);
    loaded = false;
  }
  bool changed = false;
  if (loaded) {
    // Sources replaced while they were read or written out would leave a
    // compiled file newer than them that holds the old tables.
    const CompiledTables *reused4 = reuse4 ? &reuse.tables() : nullptr;
    const CompiledTables *reused6 = reuse6 ? &reuse.tables() : nullptr;
    loaded = write_checked(target, content_of(table, given, reused4, reused6, before), [&] {
      FileIdentity after[compiled::source_count];
      identities(name, after);
      changed = !same_sources(before, after, given);
      return !changed;
    });
  }
  ip_ranges_free(table);
  if (changed) return Attempt::changed;
  return loaded ? Attempt::written : Attempt::failed;
}

}  // namespace

bool write_compiled(const char *target, const CompiledContent &content) {
  return write_checked(target, content, nullptr);
}

bool compile_table(const char *name, const GivenTables *given) {
  PathText target;
  if (!compiled_path(name, target)) return false;
  for (int attempt = 1; attempt <= kCompileAttempts; attempt++) {
    const Attempt result = compile_once(name, target.c_str(), given);
    if (result != Attempt::changed) return result == Attempt::written;
  }
  log_msg(LOG_ERROR, "cannot compile table %s: its files kept changing while being compiled", name);
  return false;
}

}  // namespace velmor

// Opening a compiled file for a record: the paths of the table's files,
// the read-only mapping, its constant-time check and the staleness rule.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ip_ranges/internal/compiled_table.h"

namespace velmor {

namespace {

constexpr const char *kSourceSuffixes[compiled::source_count] = {".ips", "6.ips", ""};

// Every source's identity, without reports: a missing IPv6 table or names
// file is an ordinary state.
void stat_sources(const char *name, CompiledSeen *seen) {
  for (uint32_t s = 0; s < compiled::source_count; s++) {
    PathText path;
    const auto source = static_cast<compiled::Source>(s);
    seen->sources[s] = compiled_source_path(name, source, path) ? file_identity(path.c_str(), false)
                                                                : FileIdentity{};
  }
}

// The staleness rule against the sources' identities in seen.
CompiledFault check_sources(const char *name, const CompiledTables &tables,
                            const CompiledSeen &seen, CompiledProblem *problem) {
  for (uint32_t s = 0; s < compiled::source_count; s++) {
    const FileIdentity &now = seen.sources[s];
    const bool recorded = tables.sources[s].present != 0;
    const char *change = nullptr;
    if (recorded && !now.present) change = "is gone";
    if (!recorded && now.present) change = "has appeared";
    if (recorded && now.present && now.mtime_ns > seen.compiled.mtime_ns) change = "is newer";
    if (!change) continue;
    snprintf(problem->text, sizeof problem->text, "conf/%s%s %s", name, kSourceSuffixes[s], change);
    return CompiledFault::stale;
  }
  return CompiledFault::none;
}

CompiledFault with_errno(CompiledProblem *problem, const char *what) {
  snprintf(problem->text, sizeof problem->text, "%s: %s", what, strerror(errno));
  return CompiledFault::unreadable;
}

// Maps the open file fd of the given size and checks it.
CompiledFault map_and_check(int fd, uint64_t size, CompiledMapping *mapping,
                            CompiledProblem *problem) {
  if (size < sizeof(compiled::Header)) {
    snprintf(problem->text, sizeof problem->text, "shorter than a header (%llu bytes)",
             static_cast<unsigned long long>(size));
    return CompiledFault::damaged;
  }
  void *base = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) return with_errno(problem, "cannot map it");
  CompiledTables tables;
  if (!check_compiled_layout(static_cast<const uint8_t *>(base), size, &tables, problem)) {
    munmap(base, size);
    return CompiledFault::damaged;
  }
  mapping->base = base;
  mapping->length = size;
  mapping->tables = tables;
  return CompiledFault::none;
}

}  // namespace

bool compiled_path(const char *name, PathText &path) {
  return build_path(path, {"cannot open "}, {"conf/", name, ".ipt"});
}

bool compiled_source_path(const char *name, compiled::Source source, PathText &path) {
  return build_path(path, {"cannot open "}, {"conf/", name, kSourceSuffixes[source]});
}

CompiledFault map_compiled(const char *name, CompiledMapping *mapping, CompiledSeen *seen,
                           CompiledProblem *problem) {
  *seen = CompiledSeen{};
  *mapping = CompiledMapping{};
  PathText path;
  if (!compiled_path(name, path)) {
    stat_sources(name, seen);
    snprintf(problem->text, sizeof problem->text, "the table name is too long");
    return CompiledFault::unreadable;
  }
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    stat_sources(name, seen);
    errno = error;
    if (error == ENOENT) {
      snprintf(problem->text, sizeof problem->text, "no such file");
      return CompiledFault::missing;
    }
    return with_errno(problem, "cannot open it");
  }
  seen->compiled = fd_identity(fd);
  CompiledFault fault =
      seen->compiled.present
          ? map_and_check(fd, static_cast<uint64_t>(seen->compiled.size), mapping, problem)
          : with_errno(problem, "cannot examine it");
  close(fd);  // the mapping keeps the file
  // The sources are examined after the compiled file was opened, so the
  // identities a reload compares are never older than the file mapped.
  stat_sources(name, seen);
  if (fault == CompiledFault::none) fault = check_sources(name, mapping->tables, *seen, problem);
  if (fault != CompiledFault::none) unmap_compiled(mapping);
  return fault;
}

void unmap_compiled(CompiledMapping *mapping) {
  if (mapping->base) munmap(mapping->base, mapping->length);
  *mapping = CompiledMapping{};
}

}  // namespace velmor

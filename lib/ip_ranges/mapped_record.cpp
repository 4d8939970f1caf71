// Records of ip_ranges_new_mapped (mapped_record.h): opening the compiled
// table or falling back to the text tables, the reload by identity, and the
// one report per process of a compiled file that cannot be used.
#include "ip_ranges/internal/mapped_record.h"

#include <unistd.h>

#include <climits>
#include <mutex>
#include <new>
#include <set>
#include <string>

#include "ip_ranges.h"
#include "misc.h"

namespace velmor {

namespace {

using compiled::Source;

Source source_of(Family family) {
  return family == Family::ipv4 ? compiled::source_ipv4 : compiled::source_ipv6;
}

const char *fault_text(CompiledFault fault) {
  switch (fault) {
    case CompiledFault::missing:
      return "is missing";
    case CompiledFault::unreadable:
      return "cannot be used";
    case CompiledFault::damaged:
      return "is damaged";
    case CompiledFault::stale:
      return "is older than its sources";
    case CompiledFault::none:
      break;
  }
  return "is fine";
}

// Once per process for each file (by its directory as well: a process may
// change directories) and kind of fault: a server whose 32 threads each
// open a record must not log 32 lines, nor one per reload. The first
// report of a kind says what was wrong. A process that met more than
// kRemembered of them logs the others each time.
constexpr size_t kRemembered = 4096;

bool first_report(const char *path, CompiledFault fault) {
  static std::mutex lock;
  static auto *reported = new (std::nothrow) std::set<std::string>;
  char dir[PATH_MAX];
  if (!getcwd(dir, sizeof dir)) dir[0] = '\0';
  try {
    std::string key = std::string(dir) + '/' + path + '\n' + fault_text(fault);
    std::lock_guard<std::mutex> hold(lock);
    if (!reported || reported->size() >= kRemembered) return true;
    return reported->insert(std::move(key)).second;
  } catch (...) {
    return true;  // without memory for the key the line is logged again; nothing is lost
  }
}

void report_fallback(const char *name, CompiledFault fault, const CompiledProblem &problem) {
  PathText path;
  if (!compiled_path(name, path) || !first_report(path.c_str(), fault)) return;
  log_msg(LOG_MESSAGE, "compiled table %s %s (%s): reading the text tables", path.c_str(),
          fault_text(fault), problem.text);
}

// The record's arrays and indexes point into a mapping: they are let go,
// never freed; the code and title arrays are the record's own.
void detach_mapping(ip_ranges *table) {
  ip_ranges_state *state = table->state;
  table->starts = nullptr;
  table->ids = nullptr;
  table->count = 0;
  state->index = range_index{};
  state->his = nullptr;
  state->los = nullptr;
  state->ids6 = nullptr;
  state->count6 = 0;
  state->index6 = range_index{};
  state->index_from_file = false;
  drop_names(table);
}

void drop_text_tables(ip_ranges *table) {
  drop_table(table, Family::ipv4);
  drop_table(table, Family::ipv6);
  drop_names(table);
}

// The 256 codes and titles as pointers into the pool (read-only, like the
// rest of the mapping). Without memory for the arrays the record has no
// names, as a record whose names file cannot be read.
void attach_names(ip_ranges *table, const CompiledTables &t) {
  constexpr size_t size = compiled::id_count * sizeof(char *);
  table->codes = static_cast<char **>(mem_calloc(size, __FILE__, __LINE__));
  table->titles = static_cast<char **>(mem_calloc(size, __FILE__, __LINE__));
  if (!table->codes || !table->titles) {
    drop_names(table);
    return;
  }
  for (int id = 0; id < compiled::id_count; id++) {
    table->codes[id] = const_cast<char *>(compiled_name(t, t.name_offsets[id]));
    table->titles[id] =
        const_cast<char *>(compiled_name(t, t.name_offsets[compiled::id_count + id]));
  }
}

// The public fields are not const: the record type is shared with records
// of ip_ranges_new. The pages are mapped PROT_READ, so a write faults.
void attach_mapping(ip_ranges *table, const CompiledTables &t) {
  ip_ranges_state *state = table->state;
  table->starts = const_cast<uint32_t *>(t.starts);
  table->ids = const_cast<uint8_t *>(t.ids);
  table->count = static_cast<int32_t>(t.count4);
  state->index = t.index4;
  state->his = const_cast<uint64_t *>(t.his);
  state->los = const_cast<uint64_t *>(t.los);
  state->ids6 = const_cast<uint8_t *>(t.ids6);
  state->count6 = static_cast<int32_t>(t.count6);
  state->index6 = t.index6;
  state->index_from_file = true;
  if (t.sources[compiled::source_names].present) attach_names(table, t);
}

// Maps the compiled file anew, or falls back to the text tables (loaded by
// the caller or on their first use), and only then lets the old mapping go.
void open_record(ip_ranges *table) {
  MappedRecord &m = *table->state->mapped;
  CompiledMapping fresh;
  CompiledSeen seen;
  CompiledProblem problem;
  const CompiledFault fault = map_compiled(table->name, &fresh, &seen, &problem);
  CompiledMapping old = m.mapping;
  if (old.base) {
    detach_mapping(table);
  } else {
    drop_text_tables(table);
  }
  if (fault == CompiledFault::none) {
    attach_mapping(table, fresh.tables);
  } else {
    report_fallback(table->name, fault, problem);
  }
  m.mapping = fresh;
  unmap_compiled(&old);
  m.seen = seen;
  table->mtime = whole_seconds(seen.sources[compiled::source_ipv4]);
  m.opened = true;
}

// Whether any of the four files is not the one the last open saw. From the
// text tables, the family's own file is reported while it cannot be
// examined, as a record of ip_ranges_new reports it.
bool files_changed(const ip_ranges *table, const MappedRecord &m, Family family) {
  PathText path;
  bool changed = compiled_path(table->name, path) &&
                 !same_identity(file_identity(path.c_str(), false), m.seen.compiled);
  for (uint32_t s = 0; s < compiled::source_count; s++) {
    const auto source = static_cast<Source>(s);
    const bool report = !m.mapping.base && source == source_of(family);
    if (compiled_source_path(table->name, source, path) &&
        !same_identity(file_identity(path.c_str(), report), m.seen.sources[s]))
      changed = true;
  }
  return changed;
}

}  // namespace

bool mapped_load(ip_ranges *table, Family family) {
  MappedRecord &m = *table->state->mapped;
  if (!m.opened) open_record(table);
  if (m.mapping.base) {
    return family == Family::ipv4 ? table->count > 0 : table->state->count6 > 0;
  }
  const bool loaded = load_table(table, nullptr, family);
  m.seen.sources[source_of(family)] =
      family == Family::ipv4 ? table->state->identity : table->state->identity6;
  return loaded;
}

bool mapped_load_names(ip_ranges *table) {
  MappedRecord &m = *table->state->mapped;
  if (!m.opened) open_record(table);
  if (m.mapping.base) return table->titles != nullptr;
  return load_names_file(table);
}

bool mapped_reload(ip_ranges *table, Family family) {
  MappedRecord &m = *table->state->mapped;
  if (!m.opened || files_changed(table, m, family)) {
    ip_ranges_state *state = table->state;
    const bool used4 = table->starts || table->load_tried;
    const bool used6 = state->his || state->load6_tried;
    open_record(table);
    m.generation++;
    // From the text tables the family is loaded at once, as a reload of a
    // record of ip_ranges_new loads it, and so is the other family when the
    // record had loaded or tried it: its lookups do not load again.
    if (!m.mapping.base) {
      if (family == Family::ipv4 || used4) mapped_load(table, Family::ipv4);
      if (family == Family::ipv6 || used6) mapped_load(table, Family::ipv6);
    }
  }
  uint32_t &reported = m.reported[family == Family::ipv4 ? 0 : 1];
  if (reported == m.generation) return false;
  reported = m.generation;
  return true;
}

void mapped_release(ip_ranges *table) {
  MappedRecord *m = table->state->mapped;
  if (m->mapping.base) {
    detach_mapping(table);
  } else {
    drop_text_tables(table);
  }
  unmap_compiled(&m->mapping);
  m->~MappedRecord();
  mem_free(m);
  table->state->mapped = nullptr;
}

}  // namespace velmor

extern "C" ip_ranges *ip_ranges_new_mapped(const char *name) {
  ip_ranges *table = ip_ranges_new(name);
  if (!table) return nullptr;
  void *memory = mem_calloc(sizeof(velmor::MappedRecord), __FILE__, __LINE__);
  if (!memory) {
    ip_ranges_free(table);
    return nullptr;
  }
  table->state->mapped = new (memory) velmor::MappedRecord{};
  return table;
}

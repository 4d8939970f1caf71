// Loading a table file into a record, the same way for both families: the
// file's identity is taken first, the file is counted, the arrays allocated at their
// final size and filled, and a file that changed between the two passes is
// read again (a table cut short or mixed from two versions is never kept).
#include <cstdio>
#include <memory>
#include <new>

#include "ip_ranges/internal/range_index.h"
#include "ip_ranges/internal/record.h"
#include "ip_ranges/internal/table_file.h"
#include "misc.h"
#include "misc/internal/file_identity.h"

namespace velmor {

namespace {

constexpr int32_t no_memory = -1;
constexpr int32_t kept_changing = -2;
constexpr int load_attempts = 3;
constexpr size_t kReadBuffer = size_t{1} << 17;

// The IPv4 table: the record's public starts, ids and count (5 bytes per
// entry) and the index in its state.
struct Ipv4Arrays {
  ip_ranges *table;

  static constexpr int piece_size = table_piece_size;
  // The public mtime keeps whole seconds; the state, which a record made by
  // hand lacks, the identity that reloads compare.
  void see(const FileIdentity &identity) {
    table->mtime = whole_seconds(identity);
    if (table->state) table->state->identity = identity;
  }
  void drop() {
    if (table->state) range_index_release(&table->state->index);
    table->starts = static_cast<uint32_t *>(mem_free(table->starts));
    table->ids = static_cast<uint8_t *>(mem_free(table->ids));
    table->count = 0;
  }
  // Both arrays zeroed at their final size, or neither (the allocator reports).
  bool allocate(size_t entries) {
    table->starts =
        static_cast<uint32_t *>(mem_calloc(entries * sizeof(uint32_t), __FILE__, __LINE__));
    table->ids = static_cast<uint8_t *>(mem_calloc(entries, __FILE__, __LINE__));
    return table->starts && table->ids;
  }
  int32_t read(FILE *in, int32_t room, bool *whole) {
    return read_table_entries(in, room, table->starts, table->ids, whole);
  }
  // Without an index (no memory, a small table) lookups bisect the table.
  void keep(int32_t stored) {
    table->count = stored;
    if (table->state)
      range_index_build(&table->state->index, table->starts, static_cast<uint32_t>(stored));
  }
};

// The IPv6 table in the record's state (17 bytes per entry) and its index.
struct Ipv6Arrays {
  ip_ranges_state *state;

  static constexpr int piece_size = table6_piece_size;
  void see(const FileIdentity &identity) { state->identity6 = identity; }
  void drop() {
    range_index_release(&state->index6);
    state->his = static_cast<uint64_t *>(mem_free(state->his));
    state->los = static_cast<uint64_t *>(mem_free(state->los));
    state->ids6 = static_cast<uint8_t *>(mem_free(state->ids6));
    state->count6 = 0;
  }
  bool allocate(size_t entries) {
    state->his =
        static_cast<uint64_t *>(mem_calloc(entries * sizeof(uint64_t), __FILE__, __LINE__));
    state->los =
        static_cast<uint64_t *>(mem_calloc(entries * sizeof(uint64_t), __FILE__, __LINE__));
    state->ids6 = static_cast<uint8_t *>(mem_calloc(entries, __FILE__, __LINE__));
    return state->his && state->los && state->ids6;
  }
  int32_t read(FILE *in, int32_t room, bool *whole) {
    return read_table_entries6(in, room, state->his, state->los, state->ids6, whole);
  }
  void keep(int32_t stored) {
    state->count6 = stored;
    range6_index_build(&state->index6, range6_table{state->his, state->los, state->ids6,
                                                    static_cast<uint32_t>(stored)});
  }
};

// Counting pass, allocation, reading pass on an open stream; gives the
// number of entries stored, no_memory when the arrays cannot be had, or
// kept_changing. A file rewritten in place while it is read would give a
// table cut short or mixed from two versions, so when the reading pass does
// not meet the pieces it counted, the table is dropped and the file read again.
template <class Arrays>
int32_t fill(Arrays &arrays, FILE *in, const char *path, BetweenPasses between_passes) {
  for (int attempt = 1;; attempt++) {
    int32_t room = count_table_pieces(in, Arrays::piece_size);
    if (between_passes) between_passes(path);
    rewind(in);
    if (room == 0) return 0;
    if (!arrays.allocate(static_cast<size_t>(room))) {
      arrays.drop();
      return no_memory;
    }
    bool whole = false;
    int32_t stored = arrays.read(in, room, &whole);
    if (whole) return stored;
    arrays.drop();
    if (attempt == load_attempts) return kept_changing;
    rewind(in);
  }
}

// The caller has dropped what the arrays held: a direct load over a loaded
// table must not leak it.
template <class Arrays>
bool load(Arrays arrays, const PathText &path, BetweenPasses between_passes) {
  // The identity is taken before the file is read: a file replaced during
  // the load then looks changed to the next reload, which reads it again.
  arrays.see(file_identity(path.c_str(), true));
  if (file_size(path.c_str()) == 0) return false;
  FILE *in = fopen(path.c_str(), "re");
  if (!in) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", path.c_str());
    return false;
  }
  // Both passes in large reads: the stream's own 4 KB buffer makes a table
  // of a quarter of a million entries a thousand read calls.
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadBuffer]);
  if (buffer) setvbuf(in, buffer.get(), _IOFBF, kReadBuffer);
  int32_t stored = fill(arrays, in, path.c_str(), between_passes);
  fclose(in);
  if (stored > 0) {
    arrays.keep(stored);
    return true;
  }
  arrays.drop();
  // A failed allocation has been reported by the allocator; a file emptied
  // meanwhile is no error, as for a file that was empty from the start.
  if (stored == kept_changing) {
    log_msg(LOG_ERROR, "cannot load %s: it changed while being read", path.c_str());
  } else if (stored == 0 && file_size(path.c_str()) != 0) {
    log_msg(LOG_ERROR, "no ranges found in %s", path.c_str());
  }
  return false;
}

}  // namespace

bool table_path(const ip_ranges *table, Family family, PathText &path) {
  return build_path(path, {"cannot open "}, {"conf/", table->name, table_file_suffix(family)});
}

void drop_table(ip_ranges *table, Family family) {
  if (family == Family::ipv4) {
    Ipv4Arrays{table}.drop();
  } else if (table->state) {
    Ipv6Arrays{table->state}.drop();
  }
}

bool load_table(ip_ranges *table, BetweenPasses between_passes, Family family) {
  if (!table) {
    log_msg(LOG_ERROR, "NULL ranges");
    return false;
  }
  PathText path;
  if (family == Family::ipv4) {
    Ipv4Arrays arrays{table};
    arrays.drop();
    return table_path(table, family, path) && load(arrays, path, between_passes);
  }
  ip_ranges_state *state = table->state;
  if (!state) return false;  // a record made by hand has no IPv6 table
  Ipv6Arrays arrays{state};
  arrays.drop();
  return table_path(table, family, path) && load(arrays, path, between_passes);
}

}  // namespace velmor

// Internal: the compiled table file (layout in compiled_format.h): its
// constant-time check, the read-only mapping a record answers from, the
// staleness rule, the full verifier and the writer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ip_ranges/internal/compiled_format.h"
#include "ip_ranges/internal/range_index.h"
#include "misc/internal/file_identity.h"
#include "misc/internal/paths.h"

namespace velmor {

// What is wrong with a file, for the log and for iplookup --verify:
// "section index4 lies outside the file", "conf/countries.ips is newer".
struct CompiledProblem {
  char text[240] = {};
};

// The arrays of a compiled table, pointing into the file's bytes. An index
// built from a file's parameters holds a bucket_starts pointer into the
// bytes as well: it is never released, and lookups over it are bounded
// (range_index_lookup_bounded).
struct CompiledTables {
  const uint32_t *starts = nullptr;  // null when count4 is 0
  const uint8_t *ids = nullptr;
  uint32_t count4 = 0;
  range_index index4{};
  const uint64_t *his = nullptr;  // null when count6 is 0
  const uint64_t *los = nullptr;
  const uint8_t *ids6 = nullptr;
  uint32_t count6 = 0;
  range_index index6{};
  const uint32_t *name_offsets = nullptr;  // 2 * id_count: codes, then titles
  const char *pool = nullptr;
  uint64_t pool_size = 0;
  compiled::SourceStamp sources[compiled::source_count] = {};
};

// The constant-time check of bytes [bytes, bytes + size) read as a
// compiled file: the header, every section's place and size, the index
// parameters and the 512 name offsets. True with *tables filled; false with
// the problem named. bytes must be aligned to section_alignment (a mapping is).
bool check_compiled_layout(const uint8_t *bytes, uint64_t size, CompiledTables *tables,
                           CompiledProblem *problem);

// FNV-1a (64 bits) of the file's bytes with Header::checksum read as zero.
uint64_t compiled_checksum(const uint8_t *bytes, uint64_t size);

// The same checksum taken over a file's bytes in pieces, as they are
// written (the header's checksum field given as zeros).
class ChecksumStream {
 public:
  void add(const uint8_t *bytes, uint64_t size) {
    uint64_t hash = hash_;
    for (uint64_t i = 0; i < size; i++) hash = (hash ^ bytes[i]) * 0x100000001b3u;
    hash_ = hash;
  }
  uint64_t value() const { return hash_; }

 private:
  uint64_t hash_ = 0xcbf29ce484222325u;
};

// The code or title text of an offset from the names section; null for
// compiled::no_name. The offset must have passed check_compiled_layout.
inline const char *compiled_name(const CompiledTables &tables, uint32_t offset) {
  return offset == compiled::no_name ? nullptr : tables.pool + offset;
}

// "conf/<name>.ipt", and the source files: "conf/<name>.ips",
// "conf/<name>6.ips", "conf/<name>". False (reported as "cannot open ...")
// when the name makes a path too long.
bool compiled_path(const char *name, PathText &path);
bool compiled_source_path(const char *name, compiled::Source source, PathText &path);

// Why a compiled file is not used.
enum class CompiledFault {
  none,
  missing,     // no file
  unreadable,  // it cannot be opened, examined or mapped
  damaged,     // its header or sizes are wrong
  stale,       // a source is newer than it, or present or absent against the record
};

// The files a record's last open saw: the compiled file and its sources,
// compared by identity at each reload.
struct CompiledSeen {
  FileIdentity compiled;
  FileIdentity sources[compiled::source_count];
};

// A compiled file mapped read-only (PROT_READ, MAP_SHARED): shared with
// every other mapping of it through the page cache.
struct CompiledMapping {
  void *base = nullptr;  // null while nothing is mapped
  size_t length = 0;
  CompiledTables tables;
};

// Opens conf/<name>.ipt, maps it and checks it in constant time, then
// applies the staleness rule: every source the header records as present
// must exist with a modification time not later than the compiled file's
// own, and a source recorded absent must still be absent. Gives none with
// *mapping holding the mapping, or the fault, *problem naming it and
// nothing mapped. *seen gets the identities of the compiled file (of the
// file that was opened) and of the sources in every case.
CompiledFault map_compiled(const char *name, CompiledMapping *mapping, CompiledSeen *seen,
                           CompiledProblem *problem);

// Unmaps what map_compiled mapped; safe to repeat.
void unmap_compiled(CompiledMapping *mapping);

// The whole check of a compiled file: the constant-time check, then the
// starts of both tables ascending, each index equal to the one the starts
// give, every nonzero id the tables use listed with a code, and the
// checksum. True when the file passes; else false with the first problem
// found named. Does not apply the staleness rule.
bool verify_compiled(const char *path, CompiledProblem *problem);

// What a compiled file is written from: the two tables, the names and the
// sources' stamps. Arrays are the caller's; codes and titles are 256
// entries each (null entries for ids the names file does not list), or
// null when there is no names file.
struct CompiledContent {
  const uint32_t *starts = nullptr;
  const uint8_t *ids = nullptr;
  uint32_t count4 = 0;
  const uint64_t *his = nullptr;
  const uint64_t *los = nullptr;
  const uint8_t *ids6 = nullptr;
  uint32_t count6 = 0;
  const char *const *codes = nullptr;
  const char *const *titles = nullptr;
  compiled::SourceStamp sources[compiled::source_count] = {};
};

// Writes content as the compiled file target: into "<target>.<pid>",
// created anew (create_file_anew: O_EXCL|O_NOFOLLOW|O_CLOEXEC), synced,
// renamed over target and the directory synced; never written in place.
// Refuses (logged, nothing written) a table whose starts descend, and a
// table too large for the format. A writer that also replaces the text
// files renames the compiled file first and the text files after it, their
// contents written before it, so that a reader never finds a compiled file
// older than the text files it stands for. False on any failure (logged,
// the temporary file removed, target untouched).
bool write_compiled(const char *target, const CompiledContent &content);

// The tables (and names) a writer of the text files has just made, given
// to compile_table in place of reading their files: the writer renames the
// compiled file into place first and these files after it. A family is
// given when given[family] is set, the names when names is: their arrays
// and their source stamps (of the temporary files that will take the
// files' names) are taken from content, the rest of content is not read.
struct GivenTables {
  CompiledContent content;
  bool given[2] = {false, false};  // by Family: ipv4, ipv6
  bool names = false;
};

// The compiled file already in place, as a source of a compile: a family
// whose text file it was compiled from, unchanged since, is taken from its
// arrays in place instead of parsing the text again (a writer replacing one
// family keeps the other). It is used only when it maps, passes the
// constant-time check and the staleness rule, and its checksum holds; its
// stamp of the family's file must equal that file's modification time to
// the nanosecond, and that time must lie before the compiled file's own
// (file times advance in coarse ticks: a file replaced within the tick
// the compiled file was written in may show the time it recorded).
// Anything else, without a message, leaves the text.
class CompiledReuse {
 public:
  explicit CompiledReuse(const char *name) : name_(name) {}
  ~CompiledReuse() { unmap_compiled(&mapping_); }
  CompiledReuse(const CompiledReuse &) = delete;
  CompiledReuse &operator=(const CompiledReuse &) = delete;

  // Whether family (source_ipv4 or source_ipv6) can be taken from the file
  // for its text file as it is now (text); the file is mapped at the first
  // call.
  bool holds(compiled::Source family, const FileIdentity &text);
  // The arrays, valid while this lives; only after holds() said yes.
  const CompiledTables &tables() const { return mapping_.tables; }

 private:
  bool map_checked();

  const char *name_;
  CompiledMapping mapping_;
  int64_t compiled_mtime_ns_ = 0;
  bool tried_ = false;
  bool usable_ = false;
};

// Compiles the text files of table name (under the working directory) into
// conf/<name>.ipt with write_compiled; the families given (when given is not
// null) come from *given instead of their files. Each text file is read as a record
// of ip_ranges_new reads it; a missing IPv6 table or names file is recorded
// as absent, a missing IPv4 table too while the IPv6 one exists. Refused
// (logged, nothing written): neither table present, a present table that
// cannot be loaded (an empty file counts as a table without entries), a
// names file that cannot be read, descending starts, and sources that kept
// changing while they were compiled. With given, a family not given that
// the compiled file in place holds unchanged is taken from it
// (CompiledReuse); without, every text file is read.
bool compile_table(const char *name, const GivenTables *given = nullptr);

}  // namespace velmor

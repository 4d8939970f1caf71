// The compiled table a run writes beside its text tables. It holds what
// the run has just converted (kept in memory: reading the text back would
// parse the tables a second time) and, for a family the run leaves as it
// is, that family's current file. It is renamed into place before the text
// files: their contents were written before it, so a mapped reader never
// finds it older than they are (the staleness rule of compiled_table.h),
// and at every moment it answers for one whole table.
#include "family_tables.h"
#include "ip_ranges/internal/compiled_table.h"
#include "misc/internal/file_identity.h"

namespace orvik {

namespace {

velmor::compiled::SourceStamp stamp_of(const char *temp_path) {
  const velmor::FileIdentity identity = velmor::file_identity(temp_path, false);
  return {identity.present ? 1u : 0u, 0, identity.present ? identity.mtime_ns : 0};
}

}  // namespace

bool write_compiled_table(const FamilyTables &tables, const bool (&replaced)[kFamilies],
                          const char *const (&temp_paths)[kFamilies], const StagedNames *names) {
  velmor::GivenTables given;
  velmor::CompiledContent &content = given.content;
  if (names != nullptr) {
    content.codes = names->codes;
    content.titles = names->titles;
    content.sources[velmor::compiled::source_names] = stamp_of(names->file->path());
    given.names = true;
  }
  if (replaced[index_of(Family::ipv4)]) {
    const Ipv4Table::Entries &v4 = tables.entries4();
    content.starts = v4.starts.data();
    content.ids = v4.ids.data();
    content.count4 = static_cast<uint32_t>(v4.starts.size());
    content.sources[velmor::compiled::source_ipv4] = stamp_of(temp_paths[index_of(Family::ipv4)]);
    given.given[index_of(Family::ipv4)] = true;
  }
  if (replaced[index_of(Family::ipv6)]) {
    const Ipv6Table::Entries &v6 = tables.entries6();
    content.his = v6.his.data();
    content.los = v6.los.data();
    content.ids6 = v6.ids.data();
    content.count6 = static_cast<uint32_t>(v6.his.size());
    content.sources[velmor::compiled::source_ipv6] = stamp_of(temp_paths[index_of(Family::ipv6)]);
    given.given[index_of(Family::ipv6)] = true;
  }
  return velmor::compile_table(kTableName, &given);
}

}  // namespace orvik

// A run of both families: two temporary files filled side by side, and
// renamed over their tables only when both are complete and on disk.
#include "family_tables.h"

#include <optional>

#include "input_lines.h"
#include "str.h"

namespace orvik {

FamilyTables::FamilyTables(FILE *out4, FILE *out6, CodeLookup &codes, const RunOptions &options)
    : reader_(options),
      ipv4_(out4, codes, options.close_gaps),
      ipv6_(out6, codes, options.close_gaps) {}

void FamilyTables::take(char *line) {
  str_chomp(line);
  RangeLine read;
  reader_.read(line, &read);
  if (read.family == Family::ipv6) {
    ipv6_.take(line, read.range);
    return;
  }
  Range<uint32_t> range;
  range.start = static_cast<uint32_t>(read.range.start);  // IPv4 readers give 32 bits
  range.end = static_cast<uint32_t>(read.range.end);
  range.code = read.range.code;
  range.name = read.range.name;
  range.complete = read.range.complete;
  range.malformed = read.range.malformed;
  ipv4_.take(line, range);
}

void FamilyTables::finish() {
  ipv4_.finish();
  ipv6_.finish();
}

namespace {

// The tables a run replaces: those of the families that brought a range;
// with none, the IPv4 table, as an empty input always replaced it.
void choose_tables(RunSummary *summary) {
  bool any = false;
  for (const Family family : kAllFamilies) {
    const int i = index_of(family);
    summary->replaced[i] = summary->of[i].accepted > 0;
    any = any || summary->replaced[i];
  }
  if (!any) summary->replaced[index_of(Family::ipv4)] = true;
}

}  // namespace

bool convert_families(LineSource &source, CodeLookup &codes, const RunOptions &options,
                      RunSummary *summary) {
  std::optional<TempTable> temp[kFamilies];
  if (!options.check) {
    for (const Family family : kAllFamilies) {
      auto &file = temp[index_of(family)];
      file.emplace(table_path(family), kConfDir);
      if (!file->ready()) return false;
    }
  }
  auto out = [&temp](Family family) {
    const auto &file = temp[index_of(family)];
    return file ? file->out() : nullptr;
  };
  FamilyTables tables(out(Family::ipv4), out(Family::ipv6), codes, options);
  if (!source.feed([&tables](char *piece) { tables.take(piece); })) return false;
  tables.finish();
  for (const Family family : kAllFamilies) summary->of[index_of(family)] = tables.summary(family);
  choose_tables(summary);
  if (options.check) return true;
  // Every refusal is logged; a table left out goes with its temporary file.
  bool enough = names_know_input(*summary, "refusing to replace");
  for (const Family family : kAllFamilies) {
    const int i = index_of(family);
    if (summary->replaced[i])
      enough = enough_ranges(summary->of[i].accepted, options.min_ranges, "refusing to replace",
                             table_path(family)) &&
               enough;
  }
  if (!enough) return false;
  // Both on disk before either is renamed: a failure up to here keeps both
  // old tables. Only a failed second rename leaves the first table new.
  for (const Family family : kAllFamilies)
    if (summary->replaced[index_of(family)] && !temp[index_of(family)]->complete()) return false;
  for (const Family family : kAllFamilies)
    if (summary->replaced[index_of(family)] && !temp[index_of(family)]->put_in_place())
      return false;
  return true;
}

}  // namespace orvik

// A run of both families: two temporary files filled side by side, and
// renamed over their tables only when both are complete and on disk.
#include "family_tables.h"

#include <cstring>
#include <optional>

#include "input_lines.h"
#include "str.h"

namespace orvik {

FamilyTables::FamilyTables(FILE *out4, FILE *out6, CodeLookup &codes, const RunOptions &options,
                           bool parallel)
    : reader_(make_reader(options)),
      fast_(make_fast_reading(options)),
      ipv4_(out4, codes, options.close_gaps),
      ipv6_(out6, codes, options.close_gaps) {
  if (options.sorts()) {
    sorted_.emplace();
    ipv4_.count_overlaps();
    ipv6_.count_overlaps();
  }
  if (parallel && ParallelReading::worth_it())
    parallel_.emplace(options,
                      [this](const char *line, const RangeLine &read) { apply(line, read); });
}

void FamilyTables::take(char *line, bool first) { take(line, strlen(line), first); }

void FamilyTables::take(char *line, size_t length, bool first) {
  // The line end cut as str_chomp cuts it, the length kept.
  if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
  if (length > 0 && line[length - 1] == '\r') line[--length] = '\0';
  if (parallel_) {
    parallel_->take(line, length, first);
    return;
  }
  RangeLine read;
  if (!fast_ || !fast_->read(line, length, first, &read)) reader_->read(line, first, &read);
  apply(line, read);
}

void FamilyTables::apply(const char *line, const RangeLine &read) {
  if (read.passed) {
    if (read.family == Family::ipv6)
      ipv6_.pass();
    else
      ipv4_.pass();
    return;
  }
  if (sorted_ && SortedRanges::gathers(read)) {
    sorted_->add(line, read);
    return;
  }
  give(SortedRanges::Step::take, line, read);
}

namespace {

// An IPv4 range from the low 32 bits the readers give it in.
Range<uint32_t> narrow(const Range<velmor::uint128> &wide) {
  Range<uint32_t> range;
  range.start = static_cast<uint32_t>(wide.start);
  range.end = static_cast<uint32_t>(wide.end);
  range.code = wide.code;
  range.name = wide.name;
  range.complete = wide.complete;
  range.malformed = wide.malformed;
  return range;
}

template <class Builder, class Address>
void give_to(Builder &table, SortedRanges::Step step, const char *line,
             const Range<Address> &range) {
  switch (step) {
    case SortedRanges::Step::take:
      table.take(line, range);
      break;
    case SortedRanges::Step::merge:
      table.merge(range);
      break;
    case SortedRanges::Step::overlap:
      table.overlap(line);
      break;
  }
}

}  // namespace

void FamilyTables::give(SortedRanges::Step step, const char *line, const RangeLine &read) {
  if (read.family == Family::ipv6)
    give_to(ipv6_, step, line, read.range);
  else
    give_to(ipv4_, step, line, narrow(read.range));
}

void FamilyTables::finish() {
  if (parallel_) parallel_->finish();
  if (sorted_)
    sorted_->finish([this](SortedRanges::Step step, const char *line, const RangeLine &read) {
      give(step, line, read);
    });
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
                      RunSummary *summary, const StagedNames *names) {
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
  FamilyTables tables(out(Family::ipv4), out(Family::ipv6), codes, options, true);
  const bool fed =
      tables.parallel() && source.feeds_blocks()
          ? source.feed_blocks([&tables](const char *text, size_t size, bool input_start) {
              tables.take_block(text, size, input_start);
            })
          : source.feed([&tables](char *piece, size_t length, bool first) {
              tables.take(piece, length, first);
            });
  if (!fed) return false;
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
  // Every file on disk before the first rename: a failure up to here keeps
  // every old file. The compiled table is renamed first (it answers for
  // the whole new table at once), then the names and the text tables; a
  // failed later rename leaves the earlier files new.
  for (const Family family : kAllFamilies)
    if (summary->replaced[index_of(family)] && !temp[index_of(family)]->complete()) return false;
  const char *const paths[kFamilies] = {temp[0]->path(), temp[1]->path()};
  if (!write_compiled_table(tables, summary->replaced, paths, names)) return false;
  if (names && !names->file->put_in_place()) return false;
  for (const Family family : kAllFamilies)
    if (summary->replaced[index_of(family)] && !temp[index_of(family)]->put_in_place())
      return false;
  return true;
}

}  // namespace orvik

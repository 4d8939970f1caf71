// Both tables of a run: each line goes to the table of its family, in input
// order, or with --sort once all are read, in address order.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>

#include "fast_reading.h"
#include "form_reader.h"
#include "orvik.h"
#include "parallel_reading.h"
#include "sorted_ranges.h"

namespace orvik {

class FamilyTables {
 public:
  // Starts both tables, on out4 and out6 (null: only counted), with the
  // lines read in the form options give; with parallel, and a second
  // processor, the lines are read on a second thread (ParallelReading).
  FamilyTables(FILE *out4, FILE *out6, CodeLookup &codes, const RunOptions &options,
               bool parallel = false);

  // Takes one input piece (its line end is cut here) into its family's
  // table; first tells the first piece of an input.
  void take(char *line, bool first = false);
  // The same with the piece's length (strlen(line)) known.
  void take(char *line, size_t length, bool first);
  // A block of whole pieces (LineSource::feed_blocks); only when parallel().
  void take_block(const char *text, size_t size, bool input_start) {
    parallel_->take_block(text, size, input_start);
  }
  bool parallel() const { return parallel_.has_value(); }

  // Hands over the gathered ranges of a sorted run, and closes the last
  // range of each table.
  void finish();

  const Summary &summary(Family family) const {
    return family == Family::ipv4 ? ipv4_.summary() : ipv6_.summary();
  }

  // The entries written, for the compiled table.
  const Ipv4Table::Entries &entries4() const { return ipv4_.entries(); }
  const Ipv6Table::Entries &entries6() const { return ipv6_.entries(); }

 private:
  // The table rules for line, read.
  void apply(const char *line, const RangeLine &read);
  void give(SortedRanges::Step step, const char *line, const RangeLine &read);

  std::unique_ptr<FormReader> reader_;
  std::unique_ptr<FastReading> fast_;  // the form's usual lines, when it has a fast reading
  FamilyBuilder<Ipv4Table> ipv4_;
  FamilyBuilder<Ipv6Table> ipv6_;
  std::optional<SortedRanges> sorted_;
  std::optional<ParallelReading> parallel_;  // last: stopped before the rest goes
};

// Writes the compiled table conf/countries.ipt of a run (compiled_table.h)
// and renames it into place: the tables the run replaces from the entries of
// tables (their text files are complete under temp_paths, to be renamed after
// it), the names from names when staged, the others from their files. False
// after a logged failure, nothing renamed.
bool write_compiled_table(const FamilyTables &tables, const bool (&replaced)[kFamilies],
                          const char *const (&temp_paths)[kFamilies], const StagedNames *names);

}  // namespace orvik

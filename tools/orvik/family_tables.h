// Both tables of a run that reads IPv4 and IPv6 lines: each line goes to
// the table of its family.
#pragma once

#include <cstdio>

#include "orvik.h"
#include "range_line.h"

namespace orvik {

class FamilyTables {
 public:
  // Starts both tables, on out4 and out6 (null: only counted), with the
  // lines read in the form options give.
  FamilyTables(FILE *out4, FILE *out6, CodeLookup &codes, const RunOptions &options);

  // Takes one input piece (its line end is cut here) into its family's
  // table.
  void take(char *line);

  // Closes the last range of each table.
  void finish();

  const Summary &summary(Family family) const {
    return family == Family::ipv4 ? ipv4_.summary() : ipv6_.summary();
  }

 private:
  LineReader reader_;
  FamilyBuilder<Ipv4Table> ipv4_;
  FamilyBuilder<Ipv6Table> ipv6_;
};

}  // namespace orvik

// Tables that a writer replaces again and again while readers look them up:
// every version maps each range to its own id, so a reader can tell which
// version it holds and whether every answer came from that one complete
// table. Shared by the replacement tests of one reader process and of
// reader threads.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>

#include "ip_ranges.h"
#include "orvik_csv.h"
#include "str.h"

namespace testing_support::replacement {

constexpr int kRanges = 4000;  // ranges 1..4000, a /12 each: a table of about 56 KB
constexpr int kVersions = 3;   // the inputs the writer alternates between

// Range k of version v maps to this id; range 1 alone tells the versions apart.
inline int id_of(int version, int range) { return 1 + (version * 31 + range * 7) % 250; }
inline uint32_t start_of(int range) { return static_cast<uint32_t>(range) << 20; }

inline std::string code_of(int id) {
  return std::string{static_cast<char>('a' + id / 26), static_cast<char>('a' + id % 26)};
}

// Names file with ids 1..250, codes "ab".."jq".
inline std::string names_file() {
  std::string text = "0 -- Unknown\n";
  for (int id = 1; id <= 250; id++) text += std::to_string(id) + " " + code_of(id) + " C\n";
  return text;
}

inline std::string dotted(uint32_t address) { return str_ip_format(address); }

inline std::string csv_input(int version) {
  std::string text;
  for (int k = 1; k <= kRanges; k++) {
    std::string code = code_of(id_of(version, k));
    for (char &c : code) c = static_cast<char>(c - 'a' + 'A');  // orvik folds the case
    text += csv_line(dotted(start_of(k)), dotted(start_of(k + 1) - 1), code, "Somewhere");
  }
  return text;
}

struct ReaderFigures {
  int status = 0;  // a ReaderFault
  int reloads = 0;
  int versions_seen = 0;  // tables loaded whose version differed from the one before
  long lookups = 0;
};

enum ReaderFault { kFine = 0, kMixed = 1, kNoTable = 2, kNoVersion = 3 };

// The version of the loaded table, from range 1; -1 when no version has that id.
inline int version_of(ip_ranges *table) {
  uint8_t id = ip_ranges_lookup(table, start_of(1) + 77);
  for (int v = 0; v < kVersions; v++)
    if (id == id_of(v, 1)) return v;
  return id == 0 ? -2 : -1;
}

// Every range of the loaded table, in the middle and at both ends, must give
// the id of the version that range 1 names.
inline int sweep(ip_ranges *table, int *version, long *lookups) {
  *version = version_of(table);
  if (*version == -2) return kNoTable;
  if (*version < 0) return kNoVersion;
  for (int k = 1; k <= kRanges; k++) {
    uint32_t probes[] = {start_of(k), start_of(k) + 0x7FFFF, start_of(k + 1) - 1};
    for (uint32_t a : probes)
      if (ip_ranges_lookup(table, a) != id_of(*version, k)) return kMixed;
    *lookups += 3;
  }
  return kFine;
}

// Sweeps the table, then reloads and looks up random ranges until done()
// says the writer has finished, and once more after that; any table loaded
// is swept whole. Stops at the first fault.
inline ReaderFigures read_while_replaced(ip_ranges *table, const std::function<bool()> &done) {
  ReaderFigures figures;
  std::mt19937 rng(7);
  int version = -1;
  if ((figures.status = sweep(table, &version, &figures.lookups))) return figures;
  bool last_round = false;
  while (!last_round) {
    last_round = done();
    if (ip_ranges_reload(table)) {
      int before = version;
      figures.reloads++;
      if ((figures.status = sweep(table, &version, &figures.lookups))) return figures;
      if (version != before) figures.versions_seen++;
    }
    for (int i = 0; i < 256; i++) {
      int k = 1 + static_cast<int>(rng() % kRanges);
      if (ip_ranges_lookup(table, start_of(k) + (rng() & 0xFFFFF)) != id_of(version, k))
        return figures.status = kMixed, figures;
    }
    figures.lookups += 256;
  }
  return figures;
}

}  // namespace testing_support::replacement

// One address family's boundary table as the input's ranges arrive: what a
// conversion counts, where it takes a code's id from, and the rules that
// turn sorted ranges into entries. The IPv4 table ("conf/countries.ips") and
// the IPv6 table ("conf/countries6.ips") follow the same rules; only the
// address width and the entry text differ.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "misc.h"
#include "misc/internal/large_blocks.h"
#include "str/internal/uint128.h"

namespace orvik {

// What a conversion met, for -v and --check.
struct Summary {
  uint64_t lines = 0;                       // pieces read (a line over 1023 bytes is several)
  uint64_t accepted = 0;                    // lines that became ranges
  uint64_t entries = 0;                     // lines of the table
  uint64_t unsorted = 0;                    // skipped as unsorted
  uint64_t malformed = 0;                   // skipped as malformed
  uint64_t passed = 0;                      // lines without a range: headers, comments,
                                            // records without a country (a gap)
  int64_t overlapping = -1;                 // with --sort: skipped as overlapping, else -1
  std::map<std::string, uint64_t> unknown;  // code the names lack -> its ranges
  int new_codes = -1;                       // codes added to the names by --update-names, else -1
};

// Where the converter takes the id of a country code from: -1 for a code
// the names do not list.
class CodeLookup {
 public:
  virtual int16_t find(const char *code) = 0;

 protected:
  ~CodeLookup() = default;
};

// An array of a table's entries (or a sorted run's ranges), in huge pages
// once it is large.
template <class T>
using LargeArray = std::vector<T, velmor::LargeBlockAllocator<T>>;

// The entries a table's arrays have room for from the start: address space
// only (a page is first touched when an entry reaches it), large enough for
// the published lists without a copy on the way, and for whole huge pages.
constexpr size_t kEntriesReserved = size_t{1} << 22;

// Writes the entry (start, id) in the table format.
void write_entry(FILE *out, uint32_t start, int id);

// Writes the entry (start, id) in the IPv6 table format.
void write_entry6(FILE *out, velmor::uint128 start, int id);

// A range as read from one input line, before the table's checks.
template <class Address>
struct Range {
  Address start = 0;
  Address end = 0;
  const char *code = "";       // folded to lower case
  const char *name = nullptr;  // for messages; null when the line's form has no name
  bool complete = false;       // start, end and code were read; else start and end are 0
  bool malformed = false;      // no address of the family: logged, nothing written
};

// Whether a range follows the last accepted one, which ended at prev_end (0
// before the first): readers bisect the table, so starts must ascend
// strictly, and a range whose end lies below its start would let a later
// start fall below an earlier one.
template <class Address>
bool is_next_range(bool complete, Address start, Address end, Address prev_end) {
  return complete && start > prev_end && end >= start;
}

// The two tables: their addresses, the top one, how an entry is written,
// and the entries as the compiled table takes them (compiled_format.h).
struct Ipv4Table {
  using Address = uint32_t;
  static constexpr Address top = UINT32_MAX;
  static void write(FILE *out, Address start, int id) { write_entry(out, start, id); }

  struct Entries {
    LargeArray<uint32_t> starts;
    LargeArray<uint8_t> ids;
    void reserve() {
      starts.reserve(kEntriesReserved);
      ids.reserve(kEntriesReserved);
    }
  };
  static void keep(Entries &entries, Address start, int id) {
    entries.starts.push_back(start);
    entries.ids.push_back(static_cast<uint8_t>(id));
  }
};

struct Ipv6Table {
  using Address = velmor::uint128;
  static constexpr Address top = velmor::uint128_max;
  static void write(FILE *out, Address start, int id) { write_entry6(out, start, id); }

  struct Entries {
    LargeArray<uint64_t> his;  // high and low halves of the starts
    LargeArray<uint64_t> los;
    LargeArray<uint8_t> ids;
    void reserve() {
      his.reserve(kEntriesReserved);
      los.reserve(kEntriesReserved);
      ids.reserve(kEntriesReserved);
    }
  };
  static void keep(Entries &entries, Address start, int id) {
    entries.his.push_back(static_cast<uint64_t>(start >> 64));
    entries.los.push_back(static_cast<uint64_t>(start));
    entries.ids.push_back(static_cast<uint8_t>(id));
  }
};

// The table of one family: one entry where the id changes, none for gaps
// (a gap keeps the id of the range before it) unless close_gaps asks for an
// entry of id 0 at the end of a range followed by a gap, and a closing entry
// after the last range. With out null the entries are only counted;
// otherwise they are also kept, for the compiled table.
template <class Table>
class FamilyBuilder {
 public:
  using Address = typename Table::Address;

  // Starts the table with the entry at address 0, id 0. The room for the
  // kept entries is reserved with the first range: a family without one
  // (the other family of a single-family input) then touches no page of it.
  FamilyBuilder(FILE *out, CodeLookup &codes, bool close_gaps)
      : out_(out), codes_(codes), close_gaps_(close_gaps) {
    entry(0, 0);
  }

  // Takes the range read from line (its line end cut; the line is what the
  // messages show): skips it when malformed or not above the previous
  // range, writes an entry where the id changes.
  void take(const char *line, const Range<Address> &range) {
    ++summary_.lines;
    if (range.malformed) {
      log_msg(LOG_MESSAGE, "skip malformed: %s", line);
      ++summary_.malformed;
      return;
    }
    int16_t id = range.complete ? codes_.find(range.code) : -1;
    if (!is_next_range(range.complete, range.start, range.end, prev_end_)) {
      log_msg(LOG_MESSAGE, "skip unsorted: %s", line);
      ++summary_.unsorted;
      return;
    }
    if (summary_.accepted++ == 0 && out_ != nullptr) kept_.reserve();
    if (id == -1) {
      unknown(range);
      id = 0;
    }
    // A gap starts right after the previous range (prev_end_ is 0 before
    // the first one, whose gap the opening entry already covers).
    const bool gap_before = prev_end_ != 0 && range.start - prev_end_ > 1;
    if (close_gaps_ && gap_before && written_id_ != 0) entry(prev_end_ + 1, 0);
    if (id != written_id_) entry(range.start, id);
    prev_end_ = range.end;
  }

  // Counts a line of the family that holds no range (a header, a comment, a
  // record without a country): its addresses, if any, stay a gap.
  void pass() {
    ++summary_.lines;
    ++summary_.passed;
  }

  // Counts the range of line that a sorted run merged into the range before
  // it (the same code, overlapping): accepted, no entry of its own.
  void merge(const Range<Address> &range) {
    ++summary_.lines;
    ++summary_.accepted;
    if (codes_.find(range.code) == -1) unknown(range);
  }

  // Counts the range of line that a sorted run left out: it overlaps the
  // range before it, whose code differs and which is kept.
  void overlap(const char *line) {
    ++summary_.lines;
    log_msg(LOG_MESSAGE, "skip overlapping: %s", line);
    summary_.overlapping = summary_.overlapping < 0 ? 1 : summary_.overlapping + 1;
  }

  // A sorted run counts its overlaps, none at all included.
  void count_overlaps() {
    if (summary_.overlapping < 0) summary_.overlapping = 0;
  }

  // Closes the last range with an entry of id 0 unless it reaches the top.
  void finish() {
    if (prev_end_ != 0 && prev_end_ != Table::top) entry(prev_end_ + 1, 0);
  }

  const Summary &summary() const { return summary_; }
  const typename Table::Entries &entries() const { return kept_; }

 private:
  void entry(Address start, int16_t id) {
    if (out_ != nullptr) {
      Table::write(out_, start, id);
      Table::keep(kept_, start, id);
    }
    ++summary_.entries;
    written_id_ = id;
  }

  void unknown(const Range<Address> &range) {
    if (range.name != nullptr)
      log_msg(LOG_MESSAGE, "unknown country: %s (%s)", range.code, range.name);
    else
      log_msg(LOG_MESSAGE, "unknown country: %s", range.code);
    ++summary_.unknown[range.code];
  }

  FILE *out_;
  CodeLookup &codes_;
  bool close_gaps_;
  Address prev_end_ = 0;    // end of the last accepted range
  int16_t written_id_ = 0;  // id of the last entry written
  Summary summary_;
  typename Table::Entries kept_;
};

}  // namespace orvik

// tamsel: reads IPv4 (or with -6 IPv6) ranges, one per line, and prints the
// boundary table of their union: every covered address carries the id of
// "ru", every gap 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "input_files.h"
#include "str/internal/uint128.h"

// The program: parses the command line (tamsel(1)), answers -h and -V,
// resolves the root (built_in_root when neither -r nor $VELMOR_ROOT names
// one), reads the operands and prints the table or the CIDR blocks on
// standard output. Gives the exit status: 0, 1 (the one line on standard
// error) or 2 (usage).
int tamsel_main(int argc, char **argv, const char *built_in_root);

// Whole run in the installation root without options: takes the id of "ru"
// from "conf/countries", reads the ranges from in and prints the table to
// out. 0 on success; 1 when the names file lists no "ru" (nothing is
// printed), memory runs out or in or out fail (all logged).
int tamsel_run(const char *root, FILE *in, FILE *out);

namespace tamsel {

// What the options change in a run.
struct Options {
  bool cidr = false;    // --cidr: CIDR blocks instead of the boundary table
  bool single = false;  // -s: a bare address is a one-address range
  bool ipv6 = false;    // -6: IPv6 ranges and the IPv6 table; IPv4 pieces ignored
};

// What a run read and printed, for -v. A line longer than a piece counts
// once in lines but each of its pieces as accepted or rejected.
struct Counts {
  size_t lines = 0;
  size_t accepted = 0;  // pieces that gave a range (warnings included)
  size_t rejected = 0;  // pieces skipped with a message
  size_t ignored = 0;   // with -6: IPv4 pieces passed over without a message
  size_t printed = 0;   // table entries or CIDR blocks
};

// The run after the root is entered: reads every input in turn, merges all
// their ranges and prints the table (or with options.cidr the blocks) to
// out. 0 on success; 1 when an input cannot be opened or read, memory runs
// out or out fails (all logged; nothing is printed unless every input was
// read).
int convert(velmor_tools::InputFiles &inputs, FILE *out, const Options &options, Counts *counts);

// A line is read in pieces of at most this many bytes, like fgets into a
// 64-byte buffer; a longer line is several pieces, each parsed on its own.
constexpr size_t piece_max = 63;

// With -6 the pieces are longer: an IPv6 range in full ("ffff:...:ffff-
// ffff:...:ffff") takes 79 bytes, and room is left for white space.
constexpr size_t piece6_max = 255;

// Cuts a stream into pieces exactly as repeated fgets(buf, size + 1, in)
// would, but reads big blocks. A piece ends after a LF or after size bytes
// (at most piece6_max).
class PieceReader {
 public:
  explicit PieceReader(FILE *in = nullptr, size_t size = piece_max);
  ~PieceReader();
  PieceReader(const PieceReader &) = delete;
  PieceReader &operator=(const PieceReader &) = delete;

  bool ready() const { return block_ != nullptr; }  // false: no memory for the block
  // Starts on another stream, from its first piece; the block is reused.
  void restart(FILE *in);
  // Next piece [*begin, *end), valid until the next call; false at the end
  // of the input or on a read error.
  bool next(const char **begin, const char **end);
  bool failed() const { return read_errno_ != 0; }
  int read_errno() const { return read_errno_; }

 private:
  void refill();

  FILE *in_;
  char *block_;
  size_t size_;
  size_t pos_ = 0, len_ = 0;
  bool at_eof_ = false;
  int read_errno_ = 0;
};

// End of the text that str_chomp would leave of a piece: the piece ends at
// its first NUL byte, then one LF and after it one CR are cut off.
const char *piece_text_end(const char *begin, const char *end);

struct Range {
  uint32_t first;
  uint32_t last;  // inclusive
};

struct Range6 {
  velmor::uint128 first;
  velmor::uint128 last;  // inclusive
};

// What one piece turned out to be. The first three give a range.
enum class Verdict : uint8_t {
  range,             // network or explicit range
  masked_network,    // network whose address has bits beyond the prefix (kept)
  open_range,        // explicit range whose last address did not parse (up to the top)
  no_address,        // no dotted quad, or one without "/" or "-" (IPv6: no address first)
  bad_bits,          // prefix length outside 1..32 (IPv6: 1..128)
  reversed,          // explicit range whose last address lies below its first
  malformed,         // IPv6: an address followed by something that is no network or range
  bad_last_address,  // IPv6: the last address of a range does not read (refused)
};

inline bool gives_range(Verdict v) { return v <= Verdict::open_range; }

// Parses one piece text (line end already cut). *range is set for the
// verdicts that give one; *after_dash points past the "-" of an explicit range.
Verdict parse_piece(const char *begin, const char *end, Range *range, const char **after_dash);

// With -s: a piece that holds neither "/" nor "-" and whose first dotted
// quad (text before it skipped, as for every piece) is followed by nothing
// but white space is the one-address range of that address, 255.255.255.255
// included. False for any other piece.
bool parse_single_address(const char *begin, const char *end, Range *range);

// Logs the message that belongs to the verdict, if any.
void report_piece(Verdict verdict, const char *begin, const char *end, const char *after_dash);

// With -6: one IPv6 piece text (line end already cut), strict where the
// IPv4 reading is lenient. Optional white space, an address at once
// (velmor::scan_ipv6), then "/bits" (digits only, 1..128), or "-" and the
// last address (white space allowed around the "-"), or with single
// nothing; white space may end the piece. no_address when the piece does
// not start with an IPv6 address; *range and *after_dash as for
// parse_piece.
Verdict parse_piece6(const char *begin, const char *end, bool single, Range6 *range,
                     const char **after_dash);

// Growable store of ranges as 64-bit keys (first << 32 | last). The common
// case never grows; growth doubles the block.
class RangeStore {
 public:
  RangeStore();
  ~RangeStore();
  RangeStore(const RangeStore &) = delete;
  RangeStore &operator=(const RangeStore &) = delete;

  bool ready() const { return keys_ != nullptr; }
  bool add(Range range);  // false when the store cannot grow (logged)
  // Sorts by first address (see sort_keys); the keys stay valid while the
  // store lives.
  const uint64_t *sort();
  size_t size() const { return count_; }

 private:
  bool grow();

  uint64_t *keys_;
  uint64_t *scratch_ = nullptr;
  size_t count_ = 0, capacity_;
};

// Lists this short need no scratch buffer to sort.
constexpr size_t small_sort = 32;

// Sorts n keys in place by their upper half (the first address); the order
// among equal firsts is unspecified. Blocks of up to scratch_size keys are
// sorted through scratch; scratch may be null (with size 0).
void sort_keys(uint64_t *keys, size_t n, uint64_t *scratch, size_t scratch_size);

// The merge, for either address width: range_at(i) gives the i-th of n
// ranges as a {first, last} pair (last inclusive), in ascending order of
// first (any order among equal firsts). emit(first, last) is called once
// for each largest run of overlapping or touching ranges, in ascending
// order.
template <class Address, class RangeAt, class Emit>
void merged_spans(size_t n, RangeAt &&range_at, Emit &&emit) {
  if (n == 0) return;
  constexpr Address top = static_cast<Address>(~Address{0});
  auto [first, end] = range_at(0);  // end: last address of the running range
  for (size_t i = 1; i < n; ++i) {
    auto [next_first, last] = range_at(i);
    // Overlapping or touching: end + 1 without wrap-around.
    if (end == top || next_first <= end + 1) {
      if (last > end) end = last;
      continue;
    }
    emit(first, end);
    first = next_first;
    end = last;
  }
  emit(first, end);
}

// The boundary entries of the union (ranges as for merged_spans):
// emit(start, covered) for each entry in ascending order of start. The
// table starts at address 0: a first range starting there has that entry
// itself, any other one follows an entry (0, not covered). The entry after
// a run is left out only when the run reaches the top address. No ranges
// at all give the single entry (no_ranges_start, not covered).
template <class Address, class RangeAt, class Emit>
void boundary_entries(size_t n, RangeAt &&range_at, Address no_ranges_start, Emit &&emit) {
  if (n == 0) {
    emit(no_ranges_start, false);
    return;
  }
  constexpr Address top = static_cast<Address>(~Address{0});
  bool first_range = true;
  merged_spans<Address>(n, range_at, [&emit, &first_range](Address first, Address last) {
    if (first_range && first != 0) emit(Address{0}, false);
    first_range = false;
    emit(first, true);
    if (last != top) emit(static_cast<Address>(last + 1), false);
  });
}

struct Span4 {
  uint32_t first, last;
};

inline Span4 span_of_key(uint64_t key) {
  return {static_cast<uint32_t>(key >> 32), static_cast<uint32_t>(key)};
}

// Merges range keys, in ascending order of first address (any order among
// equal firsts), into the ranges of their union: emit(first, last) is called
// once for each largest run of overlapping or touching ranges, in ascending
// order.
template <class Emit>
void merged_ranges(const uint64_t *keys, size_t n, Emit &&emit) {
  merged_spans<uint32_t>(
      n, [keys](size_t i) { return span_of_key(keys[i]); }, emit);
}

// Merges range keys (ordered as for merged_ranges) into boundary entries:
// emit(start, covered) is called for each entry in ascending order of
// start. A first range that starts at 0.0.0.0 or 0.0.0.1 has an entry of
// its own; no ranges at all give the single entry (0.0.0.1, not covered).
template <class Emit>
void merge_ranges(const uint64_t *keys, size_t n, Emit &&emit) {
  boundary_entries<uint32_t>(
      n, [keys](size_t i) { return span_of_key(keys[i]); }, 1u, emit);
}

// ---- IPv6 (-6) ----

// Growable store of IPv6 ranges, 32 bytes each, in one block that starts
// small and doubles when full.
class RangeStore6 {
 public:
  RangeStore6();
  ~RangeStore6();
  RangeStore6(const RangeStore6 &) = delete;
  RangeStore6 &operator=(const RangeStore6 &) = delete;

  bool ready() const { return ranges_ != nullptr; }
  bool add(Range6 range);  // false when the store cannot grow (logged)
  // Sorts by first address (any order among equal firsts); the ranges stay
  // valid while the store lives.
  const Range6 *sort();
  size_t size() const { return count_; }

 private:
  bool grow();

  Range6 *ranges_;
  size_t count_ = 0, capacity_;
};

// merged_ranges and merge_ranges for sorted IPv6 ranges. No ranges at all
// give the single entry (::, not covered): an IPv6 table starts at "::".
template <class Emit>
void merged_ranges6(const Range6 *ranges, size_t n, Emit &&emit) {
  merged_spans<velmor::uint128>(
      n, [ranges](size_t i) { return ranges[i]; }, emit);
}

template <class Emit>
void merge_ranges6(const Range6 *ranges, size_t n, Emit &&emit) {
  boundary_entries<velmor::uint128>(
      n, [ranges](size_t i) { return ranges[i]; }, velmor::uint128{0}, emit);
}

// Formats the output lines, boundary entries (table_format.h) or CIDR
// blocks, into a large buffer and writes it out in big blocks.
class LineWriter {
 public:
  LineWriter(FILE *out, int16_t covered_id);
  ~LineWriter();
  LineWriter(const LineWriter &) = delete;
  LineWriter &operator=(const LineWriter &) = delete;

  bool ready() const { return buf_ != nullptr; }
  void entry(uint32_t start, bool covered);
  void block(uint32_t base, int prefix_length);  // "a.b.c.d/n"
  void entry6(velmor::uint128 start, bool covered);
  void block6(velmor::uint128 base, int prefix_length);  // "<address>/n"
  bool finish();  // writes what is left and flushes; false on a write error
  int write_errno() const { return write_errno_; }

 private:
  void make_room(size_t line_max);
  void flush();

  FILE *out_;
  char *buf_;
  size_t len_ = 0;
  int16_t covered_id_;
  int write_errno_ = 0;
};

}  // namespace tamsel

// tamsel: reads IPv4 ranges, one per line, and prints the boundary table of
// their union: every covered address carries the id of "ru", every gap 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Whole run in the installation root: takes the id of "ru" from
// "conf/countries", reads the ranges from in and prints the table to out.
// 0 on success; 1 when memory runs out or in or out fail (all logged).
int tamsel_run(const char *root, FILE *in, FILE *out);

namespace tamsel {

// A line is read in pieces of at most this many bytes, like fgets into a
// 64-byte buffer; a longer line is several pieces, each parsed on its own.
constexpr size_t piece_max = 63;

// Cuts a stream into pieces exactly as repeated fgets(buf, 64, in) would,
// but reads big blocks. A piece ends after a LF or after piece_max bytes.
class PieceReader {
 public:
  explicit PieceReader(FILE *in);
  ~PieceReader();
  PieceReader(const PieceReader &) = delete;
  PieceReader &operator=(const PieceReader &) = delete;

  bool ready() const { return block_ != nullptr; }  // false: no memory for the block
  // Next piece [*begin, *end), valid until the next call; false at the end
  // of the input or on a read error.
  bool next(const char **begin, const char **end);
  bool failed() const { return read_errno_ != 0; }
  int read_errno() const { return read_errno_; }

 private:
  void refill();

  FILE *in_;
  char *block_;
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

// What one piece turned out to be. The first three give a range.
enum class Verdict : uint8_t {
  range,           // network or explicit range
  masked_network,  // network whose address has bits beyond the prefix (kept)
  open_range,      // explicit range whose last address did not parse (up to the top)
  no_address,      // no dotted quad, or one without "/" or "-"
  bad_bits,        // prefix length outside 1..32
  reversed,        // explicit range whose last address lies below its first
};

inline bool gives_range(Verdict v) { return v <= Verdict::open_range; }

// Parses one piece text (line end already cut). *range is set for the
// verdicts that give one; *after_dash points past the "-" of an explicit range.
Verdict parse_piece(const char *begin, const char *end, Range *range, const char **after_dash);

// Logs the message that belongs to the verdict, if any.
void report_piece(Verdict verdict, const char *begin, const char *end, const char *after_dash);

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

// Merges range keys, in ascending order of first address (any order among
// equal firsts), into boundary entries: emit(start, covered) is called for
// each entry in ascending order of start. A first range that starts at
// 0.0.0.0 or 0.0.0.1 has an entry of its own; no ranges at all give the
// single entry (0.0.0.1, not covered).
template <class Emit>
void merge_ranges(const uint64_t *keys, size_t n, Emit &&emit) {
  if (n == 0) {
    emit(1u, false);
    return;
  }
  uint32_t first = static_cast<uint32_t>(keys[0] >> 32);
  uint32_t end = static_cast<uint32_t>(keys[0]);  // last address of the running range
  if (first != 0) emit(0u, false);
  emit(first, true);
  for (size_t i = 1; i < n; ++i) {
    first = static_cast<uint32_t>(keys[i] >> 32);
    uint32_t last = static_cast<uint32_t>(keys[i]);
    // Overlapping or touching: end + 1 without wrap-around.
    if (end == UINT32_MAX || first <= end + 1) {
      if (last > end) end = last;
      continue;
    }
    emit(end + 1, false);
    emit(first, true);
    end = last;
  }
  if (end != UINT32_MAX) emit(end + 1, false);
}

// Formats boundary entries (table_format.h) into a large buffer and writes it
// out in big blocks.
class TableWriter {
 public:
  TableWriter(FILE *out, int16_t covered_id);
  ~TableWriter();
  TableWriter(const TableWriter &) = delete;
  TableWriter &operator=(const TableWriter &) = delete;

  bool ready() const { return buf_ != nullptr; }
  void entry(uint32_t start, bool covered);
  bool finish();  // writes what is left and flushes; false on a write error
  int write_errno() const { return write_errno_; }

 private:
  void flush();

  FILE *out_;
  char *buf_;
  size_t len_ = 0;
  int16_t covered_id_;
  int write_errno_ = 0;
};

}  // namespace tamsel

// The converter's run: reading every piece of every input, sorting,
// merging and printing the boundary table or the CIDR blocks, of IPv4
// ranges or (-6) of IPv6 ranges.
#include <sys/stat.h>

#include <cerrno>

#include "ip_ranges.h"
#include "ip_ranges/internal/cidr.h"
#include "misc.h"
#include "program.h"
#include "tamsel.h"

namespace {

using tamsel::Counts;
using tamsel::LineWriter;
using tamsel::Options;
using tamsel::PieceReader;
using tamsel::RangeStore;
using tamsel::RangeStore6;

// The record lives as long as the process, like every table record. A
// later run in the same process (the tests) re-reads the names file, which
// may lie under another root.
int16_t id_of_ru() {
  static ip_ranges *countries = nullptr;
  if (countries == nullptr) {
    countries = ip_ranges_new("countries");
  } else {
    ip_ranges_load_names(countries);
  }
  return countries != nullptr ? ip_ranges_find(countries, "ru") : -1;
}

// Without an id for "ru" the table would carry -1 for every range (which
// readers take as id 255), so the run fails instead, naming the cause.
void report_no_ru() {
  struct stat st;
  if (stat("conf/countries", &st) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot read the names file conf/countries");
  } else {
    log_msg(LOG_ERROR, "conf/countries lists no code ru: the ranges would have no id");
  }
}

// What became of one piece.
enum class Reading : uint8_t { accepted, rejected, ignored };

// The range of one piece text; rejected (logged) when it gives none.
Reading parse(const char *begin, const char *end, const Options &options, tamsel::Range *range) {
  const char *after_dash;
  tamsel::Verdict verdict = tamsel::parse_piece(begin, end, range, &after_dash);
  if (verdict == tamsel::Verdict::no_address && options.single &&
      tamsel::parse_single_address(begin, end, range))
    return Reading::accepted;
  if (verdict != tamsel::Verdict::range) tamsel::report_piece(verdict, begin, end, after_dash);
  return tamsel::gives_range(verdict) ? Reading::accepted : Reading::rejected;
}

// Whether a run without -6 (same -s) would take the piece as a range.
bool is_ipv4_range(const char *begin, const char *end, const Options &options) {
  tamsel::Range range;
  const char *after_dash;
  if (tamsel::gives_range(tamsel::parse_piece(begin, end, &range, &after_dash))) return true;
  return options.single && tamsel::parse_single_address(begin, end, &range);
}

// With -6: the range of one IPv6 piece. A piece that does not start with
// an IPv6 address but is an IPv4 range is passed over without a message,
// so that one mixed list feeds both runs; any other piece is rejected.
Reading parse(const char *begin, const char *end, const Options &options, tamsel::Range6 *range) {
  const char *after_dash;
  tamsel::Verdict verdict = tamsel::parse_piece6(begin, end, options.single, range, &after_dash);
  if (verdict == tamsel::Verdict::no_address && is_ipv4_range(begin, end, options))
    return Reading::ignored;
  if (verdict != tamsel::Verdict::range) tamsel::report_piece(verdict, begin, end, after_dash);
  return tamsel::gives_range(verdict) ? Reading::accepted : Reading::rejected;
}

// Parses every piece of one input into the store. False when the input
// cannot be read (the reader tells) or the store cannot grow (logged).
template <class Store, class Range>
bool read_ranges(PieceReader &reader, Store &store, const Options &options, Counts *counts) {
  const char *begin, *end;
  bool open_line = false;  // the last piece did not end its line
  while (reader.next(&begin, &end)) {
    open_line = end[-1] != '\n';
    if (!open_line) ++counts->lines;
    end = tamsel::piece_text_end(begin, end);
    Range range;
    Reading reading = parse(begin, end, options, &range);
    if (reading == Reading::rejected) ++counts->rejected;
    if (reading == Reading::ignored) ++counts->ignored;
    if (reading != Reading::accepted) continue;
    ++counts->accepted;
    if (!store.add(range)) return false;
  }
  if (open_line) ++counts->lines;  // a last line without its line feed
  return !reader.failed();
}

bool finish_output(LineWriter &writer) {
  if (writer.finish()) return true;
  errno = writer.write_errno();
  log_msg(LOG_ERROR | LOG_ERRNO, "cannot write to standard output");
  return false;
}

bool print_table(RangeStore &store, LineWriter &writer, Counts *counts) {
  const uint64_t *keys = store.sort();
  tamsel::merge_ranges(keys, store.size(), [&writer, counts](uint32_t start, bool covered) {
    writer.entry(start, covered);
    ++counts->printed;
  });
  return finish_output(writer);
}

bool print_cidr(RangeStore &store, LineWriter &writer, Counts *counts) {
  const uint64_t *keys = store.sort();
  tamsel::merged_ranges(keys, store.size(), [&writer, counts](uint32_t first, uint32_t last) {
    velmor::cidr_blocks(first, last, [&writer, counts](uint32_t base, int prefix_length) {
      writer.block(base, prefix_length);
      ++counts->printed;
    });
  });
  return finish_output(writer);
}

bool print_table(RangeStore6 &store, LineWriter &writer, Counts *counts) {
  const tamsel::Range6 *ranges = store.sort();
  tamsel::merge_ranges6(ranges, store.size(),
                        [&writer, counts](velmor::uint128 start, bool covered) {
                          writer.entry6(start, covered);
                          ++counts->printed;
                        });
  return finish_output(writer);
}

bool print_cidr(RangeStore6 &store, LineWriter &writer, Counts *counts) {
  const tamsel::Range6 *ranges = store.sort();
  tamsel::merged_ranges6(
      ranges, store.size(), [&writer, counts](velmor::uint128 first, velmor::uint128 last) {
        velmor::cidr_blocks6(first, last, [&writer, counts](velmor::uint128 base, int length) {
          writer.block6(base, length);
          ++counts->printed;
        });
      });
  return finish_output(writer);
}

// Reads every input into the store, then prints the table or the blocks.
template <class Store, class Range>
int merge_inputs(velmor_tools::InputFiles &inputs, PieceReader &reader, LineWriter &writer,
                 const Options &options, Counts *counts) {
  Store store;
  if (!store.ready()) return 1;  // the allocator has logged it
  while (FILE *in = inputs.next()) {
    reader.restart(in);
    if (read_ranges<Store, Range>(reader, store, options, counts)) continue;
    if (reader.failed()) {
      errno = reader.read_errno();
      inputs.report_read_error();
    }
    return 1;
  }
  if (inputs.failed()) return 1;  // an operand that cannot be opened (logged)
  bool printed =
      options.cidr ? print_cidr(store, writer, counts) : print_table(store, writer, counts);
  return printed ? 0 : 1;
}

}  // namespace

namespace tamsel {

int convert(velmor_tools::InputFiles &inputs, FILE *out, const Options &options, Counts *counts) {
  // CIDR blocks carry no id, so the names file is not needed for them.
  int16_t ru = options.cidr ? 0 : id_of_ru();
  if (ru < 0) {
    report_no_ru();
    return 1;
  }
  // The allocator has logged any failure; without these buffers nothing
  // can be read or printed, so the run fails before printing anything.
  PieceReader reader(nullptr, options.ipv6 ? piece6_max : piece_max);
  LineWriter writer(out, ru);
  if (!reader.ready() || !writer.ready()) return 1;
  if (options.ipv6)
    return merge_inputs<RangeStore6, Range6>(inputs, reader, writer, options, counts);
  return merge_inputs<RangeStore, Range>(inputs, reader, writer, options, counts);
}

}  // namespace tamsel

int tamsel_run(const char *root, FILE *in, FILE *out) {
  process_info.name = "tamsel";
  if (!velmor_tools::enter_root(root)) return 1;
  velmor_tools::InputFiles inputs(0, nullptr, in);
  tamsel::Counts counts;
  return tamsel::convert(inputs, out, tamsel::Options{}, &counts);
}

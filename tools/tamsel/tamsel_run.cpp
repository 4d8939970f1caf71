// The converter's run: start-up, reading every piece, sorting, merging and
// printing the boundary table.
#include <cerrno>

#include "ip_ranges.h"
#include "misc.h"
#include "program.h"
#include "tamsel.h"

namespace {

using tamsel::PieceReader;
using tamsel::RangeStore;
using tamsel::TableWriter;

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

// Parses every piece of the input into the store. False when the input
// cannot be read or the store cannot grow; both are logged.
bool read_ranges(PieceReader &reader, RangeStore &store) {
  const char *begin, *end;
  while (reader.next(&begin, &end)) {
    end = tamsel::piece_text_end(begin, end);
    tamsel::Range range;
    const char *after_dash;
    tamsel::Verdict verdict = tamsel::parse_piece(begin, end, &range, &after_dash);
    if (verdict != tamsel::Verdict::range) tamsel::report_piece(verdict, begin, end, after_dash);
    if (tamsel::gives_range(verdict) && !store.add(range)) return false;
  }
  if (reader.failed()) {
    errno = reader.read_errno();
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot read standard input");
    return false;
  }
  return true;
}

bool print_table(RangeStore &store, TableWriter &writer) {
  const uint64_t *keys = store.sort();
  tamsel::merge_ranges(keys, store.size(),
                       [&writer](uint32_t start, bool covered) { writer.entry(start, covered); });
  if (writer.finish()) return true;
  errno = writer.write_errno();
  log_msg(LOG_ERROR | LOG_ERRNO, "cannot write to standard output");
  return false;
}

}  // namespace

int tamsel_run(const char *root, FILE *in, FILE *out) {
  process_info.name = "tamsel";
  if (!velmor_tools::enter_root(root)) return 1;
  int16_t ru = id_of_ru();
  // The allocator has logged any failure; without these buffers nothing
  // can be read or printed, so the run fails before printing anything.
  RangeStore store;
  PieceReader reader(in);
  TableWriter writer(out, ru);
  if (!store.ready() || !reader.ready() || !writer.ready()) return 1;
  if (!read_ranges(reader, store)) return 1;
  return print_table(store, writer) ? 0 : 1;
}

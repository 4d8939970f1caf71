// The run: a temporary file next to the table, filled from the input and
// renamed over "conf/countries.ips" only when it is complete and on disk, so
// a reader sees either the old table or the whole new one.
#include <cstdio>
#include <memory>

#include "misc.h"
#include "orvik.h"
#include "program.h"

namespace orvik {

namespace {

constexpr const char *kTablePath = "conf/countries.ips";
constexpr const char *kTableDir = "conf";
constexpr int kLineSize = 1024;
constexpr size_t kStreamBuffer = 1 << 16;

struct RecordFree {
  void operator()(ip_ranges *record) const { ip_ranges_free(record); }
};
using Record = std::unique_ptr<ip_ranges, RecordFree>;

// Reads every line of in into the table; false after a read error (logged).
bool read_lines(FILE *in, TableBuilder &table) {
  char line[kLineSize];
  while (fgets(line, sizeof line, in) != nullptr) table.take(line);
  if (ferror(in) == 0) return true;
  log_msg(LOG_ERROR | LOG_ERRNO, "cannot read standard input");
  return false;
}

}  // namespace

bool convert(FILE *in) {
  Record names(ip_ranges_new("countries"));
  CodeCache codes(names.get());
  if (!codes.ready()) return false;
  TempTable temp(kTablePath, kTableDir);
  if (!temp.ready()) return false;
  TableBuilder table(temp.out(), codes);
  if (!read_lines(in, table)) return false;  // the temporary file goes with temp
  table.finish();
  return temp.commit();
}

}  // namespace orvik

int orvik_run(const char *root, FILE *in) {
  process_info.name = "orvik";
  if (!velmor_tools::enter_root(root)) return 1;
  // Fewer, larger reads; nothing has been read from in yet. The buffer must
  // outlive the stream, which the caller closes.
  static char in_buffer[orvik::kStreamBuffer];
  setvbuf(in, in_buffer, _IOFBF, sizeof in_buffer);
  return orvik::convert(in) ? 0 : 1;
}

// The run: a temporary file next to the table, filled from the input and
// renamed over "conf/countries.ips" only when it is complete, so a reader
// sees either the old table or the whole new one.
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "misc.h"
#include "orvik.h"
#include "program.h"

namespace orvik {

namespace {

constexpr const char *kTablePath = "conf/countries.ips";
constexpr int kLineSize = 1024;
constexpr size_t kStreamBuffer = 1 << 16;

struct RecordFree {
  void operator()(ip_ranges *record) const { ip_ranges_free(record); }
};
using Record = std::unique_ptr<ip_ranges, RecordFree>;

// Closes the temporary file and moves it into place. On failure the
// temporary file is removed; the old table is never touched.
bool commit(FILE *out, const char *temp_path) {
  // A write that failed earlier may have been dropped from the buffer; it
  // still makes the file incomplete.
  const bool write_failed = ferror(out) != 0;
  if (fclose(out) != 0 || write_failed) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot close %s", temp_path);
    unlink(temp_path);
    return false;
  }
  if (rename(temp_path, kTablePath) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot rename %s -> %s", temp_path, kTablePath);
    unlink(temp_path);
    return false;
  }
  return true;
}

}  // namespace

bool convert(FILE *in) {
  Record names(ip_ranges_new("countries"));
  CodeCache codes(names.get());
  if (!codes.ready()) return false;

  char temp_path[256];
  snprintf(temp_path, sizeof temp_path, "%s.%d", kTablePath, static_cast<int>(getpid()));
  FILE *out = fopen(temp_path, "we");
  if (out == nullptr) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", temp_path);
    return false;
  }

  // Fewer, larger writes. (glibc ignores the size unless a buffer is given.)
  static char out_buffer[kStreamBuffer];
  setvbuf(out, out_buffer, _IOFBF, sizeof out_buffer);

  TableBuilder table(out, codes);
  char line[kLineSize];
  while (fgets(line, sizeof line, in) != nullptr) table.take(line);
  table.finish();
  return commit(out, temp_path);
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

// The run: a temporary file next to the table, filled from the input and
// renamed over "conf/countries.ips" only when it is complete, so a reader
// sees either the old table or the whole new one.
#include <unistd.h>

#include <cstdio>
#include <new>

#include "misc.h"
#include "orvik.h"

namespace {

constexpr const char *kTablePath = "conf/countries.ips";
constexpr int kLineSize = 1024;
constexpr size_t kStreamBuffer = 1 << 16;

int16_t find_in_cache(void *cache, const char *code) {
  return static_cast<orvik_code_cache *>(cache)->find(code);
}

int16_t find_in_names(void *names, const char *code) {
  return ip_ranges_find(static_cast<ip_ranges *>(names), code);
}

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

bool orvik_convert(FILE *in) {
  // Records are never released; keeping the latest one here leaves it
  // reachable until the process ends.
  static ip_ranges *names;
  names = ip_ranges_new("countries");
  // The cache is large for the stack; without it every code goes to the table.
  auto *cache = new (std::nothrow) orvik_code_cache(names);

  char temp_path[256];
  snprintf(temp_path, sizeof temp_path, "%s.%d", kTablePath, static_cast<int>(getpid()));
  FILE *out = fopen(temp_path, "w");
  if (out == nullptr) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot open %s", temp_path);
    delete cache;
    return false;
  }

  // Fewer, larger writes. (glibc ignores the size unless a buffer is given.)
  static char out_buffer[kStreamBuffer];
  setvbuf(out, out_buffer, _IOFBF, sizeof out_buffer);

  orvik_table table;
  if (cache != nullptr) {
    orvik_table_begin(&table, out, find_in_cache, cache);
  } else {
    orvik_table_begin(&table, out, find_in_names, names);
  }
  char line[kLineSize];
  while (fgets(line, sizeof line, in) != nullptr) orvik_table_take(&table, line);
  orvik_table_finish(&table);
  delete cache;
  return commit(out, temp_path);
}

int orvik_run(const char *root, FILE *in) {
  process_info.name = "orvik";
  if (chdir(root) != 0) return 1;
  // Fewer, larger reads; nothing has been read from in yet. The buffer must
  // outlive the stream, which the caller closes.
  static char in_buffer[kStreamBuffer];
  setvbuf(in, in_buffer, _IOFBF, sizeof in_buffer);
  return orvik_convert(in) ? 0 : 1;
}

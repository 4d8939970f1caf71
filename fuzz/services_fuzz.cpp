// Calendar and value conversions with arbitrary numbers, and the hit
// counter reading an arbitrary counter file. Checks that nothing traps and
// that the results keep their documented shape.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "misc.h"
#include "misc/internal/install_root.h"
#include "str.h"

namespace {

std::string counter_path;

template <typename T>
T take(const uint8_t *&data, size_t &size) {
  T value{};
  size_t n = size < sizeof value ? size : sizeof value;
  memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

void check_numbers(const uint8_t *&data, size_t &size) {
  int64_t bytes = take<int64_t>(data, size);
  int32_t seconds = take<int32_t>(data, size);
  int16_t day = take<int16_t>(data, size);
  int16_t week = take<int16_t>(data, size);
  uint32_t needed = take<uint32_t>(data, size);
  int32_t start = take<int32_t>(data, size);

  if (strlen(str_size_text(bytes)) > (bytes < 0 ? 20u : 8u)) abort();
  if (strlen(str_duration_text(seconds)) > 12) abort();
  const struct tm *tm = day_to_tm(day);
  if (day >= 0 && day_number(tm) != static_cast<uint16_t>(day)) abort();
  week_to_time(1900 + (start & 0x1FF), week);
  uint32_t grown = grow_pow2(needed, start);
  if (grown < needed && grown != 0x80000000u) abort();
  if (bit_count(needed) != __builtin_popcount(needed)) abort();
  time_text(bytes % 100000000000LL, seconds & 7);
}

void check_counter_file(const uint8_t *data, size_t size) {
  FILE *file = fopen(counter_path.c_str(), "w");
  if (!file) abort();
  fwrite(data, 1, size, file);
  fclose(file);
  hit_count("fuzz", false);
  hit_count("fuzz", true);
  file = fopen(counter_path.c_str(), "r");
  char line[64] = "";
  if (!file || !fgets(line, sizeof line, file) || !strchr(line, '\n')) abort();
  fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  setenv("TZ", "UTC0", 1);
  tzset();
  char templ[] = "/tmp/velmor-fuzz.XXXXXX";
  std::string root = mkdtemp(templ);
  mkdir((root + "/logs").c_str(), 0755);
  mkdir((root + "/velmor").c_str(), 0755);
  mkdir((root + "/velmor/logs").c_str(), 0755);
  if (chdir(root.c_str()) != 0) abort();
  velmor::set_install_root(root.c_str());
  counter_path = root + "/velmor/logs/fuzz-count";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  check_counter_file(data, size);
  check_numbers(data, size);
  return 0;
}

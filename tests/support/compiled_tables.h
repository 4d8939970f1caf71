// Helpers for the compiled table tests: generated table pairs written as
// text tables, names files, file times, and the bytes of a compiled file.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ip_ranges/internal/compiled_format.h"
#include "ip_ranges/internal/table_format.h"
#include "test_support.h"

namespace testing_support {

// An IPv4 and an IPv6 table: ascending distinct starts from the bottom of
// each space, ids 0..250 (the ids a names_file lists, and 0).
struct TablePair {
  std::vector<uint32_t> starts;
  std::vector<uint8_t> ids;
  std::vector<std::array<uint8_t, 16>> starts6;
  std::vector<uint8_t> ids6;
};

inline TablePair random_pair(size_t entries4, size_t entries6, unsigned seed) {
  std::mt19937_64 rng(seed);
  TablePair t;
  // Gaps drawn so that the starts spread over the whole space.
  const uint64_t gap4 = (uint64_t{1} << 32) / (entries4 + 1) * 2;
  uint64_t at = 0;
  for (size_t i = 0; i < entries4 && at <= UINT32_MAX; i++) {
    t.starts.push_back(static_cast<uint32_t>(at));
    t.ids.push_back(static_cast<uint8_t>(rng() % 251));
    at += 1 + rng() % (gap4 - 1);
  }
  // IPv6: the high half grows by random steps, some starts share it.
  uint64_t hi = 0, lo = 0;
  const uint64_t gap6 = UINT64_MAX / (entries6 + 1) * 2;
  for (size_t i = 0; i < entries6; i++) {
    std::array<uint8_t, 16> bytes{};
    for (int b = 0; b < 8; b++) {
      bytes[b] = static_cast<uint8_t>(hi >> (56 - 8 * b));
      bytes[8 + b] = static_cast<uint8_t>(lo >> (56 - 8 * b));
    }
    t.starts6.push_back(bytes);
    t.ids6.push_back(static_cast<uint8_t>(rng() % 251));
    if (rng() % 8 == 0) {
      lo += 1 + rng() % 1000000;
    } else {
      hi += 1 + rng() % (gap6 - 1);
      lo = rng() % 2 ? 0 : rng() >> 1;
    }
  }
  return t;
}

// "conf/<name>.ips" and "conf/<name>6.ips" as the writers write them.
inline void write_text_tables(const TablePair &t, const std::string &name) {
  std::string text, text6;
  char line[velmor::table6_entry_max];
  for (size_t i = 0; i < t.starts.size(); i++)
    text.append(line, velmor::format_table_entry(line, t.starts[i], t.ids[i]));
  for (size_t i = 0; i < t.starts6.size(); i++)
    text6.append(line, velmor::format_table_entry6(line, t.starts6[i].data(), t.ids6[i]));
  write_file("conf/" + name + ".ips", text);
  write_file("conf/" + name + "6.ips", text6);
}

// A names file listing ids 0..250 with codes "<prefix>a".."<prefix>jq" and
// titles that say the prefix, so that two versions' names differ.
inline std::string code_for(int id, const std::string &prefix) {
  return prefix + static_cast<char>('a' + id / 26) + static_cast<char>('a' + id % 26);
}

inline std::string names_file(const std::string &prefix) {
  std::string text;
  for (int id = 0; id <= 250; id++)
    text += std::to_string(id) + " " + code_for(id, prefix) + " Land " + prefix +
            std::to_string(id) + "\n";
  return text;
}

// Sets a file's modification (and access) time.
inline void set_mtime(const std::string &path, int64_t seconds, long nanoseconds = 0) {
  const struct timespec times[2] = {{static_cast<time_t>(seconds), nanoseconds},
                                    {static_cast<time_t>(seconds), nanoseconds}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// The header of a compiled file's bytes, and the bytes with a changed header.
inline velmor::compiled::Header header_of(const std::string &bytes) {
  velmor::compiled::Header h;
  memcpy(&h, bytes.data(), sizeof h);
  return h;
}

inline std::string with_header(std::string bytes, const velmor::compiled::Header &h) {
  memcpy(bytes.data(), &h, sizeof h);
  return bytes;
}

}  // namespace testing_support

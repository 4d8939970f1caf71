// What orvik's fuzz targets share: quiet logs, fake code ids, the pieces
// fgets would cut, a stream into memory, and the checks every table must
// pass whatever the input.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "orvik.h"
#include "str.h"
#include "str/internal/uint128.h"

namespace orvik_fuzz {

// Messages of the line handling would fill a disk over a long run: the day
// files under "logs/" in the working directory point at /dev/null while the
// target runs. (No change of directory: libFuzzer's corpus paths are
// relative.) Only what was created here is removed at exit.
inline std::vector<std::string> created;  // removed in reverse order

inline void remove_created() {
  for (auto it = created.rbegin(); it != created.rend(); ++it) remove(it->c_str());
}

inline void quiet_logs() {
  char day[32];
  const time_t now = time(nullptr);
  strftime(day, sizeof day, "logs/%Y-%m-%d", localtime(&now));
  for (const char *dir : {"logs", static_cast<const char *>(day)}) {
    if (mkdir(dir, 0755) == 0) created.emplace_back(dir);
  }
  for (const char *name : {"debug.log", "message.log", "error.log", "action.log", "access.log"}) {
    const std::string link = std::string(day) + "/" + name;
    if (symlink("/dev/null", link.c_str()) == 0) created.push_back(link);
  }
  atexit(remove_created);
}

// Ids from the code's first byte, -1 (unknown) for some.
class FakeCodes final : public orvik::CodeLookup {
 public:
  int16_t find(const char *code) override {
    const auto c = static_cast<unsigned char>(code[0]);
    return c % 7 == 0 ? -1 : static_cast<int16_t>(c % 5);
  }
};

// The pieces of text as fgets hands them over: up to and with a LF, at
// most 1023 bytes.
inline std::vector<std::string> pieces_of(const std::string &text) {
  std::vector<std::string> pieces;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    end = end == std::string::npos ? text.size() : end + 1;
    if (end - pos > 1023) end = pos + 1023;
    pieces.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return pieces;
}

// A stream into memory, its text once closed.
class MemoryOut {
 public:
  MemoryOut() : out_(open_memstream(&text_, &size_)) {}
  ~MemoryOut() {
    if (out_ != nullptr) fclose(out_);
    free(text_);
  }
  FILE *out() const { return out_; }
  std::string text() {
    fclose(out_);
    out_ = nullptr;
    return std::string(text_, size_);
  }

 private:
  char *text_ = nullptr;
  size_t size_ = 0;
  FILE *out_;
};

// An IPv4 table: opens with 0.0.0.0 0, starts ascend strictly, ids 0-255.
inline void check_table4(const std::string &table) {
  int64_t previous = -1;
  bool first = true;
  std::string copy = table;
  for (char *line = strtok(copy.data(), "\n"); line != nullptr; line = strtok(nullptr, "\n")) {
    unsigned a, b, c, d;
    int id;
    if (sscanf(line, "%u.%u.%u.%u %d", &a, &b, &c, &d, &id) != 5) abort();
    const int64_t start = int64_t{a} << 24 | b << 16 | c << 8 | d;
    if (first && (start != 0 || id != 0)) abort();
    if (start <= previous || id < 0 || id > 255) abort();
    previous = start;
    first = false;
  }
  if (first) abort();  // the opening entry is always there
}

// An IPv6 table: opens with ":: 0", starts are IPv6 texts ascending
// strictly, ids 0-255.
inline void check_table6(const std::string &table) {
  std::string copy = table;
  velmor::uint128 previous = 0;
  bool first = true;
  for (char *line = strtok(copy.data(), "\n"); line != nullptr; line = strtok(nullptr, "\n")) {
    char *space = strchr(line, ' ');
    if (space == nullptr) abort();
    *space = '\0';
    uint8_t bytes[16];
    if (!str_ip6_parse(line, bytes)) abort();
    const velmor::uint128 start = velmor::uint128_from_bytes(bytes);
    char *end = nullptr;
    const long id = strtol(space + 1, &end, 10);
    if (*end != '\0' || id < 0 || id > 255) abort();
    if (first ? (start != 0 || id != 0) : start <= previous) abort();
    previous = start;
    first = false;
  }
  if (first) abort();
}

}  // namespace orvik_fuzz

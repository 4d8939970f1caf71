// Drives str_split and orvik's line handling with arbitrary bytes.
//
// Input: byte 0 picks the output size of the split (1 to 40), byte 1 picks
// the delimiter set; the rest is the text, cut into lines at LF.
// Properties checked:
//   - str_split fills every output with a terminated text of at most size - 2
//     characters, never writes past an output's first size - 1 bytes, and
//     yields the tokens strtok finds in the first 1023 bytes;
//   - the table orvik writes for the lines starts with 0.0.0.0 0, has
//     strictly ascending starts and ids from 0 to 255 only;
//   - read as both families (six-field lines under -6, and range-code
//     lines), the IPv6 table starts with ":: 0", its starts are IPv6 texts
//     that ascend strictly and its ids lie in 0-255; the IPv4 table keeps
//     the rules above, and for six-field lines it is exactly the table of
//     the lines without a ':' in field 1 read the old way.
//
//   cmake --preset fuzz && cmake --build --preset fuzz -j2
//   build/fuzz/fuzz/orvik_fuzz fuzz/corpus/orvik_fuzz -max_total_time=60
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "family_tables.h"
#include "orvik.h"
#include "range_line.h"
#include "str.h"
#include "str/internal/uint128.h"

namespace {

constexpr int kOutputs = 4;
constexpr int kBufferSize = 48;
constexpr char kGuard = '\x5A';

// Messages of the line handling would fill a disk over a long run: the day
// files under "logs/" in the working directory point at /dev/null while the
// target runs. (No change of directory: libFuzzer's corpus paths are
// relative.) Only what was created here is removed at exit.
std::vector<std::string> created;  // removed in reverse order

void remove_created() {
  for (auto it = created.rbegin(); it != created.rend(); ++it) remove(it->c_str());
}

void quiet_logs() {
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

void check_split(const std::string &text, const char *delimiters, int size) {
  char out[kOutputs][kBufferSize];
  memset(out, kGuard, sizeof out);
  if (str_split(text.c_str(), delimiters, size, out[0], out[1], out[2], out[3], nullptr) != 1)
    abort();

  // The reference: strtok over the first 1023 bytes.
  std::string copy = text.substr(0, strnlen(text.c_str(), 1023));
  std::vector<std::string> tokens;
  for (char *t = strtok(copy.data(), delimiters); t && tokens.size() < kOutputs;
       t = strtok(nullptr, delimiters)) {
    tokens.emplace_back(t);
  }
  const size_t limit = size >= 2 ? static_cast<size_t>(size - 2) : 0;
  for (size_t i = 0; i < kOutputs; ++i) {
    const size_t length = strnlen(out[i], static_cast<size_t>(size));
    if (length >= static_cast<size_t>(size) || length > limit) abort();
    for (int b = size == 1 ? 1 : size - 1; b < kBufferSize; ++b) {
      if (out[i][b] != kGuard) abort();
    }
    const std::string want = i < tokens.size() ? tokens[i].substr(0, limit) : "";
    if (want != out[i]) abort();
  }
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
std::vector<std::string> pieces_of(const std::string &text) {
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
void check_table4(const std::string &table) {
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
void check_table6(const std::string &table) {
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

// The IPv4 table of the pieces as six-field lines read the old way: each
// through read_line straight into the family builder.
std::string legacy_table(const std::vector<std::string> &pieces) {
  MemoryOut out;
  FakeCodes codes;
  orvik::FamilyBuilder<orvik::Ipv4Table> table(out.out(), codes, false);
  for (std::string piece : pieces) {
    str_chomp(piece.data());
    orvik::LineFields fields;
    orvik::read_line(piece.c_str(), &fields);
    orvik::Range<uint32_t> range;
    range.start = fields.start;
    range.end = fields.end;
    range.code = fields.code;
    range.name = fields.name;
    range.complete = fields.complete;
    range.malformed = fields.malformed;
    table.take(piece.c_str(), range);
  }
  table.finish();
  return out.text();
}

void check_table(const std::string &text) {
  const std::vector<std::string> pieces = pieces_of(text);
  check_table4(legacy_table(pieces));

  for (const auto format : {orvik::InputFormat::six_field, orvik::InputFormat::range_code}) {
    orvik::RunOptions options;
    options.format = format;
    MemoryOut out4, out6;
    FakeCodes codes;
    orvik::FamilyTables tables(out4.out(), out6.out(), codes, options);
    std::vector<std::string> ipv4_pieces;
    bool first = true;
    for (std::string piece : pieces) {
      if (orvik::family_of(piece.c_str()) == orvik::Family::ipv4) ipv4_pieces.push_back(piece);
      tables.take(piece.data(), first);
      first = false;
    }
    tables.finish();
    const std::string table4 = out4.text();
    check_table4(table4);
    check_table6(out6.text());
    if (format == orvik::InputFormat::six_field && table4 != legacy_table(ipv4_pieces)) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const int split_size = 1 + data[0] % (kBufferSize - 8);
  static const char *const kDelimiterSets[] = {",", ", ", "\"", ",\"\n", "a"};
  const char *delimiters = kDelimiterSets[data[1] % 5];
  const std::string text(reinterpret_cast<const char *>(data) + 2, size - 2);
  check_split(text, delimiters, split_size);
  check_table(text);
  return 0;
}

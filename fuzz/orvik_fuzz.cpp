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
#include "orvik_tables.h"
#include "range_line.h"
#include "str.h"
#include "str/internal/uint128.h"

namespace {

using orvik_fuzz::check_table4;
using orvik_fuzz::check_table6;
using orvik_fuzz::FakeCodes;
using orvik_fuzz::MemoryOut;
using orvik_fuzz::pieces_of;

constexpr int kOutputs = 4;
constexpr int kBufferSize = 48;
constexpr char kGuard = '\x5A';

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
  orvik_fuzz::quiet_logs();
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

// Drives orvik's readers of the GeoLite2, IP2Location, registry and
// range-code forms, --sort, and the fast readings with arbitrary lines.
//
// Input: byte 0 picks the form and whether the run sorts; the rest is the
// text, cut into pieces as fgets cuts them.
// Properties checked:
//   - both tables open with their zero entry, their starts ascend strictly
//     and their ids lie in 0-255, whatever the form, sorted or not;
//   - a sorted run of any input gives the table of the same run on its
//     lines put in order first (the table rules then skip nothing for
//     order);
//   - a fast reading (of every form), where it takes a line, reads it
//     exactly as the careful reader does (family, addresses, code, name,
//     flags);
//   - the dotted-quad and number readers agree with inet_pton and with
//     the decimal scanner on every field.
//
//   cmake --preset fuzz && cmake --build --preset fuzz -j2
//   build/fuzz/fuzz/orvik_forms_fuzz fuzz/corpus/orvik_forms_fuzz -max_total_time=60
#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "family_tables.h"
#include "fast_reading.h"
#include "form_reader.h"
#include "geolite2_blocks.h"
#include "orvik_tables.h"
#include "range_line.h"
#include "str/internal/number_scan.h"

namespace {

using orvik::InputFormat;

// A locations file of a few ids, one a continent.
const orvik::Locations &locations() {
  static orvik::Locations *loaded = [] {
    auto *read = new orvik::Locations;
    char path[] = "/tmp/orvik-forms-fuzz.XXXXXX";
    const int fd = mkstemp(path);
    const char text[] =
        "geoname_id,locale_code,continent_code,continent_name,country_iso_code,country_name,x\n"
        "1,en,EU,Europe,DE,Germany,1\n2,en,AS,Asia,JP,Japan,0\n3,en,AS,Asia,,,0\n"
        "7,en,OC,Oceania,AU,\"Australia, the\",0\n";
    if (fd < 0 || write(fd, text, sizeof text - 1) != static_cast<ssize_t>(sizeof text - 1))
      abort();
    close(fd);
    char *names[] = {path};
    velmor_tools::InputFiles file(1, names, stdin);
    if (!read->load(file)) abort();
    unlink(path);
    return read;
  }();
  return *loaded;
}

struct Tables {
  std::string ipv4, ipv6;
};

Tables run(const std::vector<std::string> &pieces, const orvik::RunOptions &options) {
  orvik_fuzz::MemoryOut out4, out6;
  orvik_fuzz::FakeCodes codes;
  orvik::FamilyTables tables(out4.out(), out6.out(), codes, options);
  bool first = true;
  for (std::string piece : pieces) {
    tables.take(piece.data(), first);
    first = false;
  }
  tables.finish();
  return {out4.text(), out6.text()};
}

// The pieces whose lines the reader takes as whole ranges, put in the
// order a sorted run puts them (family, start, then input order), after
// the others as they came. False when the comparison would not hold: two
// ranges overlap, or a range came first (another line would take the
// first place, where a header may stand).
bool in_order(const std::vector<std::string> &pieces, const orvik::RunOptions &options,
              std::vector<std::string> *ordered) {
  auto reader = orvik::make_reader(options);
  struct Line {
    orvik::Family family;
    velmor::uint128 start, end;
    std::string piece;
  };
  std::vector<Line> ranges;
  bool first = true, range_first = false;
  for (const std::string &piece : pieces) {
    std::string line = piece;
    str_chomp(line.data());
    orvik::RangeLine read;
    reader->read(line.c_str(), first, &read);
    if (orvik::SortedRanges::gathers(read)) {
      ranges.push_back({read.family, read.range.start, read.range.end, piece});
      range_first = range_first || first;
    } else {
      ordered->push_back(piece);
    }
    first = false;
  }
  if (range_first && !ordered->empty()) return false;
  std::stable_sort(ranges.begin(), ranges.end(), [](const Line &a, const Line &b) {
    return a.family != b.family ? a.family < b.family : a.start < b.start;
  });
  for (size_t i = 1; i < ranges.size(); ++i)
    if (ranges[i].family == ranges[i - 1].family && ranges[i].start <= ranges[i - 1].end)
      return false;
  for (const Line &line : ranges) ordered->push_back(line.piece);
  return true;
}

void check_fast_reading(const std::vector<std::string> &pieces, const orvik::RunOptions &options) {
  const auto careful = orvik::make_reader(options);
  const auto fast = orvik::make_fast_reading(options);
  bool first = true;
  for (std::string line : pieces) {
    str_chomp(line.data());
    orvik::RangeLine quick, sure;
    const bool taken = fast->read(line.c_str(), strlen(line.c_str()), first, &quick);
    const bool was_first = first;
    first = false;
    if (!taken) continue;
    careful->read(line.c_str(), was_first, &sure);
    const auto &a = quick.range, &b = sure.range;
    const bool names_equal =
        a.name == nullptr ? b.name == nullptr : b.name != nullptr && strcmp(a.name, b.name) == 0;
    if (quick.family != sure.family || quick.passed != sure.passed || a.start != b.start ||
        a.end != b.end || strcmp(a.code, b.code) != 0 || !names_equal || a.complete != b.complete ||
        a.malformed != b.malformed)
      abort();
  }
}

void check_field_readers(const std::string &text) {
  orvik::Fields fields;
  fields.split(text.c_str(), ',', orvik::Fields::kMax);
  for (size_t i = 0; i < fields.count(); ++i) {
    const char *field = fields[i];
    uint32_t quad = 0;
    in_addr address;
    const bool ours = orvik::read_dotted_quad(field, &quad);
    const bool theirs = inet_pton(AF_INET, field, &address) == 1;
    if (ours != theirs || (ours && quad != ntohl(address.s_addr))) abort();
    velmor::uint128 number = 0;
    const char *end = field + strlen(field);
    const auto scanned = velmor::scan_decimal<velmor::uint128>(field, end);
    const bool plain = velmor::is_decimal_digit(*field) && scanned.end == end && !scanned.overflow;
    if (orvik::read_number(field, &number) != plain || (plain && number != scanned.value)) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  orvik_fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  static const InputFormat kForms[] = {InputFormat::range_code, InputFormat::geolite2,
                                       InputFormat::ip2location, InputFormat::registry,
                                       InputFormat::six_field};
  orvik::RunOptions options;
  options.format = kForms[data[0] % 5];
  options.sort = (data[0] / 5) % 2 == 1;
  options.close_gaps = (data[0] / 10) % 2 == 1;
  options.locations = &locations();
  const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
  const std::vector<std::string> pieces = orvik_fuzz::pieces_of(text);

  const Tables tables = run(pieces, options);
  orvik_fuzz::check_table4(tables.ipv4);
  orvik_fuzz::check_table6(tables.ipv6);
  if (options.sorts()) {
    std::vector<std::string> ordered;
    orvik::RunOptions unsorted = options;
    unsorted.sort = false;
    if (options.format != InputFormat::registry && in_order(pieces, options, &ordered)) {
      const Tables plain = run(ordered, unsorted);
      if (plain.ipv4 != tables.ipv4 || plain.ipv6 != tables.ipv6) abort();
    }
  }
  if (orvik::make_fast_reading(options)) check_fast_reading(pieces, options);
  check_field_readers(text.substr(0, text.find('\n')));
  return 0;
}

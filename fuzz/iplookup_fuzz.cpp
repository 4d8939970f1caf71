// Fuzzes what iplookup reads for IPv6:
// - each line read as an address agrees with glibc's inet_pton: a dotted
//   quad is IPv4, else the text is IPv6 exactly when inet_pton(AF_INET6)
//   takes it, with the same bytes; -4 and -6 keep to their family, and a
//   refused text is reported as IPv6 exactly when it holds a ':';
// - the input as an IPv6 table file: on ascending tables the runs of
//   --export and --summary start at ::, follow each other without gap or
//   overlap except around ::ffff:0:0/96, which none of them touches, end at
//   the top, change id from one to the next, and the lookup gives each
//   run's first and last address its id.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "address_text.h"
#include "ip_ranges.h"
#include "scratch_table.h"
#include "table_runs.h"

namespace {

using iplookup::Families;
using velmor::uint128;

void check(bool ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "property broken: %s\n", what);
    abort();
  }
}

void check_address(const std::string &text) {
  iplookup::Address address{};
  const bool taken = iplookup::read_address(text.c_str(), Families::both, &address);
  in_addr v4;
  in6_addr v6;
  const bool is_ipv4 = inet_pton(AF_INET, text.c_str(), &v4) == 1;
  const bool is_ipv6 = !is_ipv4 && inet_pton(AF_INET6, text.c_str(), &v6) == 1;
  check(taken == (is_ipv4 || is_ipv6), "an address exactly when inet_pton takes it");
  if (is_ipv4) check(!address.ipv6 && address.ipv4 == ntohl(v4.s_addr), "the IPv4 address");
  if (is_ipv6) check(address.ipv6 && memcmp(address.bytes6, &v6, 16) == 0, "the IPv6 bytes");
  iplookup::Address one_family{};
  check(iplookup::read_address(text.c_str(), Families::ipv4, &one_family) == is_ipv4,
        "-4 takes IPv4 only");
  check(iplookup::read_address(text.c_str(), Families::ipv6, &one_family) == is_ipv6,
        "-6 takes IPv6 only");
}

// The lines of the input, each cut to what an operand could be.
void check_addresses(const uint8_t *data, size_t size) {
  const std::string input(reinterpret_cast<const char *>(data), size);
  size_t begin = 0;
  for (int lines = 0; begin <= input.size() && lines < 64; ++lines) {
    size_t end = input.find('\n', begin);
    if (end == std::string::npos) end = input.size();
    std::string line = input.substr(begin, end - begin);
    line = line.substr(0, line.find('\0'));  // an operand ends at its NUL
    check_address(line);
    begin = end + 1;
  }
}

uint8_t lookup(ip_ranges *table, uint128 address) {
  uint8_t bytes[16];
  velmor::uint128_to_bytes(address, bytes);
  return ip_ranges_lookup6(table, bytes);
}

void check_runs(ip_ranges *table) {
  using iplookup::mapped_first;
  using iplookup::mapped_last;
  iplookup::TableRuns6 runs(*table);
  iplookup::Run6 run, before{};
  bool first = true;
  int32_t count = 0;
  while (runs.next(&run)) {
    check(++count <= 2 * ip_ranges_count6(table) + 3, "no more runs than entries allow");
    check(run.first <= run.last, "a run holds an address");
    check(run.last < mapped_first || run.first > mapped_last, "no run holds a mapped address");
    if (first) {
      check(run.first == 0, "the first run starts at ::");
    } else if (before.last == mapped_first - 1) {
      check(run.first == mapped_last + 1, "the runs resume above the mapped addresses");
    } else {
      check(run.first == before.last + 1, "the runs follow each other");
      check(run.id != before.id, "neighbouring runs differ in id");
    }
    check(lookup(table, run.first) == run.id && lookup(table, run.last) == run.id,
          "the lookup gives a run's ends its id");
    before = run;
    first = false;
  }
  check(!first && before.last == velmor::uint128_max, "the last run ends at the top");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  check_addresses(data, size);
  fuzz_support::ScratchTable &s = fuzz_support::scratch_table();
  if (!load_from_bytes(s, data, size, fuzz_support::TableFamily::ipv6)) {
    check(ip_ranges_count6(s.table) == 0, "a failed load leaves no table");
    return 0;
  }
  if (iplookup::first_descending_entry(iplookup::Ipv6Entries(*s.table)) < 0) check_runs(s.table);
  return 0;
}

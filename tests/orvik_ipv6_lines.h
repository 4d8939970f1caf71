// Input lines for orvik's IPv6 tests: the six-field form as the published
// IPv6 list writes it (a space after each comma), and text addresses as
// numbers; and the scratch root both families' tests run orvik in.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "hardening_procs.h"
#include "orvik_csv.h"
#include "str.h"
#include "str/internal/number_scan.h"
#include "str/internal/uint128.h"
#include "test_support.h"

namespace orvik_lines {

using velmor::uint128;

// The address of an IPv6 text; aborts on a text that is none (a broken test).
inline uint128 address6(const std::string &text) {
  uint8_t bytes[16];
  if (!str_ip6_parse(text.c_str(), bytes)) abort();
  return velmor::uint128_from_bytes(bytes);
}

// The 16 bytes of an IPv6 text.
inline std::array<uint8_t, 16> bytes6(const std::string &text) {
  std::array<uint8_t, 16> bytes;
  velmor::uint128_to_bytes(address6(text), bytes.data());
  return bytes;
}

inline std::string decimal(uint128 value) {
  char text[velmor::decimal_text_size<uint128>];
  velmor::format_decimal(value, text);
  return text;
}

inline std::string quoted(const std::string &text) { return "\"" + text + "\""; }

// Six quoted fields joined by separator: the texts, the numbers as given,
// the code and the name.
inline std::string six_fields(const std::string &first, const std::string &last,
                              const std::string &first_number, const std::string &last_number,
                              const std::string &code, const std::string &name,
                              const std::string &separator = ", ") {
  return quoted(first) + separator + quoted(last) + separator + quoted(first_number) + separator +
         quoted(last_number) + separator + quoted(code) + separator + quoted(name) + "\n";
}

// A line of the published IPv6 list for [first, last].
inline std::string line6(const std::string &first, const std::string &last, const std::string &code,
                         const std::string &name = "Somewhere",
                         const std::string &separator = ", ") {
  return six_fields(first, last, decimal(address6(first)), decimal(address6(last)), code, name,
                    separator);
}

// The line of the /32 "<prefix>::/32" ("2001:200" gives 2001:200:: up to
// 2001:200:ffff:ffff:ffff:ffff:ffff:ffff).
inline std::string slash32(const std::string &prefix, const std::string &code,
                           const std::string &name = "Somewhere") {
  return line6(prefix + "::", prefix + ":ffff:ffff:ffff:ffff:ffff:ffff", code, name);
}

// The names and the old tables of a run of both families.
constexpr const char *kNames = "0 -- Unknown\n13 au Australia\n17 jp Japan\n45 cn China\n";
constexpr const char *kOld4 = "0.0.0.0 0\n9.0.0.0 13\n";
constexpr const char *kOld6 = ":: 0\n2001:db8:: 13\n";

// Two IPv4 ranges and the table orvik makes of them with kNames.
inline const std::string kInput4 =
    testing_support::csv_line("1.0.0.0", "1.0.0.255", "AU", "Australia") +
    testing_support::csv_line("1.0.1.0", "1.0.3.255", "CN", "China");
inline const std::string kTable4 = "0.0.0.0 0\n1.0.0.0 13\n1.0.1.0 45\n1.0.4.0 0\n";

// A scratch root with the names kNames and both old tables, and orvik run in
// it as the real program (-r).
class TwoTablesRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::write_file(root / "conf/countries", kNames);
    testing_support::write_file(root / "conf/countries.ips", kOld4);
    testing_support::write_file(root / "conf/countries6.ips", kOld6);
    remove((root / "logs/current/message.log").c_str());  // each case's messages alone
  }

  testing_support::RunResult orvik(const std::vector<std::string> &args, const std::string &input,
                                   const std::function<void()> &before_exec = nullptr) {
    return testing_support::run_in_root(ORVIK_BIN, root, args, input, before_exec);
  }

  std::string table4() { return testing_support::read_file(root / "conf/countries.ips"); }
  std::string table6() { return testing_support::read_file(root / "conf/countries6.ips"); }
  std::string names() { return testing_support::read_file(root / "conf/countries"); }
  std::vector<std::string> conf() { return testing_support::list_text_table_files(root / "conf"); }
  // The message log's lines without their time and program prefix.
  std::vector<std::string> messages() {
    std::vector<std::string> lines;
    for (const std::string &line :
         testing_support::split_lines(testing_support::day_log(root.path(), "message.log")))
      lines.push_back(line.substr(line.find("|orvik| ") + 8));
    return lines;
  }
  const std::vector<std::string> kConf{"countries", "countries.ips", "countries6.ips"};

  testing_support::TempRoot root;
};

// The arguments as one text, for messages.
inline std::string words(const std::vector<std::string> &args) {
  std::string text;
  for (const std::string &arg : args) text += arg + " ";
  return text;
}

}  // namespace orvik_lines

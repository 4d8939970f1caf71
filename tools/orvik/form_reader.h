// The readers of the input forms: each turns one line of its form into the
// range it gives (or none), for the one table builder per family. What they
// share lives here too: a line cut into fields, the strict number and
// network readers, the header rule and where a range given as numbers or
// as an IPv4-mapped IPv6 range belongs.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "orvik.h"
#include "str/internal/uint128.h"

namespace orvik {

// A line as read: its family, and its range (an IPv4 range in the low 32
// bits) or, when passed, none: a header, a comment, a record without a
// country.
struct RangeLine {
  Family family = Family::ipv4;
  Range<velmor::uint128> range;
  bool passed = false;
};

class FormReader {
 public:
  virtual ~FormReader() = default;

  // Reads line (its line end cut) into *out; first tells the first line of
  // an input, where a header may stand. The texts out points to lie in the
  // reader and stay valid until the next read.
  virtual void read(const char *line, bool first, RangeLine *out) = 0;

  // The title --update-names gives a new code of line, the line read last;
  // "" when it has none.
  virtual std::string title(const char *line) const = 0;

  // Whether the form names its countries; when not, titles come from the
  // ISO 3166 list.
  virtual bool has_titles() const { return true; }
};

// The reader of the form options ask for (the GeoLite2 reader with
// options.locations).
std::unique_ptr<FormReader> make_reader(const RunOptions &options);

// A line cut into fields at a separator, each field read as a CSV field
// (append_field: quotes, "" for one quote).
class Fields {
 public:
  static constexpr size_t kMax = 8;

  // At most max_fields (up to kMax) fields; blanks after a separator are
  // skipped when skip_blanks.
  void split(const char *line, char separator, size_t max_fields, bool skip_blanks = false);
  size_t count() const { return count_; }
  const char *operator[](size_t i) const { return text_.c_str() + starts_[i]; }

 private:
  std::string text_;  // the fields, each ended by a NUL
  size_t starts_[kMax] = {};
  size_t count_ = 0;
};

// A number as the whole of text: decimal digits only, within 128 bits.
bool read_number(const char *text, velmor::uint128 *value);

// A dotted quad as inet_pton reads it: four decimal numbers 0-255 without
// leading zeros, nothing else.
bool read_dotted_quad(const char *text, uint32_t *value);

// An address as text, read strictly: IPv4 as read_dotted_quad, IPv6 as
// str_ip6_parse.
bool read_address(Family family, const char *text, velmor::uint128 *value);

// A network "ADDRESS/LENGTH" (IPv6 when the address holds a ':'), read
// strictly: the address as read_address, the length in digits up to the
// family's width, no bits set after the prefix. Sets the family and the
// range it spans.
bool read_network(const char *text, Family *family, Range<velmor::uint128> *range);

// The range of the network of start and a prefix length (at most width,
// the family's 32 or 128 bits); false when start has bits set after the
// prefix.
bool network_range(velmor::uint128 start, unsigned width, unsigned length,
                   Range<velmor::uint128> *range);

// The family of a range given as numbers: IPv4 when both lie below 2^32,
// else IPv6 (or IPv4 for a range within ::ffff:0:0/96, moved there).
Family family_of_numbers(Range<velmor::uint128> *range);

// IPv4 for an IPv6 range within ::ffff:0:0/96, moved to the IPv4 range it
// maps (the lists publish IPv4 ranges so in their IPv6 files); else IPv6.
Family family_of_ipv6(Range<velmor::uint128> *range);

// Whether the first count fields are column names (a letter, then letters,
// digits, '_', '-' or blanks), as a header line holds.
bool is_header(const Fields &fields, size_t count);

// The code of a range: kept in *storage, folded to lower case; the range
// is then complete.
void take_code(const char *code, std::string *storage, Range<velmor::uint128> *range);

}  // namespace orvik

// What the readers of the input forms share, and the reader of each form.
#include "form_reader.h"

#include <cstring>

#include "geolite2_blocks.h"
#include "geolite2_fast.h"
#include "ip2location_fast.h"
#include "ip2location_line.h"
#include "range_code_fast.h"
#include "range_line.h"
#include "registry_fast.h"
#include "registry_line.h"
#include "six_field_fast.h"
#include "str.h"
#include "str/internal/number_scan.h"

namespace orvik {

using velmor::uint128;

std::unique_ptr<FormReader> make_reader(const RunOptions &options) {
  switch (options.format) {
    case InputFormat::geolite2:
      return std::make_unique<Geolite2Reader>(*options.locations);
    case InputFormat::ip2location:
      return std::make_unique<Ip2locationReader>();
    case InputFormat::registry:
      return std::make_unique<RegistryReader>();
    case InputFormat::six_field:
    case InputFormat::range_code:
      break;
  }
  return std::make_unique<LineReader>(options);
}

std::unique_ptr<FastReading> make_fast_reading(const RunOptions &options) {
  switch (options.format) {
    case InputFormat::six_field:
      return std::make_unique<FastSixField>();
    case InputFormat::range_code:
      return std::make_unique<FastRangeCode>();
    case InputFormat::geolite2:
      return std::make_unique<FastGeolite2>(*options.locations);
    case InputFormat::ip2location:
      return std::make_unique<FastIp2location>();
    case InputFormat::registry:
      return std::make_unique<FastRegistry>();
  }
  return nullptr;
}

void Fields::split(const char *line, char separator, size_t max_fields, bool skip_blanks) {
  text_.clear();
  count_ = 0;
  if (max_fields > kMax) max_fields = kMax;
  for (const char *p = line; p != nullptr && count_ < max_fields;) {
    if (skip_blanks)
      while (*p == ' ') ++p;
    starts_[count_++] = text_.size();
    p = append_field(p, separator, &text_);
    text_.push_back('\0');
  }
}

bool read_number(const char *text, uint128 *value) {
  const char *p = text;
  while (velmor::is_decimal_digit(*p)) ++p;
  if (p == text || *p != '\0') return false;
  const size_t digits = static_cast<size_t>(p - text);
  if (digits > 38) {  // so many may overflow 128 bits
    const auto number = velmor::scan_decimal<uint128>(text, p);
    if (number.overflow) return false;
    *value = number.value;
    return true;
  }
  // In 64 bits while the digits fit (19 of them), then the rest.
  const char *split = digits > 19 ? p - 19 : text;
  uint64_t high = 0, low = 0;
  for (const char *q = text; q < split; ++q) high = high * 10 + static_cast<uint64_t>(*q - '0');
  for (const char *q = split; q < p; ++q) low = low * 10 + static_cast<uint64_t>(*q - '0');
  *value = static_cast<uint128>(high) * 10000000000000000000ull + low;
  return true;
}

bool read_dotted_quad(const char *text, uint32_t *value) {
  const char *p = text;
  uint32_t address = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *p++ != '.') return false;
    if (!velmor::is_decimal_digit(*p)) return false;
    unsigned number = static_cast<unsigned>(*p++ - '0');
    if (number == 0 && velmor::is_decimal_digit(*p)) return false;  // a leading zero
    while (velmor::is_decimal_digit(*p)) {
      number = number * 10 + static_cast<unsigned>(*p++ - '0');
      if (number > 255) return false;
    }
    address = address << 8 | number;
  }
  if (*p != '\0') return false;
  *value = address;
  return true;
}

bool read_address(Family family, const char *text, uint128 *value) {
  if (family == Family::ipv6) {
    uint8_t bytes[16];
    if (!str_ip6_parse(text, bytes)) return false;
    *value = velmor::uint128_from_bytes(bytes);
    return true;
  }
  uint32_t address = 0;
  if (!read_dotted_quad(text, &address)) return false;
  *value = address;
  return true;
}

bool read_network(const char *text, Family *family, Range<uint128> *range) {
  const char *slash = strchr(text, '/');
  if (slash == nullptr) return false;
  const std::string address(text, slash);
  *family = address.find(':') == std::string::npos ? Family::ipv4 : Family::ipv6;
  const unsigned width = *family == Family::ipv4 ? 32 : 128;
  uint128 start = 0, length = 0;
  return read_address(*family, address.c_str(), &start) && read_number(slash + 1, &length) &&
         length <= width && network_range(start, width, static_cast<unsigned>(length), range);
}

bool network_range(uint128 start, unsigned width, unsigned length, Range<uint128> *range) {
  const unsigned host_bits = width - length;
  const uint128 host = host_bits == 128 ? velmor::uint128_max : (uint128{1} << host_bits) - 1;
  if ((start & host) != 0) return false;
  range->start = start;
  range->end = start | host;
  return true;
}

Family family_of_ipv6(Range<uint128> *range) {
  constexpr uint128 kMapped = uint128{0xFFFF};  // the top 96 bits of ::ffff:0:0/96
  if (range->start >> 32 != kMapped || range->end >> 32 != kMapped) return Family::ipv6;
  range->start &= UINT32_MAX;
  range->end &= UINT32_MAX;
  return Family::ipv4;
}

Family family_of_numbers(Range<uint128> *range) {
  if (range->start <= UINT32_MAX && range->end <= UINT32_MAX) return Family::ipv4;
  return family_of_ipv6(range);
}

bool is_header(const Fields &fields, size_t count) {
  if (fields.count() < count) return false;
  for (size_t i = 0; i < count; ++i) {
    const char *p = fields[i];
    if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))) return false;
    for (; *p != '\0'; ++p) {
      const char c = *p;
      if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || velmor::is_decimal_digit(c) ||
            c == '_' || c == '-' || c == ' '))
        return false;
    }
  }
  return true;
}

void take_code(const char *code, std::string *storage, Range<uint128> *range) {
  *storage = code;
  str_fold(storage->data());
  range->code = storage->c_str();
  range->complete = true;
}

}  // namespace orvik

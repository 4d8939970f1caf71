// The registries' delegated statistics ("delegated-<registry>-extended-
// latest"): "registry|cc|type|start|value|date|status|opaque-id[|...]"
// records among a version line, summary lines and '#' comments. For ipv4
// the value is the number of addresses (not always a power of two), for
// ipv6 the prefix length. Only allocated and assigned records carry a
// country; the others, and asn records, hold no range. Each registry's file
// is sorted, the five together are not: this form is always sorted.
#pragma once

#include <string>

#include "form_reader.h"

namespace orvik {

class RegistryReader final : public FormReader {
 public:
  void read(const char *line, bool first, RangeLine *out) override;
  std::string title(const char *) const override { return ""; }
  bool has_titles() const override { return false; }

 private:
  // The range of an ipv4 or ipv6 record's start and value; false when they
  // give none.
  static bool read_span(Family family, const char *start, const char *value,
                        Range<velmor::uint128> *range);

  Fields fields_;
  std::string code_;
};

}  // namespace orvik

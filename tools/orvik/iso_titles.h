// Titles for the codes of forms that name no countries: the English ISO
// 3166-1 short names ("name"; not "common_name", which only a few entries
// have) of Debian's iso-codes list, read at run time from its JSON file,
// $VELMOR_ISO_3166 when set (for tests), else
// /usr/share/iso-codes/json/iso_3166-1.json.
#pragma once

#include <string>
#include <unordered_map>

namespace orvik {

constexpr const char *kIsoListPath = "/usr/share/iso-codes/json/iso_3166-1.json";

class IsoTitles {
 public:
  // The name of code (two letters, any case), the list read on the first
  // question; "" when the list lacks the code or cannot be read (logged
  // once; the caller lets the code stand in).
  std::string title(const std::string &code);

 private:
  void load();

  bool loaded_ = false;
  std::unordered_map<std::string, std::string> names_;  // folded alpha_2 -> name
};

}  // namespace orvik

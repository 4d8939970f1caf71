// Reading the ISO 3166-1 list of countries.
#include "iso_titles.h"

#include <cstdlib>

#include "misc.h"
#include "str.h"

#ifdef VELMOR_HAVE_NLOHMANN_JSON
#include <nlohmann/json.hpp>
#endif

namespace orvik {

std::string IsoTitles::title(const std::string &code) {
  if (!loaded_) load();
  std::string key = code;
  str_fold(key.data());
  const auto it = names_.find(key);
  return it == names_.end() ? "" : it->second;
}

#ifdef VELMOR_HAVE_NLOHMANN_JSON

void IsoTitles::load() {
  loaded_ = true;
  const char *path = getenv("VELMOR_ISO_3166");
  if (path == nullptr || *path == '\0') path = kIsoListPath;
  char *text = file_read_all(path, nullptr);
  if (text == nullptr) {
    // A missing file was not reported by the reader; every other failure was.
    log_msg(LOG_ERROR, "cannot read %s: codes stand in for their titles", path);
    return;
  }
  // No exceptions: a text that is no JSON comes back discarded.
  const nlohmann::json list = nlohmann::json::parse(text, nullptr, false);
  mem_free(text);
  const auto countries = list.is_object() ? list.find("3166-1") : list.end();
  if (countries == list.end() || !countries->is_array()) {
    log_msg(LOG_ERROR, "cannot read %s: no list of countries; codes stand in for their titles",
            path);
    return;
  }
  for (const nlohmann::json &country : *countries) {
    if (!country.is_object()) continue;
    const auto code = country.find("alpha_2"), name = country.find("name");
    if (code == country.end() || name == country.end() || !code->is_string() || !name->is_string())
      continue;
    std::string key = code->get<std::string>();
    str_fold(key.data());
    names_.emplace(key, name->get<std::string>());
  }
}

#else

void IsoTitles::load() {
  loaded_ = true;
  log_msg(LOG_ERROR, "built without a JSON reader: codes stand in for their titles");
}

#endif

}  // namespace orvik

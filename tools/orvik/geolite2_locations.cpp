// Reading the GeoLite2 locations file.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "geolite2_blocks.h"
#include "misc.h"
#include "str.h"

namespace orvik {

bool Locations::load(velmor_tools::InputFiles &file) {
  FILE *in = file.next();
  if (in == nullptr) return false;  // logged: cannot open
  char *line = nullptr;
  size_t room = 0;
  bool first = true;
  while (getline(&line, &room, in) != -1) {
    str_chomp(line);
    take(line, first);
    first = false;
  }
  const bool read = ferror(in) == 0;
  free(line);
  if (!read) file.report_read_error();
  return read;
}

void Locations::take(const char *line, bool first) {
  Fields fields;
  fields.split(line, ',', Fields::kMax);
  if (first && is_header(fields, 1)) {
    for (size_t i = 0; i < fields.count(); ++i) {
      if (strcmp(fields[i], "geoname_id") == 0) id_column_ = i;
      if (strcmp(fields[i], "country_iso_code") == 0) code_column_ = i;
      if (strcmp(fields[i], "country_name") == 0) name_column_ = i;
    }
    return;
  }
  velmor::uint128 id = 0;
  if (fields.count() <= id_column_ || !read_number(fields[id_column_], &id) || id > UINT64_MAX) {
    if (*line != '\0') log_msg(LOG_MESSAGE, "skip malformed location: %s", line);
    return;
  }
  Location &location = by_id_[static_cast<uint64_t>(id)];
  location.code = fields.count() > code_column_ ? fields[code_column_] : "";
  str_fold(location.code.data());
  location.name = fields.count() > name_column_ ? fields[name_column_] : "";
}

const Locations::Location *Locations::find(uint64_t id) const {
  const auto it = by_id_.find(id);
  return it == by_id_.end() ? nullptr : &it->second;
}

}  // namespace orvik

// --update-names: the names file "conf/countries" gains an id for every
// country code of the input that it does not list yet.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "form_reader.h"
#include "iso_titles.h"
#include "orvik.h"

namespace orvik {

// The names as the names parser reads them, plus the input's new codes.
// Afterwards it answers the conversion's code lookups from the new names.
class NamesUpdate final : public CodeLookup {
 public:
  // The input's lines are read as the conversion the options ask for reads
  // them.
  explicit NamesUpdate(const RunOptions &options)
      : reader_(make_reader(options)), sorted_(options.sorts()) {}

  // Reads the names file; a missing one lists nothing. False after a logged
  // failure: a file that is there but cannot be read must not be replaced by
  // one without its names.
  bool load();

  // Takes one input piece (its line end is cut here; first: the first of an
  // input). A line the conversion accepts as a range (with --sort, any
  // whole range) brings its code; a code the names do not list is noted
  // with the title the form gives it (the name field, the locations file)
  // or, in forms without names, the ISO 3166 list's; a code without any
  // is its own title.
  void take(char *line, bool first = false);

  // Gives the new codes the lowest free ids of 1-255, in the order they
  // first appeared. False (logged, nothing changed) when they do not fit.
  bool number_new_codes();
  int added() const { return static_cast<int>(new_codes_.size()); }
  // The new codes that lines of family brought first.
  int added(Family family) const;

  // Writes the new names into *temp (its temporary file: flushed, synced,
  // closed, not renamed) and parses them as readers will parse the file;
  // false after a logged failure (the file removed). The conversion renames
  // it into place with the tables, then log_new_codes tells.
  bool stage(TempTable *temp);
  StagedNames staged(TempTable *temp) const { return {temp, staged_codes_, staged_titles_}; }
  void log_new_codes() const;

  // The code's id in the new names, the lowest when several list it (as
  // ip_ranges_find answers); -1 when none does.
  int16_t find(const char *code) override;

 private:
  struct Entry {
    std::string code;  // empty: the id is free
    std::string title;
    Family family = Family::ipv4;  // of the line that brought a new code
  };

  std::string text() const;

  std::string staged_text_;  // the staged file's text, parsed in place
  char *staged_codes_[256] = {};
  char *staged_titles_[256] = {};

  static constexpr int kIds = 256;
  Entry entries_[kIds];
  std::vector<Entry> new_codes_;           // in the order they first appeared
  std::unordered_set<std::string> known_;  // listed or already noted
  std::unordered_map<std::string, int16_t> ids_;
  std::unique_ptr<FormReader> reader_;
  bool sorted_;
  IsoTitles iso_;
  // Per family, as the conversion tracks it, to accept the same lines.
  velmor::uint128 prev_end_[kFamilies] = {0, 0};
};

}  // namespace orvik

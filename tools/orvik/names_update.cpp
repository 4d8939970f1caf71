// Numbering the input's new country codes in the names file. The file is
// regenerated, one "id code title" line per listed id in id order, from
// what the names parser reads in it: the new file then reads exactly as the
// ids the conversion used, whatever layout the old one had.
#include "names_update.h"

#include <cerrno>

#include "ip_ranges/internal/record.h"
#include "misc.h"
#include "sorted_ranges.h"
#include "str.h"

namespace orvik {

namespace {

// The names file's text, read as the library reads it; a missing file gives
// "". False after a logged failure (an unreadable file, or one that is not
// a regular file).
bool read_names_text(std::string *text) {
  char *whole = file_read_all(kNamesPath, nullptr);
  if (whole == nullptr) return errno == ENOENT;  // missing: quietly, as for the library
  text->assign(whole);
  mem_free(whole);
  return true;
}

// A names line holds its code between blanks: a code with white space (or
// none) cannot be written.
bool writable_code(const std::string &code) {
  if (code.empty()) return false;
  for (const char c : code)
    if (str_is_space(static_cast<unsigned char>(c))) return false;
  return true;
}

// The title of a names line runs to its end; an empty one would make the
// parser take the next line as the title, so the code stands in for it.
const std::string &writable_title(const std::string &title, const std::string &code) {
  for (const char c : title)
    if (!str_is_space(static_cast<unsigned char>(c))) return title;
  return code;
}

}  // namespace

bool NamesUpdate::load() {
  std::string text;
  if (!read_names_text(&text)) return false;
  char *codes[kIds] = {};
  char *titles[kIds] = {};
  velmor::parse_names(text.data(), codes, titles);
  for (int id = 0; id < kIds; ++id) {
    if (codes[id] == nullptr || codes[id][0] == '\0') continue;  // no code to keep
    entries_[id] = {codes[id], titles[id]};
    known_.insert(entries_[id].code);
  }
  return true;
}

void NamesUpdate::take(char *line, bool first) {
  str_chomp(line);
  RangeLine read;
  reader_->read(line, first, &read);
  const Range<velmor::uint128> &range = read.range;
  if (read.passed || range.malformed) return;
  if (sorted_) {
    if (!SortedRanges::gathers(read)) return;
  } else {
    velmor::uint128 &prev_end = prev_end_[index_of(read.family)];
    if (!is_next_range(range.complete, range.start, range.end, prev_end)) return;
    prev_end = range.end;
  }
  const std::string code = range.code;
  if (!writable_code(code) || !known_.insert(code).second) return;
  std::string title = reader_->has_titles() ? reader_->title(line) : iso_.title(code);
  for (char &c : title)  // a title is the rest of its line (the ISO list's could hold more)
    if (c == '\n') c = ' ';
  new_codes_.push_back({code, title, read.family});
}

int NamesUpdate::added(Family family) const {
  int count = 0;
  for (const Entry &entry : new_codes_) count += entry.family == family ? 1 : 0;
  return count;
}

bool NamesUpdate::number_new_codes() {
  std::vector<int> free_ids;
  for (int id = 1; id < kIds; ++id)
    if (entries_[id].code.empty()) free_ids.push_back(id);
  if (new_codes_.size() > free_ids.size()) {
    log_msg(LOG_ERROR, "cannot add %zu new codes to %s: only %zu ids of 1-255 are free",
            new_codes_.size(), kNamesPath, free_ids.size());
    return false;
  }
  for (size_t i = 0; i < new_codes_.size(); ++i) entries_[free_ids[i]] = new_codes_[i];
  for (int id = 0; id < kIds; ++id)
    if (!entries_[id].code.empty()) ids_.emplace(entries_[id].code, static_cast<int16_t>(id));
  return true;
}

std::string NamesUpdate::text() const {
  std::string text;
  for (int id = 0; id < kIds; ++id) {
    const Entry &entry = entries_[id];
    if (entry.code.empty()) continue;
    text += std::to_string(id) + " " + entry.code + " " + writable_title(entry.title, entry.code) +
            "\n";
  }
  return text;
}

bool NamesUpdate::stage(TempTable *temp) {
  staged_text_ = text();
  fwrite(staged_text_.data(), 1, staged_text_.size(), temp->out());  // a failure shows next
  if (!temp->complete()) return false;
  velmor::parse_names(staged_text_.data(), staged_codes_, staged_titles_);
  return true;
}

void NamesUpdate::log_new_codes() const {
  for (const Entry &entry : new_codes_) {
    const int16_t id = ids_.find(entry.code)->second;  // numbered: always there
    log_msg(LOG_MESSAGE, "new code in %s: %d %s %s", kNamesPath, id, entry.code.c_str(),
            writable_title(entry.title, entry.code).c_str());
  }
}

int16_t NamesUpdate::find(const char *code) {
  const auto it = ids_.find(code);
  return it == ids_.end() ? -1 : it->second;
}

}  // namespace orvik

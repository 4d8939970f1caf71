// orvik: turns a sorted list of country ranges (comma-separated lines of six
// quoted fields) into the boundary table "conf/countries.ips".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "ip_ranges.h"

// The program: names itself, changes into root and converts in; returns the
// exit status (0, or 1 on failure). Nothing may have been read from in yet:
// it gets a larger buffer of the program's own, one per process.
int orvik_run(const char *root, FILE *in);

namespace orvik {

// The fields of one input line that the converter uses.
struct LineFields {
  uint32_t start;  // field 3 as a number
  uint32_t end;    // field 4 as a number
  char code[32];   // field 5 without its opening quote, folded, cut at the next quote
  char name[32];   // field 6 as given, quotes included
  bool complete;   // five or more non-empty fields; otherwise start and end are 0
  bool malformed;  // a number beyond 32 bits or with a '-': no IPv4 address
};

// Splits a line (line end already removed) into its fields; the line itself
// is left as it is.
void read_line(const char *line, LineFields *out);

// Whether the fields of a line make the next range of the table, given the
// end of the last accepted range (0 before the first): five fields, a start
// above prev_end and an end not below the start. Readers bisect the table,
// so starts must ascend strictly; any other line is skipped as unsorted.
bool is_next_range(const LineFields &fields, uint32_t prev_end);

// Field number index (1 is the first) of a line (line end removed) read as
// CSV, into *out: a field that opens with a double quote runs to the quote
// that closes it, commas included, with "" standing for one quote (text
// after the closing quote is kept, and without a closing quote the field
// runs to the end of the line); any other field runs to the next comma.
// False when the line has fewer fields.
bool read_csv_field(const char *line, int index, std::string *out);

// Where the converter takes the id of a country code from: -1 for a code
// the names do not list.
class CodeLookup {
 public:
  virtual int16_t find(const char *code) = 0;

 protected:
  ~CodeLookup() = default;
};

// Country code to id through the names table, remembering each answer once
// the names are loaded, so that a long input costs one scan per code. While
// the names cannot be loaded every question goes to the table, which tries
// to load them again.
class CodeCache final : public CodeLookup {
 public:
  explicit CodeCache(ip_ranges *names);
  ~CodeCache();
  CodeCache(const CodeCache &) = delete;
  CodeCache &operator=(const CodeCache &) = delete;

  bool ready() const { return two_letter_ != nullptr; }  // false: no memory (logged)
  int16_t find(const char *code) override;

 private:
  static constexpr int16_t kNotAsked = INT16_MIN;
  // An answer is kept only once the names are loaded.
  bool names_loaded() const { return names_ != nullptr && names_->titles != nullptr; }

  ip_ranges *names_;
  int16_t *two_letter_;  // 65536 codes of exactly two bytes, by their bytes
  std::unordered_map<std::string, int16_t> other_;
};

// The boundary table as the input lines arrive: one entry where the id
// changes, none for gaps (a gap keeps the id of the range before it), and a
// closing entry after the last range.
class TableBuilder {
 public:
  // Starts the table on out with the entry 0.0.0.0 0.
  TableBuilder(FILE *out, CodeLookup &codes);

  // Takes one input piece (its line end is cut here): skips it when it is
  // not above the previous range, writes an entry where the id changes.
  void take(char *line);

  // Closes the last range with an entry of id 0 unless it reaches the top.
  void finish();

 private:
  FILE *out_;
  CodeLookup &codes_;
  uint32_t prev_end_ = 0;   // end of the last accepted range
  int16_t written_id_ = 0;  // id of the last entry written
};

// Writes the entry (start, id) in the table format.
void write_entry(FILE *out, uint32_t start, int id);

// The temporary file a new table is written to, next to the table: created
// anew (a planted link or a stale file under its name is removed, never
// written through), and either committed (flushed, synced, renamed over the
// table, the rename synced) or removed. Failures are logged.
class TempTable {
 public:
  // "<table_path>.<pid>"; dir is the directory holding both.
  TempTable(const char *table_path, const char *dir);
  ~TempTable();  // removes the file unless committed
  TempTable(const TempTable &) = delete;
  TempTable &operator=(const TempTable &) = delete;

  bool ready() const { return out_ != nullptr; }  // false: not created (logged)
  FILE *out() const { return out_; }
  const char *path() const { return path_; }
  // Puts the table in place; false (logged, file removed) when any step fails.
  bool commit();
  // Removes the file without touching the table.
  void discard();

 private:
  const char *table_path_;
  const char *dir_;
  char path_[256];
  FILE *out_ = nullptr;
  char buffer_[1 << 16];
};

// Reads in and writes "conf/countries.ips" (relative to the working
// directory) through a temporary file; false after a logged failure (the
// old table then stays). A read error on in is such a failure.
bool convert(FILE *in);

}  // namespace orvik

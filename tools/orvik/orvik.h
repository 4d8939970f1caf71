// orvik: turns a sorted list of country ranges (comma-separated lines of six
// quoted fields) into the boundary table "conf/countries.ips".
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <unordered_map>

#include "command_line.h"
#include "input_files.h"
#include "ip_ranges.h"

// The program without options: names itself, changes into root and converts
// in; returns the exit status (0, or 1 on failure). Nothing may have been
// read from in yet: it gets a larger buffer of the program's own, one per
// process.
int orvik_run(const char *root, FILE *in);

// The program with its command line (main's argc and argv): options,
// operands, the root rule with built_in_root as the build's root. Gives the
// exit status, 0, 1 (after one line on standard error) or 2 (usage).
int orvik_main(const char *built_in_root, int argc, char **argv);

namespace orvik {

// The table the program writes ("countries") and its files, relative to
// the installation root.
constexpr const char *kTableName = "countries";
constexpr const char *kConfDir = "conf";
constexpr const char *kTablePath = "conf/countries.ips";
constexpr const char *kNamesPath = "conf/countries";

// What the options ask of a run.
struct RunOptions {
  bool check = false;         // -n: convert and count, write nothing
  bool close_gaps = false;    // a gap after a range gets id 0
  bool update_names = false;  // number the input's new codes in the names file first
  bool verbose = false;       // -v: the summary on standard error after success
  uint64_t min_ranges = 0;    // fewer accepted ranges keep the old table
};

// The command line as parsed: the common options, the run's, and where the
// operands start in argv.
struct CommandLine {
  velmor_tools::CommonOptions common;
  RunOptions run;
  int first_operand = 1;
};

// The program's name, synopsis and help text, with the build's root.
velmor_tools::Program program_description(const char *built_in_root);

// Parses argv into *line; gives exit_ok, or exit_usage after printing the
// usage error.
int parse_command_line(const velmor_tools::Program &program, int argc, char **argv,
                       CommandLine *line);

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

// What a conversion met, for -v and --check.
struct Summary {
  uint64_t lines = 0;                       // pieces read (a line over 1023 bytes is several)
  uint64_t accepted = 0;                    // lines that became ranges
  uint64_t entries = 0;                     // lines of the table
  uint64_t unsorted = 0;                    // skipped as unsorted
  uint64_t malformed = 0;                   // skipped as malformed
  std::map<std::string, uint64_t> unknown;  // code the names lack -> its ranges
  int new_codes = -1;                       // codes added to the names by --update-names, else -1
};

// The summary as one line without its line end.
std::string summary_line(const Summary &summary);

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
// changes, none for gaps (a gap keeps the id of the range before it) unless
// close_gaps asks for an entry of id 0 at the end of a range followed by a
// gap, and a closing entry after the last range.
class TableBuilder {
 public:
  // Starts the table on out with the entry 0.0.0.0 0. With out null the
  // entries are only counted (a check run).
  TableBuilder(FILE *out, CodeLookup &codes, bool close_gaps = false);

  // Takes one input piece (its line end is cut here): skips it when it is
  // not above the previous range, writes an entry where the id changes.
  void take(char *line);

  // Closes the last range with an entry of id 0 unless it reaches the top.
  void finish();

  const Summary &summary() const { return summary_; }

 private:
  void entry(uint32_t start, int16_t id);

  FILE *out_;
  CodeLookup &codes_;
  bool close_gaps_;
  uint32_t prev_end_ = 0;   // end of the last accepted range
  int16_t written_id_ = 0;  // id of the last entry written
  Summary summary_;
};

// Writes the entry (start, id) in the table format.
void write_entry(FILE *out, uint32_t start, int id);

// The temporary file a new table (or names file) is written to, next to
// it: created anew (a planted link or a stale file under its name is
// removed, never written through), and either committed (flushed, synced,
// renamed over the file, the rename synced) or removed. Failures are logged.
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

class LineSource;

// Converts the lines of source with the ids codes gives: writes
// "conf/countries.ips" (relative to the working directory) through a
// temporary file, or with options.check only counts. *summary gets the
// counts. False after a logged failure, the old table then staying: an
// input that cannot be read, fewer ranges than options.min_ranges, a file
// error.
bool convert(LineSource &source, CodeLookup &codes, const RunOptions &options, Summary *summary);

// Gives in, standard input, a larger buffer for fewer reads. Once per
// process, before anything is read from in.
void use_large_buffer(FILE *in);

// A run in the installation root (the working directory) on inputs as
// options ask; gives the exit status (0 or 1, the failure logged).
int run(const RunOptions &options, velmor_tools::InputFiles &inputs);

}  // namespace orvik

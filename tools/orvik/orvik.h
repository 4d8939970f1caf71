// orvik: turns a list of country ranges into the boundary tables
// "conf/countries.ips" (IPv4) and "conf/countries6.ips" (IPv6). It reads the
// country lists as they are published: lines of six quoted fields (the
// default), "first,last,code" range lists (text or numeric addresses, comma
// or tab separated), GeoLite2 Country CSV blocks with their locations file,
// IP2Location LITE DB1 and the registries' delegated statistics. Each form
// has a reader of its own (form_reader.h); all of them feed one table
// builder per family (boundary_table.h), in input order or, with --sort,
// sorted.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "boundary_table.h"
#include "command_line.h"
#include "input_files.h"
#include "ip_ranges.h"
#include "table_lock.h"

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
constexpr const char *kTablePath6 = "conf/countries6.ips";
constexpr const char *kNamesPath = "conf/countries";

// The address families of the input and their tables.
enum class Family { ipv4 = 0, ipv6 = 1 };
constexpr int kFamilies = 2;
constexpr Family kAllFamilies[kFamilies] = {Family::ipv4, Family::ipv6};
inline int index_of(Family family) { return static_cast<int>(family); }
inline const char *table_path(Family family) {
  return family == Family::ipv4 ? kTablePath : kTablePath6;
}

// The forms of input line: six fields with the addresses as decimal numbers
// (the default); "first,last,code" with the addresses as text or numbers;
// GeoLite2 Country blocks; IP2Location LITE DB1; registry statistics.
enum class InputFormat { six_field, range_code, geolite2, ip2location, registry };

class Locations;

// What the options ask of a run.
struct RunOptions {
  bool check = false;         // -n: convert and count, write nothing
  bool close_gaps = false;    // a gap after a range gets id 0
  bool update_names = false;  // number the input's new codes in the names file first
  bool verbose = false;       // -v: the summary on standard error after success
  uint64_t min_ranges = 0;    // fewer accepted ranges keep the old table
  InputFormat format = InputFormat::six_field;  // --format
  // --wait: how long a run waits for another run's lock on the table
  unsigned lock_wait = velmor_tools::default_lock_wait_seconds;
  bool sort = false;  // --sort (the registry form always sorts)
  // --locations: the GeoLite2 locations file, opened relative to the
  // directory the program started in; the locations read from it for the
  // readers (set by the run).
  velmor_tools::InputFiles *locations_file = nullptr;
  const Locations *locations = nullptr;

  // Whether the ranges are gathered and sorted before the table rules.
  bool sorts() const { return sort || format == InputFormat::registry; }
};

// The command line as parsed: the common options, the run's, and where the
// operands start in argv.
struct CommandLine {
  velmor_tools::CommonOptions common;
  RunOptions run;
  const char *locations = nullptr;  // --locations
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

// Field number index (1 is the first) of a line (line end removed) read as
// CSV, into *out: a field that opens with a double quote runs to the quote
// that closes it, commas included, with "" standing for one quote (text
// after the closing quote is kept, and without a closing quote the field
// runs to the end of the line); any other field runs to the next comma.
// False when the line has fewer fields.
bool read_csv_field(const char *line, int index, std::string *out);

// The CSV field that starts at p, as read_csv_field reads it, appended to
// *out (when out is not null); gives where the next field starts, or null
// after the last one.
const char *append_csv_field(const char *p, std::string *out);

// The same with separator in the place of the comma.
const char *append_field(const char *p, char separator, std::string *out);

// The summary as one line without its line end.
std::string summary_line(const Summary &summary);

// What a run met, family by family, and which tables it replaces (or with
// --check would replace). A run that does not read families has only the
// IPv4 summary.
struct RunSummary {
  Summary of[kFamilies];
  bool replaced[kFamilies] = {false, false};
};

// The lines -v and --check print, each without its line end: the summary
// line, or, when the input held IPv6 lines, one line per table,
// "<table>: <summary>", with "; not replaced" after a table the run leaves
// as it is.
std::vector<std::string> summary_lines(const RunSummary &summary);

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

// The temporary file a new table (or names file) is written to, next to
// it: created anew (a planted link or a stale file under its name is
// removed, never written through), and either committed (flushed, synced,
// renamed over the file, the rename synced) or removed. Failures are logged.
// The commit is two steps, so that a run replacing two tables has both on
// disk before either takes its name.
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
  bool commit() { return complete() && put_in_place(); }
  // The first step: flushed, synced and closed; false (logged, file
  // removed) when any of it fails.
  bool complete();
  // The second step, after complete: renamed over the table, the rename
  // synced; false (logged; the file removed unless the rename was done).
  bool put_in_place();
  // Removes the file without touching the table.
  void discard();

 private:
  const char *table_path_;
  const char *dir_;
  char path_[256];
  FILE *out_ = nullptr;
  bool closed_ = false;  // complete: on disk, closed, not renamed yet
  char buffer_[1 << 16];
};

class LineSource;

// A new names file of --update-names, complete and synced under its
// temporary name, with its names as readers will parse them: it takes its
// name together with the tables.
struct StagedNames {
  TempTable *file;
  const char *const *codes;  // 256 each
  const char *const *titles;
};

// Converts the lines of source with the ids codes gives, relative to the
// working directory: IPv4 lines make "conf/countries.ips", IPv6 lines
// "conf/countries6.ips", each through a temporary file, and both with the
// names the compiled table "conf/countries.ipt"; with options.check it only
// counts. A table is replaced only when its family brought at least one
// accepted range (with none at all, the IPv4 table, as an empty input
// always did); each table replaced needs options.min_ranges ranges. Every
// file is complete and synced before the first rename; the compiled table
// is renamed first, then names (when staged), then the text tables.
// *summary gets the counts and the tables replaced. False after a logged
// failure, the old files staying.
bool convert_families(LineSource &source, CodeLookup &codes, const RunOptions &options,
                      RunSummary *summary, const StagedNames *names = nullptr);

// Whether a new table holds enough ranges; logs "<refusal> <table>:
// <accepted> ranges accepted, at least <needed> needed" when not.
bool enough_ranges(uint64_t accepted, uint64_t needed, const char *refusal, const char *table);

// Whether the names file knew any code of the input: a run whose every
// accepted range has a code the names lack (the file is empty, or lists
// other codes) would give a table of id 0 alone, so it is refused with
// "<refusal> the tables: conf/countries lists none of the input's N codes".
// A run that accepted no range passes.
bool names_know_input(const RunSummary &summary, const char *refusal);

// Gives in, standard input, a larger buffer for fewer reads. Once per
// process, before anything is read from in.
void use_large_buffer(FILE *in);

// A run in the installation root (the working directory) on inputs as
// options ask; gives the exit status (0 or 1, the failure logged).
int run(const RunOptions &options, velmor_tools::InputFiles &inputs);

}  // namespace orvik

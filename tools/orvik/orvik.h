// orvik: turns a sorted list of country ranges (comma-separated lines of six
// quoted fields) into the boundary table "conf/countries.ips".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "ip_ranges.h"

// The fields of one input line that the converter uses.
struct orvik_line {
  uint32_t start;  // field 3 as a number (low 32 bits)
  uint32_t end;    // field 4 as a number (low 32 bits)
  char code[32];   // field 5 without its opening quote, folded, cut at the next quote
  char name[32];   // field 6 as given, quotes included
  bool complete;   // five or more non-empty fields; otherwise start and end are 0
};

// Splits a line (line end already removed) into its fields; the line itself
// is left as it is.
void orvik_read_line(const char *line, orvik_line *out);

// A decimal number read as strtoul reads base 10 (leading white space, one
// sign, saturating at the unsigned 64-bit maximum), keeping its low 32 bits.
uint32_t orvik_parse_number(const char *text);

// Country code to id through the names table, remembering each answer once
// the names are loaded, so that a long input costs one scan per code.
class orvik_code_cache {
 public:
  explicit orvik_code_cache(ip_ranges *names);
  int16_t find(const char *code);

 private:
  static constexpr int16_t kNotAsked = INT16_MIN;
  ip_ranges *names_;
  int16_t two_letter_[1 << 16];  // codes of exactly two bytes, by their bytes
  std::unordered_map<std::string, int16_t> other_;
};

using orvik_lookup = int16_t (*)(void *context, const char *code);

// One table being written: the end of the last accepted range and the id of
// the last entry written.
struct orvik_table {
  FILE *out;
  orvik_lookup lookup;
  void *context;
  uint32_t prev_end;
  int16_t written_id;
};

// Starts a table on out with the entry 0.0.0.0 0.
void orvik_table_begin(orvik_table *table, FILE *out, orvik_lookup lookup, void *context);

// Takes one input piece (its line end is cut here): skips it when it is not
// above the previous range, writes an entry where the id changes.
void orvik_table_take(orvik_table *table, char *line);

// Closes the last range with an entry of id 0 unless it reaches the top.
void orvik_table_finish(orvik_table *table);

// Writes one "%s %d\n" entry: the start as a dotted quad and the id.
void orvik_write_entry(FILE *out, uint32_t start, int id);

// Reads in and writes "conf/countries.ips" (relative to the working
// directory) through a temporary file; false after a logged failure.
bool orvik_convert(FILE *in);

// The program: names itself, changes into root and converts in; returns the
// exit status (0, or 1 on failure). Nothing may have been read from in yet:
// it gets a larger buffer of the program's own, one per process.
int orvik_run(const char *root, FILE *in);

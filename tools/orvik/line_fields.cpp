// Reading the fields of one input line.
#include <cstring>

#include "orvik.h"
#include "str.h"
#include "str/internal/number_scan.h"

namespace orvik {

namespace {

// A number field as strtoul reads it in base 10, from text up to its
// terminator (which ends the number) within its buffer's end. No IPv4
// address lies above 4294967295 or below 0: such a number sets *malformed.
uint32_t number_of(const char *text, const char *buffer_end, bool *malformed) {
  const auto number = velmor::scan_decimal<uint64_t>(text, buffer_end);
  if (number.overflow || number.negative || number.value > UINT32_MAX) *malformed = true;
  return static_cast<uint32_t>(velmor::strtoul_value(number));
}

}  // namespace

void read_line(const char *line, LineFields *out) {
  char first[32], last[32], start[32], end[32];
  str_split(line, ",", 32, first, last, start, end, out->code, out->name, nullptr);

  // Without a fifth field the numbers and the code have nothing to be read
  // from; such a line reads like one whose numbers hold no digits.
  out->complete = out->code[0] != '\0';
  out->malformed = false;
  if (!out->complete) {
    out->start = out->end = 0;
    return;
  }
  // Each field opens with a quote; its text starts at the second character.
  out->start = number_of(start + 1, start + sizeof start, &out->malformed);
  out->end = number_of(end + 1, end + sizeof end, &out->malformed);

  char *code = out->code;
  char *p = code;
  for (const char *q = code + 1; *q != '\0'; ++q) *p++ = *q;  // drop the first character
  *p = '\0';
  str_fold(code);
  for (p = code; *p != '\0' && *p != '"'; ++p) {
  }
  *p = '\0';
}

}  // namespace orvik

namespace orvik {

const char *append_csv_field(const char *p, std::string *out) { return append_field(p, ',', out); }

const char *append_field(const char *p, char separator, std::string *out) {
  bool quoted = *p == '"';
  if (quoted) ++p;
  for (;;) {
    // Up to the next byte that means something here, copied as one run.
    const char *stop = strchrnul(p, quoted ? '"' : separator);
    if (out != nullptr) out->append(p, stop);
    p = stop;
    if (*p == '\0') return nullptr;
    if (!quoted) return p + 1;  // the separator after the field
    if (p[1] == '"') {          // "" inside quotes: one quote
      if (out != nullptr) out->push_back('"');
      p += 2;
      continue;
    }
    quoted = false;  // the closing quote; what follows up to the separator is kept
    ++p;
  }
}

bool read_csv_field(const char *line, int index, std::string *out) {
  const char *p = line;
  for (int field = 1; field < index; ++field) {
    p = append_csv_field(p, nullptr);
    if (p == nullptr) return false;
  }
  out->clear();
  append_csv_field(p, out);
  return true;
}

}  // namespace orvik

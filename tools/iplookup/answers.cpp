// Answering addresses: each operand, or each line of standard input, is
// parsed, looked up and printed as "address id code title" or as a JSON
// object.
#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

#include "ip_ranges.h"
#include "json_text.h"
#include "request.h"
#include "str.h"

namespace iplookup {

namespace {

struct Answering {
  ip_ranges *table;
  bool json;
  FILE *out;
  FILE *err;
};

void write_json_string_or_null(FILE *out, const char *text) {
  if (name_missing(text)) {
    fputs("null", out);
  } else {
    write_json_string(out, text);
  }
}

void print_answer(const Answering &answering, uint32_t addr, unsigned id) {
  const char *code = ip_ranges_code(answering.table, static_cast<uint16_t>(id));
  const char *title = ip_ranges_title(answering.table, static_cast<uint16_t>(id));
  FILE *out = answering.out;
  if (!answering.json) {
    fprintf(out, "%s %u %s %s\n", str_ip_format(addr), id, name_or_dash(code), name_or_dash(title));
    return;
  }
  fprintf(out, "{\"address\": \"%s\", \"id\": %u, \"code\": ", str_ip_format(addr), id);
  write_json_string_or_null(out, code);
  fputs(", \"title\": ", out);
  write_json_string_or_null(out, title);
  fputs("}\n", out);
}

// Strict dotted quad (inet_pton), so that 255.255.255.255 is an address too.
bool parse_address(const char *text, uint32_t *addr) {
  struct in_addr parsed;
  if (inet_pton(AF_INET, text, &parsed) != 1) return false;
  *addr = ntohl(parsed.s_addr);
  return true;
}

// Answers one address; false when it is not one.
bool answer(const Answering &answering, const char *text) {
  uint32_t addr;
  if (!parse_address(text, &addr)) {
    fprintf(answering.err, "iplookup: not an IPv4 address: %s\n", text);
    return false;
  }
  print_answer(answering, addr, ip_ranges_lookup(answering.table, addr));
  return true;
}

// Cuts leading and trailing white space in place.
char *trim(char *line) {
  while (str_is_space(static_cast<unsigned char>(*line))) line++;
  size_t length = strlen(line);
  while (length > 0 && str_is_space(static_cast<unsigned char>(line[length - 1])))
    line[--length] = '\0';
  return line;
}

// One address per line; blank lines are skipped.
bool answer_lines(const Answering &answering, FILE *in) {
  bool all_good = true;
  char *line = nullptr;
  size_t capacity = 0;
  while (getline(&line, &capacity, in) >= 0) {
    char *text = trim(line);
    if (*text && !answer(answering, text)) all_good = false;
  }
  free(line);
  return all_good;
}

bool answer_operands(const Answering &answering, int count, char **operands, FILE *in) {
  if (count == 0) return answer_lines(answering, in);
  bool all_good = true;
  for (int i = 0; i < count; i++) {
    const bool good = strcmp(operands[i], "-") == 0 ? answer_lines(answering, in)
                                                    : answer(answering, operands[i]);
    if (!good) all_good = false;
  }
  return all_good;
}

}  // namespace

bool answer_addresses(const Request &request, ip_ranges *table, FILE *in, FILE *out, FILE *err) {
  const Answering answering{table, request.mode == Mode::json, out, err};
  bool all_good = answer_operands(answering, request.count, request.operands, in);
  // The table is loaded by the first lookup; without addresses none is tried.
  if (table->load_tried && !table->starts) {
    report_no_table(request, err);
    all_good = false;
  } else if (request.verbose && table->starts) {
    report_loaded(request, table, err);
  }
  // A failed write is a failure in every mode: an answer that never
  // reached its reader is no answer.
  return finish_output(out, err) && all_good;
}

}  // namespace iplookup

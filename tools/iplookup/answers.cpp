// Answering addresses: each operand, or each line of standard input, is
// parsed, looked up (an IPv6 address in the IPv6 table, an IPv4-mapped one
// by the library in the IPv4 table) and printed as "address id code title"
// or as a JSON object.
#include <cstdlib>
#include <cstring>

#include "address_text.h"
#include "ip_ranges.h"
#include "json_text.h"
#include "request.h"
#include "str.h"

namespace iplookup {

namespace {

struct Answering {
  ip_ranges *table;
  Families families;
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

// The address is printed as the program writes addresses: a dotted quad,
// or IPv6 text in RFC 5952 form.
void print_answer(const Answering &answering, const char *address, unsigned id) {
  const char *code = ip_ranges_code(answering.table, static_cast<uint16_t>(id));
  const char *title = ip_ranges_title(answering.table, static_cast<uint16_t>(id));
  FILE *out = answering.out;
  if (!answering.json) {
    fprintf(out, "%s %u %s %s\n", address, id, name_or_dash(code), name_or_dash(title));
    return;
  }
  fprintf(out, "{\"address\": \"%s\", \"id\": %u, \"code\": ", address, id);
  write_json_string_or_null(out, code);
  fputs(", \"title\": ", out);
  write_json_string_or_null(out, title);
  fputs("}\n", out);
}

// Answers one address; false when it is not one.
bool answer(const Answering &answering, const char *text) {
  Address address;
  if (!read_address(text, answering.families, &address)) {
    fprintf(answering.err, "iplookup: not %s: %s\n", address_kind(answering.families), text);
    return false;
  }
  if (address.ipv6) {
    print_answer(answering, str_ip6_format(address.bytes6),
                 ip_ranges_lookup6(answering.table, address.bytes6));
  } else {
    print_answer(answering, str_ip_format(address.ipv4),
                 ip_ranges_lookup(answering.table, address.ipv4));
  }
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

// Each table is loaded by the first lookup that needs it (IPv4-mapped
// addresses need the IPv4 one); a table no address needed is never read,
// and one that could not be loaded is a failure.
bool report_tables(const Request &request, ip_ranges *table, FILE *err) {
  using velmor::Family;
  const ip_ranges_state *state = table->state;
  const bool ipv4_missing = table->load_tried && !table->starts;
  const bool ipv6_missing = state && state->load6_tried && !state->his;
  if (ipv4_missing) report_no_table(request, Family::ipv4, err);
  if (ipv6_missing) report_no_table(request, Family::ipv6, err);
  if (request.verbose && table->starts) report_loaded(request, table, Family::ipv4, err);
  if (request.verbose && state && state->his) report_loaded(request, table, Family::ipv6, err);
  return !ipv4_missing && !ipv6_missing;
}

}  // namespace

bool answer_addresses(const Request &request, ip_ranges *table, FILE *in, FILE *out, FILE *err) {
  const Answering answering{table, request.families, request.mode == Mode::json, out, err};
  bool all_good = answer_operands(answering, request.count, request.operands, in);
  if (!report_tables(request, table, err)) all_good = false;
  // A failed write is a failure in every mode: an answer that never
  // reached its reader is no answer.
  return finish_output(out, err) && all_good;
}

}  // namespace iplookup

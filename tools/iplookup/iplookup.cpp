// iplookup: parses the addresses, looks each up and prints id, code and title.
#include "iplookup.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

#include "ip_ranges.h"
#include "misc.h"
#include "program.h"
#include "str.h"

namespace {

const char *or_dash(const char *text) { return text && *text ? text : "-"; }

// Strict dotted quad (inet_pton), so that 255.255.255.255 is an address too.
bool parse_address(const char *text, uint32_t *addr) {
  struct in_addr parsed;
  if (inet_pton(AF_INET, text, &parsed) != 1) return false;
  *addr = ntohl(parsed.s_addr);
  return true;
}

// Answers one address; false when it is not one.
bool answer(ip_ranges *table, const char *text, FILE *out, FILE *err) {
  uint32_t addr;
  if (!parse_address(text, &addr)) {
    fprintf(err, "iplookup: not an IPv4 address: %s\n", text);
    return false;
  }
  unsigned id = ip_ranges_lookup(table, addr);
  const char *code = or_dash(ip_ranges_code(table, static_cast<uint16_t>(id)));
  fprintf(out, "%s %u %s %s\n", str_ip_format(addr), id, code,
          or_dash(ip_ranges_title(table, static_cast<uint16_t>(id))));
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

bool answer_lines(ip_ranges *table, FILE *in, FILE *out, FILE *err) {
  bool all_good = true;
  char *line = nullptr;
  size_t capacity = 0;
  while (getline(&line, &capacity, in) >= 0) {
    char *text = trim(line);
    if (*text && !answer(table, text, out, err)) all_good = false;
  }
  free(line);
  return all_good;
}

}  // namespace

int iplookup_run(const char *root, int count, char **args, FILE *in, FILE *out, FILE *err) {
  process_info.name = "iplookup";
  if (!velmor_tools::enter_root(root, err)) return 1;
  ip_ranges *table = ip_ranges_new("countries");
  if (!table) return 1;
  bool all_good = true;
  if (count == 0) {
    all_good = answer_lines(table, in, out, err);
  } else {
    for (int i = 0; i < count; i++) {
      if (!answer(table, args[i], out, err)) all_good = false;
    }
  }
  if (table->load_tried && !table->starts) {
    fprintf(err, "iplookup: no table loaded from %s/conf/countries.ips (see %s/logs/current/)\n",
            root, root);
    all_good = false;
  }
  ip_ranges_free(table);
  fflush(out);
  return all_good ? 0 : 1;
}

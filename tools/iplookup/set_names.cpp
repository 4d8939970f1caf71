// The names of the firewall sets and of the nftables table, and the check of
// the options that choose them.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "set_script.h"
#include "str.h"

namespace iplookup {

namespace {

using velmor_tools::Program;

const std::string kNameRule =
    "a letter, then letters, digits, '-' and '_', " + std::to_string(set_name_max) + " at most";

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool is_name_byte(char c) {
  return is_ascii_letter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// The families nft knows a table by.
bool is_nft_family(const std::string &word) {
  for (const char *family : {"ip", "ip6", "inet", "arp", "bridge", "netdev"}) {
    if (word == family) return true;
  }
  return false;
}

// "FAMILY NAME", one space between.
bool is_nft_table(const char *text) {
  const char *space = strchr(text, ' ');
  return space != nullptr && is_nft_family(std::string(text, space)) && is_set_name(space + 1);
}

bool take_format(const Program &program, const char *text, Request *request, int *status) {
  const std::pair<const char *, Format> formats[] = {
      {"cidr", Format::cidr}, {"ipset", Format::ipset}, {"nft", Format::nft}};
  for (const auto &[word, format] : formats) {
    if (strcmp(text, word) == 0) {
      request->format = format;
      return true;
    }
  }
  const std::string complaint =
      std::string("--format takes cidr, ipset or nft (got '") + text + "')";
  *status = velmor_tools::usage_error(program, complaint.c_str());
  return false;
}

// The name of --set, else "velmor-" and the codes joined by '-'.
bool take_set_name(const Program &program, const char *given, const std::vector<std::string> &codes,
                   Request *request, int *status) {
  std::string complaint;
  if (given != nullptr) {
    request->set_name = given;
    if (is_set_name(given)) return true;
    complaint = std::string("set name '") + given + "' is not " + kNameRule;
  } else {
    request->set_name = "velmor";
    for (const std::string &code : codes) request->set_name += "-" + code;
    if (is_set_name(request->set_name.c_str())) return true;
    complaint = std::string("the codes '") + request->export_codes + "' make no set name (" +
                kNameRule + "): give --set NAME";
  }
  *status = velmor_tools::usage_error(program, complaint.c_str());
  return false;
}

}  // namespace

bool is_set_name(const char *name) {
  const size_t length = strlen(name);
  return length >= 1 && length <= set_name_max && is_ascii_letter(name[0]) &&
         std::all_of(name, name + length, is_name_byte);
}

bool folded_codes(const char *text, std::vector<std::string> *codes) {
  codes->clear();
  for (const char *item = text;; ++item) {
    const char *comma = strchr(item, ',');
    std::string code(item, comma ? comma : item + strlen(item));
    if (code.empty()) return false;
    str_fold(code.data());
    if (std::find(codes->begin(), codes->end(), code) == codes->end()) codes->push_back(code);
    if (!comma) return true;
    item = comma;
  }
}

std::string family_set_name(const std::string &name, velmor::Family family) {
  return family == velmor::Family::ipv4 ? name : name + "6";
}

bool check_export_options(const Program &program, const SetOptions &options, Request *request,
                          int *status) {
  if (request->mode != Mode::exports) {
    if (!options.format && !options.set && !options.nft_table) return true;
    *status =
        velmor_tools::usage_error(program, "--format, --set and --nft-table go with --export");
    return false;
  }
  if (options.format && !take_format(program, options.format, request, status)) return false;
  std::vector<std::string> codes;
  if (!folded_codes(request->export_codes, &codes)) {
    const std::string complaint =
        std::string("--export needs codes separated by ',' (got '") + request->export_codes + "')";
    *status = velmor_tools::usage_error(program, complaint.c_str());
    return false;
  }
  if (request->format == Format::cidr && options.set) {
    *status = velmor_tools::usage_error(program, "--set goes with --format ipset or nft");
    return false;
  }
  if (request->format != Format::nft && options.nft_table) {
    *status = velmor_tools::usage_error(program, "--nft-table goes with --format nft");
    return false;
  }
  if (options.nft_table) {
    if (!is_nft_table(options.nft_table)) {
      const std::string complaint =
          std::string(
              "--nft-table takes 'FAMILY NAME' (FAMILY ip, ip6, inet, arp, bridge or "
              "netdev; NAME as a set name) (got '") +
          options.nft_table + "')";
      *status = velmor_tools::usage_error(program, complaint.c_str());
      return false;
    }
    request->nft_table = options.nft_table;
  }
  return request->format == Format::cidr ||
         take_set_name(program, options.set, codes, request, status);
}

}  // namespace iplookup

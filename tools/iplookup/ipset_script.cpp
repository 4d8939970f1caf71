// --format ipset: input for "ipset restore" that replaces a live set whole.
// The live set is created empty when missing; the blocks go into a
// temporary set, which is then swapped with the live one and destroyed with
// the old blocks:
//
//   -exist create "velmor-ru" hash:net family inet maxelem 16777216
//   -exist destroy "velmor-ru.tmp"
//   create "velmor-ru.tmp" hash:net family inet hashsize 1024 maxelem 16777216
//   add "velmor-ru.tmp" 5.3.0.0/16
//   swap "velmor-ru.tmp" "velmor-ru"
//   destroy "velmor-ru.tmp"
//
// ipset restore carries out each line as it reads it, the last one even
// without its line feed, and stops at the first that fails. So:
// - "-exist create" of the live set succeeds only on a set of the same
//   type, family and maxelem (hashsize is not compared), and the swap
//   gives the live set the temporary set's parameters; every export
//   therefore uses one maxelem, ipset_max_elements, for both sets. A live
//   set made with other parameters fails the first line, before anything
//   changed.
// - Until the swap only the temporary set is touched. One that a script cut
//   short left behind, whatever its parameters, is destroyed first
//   ("-exist": not an error when there is none).
// - Names are quoted: a line cut inside a name is refused ("missing close
//   quote") instead of naming another set. A temporary name ends in ".tmp",
//   which no live name holds.
// - The lines before the adds and the lines after them are each written in
//   one piece (write_whole), so that a reader of a pipe never sees them
//   cut: "destroy" cut short before its name destroys every set not in use.
//   The adds may be cut anywhere: they only fill the temporary set.
#include <string>

#include "ip_ranges/internal/cidr.h"
#include "set_script.h"

namespace iplookup {

namespace {

using velmor::Family;

// One family's sets and the blocks that go into them.
struct FamilySets {
  Family family;
  std::string live;
  std::string temporary;
  long blocks;
};

const char *ipset_family(Family family) { return family == Family::ipv4 ? "inet" : "inet6"; }

// hash:net takes prefix lengths from 1: the whole space goes in as its two
// halves.
template <class Key, class Emit>
void for_each_element(const std::vector<Range<Key>> &ranges, Emit &&emit) {
  for_each_block(ranges, [&emit](Key base, int length) {
    if (length > 0) {
      emit(base, length);
      return;
    }
    emit(Key{0}, 1);
    emit(Key{1} << (sizeof(Key) * 8 - 1), 1);
  });
}

template <class Key>
long element_count(const std::vector<Range<Key>> &ranges) {
  long count = 0;
  for_each_element(ranges, [&count](Key, int) { ++count; });
  return count;
}

// The hash's first size: a power of two, at least half the blocks (ipset
// grows it as needed, but each growth rehashes), at least ipset's default.
long hash_size(long blocks) {
  long size = 1024;
  while (size < blocks / 2) size *= 2;
  return size;
}

std::string quoted(const std::string &name) { return "\"" + name + "\""; }

// "create NAME hash:net family F[ EXTRA] maxelem N".
std::string create_line(const std::string &name, Family family, const std::string &extra,
                        long max_elements) {
  return "create " + quoted(name) + " hash:net family " + ipset_family(family) + extra +
         " maxelem " + std::to_string(max_elements) + "\n";
}

template <class Key>
void print_adds(const FamilySets &sets, const std::vector<Range<Key>> &ranges, FILE *out) {
  const std::string head = "add " + quoted(sets.temporary) + " ";
  for_each_element(ranges, [&](Key base, int length) {
    fwrite(head.data(), 1, head.size(), out);
    print_block_line(base, length, out);
  });
}

}  // namespace

bool write_ipset_script(const Request &request, const ExportRanges &ranges, FILE *out, FILE *err,
                        long max_elements) {
  std::vector<FamilySets> families;
  if (ranges.ipv4) families.push_back({Family::ipv4, "", "", element_count(ranges.v4)});
  if (ranges.ipv6) families.push_back({Family::ipv6, "", "", element_count(ranges.v6)});
  for (FamilySets &sets : families) {
    sets.live = family_set_name(request.set_name, sets.family);
    sets.temporary = sets.live + ".tmp";
    if (sets.blocks > max_elements) {
      fprintf(err, "iplookup: %ld %s blocks, more than an ipset set holds (%ld)\n", sets.blocks,
              sets.family == Family::ipv4 ? "IPv4" : "IPv6", max_elements);
      return false;
    }
  }
  std::string head;
  for (const FamilySets &sets : families)
    head += "-exist " + create_line(sets.live, sets.family, "", max_elements);
  for (const FamilySets &sets : families) {
    head += "-exist destroy " + quoted(sets.temporary) + "\n";
    head += create_line(sets.temporary, sets.family,
                        " hashsize " + std::to_string(hash_size(sets.blocks)), max_elements);
  }
  write_whole(head, out);
  for (const FamilySets &sets : families) {
    if (sets.family == Family::ipv4) print_adds(sets, ranges.v4, out);
    if (sets.family == Family::ipv6) print_adds(sets, ranges.v6, out);
  }
  std::string tail;
  for (const FamilySets &sets : families)
    tail += "swap " + quoted(sets.temporary) + " " + quoted(sets.live) + "\n";
  for (const FamilySets &sets : families) tail += "destroy " + quoted(sets.temporary) + "\n";
  write_whole(tail, out);
  return true;
}

}  // namespace iplookup

// Internal: the compiled table file "conf/<name>.ipt", one file holding a
// table's IPv4 and IPv6 boundary tables, their lookup indexes and the codes
// and titles of its names file, laid out to be used in place from a
// read-only mapping shared by every record, thread and process.
//
// The text files stay the source of truth: a compiled file stands for the
// three files it was compiled from ("conf/<name>.ips", "conf/<name>6.ips",
// "conf/<name>") and is used only while none of them is newer than it
// (the staleness rule, compiled_table.h). This header is the one statement
// of the layout; the writer, the opener and the verifier all read it here.
//
// Layout, in the byte order of the machine that wrote it (the byte-order
// mark tells a reader of the other order to refuse the file):
//
//     offset 0             Header (header_size bytes)
//     multiples of 64      the sections, each where its SectionPlace says,
//                          in the order of enum Section, zero bytes between
//     file_size            end of file: the last section ends here
//
// Every section starts at a multiple of section_alignment, so each array is
// aligned for direct use (a cache line, above what uint64_t needs). A
// section of size 0 has offset 0 and is absent.
//
// Sizes (n4 = count4, n6 = count6, b4/b6 = index buckets, 0 without index,
// f6 = n6 / 32 fences when b6 is not 0, else 0):
//
//     starts4  n4 * 4      IPv4 starts, host-order addresses, ascending
//     ids4     n4          id of each IPv4 entry
//     index4   (b4 + 1) * 4 or 0   range_index bucket_starts over starts4
//     his6     n6 * 8      IPv6 starts, high halves (range_index.h ip6_key)
//     los6     n6 * 8      IPv6 starts, low halves
//     ids6     n6          id of each IPv6 entry
//     index6   (b6 + 1) * 4 or 0   range_index bucket_starts over his6
//     fences6  f6 * 8      range_index fences: his6[32 * g] for each g < f6
//     names    512 * 4     offsets into pool: codes of ids 0..255, then
//                          titles of ids 0..255; no_name where the names
//                          file lists no such id
//     pool     at least 1  NUL-terminated strings; its last byte is NUL, so
//                          a string read from any offset inside the pool
//                          ends inside the file
//
// With the index at most count / 2 bytes (range_index.h; for IPv6 the
// buckets and the fences together), an IPv4 entry costs at most 5.5 bytes
// and an IPv6 entry 17.5, padding aside.
//
// What a reader checks when it opens (constant time, no walk over the
// table): magic, version, byte order, header size, that file_size is the
// file's size, that each section is aligned, lies inside the file and has
// the size its counts give (the fences' too), that the index parameters
// are those range_index would choose, and that all 512 name offsets lie
// inside the pool. Lookups bound what the index gives them by the table's
// count (the fences only narrow a bucket so bounded), so a file whose
// arrays hold any bytes still reads nothing outside the mapping. The full
// verifier (iplookup --verify) also checks that the starts ascend, that
// each index (buckets and fences) is the one the starts give, that every
// id the tables use has a code, and the checksum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmor::compiled {

// "VLMRIPT" and a NUL: a text editor shows what the file is.
constexpr char magic[8] = {'V', 'L', 'M', 'R', 'I', 'P', 'T', '\0'};

// Raised whenever the layout changes; a reader refuses every other version.
constexpr uint32_t format_version = 2;

// Written as this number in the writer's byte order; a reader that reads
// anything else refuses the file (the arrays would be read byte-swapped).
constexpr uint32_t byte_order_mark = 0x01020304;

// The alignment of every section's offset.
constexpr uint64_t section_alignment = 64;

// A name offset for an id the names file does not list.
constexpr uint32_t no_name = UINT32_MAX;

// The ids a names file can list.
constexpr int id_count = 256;

// The sections, in file order.
enum Section : uint32_t {
  starts4,  // uint32_t[count4]
  ids4,     // uint8_t[count4]
  index4,   // uint32_t[index4.buckets + 1], or absent
  his6,     // uint64_t[count6]
  los6,     // uint64_t[count6]
  ids6,     // uint8_t[count6]
  index6,   // uint32_t[index6.buckets + 1], or absent
  fences6,  // uint64_t[count6 / 32] when index6 is present, else absent
  names,    // uint32_t[2 * id_count]: code offsets, then title offsets
  pool,     // char[], last byte NUL
  section_count
};

// The source files a compiled file stands for.
enum Source : uint32_t {
  source_ipv4,   // conf/<name>.ips
  source_ipv6,   // conf/<name>6.ips
  source_names,  // conf/<name>
  source_count
};

// Where one section lies.
struct SectionPlace {
  uint64_t offset;  // from the start of the file; a multiple of section_alignment
  uint64_t size;    // in bytes
};

// A source file as the compiler found it.
struct SourceStamp {
  uint32_t present;   // 1 when the file existed, 0 when it did not
  uint32_t reserved;  // zero
  int64_t mtime_ns;   // its modification time in nanoseconds (0 when absent)
};

// An index's parameters, as range_index holds them: the bucket of a key is
// key >> shift, for buckets a power of two; buckets 0 means no index (a
// table of fewer than 24 IPv4 or 48 IPv6 entries), and lookups then bisect
// the whole table. The IPv6 index's fences follow from count6.
struct IndexParameters {
  uint32_t buckets;
  uint32_t shift;
};

struct Header {
  char magic[8];                         // compiled::magic
  uint32_t version;                      // format_version
  uint32_t byte_order;                   // byte_order_mark in the writer's order
  uint32_t header_size;                  // sizeof(Header): where a reader may expect sections
  uint32_t reserved0;                    // zero
  uint64_t file_size;                    // the whole file, header included
  uint64_t checksum;                     // checksum() of the whole file with this field zero
  uint32_t count4;                       // IPv4 entries (0: no IPv4 table)
  uint32_t count6;                       // IPv6 entries (0: no IPv6 table)
  IndexParameters index4;                // over starts4, top bits of the address
  IndexParameters index6;                // over his6, top bits of the high half; fences6 too
  SectionPlace sections[section_count];  // where each Section lies
  SourceStamp sources[source_count];     // the files it was compiled from
  uint8_t reserved[16];                  // zero; room for later versions
};

static_assert(sizeof(Header) == 288, "the header's layout is part of the format");
static_assert(sizeof(Header) % 8 == 0, "the header keeps 8-byte fields aligned");

// The offset of Header::checksum, which checksum() reads as zero.
constexpr size_t checksum_offset = offsetof(Header, checksum);

}  // namespace velmor::compiled

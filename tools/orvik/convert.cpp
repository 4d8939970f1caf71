// The run: a temporary file next to the table, filled from the input and
// renamed over "conf/countries.ips" only when it is complete and on disk, so
// a reader sees either the old table or the whole new one.
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <new>
#include <optional>

#include "geolite2_blocks.h"
#include "input_lines.h"
#include "misc.h"
#include "names_update.h"
#include "orvik.h"
#include "program.h"
#include "stale_temporaries.h"
#include "table_lock.h"

namespace orvik {

namespace {

constexpr size_t kStreamBuffer = 1 << 16;

struct RecordFree {
  void operator()(ip_ranges *record) const { ip_ranges_free(record); }
};
using Record = std::unique_ptr<ip_ranges, RecordFree>;

// The names file, read whole before the first line. Without it every code
// would be unknown and the table all id 0, and a read that failed only for
// a moment would give the first lines id 0 and the later ones their ids:
// either way the run fails instead (--update-names makes the file).
bool load_names(ip_ranges *names) {
  struct stat st;
  if (stat(kNamesPath, &st) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot read the names file %s", kNamesPath);
    return false;
  }
  if (ip_ranges_load_names(names)) return true;
  // The reader has logged why, unless the file vanished meanwhile.
  log_msg(LOG_ERROR, "cannot read the names file %s", kNamesPath);
  return false;
}

// The conversion with the ids of the names file as it is.
bool convert_with_names(LineSource &source, const RunOptions &options, RunSummary *summary) {
  Record names(ip_ranges_new(kTableName));
  if (!names || !load_names(names.get())) return false;
  CodeCache codes(names.get());
  if (!codes.ready()) return false;
  return convert_families(source, codes, options, summary);
}

// The input is read twice: once for its codes, which go into the names
// file (unless this is a check), once for the table with the new ids. The
// new names file takes its name with the tables, after all are on disk.
bool update_names_and_convert(velmor_tools::InputFiles &inputs, const RunOptions &options,
                              RunSummary *summary) {
  HeldInput held;
  NamesUpdate names(options);
  if (!held.hold(inputs) || !names.load()) return false;
  if (!held.feed([&names](char *piece, size_t, bool first) { names.take(piece, first); }))
    return false;
  if (!names.number_new_codes()) return false;
  std::optional<TempTable> names_file;
  if (!options.check && names.added() > 0) {
    names_file.emplace(kNamesPath, kConfDir);
    if (!names_file->ready() || !names.stage(&*names_file)) return false;
  }
  const StagedNames staged = names.staged(names_file ? &*names_file : nullptr);
  if (!convert_families(held, names, options, summary, names_file ? &staged : nullptr))
    return false;
  if (names_file) names.log_new_codes();
  for (const Family family : kAllFamilies)
    summary->of[index_of(family)].new_codes = names.added(family);
  return true;
}

bool convert_inputs(velmor_tools::InputFiles &inputs, const RunOptions &given,
                    RunSummary *summary) {
  // The GeoLite2 blocks name their countries through the locations file.
  Locations locations;
  RunOptions options = given;
  if (options.format == InputFormat::geolite2) {
    if (!locations.load(*options.locations_file)) return false;
    options.locations = &locations;
  }
  if (options.update_names) return update_names_and_convert(inputs, options, summary);
  StreamedInput source(inputs);
  return convert_with_names(source, options, summary);
}

// A check ends here: its summary on standard output, and whether a real run
// would replace the tables it names (every refusal is logged).
bool end_check(const RunOptions &options, const RunSummary &summary) {
  for (const std::string &line : summary_lines(summary)) printf("%s\n", line.c_str());
  if (fflush(stdout) != 0) {
    log_msg(LOG_ERROR | LOG_ERRNO, "cannot write to standard output");
    return false;
  }
  const uint64_t needed = options.min_ranges > 0 ? options.min_ranges : 1;
  bool enough = names_know_input(summary, "check failed for");
  for (const Family family : kAllFamilies) {
    const int i = index_of(family);
    if (summary.replaced[i])
      enough =
          enough_ranges(summary.of[i].accepted, needed, "check failed for", table_path(family)) &&
          enough;
  }
  return enough;
}

// What a run that writes needs before it reads a line: conf/ (a new root
// has none), the table's lock for the whole run, and no temporaries left by
// runs that died. A check writes nothing and takes no lock.
bool prepare_writing(const RunOptions &options, velmor_tools::TableLock *lock) {
  if (options.check) return true;
  if (!velmor_tools::make_root_dir(kConfDir) || !lock->acquire(kTableName, options.lock_wait))
    return false;
  velmor_tools::remove_stale_temporaries(kTableName);
  return true;
}

}  // namespace

bool enough_ranges(uint64_t accepted, uint64_t needed, const char *refusal, const char *table) {
  if (accepted >= needed) return true;
  log_msg(LOG_ERROR, "%s %s: %llu ranges accepted, at least %llu needed", refusal, table,
          static_cast<unsigned long long>(accepted), static_cast<unsigned long long>(needed));
  return false;
}

bool names_know_input(const RunSummary &summary, const char *refusal) {
  uint64_t accepted = 0, unknown = 0;
  size_t codes = 0;
  for (const Summary &of : summary.of) {
    accepted += of.accepted;
    codes += of.unknown.size();
    for (const auto &code : of.unknown) unknown += code.second;
  }
  if (accepted == 0 || unknown < accepted) return true;
  log_msg(LOG_ERROR, "%s the tables: %s lists none of the input's %zu codes", refusal, kNamesPath,
          codes);
  return false;
}

int run(const RunOptions &options, velmor_tools::InputFiles &inputs) {
  // Before the first message: a new root has no log directory yet.
  velmor_tools::make_root_dir("logs");
  try {
    velmor_tools::TableLock lock;
    if (!prepare_writing(options, &lock)) return 1;
    RunSummary summary;
    bool done = convert_inputs(inputs, options, &summary);
    if (done && options.check) done = end_check(options, summary);
    if (done && options.verbose) {
      for (const std::string &line : summary_lines(summary))
        fprintf(stderr, "orvik: %s\n", line.c_str());
    }
    return done ? 0 : 1;
  } catch (const std::bad_alloc &) {
    // Whatever was under way has been unwound: its temporary files removed.
    log_msg(LOG_ERROR, "out of memory");
    return 1;
  }
}

void use_large_buffer(FILE *in) {
  static char buffer[kStreamBuffer];
  setvbuf(in, buffer, _IOFBF, sizeof buffer);
}

}  // namespace orvik

int orvik_run(const char *root, FILE *in) {
  process_info.name = "orvik";
  if (!velmor_tools::enter_root(root)) return 1;
  orvik::use_large_buffer(in);
  velmor_tools::InputFiles inputs(0, nullptr, in);
  return orvik::run(orvik::RunOptions{}, inputs);
}

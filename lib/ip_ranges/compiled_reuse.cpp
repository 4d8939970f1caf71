// Taking a family's arrays from the compiled file in place when a compile
// would otherwise parse that family's unchanged text file again.
#include "ip_ranges/internal/compiled_table.h"

namespace velmor {

bool CompiledReuse::map_checked() {
  CompiledSeen seen;
  CompiledProblem problem;
  if (map_compiled(name_, &mapping_, &seen, &problem) != CompiledFault::none) return false;
  compiled_mtime_ns_ = seen.compiled.mtime_ns;
  // The arrays go into a new file under a new checksum: damage in them
  // must not be carried over unseen.
  const auto *bytes = static_cast<const uint8_t *>(mapping_.base);
  const auto *header = static_cast<const compiled::Header *>(mapping_.base);
  if (compiled_checksum(bytes, mapping_.length) != header->checksum) {
    unmap_compiled(&mapping_);
    return false;
  }
  return true;
}

bool CompiledReuse::holds(compiled::Source family, const FileIdentity &text) {
  if (!tried_) {
    tried_ = true;
    usable_ = map_checked();
  }
  if (!usable_ || !text.present || text.size == 0) return false;
  // File times advance in ticks of a few milliseconds: a text file
  // replaced in the tick its compiled file was written in may keep the
  // time the compiled file recorded. One written in an earlier tick than
  // the compiled file cannot be replaced since without a later time.
  const compiled::SourceStamp &stamp = mapping_.tables.sources[family];
  return stamp.present != 0 && stamp.mtime_ns == text.mtime_ns &&
         text.mtime_ns < compiled_mtime_ns_;
}

}  // namespace velmor

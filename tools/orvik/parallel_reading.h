// A form's lines read into ranges on a second thread. The run's thread
// cuts the input into pieces (every system call stays there) and copies
// them into batches; the reading thread reads each batch's lines with the
// form's fast and careful readers, as FamilyTables would; the run's thread
// then hands the lines, in input order, to the table rules, while the next
// batch is being read. Three batches go round, so memory stays bounded and
// nothing is zeroed anew after the first ones.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fast_reading.h"
#include "form_reader.h"

namespace orvik {

class ParallelReading {
 public:
  // apply gets each line (its line end cut) and what it reads as.
  using Apply = std::function<void(const char *line, const RangeLine &read)>;

  ParallelReading(const RunOptions &options, Apply apply);
  ~ParallelReading();  // the reading thread stopped and joined
  ParallelReading(const ParallelReading &) = delete;
  ParallelReading &operator=(const ParallelReading &) = delete;

  // Takes a copy of one input piece (length bytes, its line end already
  // cut); first tells the first piece of an input. Lines read meanwhile
  // are applied.
  void take(const char *piece, size_t length, bool first);

  // Takes a copy of a block of whole pieces (LineSource::feed_blocks),
  // which the reading thread cuts; input_start as there.
  void take_block(const char *text, size_t size, bool input_start);

  // Applies every line taken. Throws std::bad_alloc when the reading
  // thread ran out of memory.
  void finish();

  // Whether this machine has a second processor for the reading thread.
  static bool worth_it();

 private:
  struct Line {
    uint32_t at, length;  // in Batch::text, for a piece taken alone
    bool first;
    const char *line;  // set by the reading thread
    RangeLine read;
    uint32_t code_at, name_at;  // in Batch::texts; name_at kNoName without one
  };
  struct Batch {
    std::string text;          // the pieces, each ended by a NUL; or a block
    bool block = false;        // text is a block of whole pieces, still to be cut
    bool input_start = false;  // of the block
    std::string spill;         // the block's pieces that end without a line feed
    std::string texts;         // the codes and names the lines read as
    std::vector<Line> lines;
    bool failed = false;  // the reading ran out of memory
  };
  static constexpr uint32_t kNoName = UINT32_MAX;
  static constexpr size_t kBatches = 3;
  static constexpr size_t kBatchText = size_t{1} << 18;
  static constexpr size_t kReadBlock = (size_t{1} << 18) + 1023;  // read_blocks' largest

  void publish();
  void apply_oldest();
  void read_batches();
  void read_batch(Batch &batch);
  void read_line(Batch &batch, Line &line);

  std::unique_ptr<FormReader> careful_;
  std::unique_ptr<FastReading> fast_;
  Apply apply_;
  Batch batches_[kBatches];
  // Batches filled, read and applied so far; batch n is batches_[n % kBatches].
  uint64_t filled_ = 0, read_ = 0, applied_ = 0;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable to_read_, to_apply_;
  std::thread reader_;
};

}  // namespace orvik

// The reading thread and the hand-over of its batches.
#include "parallel_reading.h"

#include <cstring>
#include <new>

#include "input_lines.h"

namespace orvik {

ParallelReading::ParallelReading(const RunOptions &options, Apply apply)
    : careful_(make_reader(options)), fast_(make_fast_reading(options)), apply_(std::move(apply)) {
  // Room for a batch of usual lines from the start: a vector that grew
  // would give its old block back, and each block taken anew costs its
  // first touch of every page again.
  for (Batch &batch : batches_) {
    batch.text.reserve(kBatchText + kReadBlock);
    batch.spill.reserve(kReadBlock + kReadBlock / 1023 + 2);
    batch.lines.reserve(kBatchText / 16);
    batch.texts.reserve(kBatchText / 4);
  }
  reader_ = std::thread([this] { read_batches(); });
}

ParallelReading::~ParallelReading() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  to_read_.notify_one();
  reader_.join();
}

bool ParallelReading::worth_it() { return std::thread::hardware_concurrency() > 1; }

void ParallelReading::take(const char *piece, size_t length, bool first) {
  Batch &batch = batches_[filled_ % kBatches];
  batch.lines.push_back(Line{static_cast<uint32_t>(batch.text.size()),
                             static_cast<uint32_t>(length), first, nullptr, RangeLine(), 0,
                             kNoName});
  batch.text.append(piece, length);
  batch.text.push_back('\0');
  if (batch.text.size() >= kBatchText) publish();
}

void ParallelReading::take_block(const char *text, size_t size, bool input_start) {
  if (!batches_[filled_ % kBatches].lines.empty()) publish();  // pieces taken alone go first
  Batch &batch = batches_[filled_ % kBatches];
  batch.text.assign(text, size);
  batch.block = true;
  batch.input_start = input_start;
  publish();
}

// Hands the batch being filled to the reading thread; once every batch is
// out, the oldest is applied to make room.
void ParallelReading::publish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++filled_;
  }
  to_read_.notify_one();
  if (filled_ - applied_ == kBatches) apply_oldest();
}

void ParallelReading::apply_oldest() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    to_apply_.wait(lock, [this] { return read_ > applied_; });
  }
  Batch &batch = batches_[applied_ % kBatches];
  if (batch.failed) throw std::bad_alloc();
  for (Line &line : batch.lines) {
    line.read.range.code = batch.texts.data() + line.code_at;
    line.read.range.name = line.name_at == kNoName ? nullptr : batch.texts.data() + line.name_at;
    apply_(line.line, line.read);
  }
  batch.text.clear();
  batch.block = false;
  batch.spill.clear();
  batch.texts.clear();
  batch.lines.clear();
  ++applied_;  // only this thread reads it
}

void ParallelReading::finish() {
  const Batch &last = batches_[filled_ % kBatches];
  if (!last.lines.empty() || last.block) publish();
  while (applied_ < filled_) apply_oldest();
}

void ParallelReading::read_batches() {
  for (;;) {
    uint64_t next = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      to_read_.wait(lock, [this] { return stop_ || read_ < filled_; });
      if (read_ == filled_) return;  // stopped, nothing left to read
      next = read_;
    }
    read_batch(batches_[next % kBatches]);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++read_;
    }
    to_apply_.notify_one();
  }
}

// Reads each line as FamilyTables::take would, and keeps the texts the
// result points to (they lie in the readers until their next line).
void ParallelReading::read_batch(Batch &batch) {
  try {
    if (batch.block) {
      // Room for every piece to spill: the pointers into it must hold.
      batch.spill.reserve(batch.text.size() + batch.text.size() / 1023 + 2);
      cut_block(batch.text.data(), batch.text.size(), batch.input_start, &batch.spill,
                [this, &batch](const char *piece, size_t length, bool first) {
                  batch.lines.push_back(Line{0, static_cast<uint32_t>(length), first, piece,
                                             RangeLine(), 0, kNoName});
                  read_line(batch, batch.lines.back());
                });
      return;
    }
    for (Line &line : batch.lines) {
      line.line = batch.text.data() + line.at;
      read_line(batch, line);
    }
  } catch (const std::bad_alloc &) {
    batch.failed = true;
  }
}

void ParallelReading::read_line(Batch &batch, Line &line) {
  if (!fast_ || !fast_->read(line.line, line.length, line.first, &line.read))
    careful_->read(line.line, line.first, &line.read);
  const Range<velmor::uint128> &range = line.read.range;
  line.code_at = static_cast<uint32_t>(batch.texts.size());
  batch.texts.append(range.code, strlen(range.code) + 1);
  if (range.name != nullptr) {
    line.name_at = static_cast<uint32_t>(batch.texts.size());
    batch.texts.append(range.name, strlen(range.name) + 1);
  }
}

}  // namespace orvik

// Where a run's lines come from: the operands read as they arrive, or a
// copy of them held in memory for a run that reads its input twice.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "input_files.h"

namespace orvik {

// The input in pieces as fgets cuts them: a line with its line end, or at
// most 1023 bytes of a longer line, ended by a NUL, with its length; first
// marks the first piece of each input (where a header line stands). The
// piece lies in the source's buffer for the call only.
class LineSource {
 public:
  using Take = std::function<void(char *piece, size_t length, bool first)>;

  // Hands every piece of every input to take, in order; false after a
  // logged failure (an input that cannot be opened or read).
  virtual bool feed(const Take &take) = 0;

  // Blocks of whole pieces: cut by cut_block, they give the pieces feed
  // gives, in order; input_start marks the block an input begins with.
  // The block lies in the source's buffer for the call only.
  using TakeBlock = std::function<void(const char *text, size_t size, bool input_start)>;
  virtual bool feeds_blocks() const { return false; }
  // As feed, in blocks; only where feeds_blocks().
  virtual bool feed_blocks(const TakeBlock &) { return false; }

 protected:
  ~LineSource() = default;
};

// Cuts a block of whole pieces (from feed_blocks) into the pieces feed
// would give: each with its line end cut, ended by a NUL in place where its
// line feed stood, or, for a piece without one, copied into *spill (which
// must not grow while the pieces are in use: it is reserved for the block).
// first is the first piece's flag. Gives each piece, length and flag to
// take, in order.
void cut_block(char *text, size_t size, bool first, std::string *spill,
               const std::function<void(const char *piece, size_t length, bool first)> &take);

// The operands read once, as they are handed over.
class StreamedInput final : public LineSource {
 public:
  explicit StreamedInput(velmor_tools::InputFiles &inputs) : inputs_(inputs) {}
  bool feed(const Take &take) override;
  bool feeds_blocks() const override { return true; }
  bool feed_blocks(const TakeBlock &take) override;

 private:
  velmor_tools::InputFiles &inputs_;
};

// The operands read whole into memory first, then handed over as often as
// asked. Standard input cannot be read twice; a copy in memory needs no file
// of its own (none to plant a link under, none to fill a disk with), and a
// country list of a quarter of a million lines takes about 15 MB.
class HeldInput final : public LineSource {
 public:
  HeldInput() = default;
  ~HeldInput();
  HeldInput(const HeldInput &) = delete;
  HeldInput &operator=(const HeldInput &) = delete;

  // Reads every input; false after a logged failure.
  bool hold(velmor_tools::InputFiles &inputs);
  bool feed(const Take &take) override;

 private:
  bool append(FILE *in, const velmor_tools::InputFiles &inputs);
  bool grow(size_t room);

  char *text_ = nullptr;
  size_t size_ = 0;
  size_t room_ = 0;
  // Where each input ends in text_: each is cut into pieces on its own, as
  // when streamed, so the last line of one never joins the first of the next.
  // text_ always has a byte after size_, for the NUL after the last piece.
  std::vector<size_t> ends_;
};

}  // namespace orvik

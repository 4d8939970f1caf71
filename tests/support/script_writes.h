// iplookup run in the test process on a stream that records where each of
// its writes ended, with the buffer glibc gives a pipe (PIPE_BUF bytes).
// When iplookup dies, a reader of the pipe has its output up to one of
// those ends: writes of up to PIPE_BUF bytes are never split.
#pragma once

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "iplookup.h"
#include "test_support.h"

namespace testing_support {

struct RecordedOutput {
  std::string text;
  std::vector<size_t> ends;  // where each write ended, ascending
  int status = -1;
};

inline ssize_t record_write(void *cookie, const char *data, size_t size) {
  auto *recorded = static_cast<RecordedOutput *>(cookie);
  recorded->text.append(data, size);
  recorded->ends.push_back(recorded->text.size());
  return static_cast<ssize_t>(size);
}

// iplookup -r ROOT ARGS..., its standard error thrown away.
inline RecordedOutput iplookup_writes(const TempRoot &root, std::vector<std::string> args) {
  const ScopedCwd back_here_after(".");  // iplookup enters the root
  RecordedOutput recorded;
  FILE *out = fopencookie(&recorded, "w", {nullptr, record_write, nullptr, nullptr});
  setvbuf(out, nullptr, _IOFBF, PIPE_BUF);
  FILE *err = fopen("/dev/null", "we");
  args.insert(args.begin(), {"iplookup", "-r", root.path()});
  std::vector<char *> argv;
  for (std::string &arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  recorded.status = iplookup_main(static_cast<int>(args.size()), argv.data(), root.path().c_str(),
                                  stdin, out, err);
  fclose(out);
  fclose(err);
  return recorded;
}

}  // namespace testing_support

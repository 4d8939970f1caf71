// Costs of the hit counter (with its locked flush), the time and value texts
// and a move across file systems.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <string>

#include "misc.h"
#include "misc/internal/install_root.h"
#include "str.h"

namespace {

// A scratch root with "velmor/logs" for the counter file; the working
// directory moves there so that log files land in it too.
class ScratchRoot {
 public:
  ScratchRoot() {
    char templ[] = "/tmp/velmor-bench.XXXXXX";
    path_ = mkdtemp(templ);
    mkdir((path_ + "/logs").c_str(), 0755);
    mkdir((path_ + "/velmor").c_str(), 0755);
    mkdir((path_ + "/velmor/logs").c_str(), 0755);
    if (chdir(path_.c_str()) != 0) abort();
    velmor::set_install_root(path_.c_str());
  }
  ~ScratchRoot() {
    hit_count("bench", true);  // closes the counter file
    velmor::set_install_root(nullptr);
    remove_tree(path_.c_str());
  }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

// One hit, with every 1000th paying for the locked read-modify-write.
void BM_HitCount(benchmark::State &state) {
  ScratchRoot root;
  for (auto _ : state) benchmark::DoNotOptimize(hit_count("bench", false));
}
BENCHMARK(BM_HitCount);

// A flush on close: open, lock, read, rewrite, unlock, close.
void BM_HitCountClose(benchmark::State &state) {
  ScratchRoot root;
  for (auto _ : state) benchmark::DoNotOptimize(hit_count("bench", true));
}
BENCHMARK(BM_HitCountClose);

void BM_TimeText(benchmark::State &state) {
  int64_t t = 1719837296;
  for (auto _ : state) benchmark::DoNotOptimize(time_text(t++, 4));
}
BENCHMARK(BM_TimeText);

void BM_SizeText(benchmark::State &state) {
  int64_t n = 123456789;
  for (auto _ : state) benchmark::DoNotOptimize(str_size_text(n++));
}
BENCHMARK(BM_SizeText);

void BM_DurationText(benchmark::State &state) {
  int32_t s = 100000;
  for (auto _ : state) benchmark::DoNotOptimize(str_duration_text(s++));
}
BENCHMARK(BM_DurationText);

// Moving a file of the given size from /dev/shm into the scratch root: the
// copy in 128 KiB blocks into a new file, its sync, the rename over the
// destination, the sync of the directory and the unlink of the source.
void BM_MoveFileAcross(benchmark::State &state) {
  ScratchRoot root;
  struct stat shm, tmp;
  if (stat("/dev/shm", &shm) != 0 || stat(root.path().c_str(), &tmp) != 0 ||
      shm.st_dev == tmp.st_dev) {
    state.SkipWithError("no second file system at /dev/shm");
    return;
  }
  std::string source = "/dev/shm/velmor-bench-move." + std::to_string(getpid());
  std::string data(static_cast<size_t>(state.range(0)), 'x');
  for (auto _ : state) {
    state.PauseTiming();
    int fd = open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) abort();
    close(fd);
    state.ResumeTiming();
    if (move_file(source.c_str(), "moved") != 0) abort();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MoveFileAcross)->RangeMultiplier(8)->Range(64 << 10, 4 << 20);

}  // namespace

BENCHMARK_MAIN();

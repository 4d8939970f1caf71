// New files beside a path under names no one else can choose for them, and
// the directory sync that makes their rename durable.
#include "misc/internal/temp_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "misc/internal/descriptors.h"

namespace velmor {
namespace {

constexpr int kAttempts = 100;
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
constexpr size_t kSuffixLength = 6;

// Random letters and digits; when the kernel has no randomness to give yet,
// the clock and the process id stand in (O_EXCL keeps a guessed name safe,
// randomness only keeps others from taking every name first).
void random_suffix(char (&suffix)[kSuffixLength + 1]) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[kSuffixLength];
  if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t mix = static_cast<uint64_t>(now.tv_nsec) * 0x9E3779B97F4A7C15u ^
                   static_cast<uint64_t>(getpid()) << 32;
    for (unsigned char &byte : bytes) {
      byte = static_cast<unsigned char>(mix);
      mix = mix >> 8 | mix << 56;
    }
  }
  for (size_t i = 0; i < kSuffixLength; ++i) suffix[i] = kLetters[bytes[i] % (sizeof kLetters - 1)];
  suffix[kSuffixLength] = '\0';
}

}  // namespace

bool create_temp_beside(const char *target, TempFile &temp) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    char suffix[kSuffixLength + 1];
    random_suffix(suffix);
    if (!build_path(temp.path, {"cannot write to "}, {target, ".", suffix})) return false;
    temp.fd = above_standard_descriptors(open(temp.path.c_str(), kCreateFlags, 0666));
    if (temp.fd >= 0) return true;
    if (errno != EEXIST) return false;
  }
  return false;  // errno is EEXIST
}

int create_file_anew(const char *path) {
  int fd = open(path, kCreateFlags, 0666);
  if (fd < 0 && errno == EEXIST) {
    if (unlink(path) != 0) {
      errno = EEXIST;  // the name's own problem, not the removal's
      return -1;
    }
    fd = open(path, kCreateFlags, 0666);
  }
  return above_standard_descriptors(fd);
}

bool sync_dir(const char *dir) {
  int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool synced = fsync(fd) == 0 || errno == EINVAL;
  int error = errno;
  close(fd);
  errno = error;
  return synced;
}

}  // namespace velmor

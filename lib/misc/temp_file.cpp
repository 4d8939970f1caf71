// New files beside a path under names no one else can choose for them.
#include "misc/internal/temp_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace velmor {
namespace {

constexpr int kAttempts = 100;
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
    temp.fd = open(temp.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (temp.fd >= 0) return true;
    if (errno != EEXIST) return false;
  }
  return false;  // errno is EEXIST
}

}  // namespace velmor

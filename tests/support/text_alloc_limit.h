// Runs a check in a child process whose data segment limit is far below
// what it already uses, so that every further large allocation fails.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "misc.h"

namespace testing_support {

// True when check() returned true in the child. Blocks that the parent made
// before the call are there in the child as well.
inline bool passes_without_memory(const std::function<bool()> &check) {
  pid_t pid = fork();
  if (pid == 0) {
    // Small blocks (the logger's among them) keep working: the allocator's
    // pools for them are set up before the limit. The address sanitizer
    // would end the process if it had to set one up afterwards.
    log_msg(LOG_CLOSE, "%s", "");
    for (size_t size = 8; size <= 8192; size += 8) std::free(std::malloc(size));
    struct rlimit limit = {1 << 20, 1 << 20};
    setrlimit(RLIMIT_DATA, &limit);
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace testing_support

// A test program that uses this defines, once, so that under the address
// sanitizer a failed allocation returns null instead of aborting:
#define TEXT_ALLOW_FAILED_ALLOCATIONS                                     \
  extern "C" __attribute__((used)) const char *__asan_default_options() { \
    return "allocator_may_return_null=1";                                 \
  }

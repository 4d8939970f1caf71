// Selects a UTF-8 locale for the lifetime of the object and restores the
// previous one afterwards; tests skip themselves when none is installed.
#pragma once

#include <clocale>
#include <string>

namespace testing_support {

class ScopedUtf8Locale {
 public:
  ScopedUtf8Locale() : saved_(std::setlocale(LC_ALL, nullptr)) {
    for (const char *name : {"C.utf8", "C.UTF-8", "en_US.UTF-8"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) {
        active_ = true;
        return;
      }
    }
  }
  ~ScopedUtf8Locale() { std::setlocale(LC_ALL, saved_.c_str()); }
  ScopedUtf8Locale(const ScopedUtf8Locale &) = delete;
  ScopedUtf8Locale &operator=(const ScopedUtf8Locale &) = delete;

  // False when no UTF-8 locale is installed.
  bool active() const { return active_; }

 private:
  std::string saved_;
  bool active_ = false;
};

}  // namespace testing_support

// Inside a test: selects UTF-8 for the rest of the test or skips it.
#define REQUIRE_UTF8_LOCALE(guard)         \
  testing_support::ScopedUtf8Locale guard; \
  if (!guard.active()) GTEST_SKIP() << "no UTF-8 locale (C.utf8) is installed here"

// GoogleTest customisation for the Windows cross build (installed by
// tools/setup-deps.sh as gtest/internal/custom/gtest-port.h). mingw-w64's
// default win32 thread model has no std::mutex or std::condition_variable,
// which GoogleTest's start gate for its own helper threads is built on; this
// gate waits on an atomic flag instead. Our tests never start such threads.
#ifndef GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
#define GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1
namespace testing {
namespace internal {
class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { mNotified.store(true); }
  void WaitForNotification() {
    while (!mNotified.load()) {
    }
  }

 private:
  std::atomic<bool> mNotified{false};
};
}  // namespace internal
}  // namespace testing
#endif

#endif  // GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_

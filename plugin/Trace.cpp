#include "plugin/Trace.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#ifdef _WIN32
#include <chrono>

#include "plugin/RecursiveLock.h"
#else
#include <mutex>
#endif

namespace trace_detail {
std::atomic<int> gSinkState{-1};

namespace {
std::FILE* gFile = nullptr;
#ifdef _WIN32
// No std::mutex in mingw's win32 thread model: a critical section.
RecursiveLock gMutex;
using Guard = LockGuard;
#else
std::mutex gMutex;
using Guard = std::lock_guard<std::mutex>;
#endif
}  // namespace

bool DecideSink() {
  Guard guard(gMutex);
  int s = gSinkState.load();
  if (s >= 0) return s != 0;
  const char* path = std::getenv("DUV_TRACE");
  if (path && *path) gFile = std::fopen(path, "a");
  gSinkState.store(gFile ? 1 : 0);
  return gFile != nullptr;
}
}  // namespace trace_detail

void TracePoint(const char* location, int line, const char* format, ...) {
  using namespace trace_detail;
  if (!TraceEnabled()) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
#ifdef _WIN32
  const long long us = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
  const long long seconds = us / 1000000;
  const long micros = static_cast<long>(us % 1000000);
#else
  std::timespec now{};
  std::timespec_get(&now, TIME_UTC);
  const long long seconds = static_cast<long long>(now.tv_sec);
  const long micros = now.tv_nsec / 1000;
#endif
  Guard guard(gMutex);
  std::fprintf(gFile, "%lld.%06ld %s:%d %s\n", seconds, micros, location, line, text);
  std::fflush(gFile);
}

const char* TraceTimestamp() {
  static char buffer[64];
  std::time_t t = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  char stamp[32];
  char zone[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d %H:%M ", &local);
  std::strftime(zone, sizeof zone, "%Z", &local);
  // Keep only the capitals: a zone named in words becomes its initials.
  char initials[32];
  std::size_t n = 0;
  for (const char* p = zone; *p && n + 1 < sizeof initials; ++p)
    if (std::isupper(static_cast<unsigned char>(*p))) initials[n++] = *p;
  initials[n] = '\0';
  std::snprintf(buffer, sizeof buffer, "%s%s", stamp, initials);
  return buffer;
}

const char* OpcodeName(int) { return ""; }

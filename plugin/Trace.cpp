#include "plugin/Trace.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace trace_detail {
std::atomic<int> gSinkState{-1};

namespace {
std::FILE* gFile = nullptr;
std::mutex gMutex;
}  // namespace

bool DecideSink() {
  std::lock_guard<std::mutex> guard(gMutex);
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
  std::timespec now{};
  std::timespec_get(&now, TIME_UTC);
  std::lock_guard<std::mutex> guard(gMutex);
  std::fprintf(gFile, "%lld.%06ld %s:%d %s\n", static_cast<long long>(now.tv_sec),
               now.tv_nsec / 1000, location, line, text);
  std::fflush(gFile);
}

const char* TraceTimestamp() {
  static char buffer[64];
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
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

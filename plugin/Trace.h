// Trace points: every important operation of the core and the binding reports
// its place and a printf-style argument list. By default the sink discards
// everything at the cost of one flag test. Setting the environment variable
// DUV_TRACE to a file path makes the sink append one line per trace point
// (time, location, line, formatted text): what a user sends when a host misbehaves.
#pragma once

#include <atomic>

namespace trace_detail {
extern std::atomic<int> gSinkState;  // -1 not decided yet, 0 off, 1 writing
bool DecideSink();
}  // namespace trace_detail

// True when a sink writes trace lines.
inline bool TraceEnabled() {
  int s = trace_detail::gSinkState.load(std::memory_order_relaxed);
  if (s < 0) return trace_detail::DecideSink();
  return s != 0;
}

// The sink. Thread-safe; never allocates on the caller's behalf beyond a stack line.
void TracePoint(const char* location, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// "%Y%m%d %H:%M " of the local time followed by the upper-case letters of the
// time-zone name, in a process-wide buffer. Called only under the creation lock.
const char* TraceTimestamp();

// Name of a dispatcher opcode for trace lines: always the empty text.
const char* OpcodeName(int opcode);

#define TRACE(location, ...)                                           \
  do {                                                                 \
    if (TraceEnabled()) TracePoint(location, __LINE__, __VA_ARGS__);   \
  } while (0)

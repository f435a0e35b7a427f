#include "dsp/Prefault.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

#if defined(__linux__) && !defined(MADV_POPULATE_WRITE)
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older headers lack the name
#endif

void PrefaultForWriting(void* begin, std::size_t bytes) {
#ifdef __linux__
  if (!begin || bytes == 0) return;
  // madvise wants whole pages: the pages the range lies in. A page it shares
  // with other memory of the process is only populated, never changed.
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(begin) & ~(page - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(begin) + bytes;
  // A failure (an old kernel, memory short) leaves the pages to the writes.
  madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
  (void)begin;
  (void)bytes;
#endif
}

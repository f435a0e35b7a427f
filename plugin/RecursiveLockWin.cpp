// RecursiveLock as a critical section: recursive by nature, and the same
// primitive the Windows editor's thread and the host's threads share.
#include "plugin/RecursiveLock.h"

#include <windows.h>

#include <new>

namespace {
CRITICAL_SECTION* Section(unsigned char* storage) {
  return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}
}  // namespace

static_assert(sizeof(CRITICAL_SECTION) <= 40 && alignof(CRITICAL_SECTION) <= 8,
              "RecursiveLock's storage must hold a CRITICAL_SECTION");

RecursiveLock::RecursiveLock() { InitializeCriticalSection(new (mSection) CRITICAL_SECTION); }
RecursiveLock::~RecursiveLock() { DeleteCriticalSection(Section(mSection)); }
void RecursiveLock::Lock() { EnterCriticalSection(Section(mSection)); }
bool RecursiveLock::TryLock() { return TryEnterCriticalSection(Section(mSection)) != 0; }
void RecursiveLock::Unlock() { LeaveCriticalSection(Section(mSection)); }

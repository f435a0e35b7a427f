// The recursive mutex behind the instance lock and the creation lock.
// The same thread may take it again while holding it (the dispatcher holds it
// while calling operations that take it themselves). Never throws.
// On Windows it is a critical section (mingw's default thread model has no
// std::mutex); the header stays free of <windows.h>.
#pragma once

#ifdef _WIN32

class RecursiveLock {
 public:
  RecursiveLock();   // InitializeCriticalSection
  ~RecursiveLock();  // DeleteCriticalSection
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void Lock();
  // Takes the lock only when that needs no waiting (the editor's thread uses
  // it so that it never waits on a lock a closing host thread holds).
  bool TryLock();
  void Unlock();

 private:
  // Room for a CRITICAL_SECTION (40 bytes on 64-bit Windows; checked where it is used).
  alignas(8) unsigned char mSection[40];
};

#else

#include <mutex>

class RecursiveLock {
 public:
  RecursiveLock() = default;
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void Lock() { mMutex.lock(); }
  // Takes the lock only when that needs no waiting (the editor's thread uses
  // it so that it never waits on a lock a closing host thread holds).
  bool TryLock() { return mMutex.try_lock(); }
  void Unlock() { mMutex.unlock(); }

 private:
  std::recursive_mutex mMutex;
};

#endif

// Holds a RecursiveLock for the guard's scope.
class LockGuard {
 public:
  explicit LockGuard(RecursiveLock& lock) : mLock(lock) { mLock.Lock(); }
  ~LockGuard() { mLock.Unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  RecursiveLock& mLock;
};

// The recursive mutex behind the instance lock and the creation lock.
// The same thread may take it again while holding it (the dispatcher holds it
// while calling operations that take it themselves). Never throws.
#pragma once

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

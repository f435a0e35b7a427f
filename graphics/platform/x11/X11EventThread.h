// The thread of one open editor window. It alone reads its X connection (so
// Xlib needs no thread support). It sleeps on the connection and a wake pipe
// until events arrive, someone wakes it, or the redraw period has passed, and
// then runs one pass:
//   1. with events or a due tick: takes the instance lock WITHOUT WAITING
//      (try-lock, retried every millisecond, abandoned as soon as a stop is
//      pending), runs the locked step on the batch, releases the lock;
//   2. runs the unlocked step (X requests that may wait on the server), flushes
//      the connection and counts the pass.
// So a thread that holds the instance lock can always Stop() it: the window's
// thread never waits for that lock once a stop is pending.
//
// When the connection is lost (the server went away: the socket hangs up, or
// Xlib reports it through X11Errors) the thread makes no further call on it,
// runs the lost step once and ends; Lost() answers true from then on. The
// owner treats the window as closed and tears it down without requests.
//
// A start step, when given, runs first on the thread, without the lock: work
// that needs no instance state (the editor's images decoding) then never
// holds up the host's audio, which waits on the instance lock.
//
// Call order: Init, Start once, then Wake and WaitForPasses from any thread,
// Stop from any thread but the window's own (it joins). Destroying stops it.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "plugin/RecursiveLock.h"

namespace duv_x11 {

class EventThread {
 public:
  // events: the batch read since the last pass, in arrival order (possibly
  // empty); tick: the redraw period has come round. Runs under the lock.
  using LockedStep = std::function<void(std::vector<XEvent>& events, bool tick)>;
  using UnlockedStep = std::function<void()>;
  // Runs once on the window's thread, without the lock, when the connection is lost.
  using LostStep = std::function<void()>;

  EventThread() = default;
  EventThread(const EventThread&) = delete;
  EventThread& operator=(const EventThread&) = delete;
  ~EventThread();  // Stop, then closes the wake pipe

  // Makes the wake pipe; false when the system has no descriptors left.
  bool Init();
  // Starts the thread on dpy (which it then owns for reading) with a tick
  // every periodMs milliseconds, the first one period after the start. The
  // start step, if any, runs before the first pass.
  // Throws (std::system_error, std::bad_alloc) when the thread cannot be
  // made; nothing is running then.
  void Start(Display* dpy, RecursiveLock* instanceLock, int periodMs, LockedStep locked,
             UnlockedStep unlocked, LostStep lost, UnlockedStep startStep = nullptr);
  // Asks the thread to end, wakes it and joins it. Safe while holding the
  // instance lock; a second call does nothing more.
  void Stop();
  // Makes the thread run a pass soon. Any thread; never blocks.
  void Wake();
  // Whether the caller is the window's thread.
  bool OnThisThread() const;
  // Whether the thread ended because its connection was lost. Any thread.
  bool Lost() const { return mLost.load(); }
  // Blocks until the thread has run n more passes (at most timeoutMs); false
  // on timeout and once the connection is lost. Never call it while holding
  // the instance lock (the passes could not take it), nor while another
  // thread may Stop and destroy this.
  bool WaitForPasses(int n, int timeoutMs);

 private:
  void Run(Display* dpy, int periodMs);
  bool AcquireInstanceLock();
  // Checks the connection after a call on it; on loss marks it and runs the lost step.
  bool CheckLost(Display* dpy, bool hungUp = false);

  std::thread mThread;
  std::atomic<bool> mStop{false};
  std::atomic<bool> mLost{false};
  int mWakeRead = -1, mWakeWrite = -1;
  RecursiveLock* mLock = nullptr;
  LockedStep mLocked;
  UnlockedStep mUnlocked;
  UnlockedStep mStartStep;
  LostStep mOnLost;

  std::mutex mPassMutex;
  std::condition_variable mPassCv;
  long long mPasses = 0;  // guarded by mPassMutex
};

}  // namespace duv_x11

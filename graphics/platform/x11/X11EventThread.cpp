#include "graphics/platform/x11/X11EventThread.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <new>

#include "graphics/platform/x11/X11Errors.h"

namespace duv_x11 {

using Clock = std::chrono::steady_clock;

EventThread::~EventThread() {
  Stop();
  if (mWakeRead >= 0) close(mWakeRead);
  if (mWakeWrite >= 0) close(mWakeWrite);
}

bool EventThread::Init() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  mWakeRead = fds[0];
  mWakeWrite = fds[1];
  return true;
}

void EventThread::Start(Display* dpy, RecursiveLock* instanceLock, int periodMs, LockedStep locked,
                        UnlockedStep unlocked, LostStep lost, UnlockedStep startStep) {
  mLock = instanceLock;
  mLocked = std::move(locked);
  mUnlocked = std::move(unlocked);
  mOnLost = std::move(lost);
  mStartStep = std::move(startStep);
  mThread = std::thread([this, dpy, periodMs] { Run(dpy, periodMs); });
}

void EventThread::Stop() {
  mStop = true;
  Wake();
  if (mThread.joinable()) mThread.join();
}

void EventThread::Wake() {
  if (mWakeWrite < 0) return;
  char c = 1;
  (void)!write(mWakeWrite, &c, 1);  // a full pipe already wakes the thread
}

bool EventThread::OnThisThread() const {
  return mThread.joinable() && std::this_thread::get_id() == mThread.get_id();
}

bool EventThread::WaitForPasses(int n, int timeoutMs) {
  std::unique_lock<std::mutex> lk(mPassMutex);
  long long target = mPasses + n;
  Wake();
  mPassCv.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                   [&] { return mPasses >= target || mLost.load(); });
  return mPasses >= target && !mLost.load();
}

bool EventThread::AcquireInstanceLock() {
  while (!mLock->TryLock()) {
    if (mStop.load()) return false;
    // A Wake (a stop, most likely) cuts the millisecond short.
    pollfd p{mWakeRead, POLLIN, 0};
    poll(&p, 1, 1);
  }
  if (mStop.load()) {
    mLock->Unlock();
    return false;
  }
  return true;
}

bool EventThread::CheckLost(Display* dpy, bool hungUp) {
  if (!hungUp && !ConnectionLost(dpy)) return false;
  if (mOnLost) mOnLost();
  {
    // Whoever waits for passes learns now that none will come.
    std::lock_guard<std::mutex> g(mPassMutex);
    mLost = true;
  }
  mPassCv.notify_all();
  return true;
}

void EventThread::Run(Display* dpy, int periodMs) {
  const auto period = std::chrono::milliseconds(periodMs);
  auto next = Clock::now() + period;
  const int xfd = ConnectionNumber(dpy);
  std::vector<XEvent> events;
  if (mStartStep) {
    // Nothing may leave the thread; work the step could not do is done later
    // where it is needed.
    try {
      mStartStep();
    } catch (...) {
    }
  }
  while (!mStop.load()) {
    const int pending = XPending(dpy);
    if (CheckLost(dpy)) return;
    if (!pending) {
      auto now = Clock::now();
      // +1: poll's timeout truncates, and waking a little late beats spinning early.
      int timeoutMs =
          next > now
              ? static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count()) + 1
              : 0;
      pollfd fds[2] = {{xfd, POLLIN, 0}, {mWakeRead, POLLIN, 0}};
      poll(fds, 2, timeoutMs);
      // A server that went away hangs the socket up; Xlib may not have noticed yet,
      // and poll would wake at once forever.
      if (CheckLost(dpy, (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)) return;
    }
    char drain[64];
    while (read(mWakeRead, drain, sizeof drain) > 0) {
    }
    if (mStop.load()) break;
    events.clear();
    // XNextEvent only with an event queued: on a lost connection it has none to give.
    while (XPending(dpy) > 0 && !ConnectionLost(dpy)) {
      XEvent e;
      XNextEvent(dpy, &e);
      try {
        events.push_back(e);
      } catch (const std::bad_alloc&) {
        break;  // no memory: this event is dropped, the rest waits in Xlib's queue
      }
    }
    if (CheckLost(dpy)) return;
    auto now = Clock::now();
    bool tick = now >= next;
    if (tick) {
      next += period;
      if (next <= now) next = now + period;  // after a stall: no burst of ticks
    }
    if (!events.empty() || tick) {
      if (!AcquireInstanceLock()) break;
      // Nothing may leave this thread's function (that would end the host):
      // a step that fails (memory running out) is skipped and the next pass
      // tries again.
      try {
        mLocked(events, tick);
      } catch (...) {
      }
      mLock->Unlock();
    }
    if (CheckLost(dpy)) return;  // the locked step's requests may have found the loss
    try {
      mUnlocked();
    } catch (...) {
    }
    XFlush(dpy);
    if (CheckLost(dpy)) return;
    {
      std::lock_guard<std::mutex> g(mPassMutex);
      ++mPasses;
    }
    mPassCv.notify_all();
  }
}

}  // namespace duv_x11

#include "graphics/platform/x11/X11EventThread.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

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
                        UnlockedStep unlocked) {
  mLock = instanceLock;
  mLocked = std::move(locked);
  mUnlocked = std::move(unlocked);
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
  return mPassCv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return mPasses >= target; });
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

void EventThread::Run(Display* dpy, int periodMs) {
  const auto period = std::chrono::milliseconds(periodMs);
  auto next = Clock::now() + period;
  const int xfd = ConnectionNumber(dpy);
  std::vector<XEvent> events;
  while (!mStop.load()) {
    if (!XPending(dpy)) {
      auto now = Clock::now();
      // +1: poll's timeout truncates, and waking a little late beats spinning early.
      int timeoutMs =
          next > now
              ? static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count()) + 1
              : 0;
      pollfd fds[2] = {{xfd, POLLIN, 0}, {mWakeRead, POLLIN, 0}};
      poll(fds, 2, timeoutMs);
    }
    char drain[64];
    while (read(mWakeRead, drain, sizeof drain) > 0) {
    }
    if (mStop.load()) break;
    events.clear();
    while (XPending(dpy)) {
      XEvent e;
      XNextEvent(dpy, &e);
      events.push_back(e);
    }
    auto now = Clock::now();
    bool tick = now >= next;
    if (tick) {
      next += period;
      if (next <= now) next = now + period;  // after a stall: no burst of ticks
    }
    if (!events.empty() || tick) {
      if (!AcquireInstanceLock()) break;
      mLocked(events, tick);
      mLock->Unlock();
    }
    mUnlocked();
    XFlush(dpy);
    {
      std::lock_guard<std::mutex> g(mPassMutex);
      ++mPasses;
    }
    mPassCv.notify_all();
  }
}

}  // namespace duv_x11

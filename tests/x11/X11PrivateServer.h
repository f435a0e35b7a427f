// A private X server for tests that kill it (started and stopped by process
// id, it goes with the process that started it), and a child process to run
// what may end or crash the process that runs it.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

// An Xvfb of the caller's own; it goes with the caller's process.
class PrivateXServer {
 public:
  bool Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::string fdArg = std::to_string(fds[1]);
    mPid = fork();
    if (mPid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      close(fds[0]);
      int devNull = open("/dev/null", O_WRONLY);
      dup2(devNull, 2);
      execlp("Xvfb", "Xvfb", "-displayfd", fdArg.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (mPid > 0 && poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return false;
    mName = ":" + number;
    return true;
  }
  void Kill() {
    if (mPid <= 0) return;
    kill(mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
    mPid = -1;
  }
  ~PrivateXServer() { Kill(); }
  const std::string& Name() const { return mName; }

 private:
  pid_t mPid = -1;
  std::string mName;
};


// Runs body in a child process: an empty answer is success, anything else
// the failure's description. The child must end within 60 s.
inline void ExpectChildSucceeds(const std::function<std::string()>& body) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(fds[0]);
    std::string failure = body();
    if (!failure.empty()) (void)!write(fds[1], failure.data(), failure.size());
    _exit(failure.empty() ? 0 : 1);
  }
  close(fds[1]);
  std::string message;
  char buf[256];
  pollfd p{fds[0], POLLIN, 0};
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < end && poll(&p, 1, 100) >= 0) {
    if (!(p.revents & (POLLIN | POLLHUP))) continue;
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    message.append(buf, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the pipe closes a moment before the child is reaped
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "the host process hung; " << message;
  }
  if (WIFSIGNALED(status)) FAIL() << "the host process died of signal " << WTERMSIG(status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << (message.empty() ? "the host process was ended" : message);
}


// Waiting on work another thread does (an editor's window thread, a host's
// child process), for tests.
#pragma once

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

// Polls pred every 5 ms for up to timeoutMs; its last answer.
inline bool Eventually(const std::function<bool()>& pred, int timeoutMs = 3000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

// The threads of this process (Linux), or -1.
inline int ThreadCount() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
  return -1;
}

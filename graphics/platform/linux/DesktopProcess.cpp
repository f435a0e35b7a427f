#include "graphics/platform/linux/DesktopProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace duv_desktop {

namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  return args;
}

void CloseQuietly(int fd) {
  if (fd >= 0) close(fd);
}

}  // namespace

int StartWatched(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::vector<char*> args = ArgvOf(argv);
  // execPipe: closes on a successful exec, or carries errno. statusPipe: the
  // watcher's report of the exit status.
  int execPipe[2], statusPipe[2];
  if (pipe2(execPipe, O_CLOEXEC) != 0) return -1;
  if (pipe2(statusPipe, O_CLOEXEC) != 0) {
    close(execPipe[0]);
    close(execPipe[1]);
    return -1;
  }
  pid_t child = fork();
  if (child < 0) {
    close(execPipe[0]), close(execPipe[1]), close(statusPipe[0]), close(statusPipe[1]);
    return -1;
  }
  if (child == 0) {
    // Intermediate: leaves at once so the watcher is adopted by init, which
    // reaps it; this process never has to wait for the program.
    close(execPipe[0]);
    close(statusPipe[0]);
    pid_t watcher = fork();
    if (watcher != 0) _exit(watcher < 0 ? 1 : 0);
    setsid();
    pid_t program = fork();
    if (program == 0) {
      close(statusPipe[1]);
      execvp(args[0], args.data());
      int err = errno;
      (void)!write(execPipe[1], &err, sizeof err);
      _exit(127);
    }
    close(execPipe[1]);
    int status = 0, code = 127;
    if (program > 0) {
      while (waitpid(program, &status, 0) < 0 && errno == EINTR) {
      }
      code = WIFEXITED(status) ? WEXITSTATUS(status) : 127;
    }
    (void)!write(statusPipe[1], &code, sizeof code);
    _exit(0);
  }
  close(execPipe[1]);
  close(statusPipe[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  ssize_t n;
  while ((n = read(execPipe[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  close(execPipe[0]);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || n != 0) {
    close(statusPipe[0]);
    return -1;
  }
  fcntl(statusPipe[0], F_SETFL, O_NONBLOCK);
  return statusPipe[0];
}

bool PollExitStatus(int fd, int* status) {
  int code = 0;
  ssize_t n = read(fd, &code, sizeof code);
  if (n == static_cast<ssize_t>(sizeof code)) {
    *status = code;
    return true;
  }
  if (n == 0) {  // the watcher vanished without a word: count it as a failure
    *status = 127;
    return true;
  }
  return false;
}

bool ProgramOnPath(const char* name) {
  const char* path = std::getenv("PATH");
  if (!path || !name || !*name) return false;
  std::string all(path);
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find(':', start);
    if (end == std::string::npos) end = all.size();
    std::string dir = all.substr(start, end - start);
    std::string file = (dir.empty() ? std::string(".") : dir) + "/" + name;
    struct stat st {};
    if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

bool RunForOutput(const std::vector<std::string>& argv, std::string* out) {
  out->clear();
  if (argv.empty()) return false;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::vector<char*> args = ArgvOf(argv);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return false;
  }
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (out->size() < 65536) out->append(buffer, static_cast<std::size_t>(n));
  }
  CloseQuietly(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace duv_desktop

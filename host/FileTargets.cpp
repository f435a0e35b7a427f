#include "host/FileTargets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The kernel's own limit on links followed in one lookup.
constexpr int kMaxLinks = 40;

}  // namespace

bool ResolveOutput(const std::string& path, OutputTarget* target, std::string* error) {
  fs::path p(path);
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (lstat(p.c_str(), &st) != 0) {
      if (errno != ENOENT) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
      }
      *target = OutputTarget{OutputTarget::kRegular, p.string(), 0};
      return true;
    }
    if (S_ISLNK(st.st_mode)) {
      if (hops == kMaxLinks) {
        *error = "cannot write " + path + ": too many levels of symbolic links";
        return false;
      }
      std::error_code ec;
      fs::path next = fs::read_symlink(p, ec);
      if (ec) {
        *error = "cannot write " + path + ": " + ec.message();
        return false;
      }
      p = next.is_absolute() ? next : p.parent_path() / next;
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      *error = "cannot write " + path + ": it is a folder";
      return false;
    }
    if (S_ISREG(st.st_mode)) {
      *target = OutputTarget{OutputTarget::kRegular, p.string(), st.st_mode & 07777u};
    } else {
      *target = OutputTarget{OutputTarget::kStream, p.string(), 0};
    }
    return true;
  }
}

int AnonymousTempFile(std::string* error) {
  std::error_code ec;
  fs::path folder = fs::temp_directory_path(ec);
  if (ec) folder = "/tmp";
  std::string pattern = (folder / "duv-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot make a temporary file in " + folder.string() + ": " + std::strerror(errno);
    return -1;
  }
  unlink(name.data());
  return fd;
}

bool CopyAll(int from, int to, const std::function<bool()>& keepGoing, std::string* error) {
  std::vector<char> buffer(1 << 16);
  // errno is kept before keepGoing runs, which may call into the library.
  auto retry = [&](int err) { return err == EINTR && (!keepGoing || keepGoing()); };
  auto fail = [&](int err) {
    *error = err == EINTR ? "stopped" : std::strerror(err);
    return false;
  };
  for (;;) {
    ssize_t got = read(from, buffer.data(), buffer.size());
    if (got < 0) {
      int err = errno;
      if (retry(err)) continue;
      return fail(err);
    }
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put < 0) {
        int err = errno;
        if (retry(err)) continue;
        return fail(err);
      }
      done += put;
    }
  }
}

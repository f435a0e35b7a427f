// Opening documents and web addresses with the desktop's opener (xdg-open),
// and watching openers whose failure must still be reported. A web address
// (see graphics/platform/WebAddress.h) needs a network route; anything else
// opens offline.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace duv_desktop {

// A default route (IPv4 or IPv6, read from /proc/net) is this system's sign of
// a network connection. Reads two small files; any thread.
bool HasDefaultRoute();

// Starts the opener on url without a shell and without waiting for it.
// Answers the StartWatched pipe that reports the opener's exit status (the
// caller owns it), or -1 when url is a web address and there is no route, or
// the opener could not be started. Any thread.
int StartOpener(const std::string& url);

// Started openers waiting for their verdict, each with the title and error
// text to show when it fails. Not thread-safe: the owner guards it (the X11
// editor: the instance lock). Owns the pipes; closes what is left when
// destroyed.
class OpenerWatch {
 public:
  OpenerWatch() = default;
  OpenerWatch(const OpenerWatch&) = delete;
  OpenerWatch& operator=(const OpenerWatch&) = delete;
  ~OpenerWatch() { CloseAll(); }

  // Takes ownership of fd (a StartOpener pipe).
  void Add(int fd, const std::string& title, const std::string& error);
  // Without waiting: forgets the openers that have ended and calls failed(title,
  // error) for each of them that ended with a non-zero status, in the order
  // they were added.
  void Poll(const std::function<void(const std::string& title, const std::string& error)>& failed);
  // Closes every pipe without waiting for a verdict.
  void CloseAll();

 private:
  struct Opener {
    int fd;
    std::string title, error;
  };
  std::vector<Opener> mOpeners;
};

}  // namespace duv_desktop

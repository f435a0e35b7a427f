#include "graphics/platform/linux/DesktopOpener.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "graphics/platform/WebAddress.h"
#include "graphics/platform/linux/DesktopProcess.h"

namespace duv_desktop {

bool HasDefaultRoute() {
  std::ifstream v4("/proc/net/route");
  std::string line;
  std::getline(v4, line);  // header
  while (std::getline(v4, line)) {
    char iface[64] = {}, dest[16] = {};
    unsigned flags = 0;
    unsigned gw = 0;
    // Destination 0.0.0.0 with RTF_UP (bit 0) set.
    if (std::sscanf(line.c_str(), "%63s %15s %x %x", iface, dest, &gw, &flags) == 4 &&
        std::strcmp(dest, "00000000") == 0 && (flags & 1))
      return true;
  }
  std::ifstream v6("/proc/net/ipv6_route");
  while (std::getline(v6, line)) {
    // Destination ::/0 on any interface but loopback.
    if (line.compare(0, 35, "00000000000000000000000000000000 00") == 0 &&
        line.find(" lo") == std::string::npos)
      return true;
  }
  return false;
}

int StartOpener(const std::string& url) {
  if (duv_platform::NeedsConnection(url.c_str()) && !HasDefaultRoute()) return -1;
  return StartWatched({"xdg-open", url});
}

void OpenerWatch::Add(int fd, const std::string& title, const std::string& error) {
  mOpeners.push_back({fd, title, error});
}

void OpenerWatch::Poll(
    const std::function<void(const std::string& title, const std::string& error)>& failed) {
  for (std::size_t i = 0; i < mOpeners.size();) {
    int status = 0;
    if (PollExitStatus(mOpeners[i].fd, &status)) {
      close(mOpeners[i].fd);
      Opener o = mOpeners[i];
      mOpeners.erase(mOpeners.begin() + static_cast<std::ptrdiff_t>(i));
      if (status != 0) failed(o.title, o.error);
    } else {
      ++i;
    }
  }
}

void OpenerWatch::CloseAll() {
  for (Opener& o : mOpeners) close(o.fd);
  mOpeners.clear();
}

}  // namespace duv_desktop

#include "plugin/HostId.h"

#include <cctype>
#include <cstring>

HostId IdentifyHost(const char* name) {
  char lower[256];
  std::size_t n = 0;
  if (name)
    for (; name[n] && n < sizeof lower - 1; ++n)
      lower[n] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[n])));
  lower[n] = '\0';

  // The order decides when a name holds several fragments.
  static const struct {
    const char* fragment;
    HostId id;
  } kTable[] = {
      {"cubase", kHostCubase},       {"reaper", kHostReaper},        {"nuendo", kHostNuendo},
      {"cakewalk", kHostCakewalk},   {"samplitude", kHostSamplitude}, {"fruity", kHostFruity},
      {"live", kHostLive},           {"melodyne", kHostMelodyne},    {"vstmanlib", kHostVstManLib},
      {"aulab", kHostAULab},         {"forte", kHostForte},          {"chainer", kHostChainer},
      {"audition", kHostAudition},   {"orion", kHostOrion},          {"sawstudio", kHostSawStudio},
  };
  for (const auto& entry : kTable)
    if (std::strstr(lower, entry.fragment)) return entry.id;
  return kHostUnknown;
}

int PackDecimalVersion(int decimal) {
  if (decimal < 0) return 0;
  long long major = decimal / 10000, minor = (decimal % 10000) / 100, patch = decimal % 100;
  // A major beyond 16 bits wraps, as the packed form has no room for it.
  return static_cast<int>(static_cast<unsigned>(major * 65536 + minor * 256 + patch));
}

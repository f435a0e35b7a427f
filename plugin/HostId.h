// Which host application runs the plug-in, from fragments of its product name.
#pragma once

// -1 not yet asked, 0 unknown, 1..20 the hosts of the fragment table
// (2, 6, 10, 11 and 19 are never produced).
using HostId = int;

enum : HostId {
  kHostNotAsked = -1,
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostCakewalk = 5,
  kHostFruity = 7,
  kHostSamplitude = 8,
  kHostLive = 9,
  kHostMelodyne = 12,
  kHostVstManLib = 13,
  kHostAULab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostSawStudio = 20,
};

// Lower-cases the first 255 characters of name (null reads as empty) and
// returns the id of the first fragment found, in the table's fixed order.
HostId IdentifyHost(const char* name);

// Host version as reported (decimal, 10203 for 1.2.3) to the packed form
// (major << 16 | minor << 8 | patch). Negative input gives 0.
int PackDecimalVersion(int decimal);

// Generated material that shows what a doubler does: a sung vowel (a glottal
// pulse train through formant resonators, with vibrato and note changes) and
// a plucked phrase with sharp onsets (Karplus-Strong strings). Mono, fully
// deterministic (a fixed-seed generator of our own, no clock, no library
// randomness), peak 0.5 so the doubled result keeps headroom.
#pragma once

#include <vector>

#include "host/AudioFile.h"

struct DemoNote {
  double startSec;   // onset, seconds from the start of the material
  double lengthSec;  // until release starts
  double hz;         // fundamental
};

struct DemoScore {
  std::vector<DemoNote> sung;     // legato, each with its own vowel
  std::vector<DemoNote> plucked;  // each string rings on after its length
  double totalSec;                // length of the material, ring-out included
};

// The score the demo plays; the material follows it exactly.
const DemoScore& DemoScoreTable();

// Renders the score at sampleRate (8000..192000 Hz) into a mono buffer.
AudioBuffer MakeDemoMaterial(int sampleRate);

// Peak level the material is scaled to.
constexpr float kDemoPeak = 0.5f;

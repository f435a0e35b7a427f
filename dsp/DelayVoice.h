// One detuned delay voice: a delayed copy of the stereo input whose read
// position moves at the voice's pitch ratio and is pulled back (or forward)
// by whole detected periods with a raised-cosine splice whenever it drifts
// more than half a period from the plain tap. Also: the transient look-ahead
// (fade to the plain tap before an onset reaches it) and the faded delay
// change (fade out, switch the tap at the silent frame, fade in).
//
// Index space: a voice reads the history through its read base, history
// frame 4096 - delay; base[j] is history frame 4096 - delay + j. The frame
// rendered into slot k of a block has index 4096 + k (4096..5119), so
// base[index] is the plain tap. Read positions live in that index space; -1
// (any negative value) means "the plain tap".
//
// Thread: the audio thread, except SetVoiceDelay (parameter changes); all
// under the plug-in lock. No allocation.
#pragma once

#include <cstdint>

#include "dsp/StereoFrame.h"

class IndicatorLamp;

constexpr int kHistoryFrames = 12288;  // input history length
constexpr int kMaxDelayFrames = 4096;  // longest voice delay

struct DelayVoice {
  double ratio = 0.0;           // pitch ratio 2^(cents/1200), 0 until set
  double readPos = -1.0;        // current read position, < 0: plain tap
  double nextReadPos = -1.0;    // position faded in during a splice, < 0: tap
  double spliceLength = 0.0;    // period / ratio, in frames
  int32_t fadeCounter = 0;      // frames left of the running splice
  int32_t fadeLength = 0;       // length of the running splice
  double delayMs = 0.0;         // the voice's delay parameter, ms
  int32_t transientCountdown = 0;  // frames until a marked onset reaches the tap
  int32_t delay = 0;            // current delay, frames, 0..4096
  int32_t targetDelay = 0;      // delay a running change switches to
  int32_t delayFadeCounter = 0;  // frames left of a running delay change
  float delayFadeGain = 1.0f;   // level the running change started fading from
};

// Back to the state of construction and Reset: both positions -1, counters
// 0, gain 1, targetDelay 0. ratio, spliceLength, delayMs and delay are kept.
void ClearVoiceMotion(DelayVoice* voice);

// The values a voice reads from its owner, fixed for one block.
struct VoiceContext {
  const StereoFrame* history = nullptr;    // kHistoryFrames frames
  const uint8_t* transientMarks = nullptr;  // kHistoryFrames marks, 0 or 1
  double period = 0.0;                     // detected period, frames, 0: none
  double halfPeriod = 0.0;
  int lookAhead = 0;                       // frames, one detector-HPF period
  int bypassFadeLength = 0;                // 10 ms in frames
};

// Frames from the history through a read base (history frame baseFrame + j
// for base[j]). pos < 0: base[index]; otherwise linear interpolation between
// base[trunc(pos)] and the next frame, rounded to float. Reads outside the
// history are clamped to its ends (positions stay far inside in practice).
StereoFrame ReadHistory(const StereoFrame* history, int baseFrame, double pos, int index);

// Raised-cosine cross-fade of old frame a into new frame b, e = frames left
// (length down to 1), f = fade length >= 1. Weights h (old) and g (new) are
// 0.5 (1 - cos(2 pi (e + 1) / (2f + 1))) and 0.5 (1 - cos(2 pi (f - e + 1) /
// (2f + 1))); result (h a + g b) / (g + h) per channel, as float.
StereoFrame SpliceCrossfade(StereoFrame a, StereoFrame b, int e, int f);

// Between splices: when readPos has run half a period or more ahead of x,
// or more than half a period behind, chooses nextReadPos whole periods back
// towards x and starts a splice of trunc(spliceLength) frames. Needs
// period > 0 and readPos >= 0.
void Realign(DelayVoice* voice, double x, double period, double halfPeriod);

// Renders the voice's frame for index 4096..5119 and advances its state.
StereoFrame NextVoiceFrame(DelayVoice* voice, const VoiceContext& context, int index);

// Applies the delay-change fade to one wet sample (in place), with
// delayFadeHalf = L frames: fade out over L-1 frames, silent frame where the
// tap switches, fade in, and a last full-level frame that ends the change
// and puts the lamp out. lamp may be null.
void ApplyDelayFade(DelayVoice* voice, float* sample, int delayFadeHalf, IndicatorLamp* lamp);

// How many frames, from now, can be rendered with the voice's current tap:
// the delay changes only inside ApplyDelayFade (at the silent midpoint and
// at the end of a change), so this counts the ApplyDelayFade calls up to and
// including the first one that may switch it; INT_MAX when no change runs.
int FramesWithCurrentTap(const DelayVoice& voice, int delayFadeHalf);

// Starts a faded change to trunc(sampleRate * delayMs * 0.001) frames
// (clamped to 0..4096) unless that is already the current or pending delay;
// lights the lamp. With delayFadeHalf <= 0 (no fade possible) the delay is
// applied at once. lamp may be null.
void SetVoiceDelay(DelayVoice* voice, double sampleRate, int delayFadeHalf, IndicatorLamp* lamp);

// trunc(sampleRate * delayMs * 0.001) clamped to 0..4096 (NaN gives 0).
int32_t DelayFrames(double sampleRate, double delayMs);

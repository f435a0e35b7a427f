// The per-frame voice operations as inline bodies. DelayVoice.cpp builds the
// out-of-line functions declared in DelayVoice.h from them, and the engine's
// fast render loop inlines them on local copies of the voices, so the voice
// state stays in registers across a block. One body each: both callers run
// the same operations in the same order, hence the same results.
// Contracts: as the functions of the same name without "Inline".
#pragma once

#include <climits>
#include <cmath>
#include <cstdlib>

#include "dsp/DelayVoice.h"
#include "dsp/IndicatorLamp.h"

namespace delay_voice_detail {
inline int TruncSaturate(double v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}
}  // namespace delay_voice_detail

inline StereoFrame ReadHistoryInline(const StereoFrame* history, int baseFrame, double pos, int index) {
  if (pos < 0.0) {
    int frame = baseFrame + index;
    if (frame < 0) frame = 0;
    if (frame > kHistoryFrames - 1) frame = kHistoryFrames - 1;
    return history[frame];
  }
  double t;
  int first;
  if (pos > 0.0 && pos < 4503599627370496.0) {
    // The usual case, in integers: below 2^52 the conversion truncates
    // exactly (trunc without a library call; x86-64 has no rounding
    // instruction before SSE4.1), and base + whole stays below 2^53, so the
    // integer sum and clamp equal the double ones below.
    const long long whole = static_cast<long long>(pos);
    t = pos - static_cast<double>(whole);
    const long long sum = baseFrame + whole;
    first = static_cast<int>(sum > kHistoryFrames - 2 ? kHistoryFrames - 2 : sum < 0 ? 0 : sum);
  } else {
    // +-0, inf, NaN and everything from 2^52 up are their own trunc.
    t = pos - pos;
    // Positions stay within about a period of the tap; the clamp only keeps
    // a pathological position from reading outside the history.
    double firstFrame = baseFrame + pos;
    if (firstFrame > kHistoryFrames - 2) firstFrame = kHistoryFrames - 2;
    if (!(firstFrame >= 0.0)) firstFrame = 0.0;  // NaN too: converting it would be undefined
    first = static_cast<int>(firstFrame);
  }
  const StereoFrame& a = history[first];
  const StereoFrame& b = history[first + 1];
  return {static_cast<float>((1.0 - t) * a.left + t * b.left), static_cast<float>((1.0 - t) * a.right + t * b.right)};
}

inline void RealignInline(DelayVoice* v, double x, double period, double halfPeriod) {
  double next;
  if (v->readPos >= x + halfPeriod) {
    next = v->readPos - period;
    while (next > x + halfPeriod) next -= period;
  } else if (v->readPos < x - halfPeriod) {
    next = v->readPos + period;
    while (next < x - halfPeriod) next += period;
  } else {
    return;
  }
  v->nextReadPos = next;
  v->fadeLength = v->fadeCounter = delay_voice_detail::TruncSaturate(v->spliceLength);
}

inline StereoFrame NextVoiceFrameInline(DelayVoice* v, const VoiceContext& c, int index) {
  const double x = index;
  const int baseFrame = kMaxDelayFrames - v->delay;

  if (v->transientCountdown == 0) {
    // At rates above ~204.8 kHz this can pass the newest mark: such
    // positions hold no mark yet, so they count as unmarked.
    const long long markIndex = 4096LL + index + c.lookAhead - v->delay;
    if (markIndex >= 0 && markIndex < kHistoryFrames && c.transientMarks[markIndex] != 0) {
      v->transientCountdown = c.lookAhead;
    }
  }
  if (v->fadeCounter == 0 && v->readPos >= 0.0 && c.period > 0.0 && v->transientCountdown == 0) {
    RealignInline(v, x, c.period, c.halfPeriod);
  }
  StereoFrame out = ReadHistoryInline(c.history, baseFrame, v->readPos, index);

  if (v->fadeCounter != 0) {
    // Splices are rare (about one per period of drift); the cross-fade and
    // its cosines stay out of line.
    out = SpliceCrossfade(out, ReadHistoryInline(c.history, baseFrame, v->nextReadPos, index), v->fadeCounter,
                          v->fadeLength);
    if (--v->fadeCounter == 0) v->readPos = v->nextReadPos;
  } else if (v->transientCountdown != 0) {
    v->nextReadPos = -1.0;
    v->fadeLength = v->fadeCounter = v->transientCountdown / 2;
    v->transientCountdown = 0;
  } else if (v->readPos < 0.0) {
    if (c.period > 0.0) v->readPos = x;
  } else if (c.period == 0.0) {
    v->nextReadPos = -1.0;
    v->fadeLength = v->fadeCounter = c.bypassFadeLength;
  }

  if (v->readPos >= 0.0) v->readPos += v->ratio;
  if (v->nextReadPos >= 0.0) v->nextReadPos += v->ratio;
  if (v->transientCountdown != 0) --v->transientCountdown;
  return out;
}

inline void ApplyDelayFadeInline(DelayVoice* v, float* sample, int delayFadeHalf, IndicatorLamp* lamp) {
  if (v->delayFadeCounter == 0) return;
  const int r = --v->delayFadeCounter;
  if (r == 0) {
    if (lamp != nullptr) lamp->SetLit(false);
    v->delayFadeGain = 1.0f;
    v->delay = v->targetDelay;
    v->targetDelay = 0;
    return;
  }
  if (r == delayFadeHalf) {  // the silent midpoint: switch the tap here
    v->delayFadeGain = 1.0f;
    v->delay = v->targetDelay;
  }
  *sample = static_cast<float>(static_cast<double>(*sample) * std::abs(r - delayFadeHalf) * v->delayFadeGain /
                               delayFadeHalf);
}

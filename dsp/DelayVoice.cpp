#include "dsp/DelayVoice.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "dsp/IndicatorLamp.h"

namespace {
int TruncSaturate(double v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}
}  // namespace

void ClearVoiceMotion(DelayVoice* v) {
  v->readPos = v->nextReadPos = -1.0;
  v->fadeCounter = v->fadeLength = 0;
  v->transientCountdown = 0;
  v->targetDelay = 0;
  v->delayFadeCounter = 0;
  v->delayFadeGain = 1.0f;
}

int32_t DelayFrames(double sampleRate, double delayMs) {
  const int frames = TruncSaturate(sampleRate * delayMs * 0.001);
  if (frames > kMaxDelayFrames) return kMaxDelayFrames;
  return frames < 0 ? 0 : frames;
}

StereoFrame ReadHistory(const StereoFrame* history, int baseFrame, double pos, int index) {
  if (pos < 0.0) {
    int frame = baseFrame + index;
    if (frame < 0) frame = 0;
    if (frame > kHistoryFrames - 1) frame = kHistoryFrames - 1;
    return history[frame];
  }
  const double whole = std::trunc(pos);
  const double t = pos - whole;
  // Positions stay within about a period of the tap; the clamp only keeps a
  // pathological position from reading outside the history.
  double first = baseFrame + whole;
  if (first > kHistoryFrames - 2) first = kHistoryFrames - 2;
  if (first < 0.0) first = 0.0;
  const StereoFrame& a = history[static_cast<int>(first)];
  const StereoFrame& b = history[static_cast<int>(first) + 1];
  return {static_cast<float>((1.0 - t) * a.left + t * b.left), static_cast<float>((1.0 - t) * a.right + t * b.right)};
}

StereoFrame SpliceCrossfade(StereoFrame a, StereoFrame b, int e, int f) {
  // 2f + 1 in double: f may be as large as INT_MAX for a degenerate ratio.
  const double span = 2.0 * f + 1.0;
  const double h = 0.5 * (1.0 - std::cos(2.0 * M_PI * (e + 1.0) / span));
  const double g = 0.5 * (1.0 - std::cos(2.0 * M_PI * (static_cast<double>(f) - e + 1.0) / span));
  return {static_cast<float>((h * a.left + g * b.left) / (g + h)),
          static_cast<float>((h * a.right + g * b.right) / (g + h))};
}

void Realign(DelayVoice* v, double x, double period, double halfPeriod) {
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
  v->fadeLength = v->fadeCounter = TruncSaturate(v->spliceLength);
}

StereoFrame NextVoiceFrame(DelayVoice* v, const VoiceContext& c, int index) {
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
    Realign(v, x, c.period, c.halfPeriod);
  }
  StereoFrame out = ReadHistory(c.history, baseFrame, v->readPos, index);

  if (v->fadeCounter != 0) {
    out = SpliceCrossfade(out, ReadHistory(c.history, baseFrame, v->nextReadPos, index), v->fadeCounter,
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

void ApplyDelayFade(DelayVoice* v, float* sample, int delayFadeHalf, IndicatorLamp* lamp) {
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

void SetVoiceDelay(DelayVoice* v, double sampleRate, int delayFadeHalf, IndicatorLamp* lamp) {
  const int32_t frames = DelayFrames(sampleRate, v->delayMs);
  if (v->delayFadeCounter == 0 ? frames == v->delay : frames == v->targetDelay) return;
  if (delayFadeHalf <= 0) {  // no room for a fade: switch at once
    v->delay = frames;
    v->targetDelay = 0;
    v->delayFadeCounter = 0;
    v->delayFadeGain = 1.0f;
    return;
  }
  if (lamp != nullptr) lamp->SetLit(true);
  v->targetDelay = frames;
  if (v->delayFadeCounter != 0) {
    const double level = std::abs(v->delayFadeCounter - delayFadeHalf) / static_cast<double>(delayFadeHalf);
    v->delayFadeGain = static_cast<float>(level * v->delayFadeGain);
  } else {
    v->delayFadeGain = 1.0f;
  }
  v->delayFadeCounter = 2 * delayFadeHalf;
}

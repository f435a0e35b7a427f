#include "dsp/DelayVoice.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "dsp/DelayVoiceInline.h"
#include "dsp/IndicatorLamp.h"

using delay_voice_detail::TruncSaturate;

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
  return ReadHistoryInline(history, baseFrame, pos, index);
}

StereoFrame SpliceCrossfade(StereoFrame a, StereoFrame b, int e, int f) {
  // 2f + 1 in double: f may be as large as INT_MAX for a degenerate ratio.
  const double span = 2.0 * f + 1.0;
  const double h = 0.5 * (1.0 - std::cos(2.0 * M_PI * (e + 1.0) / span));
  const double g = 0.5 * (1.0 - std::cos(2.0 * M_PI * (static_cast<double>(f) - e + 1.0) / span));
  return {static_cast<float>((h * a.left + g * b.left) / (g + h)),
          static_cast<float>((h * a.right + g * b.right) / (g + h))};
}

void Realign(DelayVoice* v, double x, double period, double halfPeriod) { RealignInline(v, x, period, halfPeriod); }

StereoFrame NextVoiceFrame(DelayVoice* v, const VoiceContext& c, int index) { return NextVoiceFrameInline(v, c, index); }

void ApplyDelayFade(DelayVoice* v, float* sample, int delayFadeHalf, IndicatorLamp* lamp) {
  ApplyDelayFadeInline(v, sample, delayFadeHalf, lamp);
}

int FramesWithCurrentTap(const DelayVoice& v, int delayFadeHalf) {
  const int c = v.delayFadeCounter;
  if (c <= 0) return INT_MAX;
  // The call that makes the counter r switches when r == delayFadeHalf
  // (r >= 1) or r == 0; the i-th call from now (0-based) makes c - 1 - i.
  if (delayFadeHalf >= 1 && c - 1 >= delayFadeHalf) return c - delayFadeHalf;
  return c;
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

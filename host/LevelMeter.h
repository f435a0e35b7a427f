// Measures the samples on their way into a sink: the peak and how many lie
// beyond full scale, which an integer file clips (a doubler's voices can add
// up past 0 dBFS on loud material). Used on the caller's thread only.
#pragma once

#include <cstdint>
#include <string>

#include "host/AudioFile.h"

class LevelMeter : public AudioSink {
 public:
  // next outlives this; channels as the frames written carry.
  LevelMeter(AudioSink& next, int channels) : mNext(next), mChannels(channels) {}

  // Measures, then passes the frames on; answers what the next sink answers.
  bool write(const float* src, std::int64_t frames) override;
  std::string error() const override { return mNext.error(); }

  float peak() const { return mPeak; }  // largest |sample| so far, 0 for none
  std::int64_t beyondFullScale() const { return mBeyond; }  // samples with |x| > 1

 private:
  AudioSink& mNext;
  int mChannels;
  float mPeak = 0.0f;
  std::int64_t mBeyond = 0;
};

// The measurement itself over n samples, folded into *peak (largest |x|,
// NaN ignored) and *beyond (count of |x| > 1). MeasureLevels is the fast
// path (four lanes at once); MeasureLevelsPlain the reference it must equal.
void MeasureLevels(const float* src, std::int64_t n, float* peak, std::int64_t* beyond);
void MeasureLevelsPlain(const float* src, std::int64_t n, float* peak, std::int64_t* beyond);

// A level as decibels relative to full scale (1.0), one decimal, signed:
// "-0.3 dBFS", "+1.9 dBFS", "0.0 dBFS"; "-inf dBFS" for silence.
std::string DbfsText(float level);

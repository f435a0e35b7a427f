// The doubler's whole audio state and process loop: input history, output
// blocks, dry/wet/bypass paths, the pitch detector, the two delay voices, the
// wet filters and shaper, and the audio half of the parameter responses.
//
// Timing: the engine works in internal blocks of 1024 frames whatever the
// host's block size; dry, wet and bypassed signals all leave exactly 4096
// frames after they entered (the latency the plug-in reports). Every 1024
// frames it detects the period of the newest 8192 frames and renders the
// next 1024 wet frames.
//
// Units: sample rate in Hz, delays in ms (parameters) and frames (state),
// detune in cents, width in percent (parameter) and as a fraction (state).
//
// Thread and call order: construct anywhere; then Reset(sampleRate) before
// the first ProcessBlock. All calls on one engine must be serialized by the
// owner (the plug-in's instance lock); none allocates, locks or throws, so
// all may run on the audio thread. Parameter values take effect at the next
// ProcessBlock call (delays through their 160 ms faded change).
//
// Size: about 355 KiB, all inside the object; allocate it on the heap. The
// detector's window and weights are process-wide tables shared by all
// engines (built by the first construction, thread-safe).
#pragma once

#include <cstdint>

#include "dsp/DelayVoice.h"
#include "dsp/EnvelopeFollower.h"
#include "dsp/LowpassFilter.h"
#include "dsp/PitchDetector.h"
#include "dsp/StereoFrame.h"

class IndicatorLamp;

class DoublerEngine {
 public:
  static constexpr int kBlockFrames = 1024;   // internal block
  static constexpr int kLatencyFrames = 4096;  // reported latency
  static constexpr int kOutBlocks = 4;
  static constexpr double kMinSampleRate = 1000.0;     // Reset clamps into this range
  static constexpr double kMaxSampleRate = 1536000.0;

  // Filters at 44100 Hz / 1 Hz, envelope 25 ms attack and 15 ms release,
  // FFT tables, detector HPF 100 Hz, voices at rest (ratio and delayMs 0
  // until the parameters are delivered), the shared window and weight
  // tables. Writes none of the big buffers (see bufferState).
  DoublerEngine();
  DoublerEngine(const DoublerEngine&) = delete;
  DoublerEngine& operator=(const DoublerEngine&) = delete;

  // Discards all audio in flight and sets every derived length for
  // sampleRate (clamped to kMinSampleRate..kMaxSampleRate; NaN gives 44100):
  // history, marks and blocks cleared, period forgotten, voices at the plain
  // tap of their delays, filters and envelope reset, running fades ended,
  // the lamp put out. wet, width, color, bypass and the HPF are kept.
  void Reset(double sampleRate);

  // inputs[0..1] and outputs[0..1] (left, right) each hold nFrames samples;
  // the outputs are replaced. Input and output buffers may be the same.
  // nFrames <= 0: nothing is read or written. Inputs of magnitude below
  // 1e-10, non-finite inputs and inputs beyond the float range count as 0.
  void ProcessBlock(const double* const* inputs, double* const* outputs, int nFrames);

  // Parameter responses (audio half), in the parameters' own units.
  void SetWet(double wet01);
  // voiceIndex 0 or 1 (others ignored). Ratio exactly 1.0 at 0 cents, else
  // 2^(cents/1200); updates the wet filters' cutoff.
  void SetCents(int voiceIndex, double cents);
  // voiceIndex 0 or 1 (others ignored). Starts the faded delay change and
  // lights the lamp when the delay in frames actually changes.
  void SetDelayMs(int voiceIndex, double delayMs);
  void SetWidthPercent(double percent);  // width = trunc(percent) * 0.01
  void SetColor(double color01);
  // Starts the 10 ms bypass cross-fade when the value changes; the lamp
  // always follows the value.
  void SetBypass(bool bypassOn);
  // Lowest frequency the detector searches (50..150 Hz as a parameter; any
  // value > 0 is accepted, others are ignored). Takes effect next block.
  void SetDetectorHpf(double hz);
  // The editor's lamp, or null (the default). Not owned; the owner detaches
  // it (null) before destroying it.
  void SetBypassLamp(IndicatorLamp* lampOrNull) { lamp = lampOrNull; }

  // Read access (tests, the editor, the plug-in).
  double SampleRate() const { return sampleRate; }
  double Wet() const { return wet; }
  double Width() const { return width; }
  double Color() const { return color; }
  bool Bypass() const { return bypass; }
  double DetectorHpf() const { return detectorHpf; }
  double Period() const { return period; }
  double HalfPeriod() const { return halfPeriod; }
  const DelayVoice& Voice(int voiceIndex) const { return voiceIndex == 0 ? voice1 : voice2; }
  int BypassFadeLength() const { return bypassFadeLength; }
  int BypassFadeCounter() const { return frame.bypassFadeCounter; }
  int DelayFadeHalf() const { return delayFadeHalf; }
  int TransientHoldLength() const { return transientHoldLength; }
  int MinBin() const { return minBin; }
  int MaxBin() const { return maxBin; }
  int LookAhead() const { return lookAhead; }
  int WritePos() const { return writePos; }
  double WetCutoff() const { return wetFilterL.Cutoff(); }
  const LowpassFilter& WetFilter(int side) const { return side == 0 ? wetFilterL : wetFilterR; }
  const EnvelopeFollower& Envelope() const { return frame.envelope; }
  const StereoFrame* History() const { return history; }
  const uint8_t* TransientMarks() const { return transientMarks; }
  const float* AnalysisWindow() const { return analysisWindow; }
  const float* BinWeights() const { return binWeights; }

 private:
  // Gains of one ProcessBlock call, fixed for the call.
  struct BlockGains {
    double dryGain;
    float sameGain, crossGain, colorKeep, colorDrive;
  };
  // What the per-frame step changes besides the buffers. The reference loop
  // steps the member itself; the fast loops a local copy per run, written
  // back before each block step.
  struct FrameState {
    int32_t bypassFadeCounter = 0;  // frames left of the bypass cross-fade
    EnvelopeFollower envelope;      // level of the input sum L + R
    int32_t transientHold = 0;      // frames left without new onset marks
  };
  // Values of the per-frame step fixed for one ProcessBlock call.
  struct FrameConstants {
    double dryGain;
    bool bypassOn;
    int32_t bypassFadeLength, transientHoldLength;
  };
  // Steps 1 to 6 of the process loop for one frame: the raw host samples in,
  // the output samples out, and the frame's own slots: its history entry
  // (newest), the entry 4096 frames before it (delayed), its slot of
  // playBlock and its transient mark. The one body both loops run.
  static void StepFrame(double inL, double inR, double* outL, double* outR, StereoFrame* newest,
                        const StereoFrame* delayed, StereoFrame* play, uint8_t* mark, FrameState* state,
                        const FrameConstants& c);
  // Its steps 5 and 6 alone, for the cleaned input sum S = L + R: the
  // transient mark and the envelope.
  static void StepOnset(double S, uint8_t* mark, FrameState* state, const FrameConstants& c);
  // Each has a plain reference (run when the layer's path is kScalar, see
  // dsp/DspPath.h) and a fast version that gives the same bits.
  void ProcessFramesReference(const double* const* inputs, double* const* outputs, int nFrames, const BlockGains& g);
  void ProcessFramesFast(const double* const* inputs, double* const* outputs, int nFrames, const BlockGains& g);
  void BlockStep(const BlockGains& g);
  void RenderWetReference(const BlockGains& g);
  void RenderWetFast(const BlockGains& g);
  void UpdateWetCutoff();
  void UpdateDetectorRange();
  // Zeroes history, marks and the output blocks (about 250 KiB).
  void ClearBuffers();

  // What history, marks and the output blocks hold. The constructor leaves
  // them unwritten: Reset zeroes them before the first ProcessBlock, and a
  // host resets an instance several times before it processes, so the
  // buffers are zeroed once, not at construction and at every one of those
  // Resets. A ProcessBlock without any Reset zeroes them first, as if the
  // constructor had.
  enum class BufferState : uint8_t { kUnwritten, kZero, kInUse };
  BufferState bufferState = BufferState::kUnwritten;

  // N frames that construction leaves unwritten (StereoFrame's member
  // initializers would zero them, about 240 KiB per engine): the buffers
  // are zeroed when first needed (see bufferState), scratch before each use.
  template <int N>
  union UnsetFrames {
    UnsetFrames() {}
    StereoFrame frames[N];
  };

  double sampleRate = 44100.0;

  // Process loop (history index 11264 + writePos is the current frame).
  // history and transientMarks are windows of kHistoryFrames entries that
  // slide one block up through their stores at each block step instead of
  // moving the contents down; only when a window reaches the end of its
  // store do the contents move back to the start (every kSlackBlocks + 1
  // steps). Indices into the windows mean what they always mean.
  static constexpr int kSlackBlocks = 12;
  static constexpr int kStoreFrames = kHistoryFrames + kSlackBlocks * kBlockFrames;
  alignas(32) UnsetFrames<kStoreFrames> historyStore;
  uint8_t marksStore[kStoreFrames];
  StereoFrame* history = historyStore.frames;
  uint8_t* transientMarks = marksStore;
  UnsetFrames<kBlockFrames> outBlocks[kOutBlocks];
  StereoFrame* playBlock;
  StereoFrame* mixBlock;
  StereoFrame* spareBlock1;
  StereoFrame* spareBlock2;
  int32_t writePos = 0;
  double wet = 0.0;
  double width = 0.0;
  double color = 0.0;
  bool bypass = false;
  int32_t bypassFadeLength = 0;
  FrameState frame;
  int32_t transientHoldLength = 0;
  LowpassFilter wetFilterL;
  LowpassFilter wetFilterR;
  DelayVoice voice1;
  DelayVoice voice2;
  double period = 0.0;
  double halfPeriod = 0.0;
  int32_t delayFadeHalf = 0;

  // Detector. The window and weights are the process-wide tables
  // (SharedAnalysisWindow, SharedBinWeights), not copies.
  const float* analysisWindow = nullptr;
  const float* binWeights = nullptr;
  double detectorHpf = 100.0;
  int32_t minBin = 4;
  int32_t maxBin = 0;
  int32_t lookAhead = 0;
  DetectorScratch detectorScratch;
  // The fast wet rendering's frames of each voice, per block.
  UnsetFrames<kBlockFrames> voiceScratch[2];
  // The fast per-frame loop's input sums L + R of one run.
  double sumScratch[kBlockFrames];

  IndicatorLamp* lamp = nullptr;
};

#include "dsp/DoublerEngine.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <utility>

#include <emmintrin.h>
#include <immintrin.h>

#include "dsp/DelayVoiceInline.h"
#include "dsp/DspPath.h"
#include "dsp/FFT.h"
#include "dsp/IndicatorLamp.h"
#include "dsp/Prefault.h"

namespace {

// History layout: the current frame goes to 11264 + writePos; the frame of
// 4096 frames before it sits at 7168 + writePos; the detector reads the
// newest 8192 frames from 4096 on; wet slot k reads around 8192 + k - delay.
constexpr int kNewestBlockStart = kHistoryFrames - DoublerEngine::kBlockFrames;  // 11264
constexpr int kDelayedStart = kNewestBlockStart - DoublerEngine::kLatencyFrames;  // 7168
constexpr int kDetectorStart = kHistoryFrames - kDetectorSize;                    // 4096
constexpr int kRenderIndex = 4096;  // index of wet slot 0 in the voices' space

// Transient test: an onset is a sum louder than this and than 16 times the
// running envelope.
constexpr double kOnsetLevel = 0.01;
constexpr double kOnsetOverEnvelope = 16.0;

// Frames per piece of the fast per-frame loop (see ProcessFramesFast).
constexpr int kOnsetPiece = 16;

// Tiny inputs become exact zeros so they never reach recursive state; values
// that are not finite or would overflow the float history are treated the
// same way instead of poisoning the filters and the detector for good.
inline double CleanInput(double v) {
  // Quiet comparisons: a NaN input must not raise the invalid-operation flag.
  const double a = std::fabs(v);
  return (std::isgreaterequal(a, 1e-10) && std::islessequal(a, static_cast<double>(FLT_MAX))) ? v : 0.0;
}

int TruncSaturate(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

// The wet filter's output is bounded before it is rounded to a float and
// shaped: the shaper's cubic would turn a huge but finite input (a host's
// 1e20 glitch) into an infinity, and that into NaN in the sum. 2^20 (about
// +120 dBFS) lies far above any real signal, so normal material passes bit
// for bit, and the cubic of the bound (about 3.5e18 at full colour) stays
// below half a float step of FLT_MAX, so the dry part plus it is finite.
// The filter's own state is left as it is. The compare-and-select form is
// exactly SSE2's max and min, so both paths agree.
constexpr double kWetBound = 1048576.0;
inline double BoundWet(double v) {
  const double low = v > -kWetBound ? v : -kWetBound;
  return low < kWetBound ? low : kWetBound;
}
inline __m128d BoundWet(__m128d v) {
  return _mm_min_pd(_mm_max_pd(v, _mm_set1_pd(-kWetBound)), _mm_set1_pd(kWetBound));
}

// color keep * y - 2 * color drive * (y^2 + 2 y^3 - y), evaluated in double
// from the float operands and rounded once.
inline float Shape(float y, float keep, float drive) {
  const double yd = y;
  const double poly = yd * yd + 2.0 * yd * yd * yd - yd;
  return static_cast<float>(keep * yd - 2.0 * drive * poly);
}

// One frame to and from the low two lanes of a register (64-bit moves, no
// alignment needed).
inline __m128 LoadFrame(const StereoFrame* f) {
  return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(f)));
}
inline void StoreFrame(StereoFrame* f, __m128 v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(f), _mm_castps_si128(v)); }

}  // namespace

DoublerEngine::DoublerEngine() {
  FFTInit();
  detectorHpf = 100.0;
  ClearVoiceMotion(&voice1);
  ClearVoiceMotion(&voice2);
  frame.envelope.SetAttack(25.0);
  frame.envelope.SetRelease(15.0);
  analysisWindow = SharedAnalysisWindow();
  binWeights = SharedBinWeights();
  // Distinct block roles before the first Reset. The buffers are zeroed
  // later (see bufferState); the detector's and the fast loops' scratch is
  // always written before it is read, so it is never zeroed.
  playBlock = outBlocks[0].frames;
  mixBlock = outBlocks[1].frames;
  spareBlock1 = outBlocks[2].frames;
  spareBlock2 = outBlocks[3].frames;
}

void DoublerEngine::Reset(double sr) {
  if (!(sr == sr)) sr = 44100.0;
  if (sr < kMinSampleRate) sr = kMinSampleRate;
  if (sr > kMaxSampleRate) sr = kMaxSampleRate;
  sampleRate = sr;

  history = historyStore.frames;
  transientMarks = marksStore;
  // Untouched since construction, the buffers are likely fresh pages: have
  // them all mapped in one call rather than one fault at a time as they are
  // zeroed. Here, not in ClearBuffers: ProcessBlock may clear them too, and
  // the audio thread makes no system calls.
  if (bufferState == BufferState::kUnwritten) {
    PrefaultForWriting(historyStore.frames, sizeof(historyStore));
    PrefaultForWriting(marksStore, sizeof(marksStore));
    PrefaultForWriting(outBlocks, sizeof(outBlocks));
  }
  if (bufferState != BufferState::kZero) ClearBuffers();
  period = 0.0;
  halfPeriod = 0.0;
  writePos = 0;
  playBlock = outBlocks[0].frames;
  mixBlock = outBlocks[1].frames;
  spareBlock1 = outBlocks[2].frames;
  spareBlock2 = outBlocks[3].frames;
  for (DelayVoice* v : {&voice1, &voice2}) {
    ClearVoiceMotion(v);
    v->delay = DelayFrames(sr, v->delayMs);
  }
  UpdateDetectorRange();
  wetFilterL.SetSampleRate(sr);
  wetFilterR.SetSampleRate(sr);
  UpdateWetCutoff();
  bypassFadeLength = TruncSaturate(sr * 0.01);
  delayFadeHalf = TruncSaturate(sr * 0.08);
  frame.bypassFadeCounter = 0;
  frame.envelope.SetSampleRate(sr);
  frame.transientHold = 0;
  transientHoldLength = TruncSaturate(sr * 0.2);
  if (lamp != nullptr) lamp->SetLit(false);
}

void DoublerEngine::ClearBuffers() {
  std::fill_n(historyStore.frames, kStoreFrames, StereoFrame{});
  std::memset(marksStore, 0, sizeof(marksStore));
  for (UnsetFrames<kBlockFrames>& block : outBlocks) std::fill_n(block.frames, kBlockFrames, StereoFrame{});
  bufferState = BufferState::kZero;
}

void DoublerEngine::UpdateWetCutoff() {
  const double m = voice2.ratio > voice1.ratio ? voice2.ratio : voice1.ratio;
  double cutoff = 0.4 * sampleRate;
  if (m > 1.0) cutoff = cutoff / m;
  wetFilterL.SetCutoff(cutoff);
  wetFilterR.SetCutoff(cutoff);
}

void DoublerEngine::UpdateDetectorRange() {
  const DetectorRange r = ::UpdateDetectorRange(sampleRate, detectorHpf);
  minBin = r.minBin;
  maxBin = r.maxBin;
  lookAhead = r.lookAhead;
}

void DoublerEngine::SetWet(double v) { wet = v; }

void DoublerEngine::SetCents(int voiceIndex, double cents) {
  if (voiceIndex != 0 && voiceIndex != 1) return;
  DelayVoice& v = voiceIndex == 0 ? voice1 : voice2;
  v.ratio = cents == 0.0 ? 1.0 : std::pow(2.0, cents * 0.01 * (1.0 / 12.0));
  UpdateWetCutoff();
}

void DoublerEngine::SetDelayMs(int voiceIndex, double ms) {
  if (voiceIndex != 0 && voiceIndex != 1) return;
  DelayVoice& v = voiceIndex == 0 ? voice1 : voice2;
  v.delayMs = ms;
  SetVoiceDelay(&v, sampleRate, delayFadeHalf, lamp);
}

void DoublerEngine::SetWidthPercent(double v) { width = std::trunc(v) * 0.01; }

void DoublerEngine::SetColor(double v) { color = v; }

void DoublerEngine::SetBypass(bool b) {
  if (b != bypass) {
    frame.bypassFadeCounter = bypassFadeLength;
    bypass = b;
  }
  if (lamp != nullptr) lamp->SetLit(b);
}

void DoublerEngine::SetDetectorHpf(double hz) {
  if (!(hz > 0.0)) return;  // a period of 0 Hz is undefined; keep the last range
  detectorHpf = hz;
  UpdateDetectorRange();
}

void DoublerEngine::ProcessBlock(const double* const* inputs, double* const* outputs, int nFrames) {
  if (nFrames <= 0) return;
  if (bufferState == BufferState::kUnwritten) ClearBuffers();  // no Reset yet
  bufferState = BufferState::kInUse;
  // Parameters are read once per call: changes take effect at call boundaries.
  const double dryGain = 1.0 - wet;
  const double root2 = std::sqrt(2.0);
  const float sameGain = static_cast<float>((width + 0.5) * wet / root2);
  const float crossGain = static_cast<float>((1.0 - width) * wet / root2);
  const float colorKeep = static_cast<float>(1.0 - color);
  const float colorDrive = static_cast<float>(0.75 * color);
  const BlockGains gains{dryGain, sameGain, crossGain, colorKeep, colorDrive};
  if (ActiveDspPath() == DspPath::kScalar) {
    ProcessFramesReference(inputs, outputs, nFrames, gains);
  } else {
    ProcessFramesFast(inputs, outputs, nFrames, gains);
  }
}

inline void DoublerEngine::StepFrame(double inL, double inR, double* outL, double* outR, StereoFrame* newest,
                                     const StereoFrame* delayed, StereoFrame* play, uint8_t* mark, FrameState* s,
                                     const FrameConstants& c) {
  const double L = CleanInput(inL);
  const double R = CleanInput(inR);
  *newest = {static_cast<float>(L), static_cast<float>(R)};

  const StereoFrame played = *play;
  const StereoFrame old = *delayed;
  if (s->bypassFadeCounter > 0) {
    const double a = static_cast<double>(s->bypassFadeCounter) / c.bypassFadeLength;
    if (!c.bypassOn) {
      *outL = (1.0 - a) * played.left + a * old.left;
      *outR = (1.0 - a) * played.right + a * old.right;
    } else {
      *outL = a * played.left + (1.0 - a) * old.left;
      *outR = a * played.right + (1.0 - a) * old.right;
    }
    --s->bypassFadeCounter;
  } else if (c.bypassOn) {
    *outL = old.left;
    *outR = old.right;
  } else {
    *outL = played.left;
    *outR = played.right;
  }

  *play = {static_cast<float>(L * c.dryGain), static_cast<float>(R * c.dryGain)};

  StepOnset(L + R, mark, s, c);
}

inline void DoublerEngine::StepOnset(double S, uint8_t* mark, FrameState* s, const FrameConstants& c) {
  // The envelope compared is the one before this frame.
  uint8_t onset = 0;
  if (s->transientHold > 0) {
    --s->transientHold;
  } else if (std::fabs(S) > kOnsetLevel && std::fabs(S) > kOnsetOverEnvelope * s->envelope.Value()) {
    onset = 1;
    s->transientHold = c.transientHoldLength;
  }
  *mark = onset;
  s->envelope.Process(S);
}

// The plain per-frame loop on the member state, as the processing is
// defined; ProcessFramesFast below must give the same bits.
void DoublerEngine::ProcessFramesReference(const double* const* inputs, double* const* outputs, int nFrames,
                                           const BlockGains& g) {
  const FrameConstants c{g.dryGain, bypass, bypassFadeLength, transientHoldLength};
  for (int n = 0; n < nFrames; ++n) {
    const int wp = writePos;
    StepFrame(inputs[0][n], inputs[1][n], &outputs[0][n], &outputs[1][n], &history[kNewestBlockStart + wp],
              &history[kDelayedStart + wp], &playBlock[wp], &transientMarks[kNewestBlockStart + wp], &frame, c);
    if (++writePos == kBlockFrames) {
      writePos = 0;
      BlockStep(g);
    }
  }
}

namespace {

// Steps 1 to 4 of the per-frame step for count frames without a bypass
// fade, two frames per SSE2 register (one channel's two frames per double
// register), and the input sums L + R into sums: for each frame the
// operations of StepFrame in its order, hence its bits. The inputs are read
// before the outputs of the same frames are written, so the buffers may be
// the same. The pointers are the first frame's, as for StepFrame.
void OutputRunSse2(const double* inL, const double* inR, double* outL, double* outR, StereoFrame* newest,
                   const StereoFrame* delayed, StereoFrame* play, double* sums, int count, double dryGain,
                   bool bypassOn) {
  const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
  const __m128d tiny = _mm_set1_pd(1e-10), huge = _mm_set1_pd(static_cast<double>(FLT_MAX));
  const __m128d dry = _mm_set1_pd(dryGain);
  const StereoFrame* const heard = bypassOn ? delayed : play;
  int i = 0;
  for (; i + 2 <= count; i += 2) {
    __m128d l = _mm_loadu_pd(inL + i), r = _mm_loadu_pd(inR + i);
    // CleanInput: NaN to 0 first with a quiet comparison, so that the
    // ordered comparisons after it never see a NaN (no invalid flag).
    l = _mm_and_pd(l, _mm_cmpord_pd(l, l));
    r = _mm_and_pd(r, _mm_cmpord_pd(r, r));
    const __m128d al = _mm_and_pd(l, absMask), ar = _mm_and_pd(r, absMask);
    l = _mm_and_pd(l, _mm_and_pd(_mm_cmpge_pd(al, tiny), _mm_cmple_pd(al, huge)));
    r = _mm_and_pd(r, _mm_and_pd(_mm_cmpge_pd(ar, tiny), _mm_cmple_pd(ar, huge)));
    _mm_storeu_ps(&newest[i].left, _mm_unpacklo_ps(_mm_cvtpd_ps(l), _mm_cvtpd_ps(r)));  // L0 R0 L1 R1

    const __m128 h = _mm_loadu_ps(&heard[i].left);  // L0 R0 L1 R1
    _mm_storeu_pd(outL + i, _mm_cvtps_pd(_mm_shuffle_ps(h, h, _MM_SHUFFLE(3, 1, 2, 0))));
    _mm_storeu_pd(outR + i, _mm_cvtps_pd(_mm_shuffle_ps(h, h, _MM_SHUFFLE(2, 0, 3, 1))));

    const __m128 dl = _mm_cvtpd_ps(_mm_mul_pd(l, dry)), dr = _mm_cvtpd_ps(_mm_mul_pd(r, dry));
    _mm_storeu_ps(&play[i].left, _mm_unpacklo_ps(dl, dr));
    _mm_storeu_pd(sums + i, _mm_add_pd(l, r));
  }
  for (; i < count; ++i) {
    const double L = CleanInput(inL[i]);
    const double R = CleanInput(inR[i]);
    newest[i] = {static_cast<float>(L), static_cast<float>(R)};
    const StereoFrame out = heard[i];
    outL[i] = out.left;
    outR[i] = out.right;
    play[i] = {static_cast<float>(L * dryGain), static_cast<float>(R * dryGain)};
    sums[i] = L + R;
  }
}

// The same for groups of four frames in AVX2 registers (four frames of one
// channel per double register), lane by lane OutputRunSse2's operations,
// with OutputRunSse2 for the last count % 4 frames; and onset(sums[i],
// &marks[i], state) for every frame i < count in order, once sums[i] is
// written, on a local copy of *state (which no output store can alias, so
// it stays in registers), stored back at the end. The onsets run one group behind the vector steps,
// in the same loop: their chain of dependent operations (the envelope) then
// overlaps the vector work frame by frame instead of waiting for it.
template <class State, class Onset>
__attribute__((target("avx2"))) void OutputRunAvx2(const double* inL, const double* inR, double* outL, double* outR,
                                                   StereoFrame* newest, const StereoFrame* delayed, StereoFrame* play,
                                                   double* sums, uint8_t* marks, int count, double dryGain,
                                                   bool bypassOn, State* state, Onset onset) {
  State local = *state;
  const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
  const __m256d tiny = _mm256_set1_pd(1e-10), huge = _mm256_set1_pd(static_cast<double>(FLT_MAX));
  const __m256d dry = _mm256_set1_pd(dryGain);
  const StereoFrame* const heard = bypassOn ? delayed : play;
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    __m256d l = _mm256_loadu_pd(inL + i), r = _mm256_loadu_pd(inR + i);
    // NaN to 0 with a quiet comparison first, as OutputRunSse2.
    l = _mm256_and_pd(l, _mm256_cmp_pd(l, l, _CMP_ORD_Q));
    r = _mm256_and_pd(r, _mm256_cmp_pd(r, r, _CMP_ORD_Q));
    const __m256d al = _mm256_and_pd(l, absMask), ar = _mm256_and_pd(r, absMask);
    l = _mm256_and_pd(l, _mm256_and_pd(_mm256_cmp_pd(al, tiny, _CMP_GE_OS), _mm256_cmp_pd(al, huge, _CMP_LE_OS)));
    r = _mm256_and_pd(r, _mm256_and_pd(_mm256_cmp_pd(ar, tiny, _CMP_GE_OS), _mm256_cmp_pd(ar, huge, _CMP_LE_OS)));
    const __m128 lf = _mm256_cvtpd_ps(l), rf = _mm256_cvtpd_ps(r);
    _mm_storeu_ps(&newest[i].left, _mm_unpacklo_ps(lf, rf));  // L0 R0 L1 R1
    _mm_storeu_ps(&newest[i + 2].left, _mm_unpackhi_ps(lf, rf));

    const __m128 h01 = _mm_loadu_ps(&heard[i].left), h23 = _mm_loadu_ps(&heard[i + 2].left);
    _mm256_storeu_pd(outL + i, _mm256_cvtps_pd(_mm_shuffle_ps(h01, h23, _MM_SHUFFLE(2, 0, 2, 0))));
    _mm256_storeu_pd(outR + i, _mm256_cvtps_pd(_mm_shuffle_ps(h01, h23, _MM_SHUFFLE(3, 1, 3, 1))));

    const __m128 dl = _mm256_cvtpd_ps(_mm256_mul_pd(l, dry)), dr = _mm256_cvtpd_ps(_mm256_mul_pd(r, dry));
    _mm_storeu_ps(&play[i].left, _mm_unpacklo_ps(dl, dr));
    _mm_storeu_ps(&play[i + 2].left, _mm_unpackhi_ps(dl, dr));
    _mm256_storeu_pd(sums + i, _mm256_add_pd(l, r));
    if (i >= 4) {
      for (int j = i - 4; j < i; ++j) onset(sums[j], &marks[j], local);
    }
  }
  // The envelope's inline asm (EnvelopeFollower::Process) keeps the compiler
  // from clearing the registers' upper halves by itself; legacy SSE code
  // after dirty upper halves runs far slower.
  _mm256_zeroupper();
  if (i < count) {
    OutputRunSse2(inL + i, inR + i, outL + i, outR + i, newest + i, delayed + i, play + i, sums + i, count - i,
                  dryGain, bypassOn);
  }
  for (int j = i >= 4 ? i - 4 : 0; j < count; ++j) onset(sums[j], &marks[j], local);
  *state = local;
}

}  // namespace

// The same steps in runs up to the next block boundary, with the step's
// state in a local copy (the output stores may alias any double in memory,
// so member state would be reloaded every frame). Frames of a bypass fade
// run StepFrame; the others run the vector steps and StepOnset, whose
// envelope is a chain of dependent operations that vector lanes cannot
// share (the loop's bound): on the AVX2 path interleaved in one loop
// (OutputRunAvx2), else OutputRunSse2 and StepOnset in alternating pieces.
void DoublerEngine::ProcessFramesFast(const double* const* inputs, double* const* outputs, int nFrames,
                                      const BlockGains& g) {
  const FrameConstants c{g.dryGain, bypass, bypassFadeLength, transientHoldLength};
  const bool avx2 = UsesAvx2(ActiveDspPath());
  const double* inL = inputs[0];
  const double* inR = inputs[1];
  double* outL = outputs[0];
  double* outR = outputs[1];
  int n = 0;
  while (n < nFrames) {
    const int wp0 = writePos;
    const int run = std::min(nFrames - n, kBlockFrames - wp0);
    StereoFrame* const newest = history + kNewestBlockStart + wp0;
    const StereoFrame* const delayed = history + kDelayedStart + wp0;
    StereoFrame* const play = playBlock + wp0;
    uint8_t* const marks = transientMarks + kNewestBlockStart + wp0;
    FrameState s = frame;
    int i = 0;
    for (; i < run && s.bypassFadeCounter > 0; ++i, ++n) {
      StepFrame(inL[n], inR[n], &outL[n], &outR[n], &newest[i], &delayed[i], &play[i], &marks[i], &s, c);
    }
    if (avx2 && i < run) {
      // On the member itself: a copy read back right after the loop's
      // narrower stores into it would wait for them to reach the cache.
      if (i > 0) frame = s;
      OutputRunAvx2(inL + n, inR + n, outL + n, outR + n, newest + i, delayed + i, play + i, sumScratch, marks + i,
                    run - i, c.dryGain, c.bypassOn, &frame,
                    [&c](double S, uint8_t* mark, FrameState& state) { StepOnset(S, mark, &state, c); });
      n += run - i;
    } else {
      // In short pieces, so that the processor overlaps one piece's
      // envelope chain with the next piece's vector work.
      while (i < run) {
        const int piece = std::min(run - i, kOnsetPiece);
        OutputRunSse2(inL + n, inR + n, outL + n, outR + n, newest + i, delayed + i, play + i, sumScratch + i, piece,
                      c.dryGain, c.bypassOn);
        for (const int end = i + piece; i < end; ++i, ++n) StepOnset(sumScratch[i], &marks[i], &s, c);
      }
      frame = s;
    }
    writePos = wp0 + run;
    if (writePos == kBlockFrames) {
      writePos = 0;
      BlockStep(g);
    }
  }
}

void DoublerEngine::BlockStep(const BlockGains& g) {
  period = DetectPeriod(history + kDetectorStart, analysisWindow, binWeights, minBin, maxBin, period,
                        &detectorScratch);
  halfPeriod = 0.5 * period;
  if (period > 0.0) {
    for (DelayVoice* v : {&voice1, &voice2}) {
      // A voice whose cents were never delivered has ratio 0: its splice is
      // endless, as the quotient says, but without a division by zero.
      v->spliceLength = v->ratio != 0.0 ? period / v->ratio : HUGE_VAL;
    }
  }

  if (ActiveDspPath() == DspPath::kScalar) {
    RenderWetReference(g);
  } else {
    RenderWetFast(g);
  }

  // The history and the marks move down one block: the windows slide up
  // (the top block is overwritten before anything reads it again), or at
  // the end of the stores the contents move back to their start.
  if (history + kHistoryFrames + kBlockFrames <= historyStore.frames + kStoreFrames) {
    history += kBlockFrames;
    transientMarks += kBlockFrames;
  } else {
    std::memmove(historyStore.frames, history + kBlockFrames, sizeof(StereoFrame) * (kHistoryFrames - kBlockFrames));
    std::memmove(marksStore, transientMarks + kBlockFrames, kHistoryFrames - kBlockFrames);
    history = historyStore.frames;
    transientMarks = marksStore;
  }

  StereoFrame* const oldPlay = playBlock;
  playBlock = mixBlock;
  mixBlock = spareBlock1;
  spareBlock1 = spareBlock2;
  spareBlock2 = oldPlay;

  for (DelayVoice* v : {&voice1, &voice2}) {
    if (v->readPos >= 0.0) v->readPos -= kBlockFrames;
    if (v->nextReadPos >= 0.0) v->nextReadPos -= kBlockFrames;
  }
}

// The wet rendering of one block into mixBlock, frame by frame on the
// member state through the out-of-line voice and filter operations.
void DoublerEngine::RenderWetReference(const BlockGains& g) {
  const float sameGain = g.sameGain, crossGain = g.crossGain, colorKeep = g.colorKeep, colorDrive = g.colorDrive;
  const bool shaping = colorDrive > 0.0f;
  const VoiceContext context{history, transientMarks, period, halfPeriod, lookAhead, bypassFadeLength};
  for (int k = 0; k < kBlockFrames; ++k) {
    const int index = kRenderIndex + k;
    const StereoFrame p = NextVoiceFrame(&voice1, context, index);
    const StereoFrame q = NextVoiceFrame(&voice2, context, index);
    // Evaluated in double from the float gains and frames; mixR is kept as
    // a float before filtering, mixL is not.
    const double mixL = static_cast<double>(sameGain) * p.left + static_cast<double>(crossGain) * q.left;
    const float mixR = static_cast<float>(static_cast<double>(sameGain) * q.right +
                                          static_cast<double>(crossGain) * p.right);
    float yL = static_cast<float>(BoundWet(wetFilterL.Process(mixL)));
    float yR = static_cast<float>(BoundWet(wetFilterR.Process(mixR)));
    if (shaping) {
      yL = Shape(yL, colorKeep, colorDrive);
      yR = Shape(yR, colorKeep, colorDrive);
    }
    ApplyDelayFade(&voice1, &yL, delayFadeHalf, lamp);
    ApplyDelayFade(&voice2, &yR, delayFadeHalf, lamp);
    mixBlock[k].left += yL;
    mixBlock[k].right += yR;
  }
}

namespace {

struct MixConstants {
  __m128d sameGain, crossGain, keep, twoDrive;  // twoDrive = 2 * color drive
  int32_t fadeHalf;
  IndicatorLamp* lamp;
};

// The mix of one frame of both voices (p voice 1, q voice 2) as the
// filters take it: lanes (mixL, mixR), mixL in double, mixR rounded to a
// float first.
inline __m128d MixFrame(const StereoFrame* p, const StereoFrame* q, const MixConstants& m) {
  // (p.left, p.right, q.left, q.right) -> lanes (p.left, q.right) and (q.left, p.right).
  const __m128 pq = _mm_movelh_ps(LoadFrame(p), LoadFrame(q));
  const __m128d own = _mm_cvtps_pd(_mm_shuffle_ps(pq, pq, _MM_SHUFFLE(3, 3, 3, 0)));
  const __m128d other = _mm_cvtps_pd(_mm_shuffle_ps(pq, pq, _MM_SHUFFLE(1, 1, 1, 2)));
  const __m128d sum = _mm_add_pd(_mm_mul_pd(m.sameGain, own), _mm_mul_pd(m.crossGain, other));
  return _mm_move_sd(_mm_cvtps_pd(_mm_cvtpd_ps(sum)), sum);
}

// One frame of filter outputs (yL, yR) bounded, rounded to floats and, with
// kShaping, shaped: keep y - (2 drive) ((y y + ((2 y) y) y) - y), as Shape.
template <bool kShaping>
inline __m128 ShapeFrame(__m128d filtered, const MixConstants& m) {
  __m128 y = _mm_cvtpd_ps(BoundWet(filtered));
  if (kShaping) {
    const __m128d yd = _mm_cvtps_pd(y);
    const __m128d cube = _mm_mul_pd(_mm_mul_pd(_mm_add_pd(yd, yd), yd), yd);  // 2 y is exact as y + y
    const __m128d poly = _mm_sub_pd(_mm_add_pd(_mm_mul_pd(yd, yd), cube), yd);
    y = _mm_cvtpd_ps(_mm_sub_pd(_mm_mul_pd(m.keep, yd), _mm_mul_pd(m.twoDrive, poly)));
  }
  return y;
}

// Mixes, filters and shapes count frames of both voices (p voice 1, q voice
// 2) into mix, both sides at once in the two double lanes of SSE2 registers;
// with kFading the delay-change fades apply (the voices' fade state moves).
// One instance per case, so that no case carries the others' registers.
template <bool kShaping, bool kFading>
void MixRun(StereoFrame* mix, const StereoFrame* p, const StereoFrame* q, int count, LowpassPair* filterPair,
            const MixConstants& m, DelayVoice* voice1, DelayVoice* voice2) {
  LowpassPair filters = *filterPair;
  for (int k = 0; k < count; ++k) {
    __m128 y = ShapeFrame<kShaping>(filters.Process(MixFrame(&p[k], &q[k], m)), m);
    if (kFading) {
      float yL = _mm_cvtss_f32(y);
      float yR = _mm_cvtss_f32(_mm_shuffle_ps(y, y, _MM_SHUFFLE(1, 1, 1, 1)));
      ApplyDelayFadeInline(voice1, &yL, m.fadeHalf, m.lamp);
      ApplyDelayFadeInline(voice2, &yR, m.fadeHalf, m.lamp);
      y = _mm_unpacklo_ps(_mm_set_ss(yL), _mm_set_ss(yR));
    }
    StoreFrame(&mix[k], _mm_add_ps(LoadFrame(&mix[k]), y));
  }
  *filterPair = filters;
}

#define DUV_AVX2 __attribute__((target("avx2")))

// The last stage of MixRunAvx2 and of the joint glide on one pair of
// frames: the filters' outputs (two frames, left and right) bounded, rounded
// to floats and, with kShaping, shaped as ShapeFrame shapes them, then added
// into mix[0..1].
template <bool kShaping>
__attribute__((target("avx2"), always_inline)) inline void ShapePairInto(StereoFrame* mix, __m256d filtered,
                                                                       __m256d keep, __m256d twoDrive) {
  __m128 y = _mm256_cvtpd_ps(_mm256_min_pd(_mm256_max_pd(filtered, _mm256_set1_pd(-kWetBound)),
                                           _mm256_set1_pd(kWetBound)));
  if (kShaping) {
    const __m256d yd = _mm256_cvtps_pd(y);
    const __m256d cube = _mm256_mul_pd(_mm256_mul_pd(_mm256_add_pd(yd, yd), yd), yd);
    const __m256d poly = _mm256_sub_pd(_mm256_add_pd(_mm256_mul_pd(yd, yd), cube), yd);
    y = _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(keep, yd), _mm256_mul_pd(twoDrive, poly)));
  }
  float* const out = &mix->left;
  _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), y));
}

// MixRun without delay fades on the AVX2 path, in three stages: the mix of
// two frames per 256-bit register, the filters' recursion, and the shaping
// and the sum into mix, again two frames per register. The recursion is a
// chain of dependent operations that leaves most of the processor idle, so
// the stages run as a pipeline: each step filters one pair of frames while
// it mixes the pair kMixLag steps ahead and shapes the pair kMixLag steps
// behind, work the processor does in the chain's idle time. Lane by lane the
// operations are MixFrame's and ShapeFrame's, in their order. (Runs without
// a fade have even lengths in practice: a change lasts 2 x delayFadeHalf
// rendered frames from a block start. An odd last frame takes MixFrame and
// ShapeFrame themselves.)
constexpr int kMixLag = 4;    // pairs of frames between the stages
// Frames rendered apart, at least, once a voice leaves the joint glide.
constexpr int kApartFrames = 16;
constexpr int kMixRing = 16;  // pairs held between the stages, > kMixLag
template <bool kShaping>
DUV_AVX2 void MixRunAvx2(StereoFrame* mix, const StereoFrame* p, const StereoFrame* q, int count,
                         LowpassPair* filterPair, const MixConstants& m, DelayVoice*, DelayVoice*) {
  alignas(32) double mixed[4 * kMixRing];
  alignas(32) double filtered[4 * kMixRing];
  LowpassPair filters = *filterPair;
  const __m256d same = _mm256_set_m128d(m.sameGain, m.sameGain), cross = _mm256_set_m128d(m.crossGain, m.crossGain);
  const __m256d keep = _mm256_set_m128d(m.keep, m.keep), twoDrive = _mm256_set_m128d(m.twoDrive, m.twoDrive);
  const int pairs = count / 2;
  for (int step = 0; step < pairs + 2 * kMixLag; ++step) {
    if (step < pairs) {
      const int k = 2 * step;
      const __m128 pv = _mm_loadu_ps(&p[k].left), qv = _mm_loadu_ps(&q[k].left);  // L0 R0 L1 R1
      const __m256d own = _mm256_cvtps_pd(_mm_blend_ps(pv, qv, 0x0A));    // pL0 qR0 pL1 qR1
      const __m256d other = _mm256_cvtps_pd(_mm_blend_ps(qv, pv, 0x0A));  // qL0 pR0 qL1 pR1
      const __m256d sum = _mm256_add_pd(_mm256_mul_pd(same, own), _mm256_mul_pd(cross, other));
      _mm256_store_pd(mixed + 4 * (step % kMixRing), _mm256_blend_pd(sum, _mm256_cvtps_pd(_mm256_cvtpd_ps(sum)), 0x0A));
    }
    const int filterStep = step - kMixLag;
    if (filterStep >= 0 && filterStep < pairs) {
      const double* in = mixed + 4 * (filterStep % kMixRing);
      double* out = filtered + 4 * (filterStep % kMixRing);
      _mm_store_pd(out, filters.Process(_mm_load_pd(in)));
      _mm_store_pd(out + 2, filters.Process(_mm_load_pd(in + 2)));
    }
    const int shapeStep = step - 2 * kMixLag;
    if (shapeStep >= 0) {
      ShapePairInto<kShaping>(&mix[2 * shapeStep], _mm256_load_pd(filtered + 4 * (shapeStep % kMixRing)), keep,
                              twoDrive);
    }
  }
  if (count % 2 != 0) {
    const int k = count - 1;
    const __m128 y = ShapeFrame<kShaping>(filters.Process(MixFrame(&p[k], &q[k], m)), m);
    StoreFrame(&mix[k], _mm_add_ps(LoadFrame(&mix[k]), y));
  }
  *filterPair = filters;
}

// How many pairs of frames from x (pair s: frames 2s and 2s + 1) a gliding
// position p moving by ratio per frame certainly stays within half a period
// of the tap, so that the splice test may be skipped for them: its drift
// d + j (ratio - 1) from the tap stays within half less a margin for every
// such frame j. The margin, 1e-6, lies far above the positions' rounding
// (below 8192 at most 2^-41 per addition, so under 1e-9 over a block) and
// that of the test itself. At most maxPairs.
inline int CertainGlidePairs(double p, double x, double ratio, double half, int maxPairs) {
  const double room = half - 1e-6, d = p - x, slope = ratio - 1.0;
  if (!(std::fabs(d) <= room)) return 0;
  const double frames = slope > 0.0 ? (room - d) / slope : slope < 0.0 ? (room + d) / -slope : HUGE_VAL;
  if (!(frames >= 1.0)) return 0;
  const double pairs = std::floor((frames - 1.0) * 0.5) + 1.0;
  return pairs >= maxPairs ? maxPairs : static_cast<int>(pairs);
}

// Both voices gliding, mixed, filtered and shaped into mix in one pipeline,
// two frames per step, in five stages: the positions (GlidePairsAvx2's, of
// both voices in one register) and their whole frames and fractions; the
// frames read and interpolated; MixRunAvx2's mix, with the filters'
// feed-forward sums; the filters' recursion; MixRunAvx2's shaping and sum
// into mix. Each stage works kMixLag steps behind the one before, so that
// one step's operations depend on nothing of the same step and the
// processor overlaps them all, the recursion being the chain that the rest
// fills. Stops before
// the first pair at which either voice would start a splice (its position
// half a period or more from the tap), after count / 2 pairs at most; the
// caller limits count to where both voices' plain spans reach
// (PlainSpanInline, kGlide for both). Returns the frames done (even). Same
// frames, voice positions and filter state as the voices' spans and
// MixRunAvx2 over those frames.
template <bool kShaping>
__attribute__((target("avx2"), always_inline)) inline int GlideMixRun(StereoFrame* mix, DelayVoice* voice1,
                                                                    DelayVoice* voice2, const VoiceContext& c,
                                                                    int index, int count, LowpassPair* filterPair,
                                                                    const MixConstants& m) {
  if (count < 2) return 0;
  alignas(32) int32_t wholes[4 * kMixRing];  // per pair: the four positions' whole frames
  alignas(32) double fractions[4 * kMixRing];  // and their fractions
  alignas(32) float voiced[8 * kMixRing];  // per pair: voice 1's two frames, then voice 2's
  alignas(32) double fed[4 * kMixRing];    // per pair: the filters' feed-forward sums
  alignas(32) double filtered[4 * kMixRing];
  LowpassPair filters = *filterPair;
  const __m256d same = _mm256_set_m128d(m.sameGain, m.sameGain), cross = _mm256_set_m128d(m.crossGain, m.crossGain);
  const __m256d keep = _mm256_set_m128d(m.keep, m.keep), twoDrive = _mm256_set_m128d(m.twoDrive, m.twoDrive);
  // The filters' feed-forward sums are formed with the mix, two frames per
  // register (Process's operations in its order); the recursion stage runs
  // only the rest. inputs: the last pair of frames mixed, lanes (left,
  // right) of the first, then of the second.
  const __m256d c0 = _mm256_set_m128d(filters.B0(), filters.B0()), c1 = _mm256_set_m128d(filters.B1(), filters.B1()),
                c2 = _mm256_set_m128d(filters.B2(), filters.B2());
  __m256d inputs = _mm256_set_m128d(filters.X1(), filters.X2());
  // Lane 0 voice 1, lane 1 voice 2. nextReadPos moves only once it is >= 0;
  // adding 0 leaves a negative one exactly as it is.
  const __m128d ratio = _mm_set_pd(voice2->ratio, voice1->ratio);
  const __m128d nextRatio = _mm_set_pd(voice2->nextReadPos >= 0.0 ? voice2->ratio : 0.0,
                                       voice1->nextReadPos >= 0.0 ? voice1->ratio : 0.0);
  __m128d pos = _mm_set_pd(voice2->readPos, voice1->readPos);
  __m128d next = _mm_set_pd(voice2->nextReadPos, voice1->nextReadPos);
  // Per lane of the four positions (voice 1 frame 0, frame 1, voice 2 frame
  // 0, frame 1): the frame's x.
  __m256d x = _mm256_set_pd(index + 1.0, index, index + 1.0, index);
  const __m256d half = _mm256_set1_pd(c.halfPeriod), two = _mm256_set1_pd(2.0), one = _mm256_set1_pd(1.0);
  const StereoFrame* const base1 = c.history + (kMaxDelayFrames - voice1->delay);
  const StereoFrame* const base2 = c.history + (kMaxDelayFrames - voice2->delay);
  const int maxPairs = count / 2;
  // Up to certain, the pairs need no splice test.
  const int certain = std::min(CertainGlidePairs(voice1->readPos, index, voice1->ratio, c.halfPeriod, maxPairs),
                               CertainGlidePairs(voice2->readPos, index, voice2->ratio, c.halfPeriod, maxPairs));
  int pairs = 0;
  bool gliding = true;
  for (int step = 0;; ++step) {
    if (gliding) {
      const __m128d pos1 = _mm_add_pd(pos, ratio);
      const __m256d pp = _mm256_set_m128d(_mm_unpackhi_pd(pos, pos1), _mm_unpacklo_pd(pos, pos1));
      if (step >= certain && _mm256_movemask_pd(_mm256_or_pd(_mm256_cmp_pd(pp, _mm256_add_pd(x, half), _CMP_GE_OQ),
                                                             _mm256_cmp_pd(pp, _mm256_sub_pd(x, half), _CMP_LT_OQ))) != 0) {
        gliding = false;
      } else {
        const __m128i whole = _mm256_cvttpd_epi32(pp);
        _mm_store_si128(reinterpret_cast<__m128i*>(wholes + 4 * (step % kMixRing)), whole);
        _mm256_store_pd(fractions + 4 * (step % kMixRing), _mm256_sub_pd(pp, _mm256_cvtepi32_pd(whole)));
        pos = _mm_add_pd(pos1, ratio);
        next = _mm_add_pd(_mm_add_pd(next, nextRatio), nextRatio);
        x = _mm256_add_pd(x, two);
        if (++pairs == maxPairs) gliding = false;
      }
    }
    const int readStep = step - kMixLag;
    if (readStep >= 0 && readStep < pairs) {
      const int32_t* whole = wholes + 4 * (readStep % kMixRing);
      const __m256d t = _mm256_load_pd(fractions + 4 * (readStep % kMixRing));
      const __m128 f0 = _mm_loadu_ps(&base1[whole[0]].left);  // aL aR bL bR
      const __m128 f1 = _mm_loadu_ps(&base1[whole[1]].left);
      const __m128 f2 = _mm_loadu_ps(&base2[whole[2]].left);
      const __m128 f3 = _mm_loadu_ps(&base2[whole[3]].left);
      const __m256d t1 = _mm256_permute4x64_pd(t, _MM_SHUFFLE(1, 1, 0, 0));  // t0 t0 t1 t1 of voice 1
      const __m256d t2 = _mm256_permute4x64_pd(t, _MM_SHUFFLE(3, 3, 2, 2));
      const __m256d a1 = _mm256_cvtps_pd(_mm_movelh_ps(f0, f1)), b1 = _mm256_cvtps_pd(_mm_movehl_ps(f1, f0));
      const __m256d a2 = _mm256_cvtps_pd(_mm_movelh_ps(f2, f3)), b2 = _mm256_cvtps_pd(_mm_movehl_ps(f3, f2));
      float* const out = voiced + 8 * (readStep % kMixRing);
      _mm_store_ps(out, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(one, t1), a1), _mm256_mul_pd(t1, b1))));
      _mm_store_ps(out + 4,
                   _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(one, t2), a2), _mm256_mul_pd(t2, b2))));
    }
    const int mixStep = step - 2 * kMixLag;
    if (mixStep >= 0 && mixStep < pairs) {
      // MixRunAvx2's first stage, and the feed-forward sums.
      const float* in = voiced + 8 * (mixStep % kMixRing);
      const __m128 pv = _mm_load_ps(in), qv = _mm_load_ps(in + 4);
      const __m256d own = _mm256_cvtps_pd(_mm_blend_ps(pv, qv, 0x0A));    // pL0 qR0 pL1 qR1
      const __m256d other = _mm256_cvtps_pd(_mm_blend_ps(qv, pv, 0x0A));  // qL0 pR0 qL1 pR1
      const __m256d sum = _mm256_add_pd(_mm256_mul_pd(same, own), _mm256_mul_pd(cross, other));
      const __m256d fresh = _mm256_blend_pd(sum, _mm256_cvtps_pd(_mm256_cvtpd_ps(sum)), 0x0A);
      // Per frame x, x1, x2: the pair; (the last frame before, the first); the pair before.
      const __m256d fresh1 = _mm256_permute2f128_pd(inputs, fresh, 0x21);
      _mm256_store_pd(fed + 4 * (mixStep % kMixRing),
                      _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(c0, fresh), _mm256_mul_pd(c1, fresh1)),
                                    _mm256_mul_pd(c2, inputs)));
      inputs = fresh;
    }
    const int filterStep = step - 3 * kMixLag;
    if (filterStep >= 0 && filterStep < pairs) {
      const double* in = fed + 4 * (filterStep % kMixRing);
      double* out = filtered + 4 * (filterStep % kMixRing);
      _mm_store_pd(out, filters.Recur(_mm_load_pd(in)));
      _mm_store_pd(out + 2, filters.Recur(_mm_load_pd(in + 2)));
    }
    const int shapeStep = step - 4 * kMixLag;
    if (!gliding && shapeStep >= pairs) break;
    if (shapeStep >= 0) {
      ShapePairInto<kShaping>(&mix[2 * shapeStep], _mm256_load_pd(filtered + 4 * (shapeStep % kMixRing)), keep,
                              twoDrive);
    }
  }
  _mm_storel_pd(&voice1->readPos, pos);
  _mm_storeh_pd(&voice2->readPos, pos);
  _mm_storel_pd(&voice1->nextReadPos, next);
  _mm_storeh_pd(&voice2->nextReadPos, next);
  filters.SetInputs(_mm256_extractf128_pd(inputs, 1), _mm256_castpd256_pd128(inputs));
  *filterPair = filters;
  return 2 * pairs;
}
// The AVX2 instance, and on the AVX-512 path the same operations with the 32
// registers of AVX-512 VL (fewer values through memory; no 512-bit vectors).
template <bool kShaping>
DUV_AVX2 int GlideMixRunAvx2(StereoFrame* mix, DelayVoice* voice1, DelayVoice* voice2, const VoiceContext& c,
                             int index, int count, LowpassPair* filterPair, const MixConstants& m) {
  return GlideMixRun<kShaping>(mix, voice1, voice2, c, index, count, filterPair, m);
}
template <bool kShaping>
__attribute__((target("avx2,avx512f,avx512vl"))) int GlideMixRunAvx512(StereoFrame* mix, DelayVoice* voice1,
                                                                       DelayVoice* voice2, const VoiceContext& c,
                                                                       int index, int count, LowpassPair* filterPair,
                                                                       const MixConstants& m) {
  return GlideMixRun<kShaping>(mix, voice1, voice2, c, index, count, filterPair, m);
}

#undef DUV_AVX2

using MixRunFunction = void (*)(StereoFrame*, const StereoFrame*, const StereoFrame*, int, LowpassPair*,
                                const MixConstants&, DelayVoice*, DelayVoice*);

// [avx2][shaping][fading]
constexpr MixRunFunction kMixRuns[2][2][2] = {
    {{&MixRun<false, false>, &MixRun<false, true>}, {&MixRun<true, false>, &MixRun<true, true>}},
    {{&MixRunAvx2<false>, &MixRun<false, true>}, {&MixRunAvx2<true>, &MixRun<true, true>}}};

}  // namespace

// The same rendering, restructured: the block is cut into runs over which
// neither voice's tap can switch (a switch happens only inside the delay
// fade, at a frame FramesWithCurrentTap predicts). On the AVX2 path, where
// no fade runs, stretches in which both voices glide are rendered, mixed,
// filtered and shaped in one pipeline (GlideMixRunAvx2). Everything else
// renders voice 1, then voice 2, into scratch buffers with the voice state
// in registers (the long stretches of plain gliding in spans, the rest frame
// by frame), and then mixes, filters and shapes both sides at once in the
// two double lanes of SSE2 registers. Every lane and every voice step
// performs the reference's operations in the reference's order: same bits.
void DoublerEngine::RenderWetFast(const BlockGains& g) {
  const VoiceContext context{history, transientMarks, period, halfPeriod, lookAhead, bypassFadeLength};
  const int32_t fadeHalf = delayFadeHalf;
  const bool shaping = g.colorDrive > 0.0f;
  const MixConstants mix{_mm_set1_pd(g.sameGain), _mm_set1_pd(g.crossGain), _mm_set1_pd(g.colorKeep),
                         _mm_set1_pd(2.0 * static_cast<double>(g.colorDrive)), fadeHalf, lamp};
  LowpassPair filters(wetFilterL, wetFilterR);
  const bool avx2 = UsesAvx2(ActiveDspPath()), avx512 = ActiveDspPath() == DspPath::kAVX512;
  StereoFrame* const voice1Frames = voiceScratch[0].frames;
  StereoFrame* const voice2Frames = voiceScratch[1].frames;

  // Frames [k0, end) in scratch, voice by voice, then through mixRun.
  const auto renderApart = [&](int k0, int end, MixRunFunction mixRun) {
    for (auto [voice, frames] : {std::pair{&voice1, voice1Frames}, std::pair{&voice2, voice2Frames}}) {
      DelayVoice v = *voice;
      for (int k = k0; k < end;) {
        k += avx2 ? GlideSpanInline<true>(&v, context, kRenderIndex + k, end - k, frames + k)
                  : GlideSpanInline<false>(&v, context, kRenderIndex + k, end - k, frames + k);
        if (k < end) {
          frames[k] = NextVoiceFrameInline(&v, context, kRenderIndex + k);
          ++k;
        }
      }
      *voice = v;
    }
    mixRun(mixBlock + k0, voice1Frames + k0, voice2Frames + k0, end - k0, &filters, mix, &voice1, &voice2);
  };

  for (int k0 = 0; k0 < kBlockFrames;) {
    const int run = std::min({kBlockFrames - k0, FramesWithCurrentTap(voice1, fadeHalf),
                              FramesWithCurrentTap(voice2, fadeHalf)});
    const int end = k0 + run;
    // A change running at the start of a run runs to its end: it can only
    // finish at a tap switch, which is the run's last frame.
    const bool fading = voice1.delayFadeCounter != 0 || voice2.delayFadeCounter != 0;
    const MixRunFunction mixRun = kMixRuns[avx2][shaping][fading];
    if (!avx2 || fading) {
      renderApart(k0, end, mixRun);
      k0 = end;
      continue;
    }
    for (int k = k0; k < end;) {
      const PlainSpan span1 = PlainSpanInline(voice1, context, kRenderIndex + k, end - k);
      const PlainSpan span2 = PlainSpanInline(voice2, context, kRenderIndex + k, end - k);
      if (span1.kind == PlainSpan::kGlide && span2.kind == PlainSpan::kGlide) {
        const int count = std::min(span1.count, span2.count);
        const auto glideMix = avx512 ? (shaping ? &GlideMixRunAvx512<true> : &GlideMixRunAvx512<false>)
                                     : (shaping ? &GlideMixRunAvx2<true> : &GlideMixRunAvx2<false>);
        k += glideMix(mixBlock + k, &voice1, &voice2, context, kRenderIndex + k, count, &filters, mix);
        if (k >= end) break;
      }
      // Until a running splice ends (then both may glide together again),
      // at least kApartFrames.
      const int apart = std::max({kApartFrames, voice1.fadeCounter + 1, voice2.fadeCounter + 1});
      const int stop = std::min(end, k + apart);
      renderApart(k, stop, mixRun);
      k = stop;
    }
    k0 = end;
  }
  filters.Store(&wetFilterL, &wetFilterR);
}

// The per-frame voice operations as inline bodies. DelayVoice.cpp builds the
// out-of-line functions declared in DelayVoice.h from them, and the engine's
// fast render loop inlines them on local copies of the voices, so the voice
// state stays in registers across a block. One body each: both callers run
// the same operations in the same order, hence the same results.
// Contracts: as the functions of the same name without "Inline". Below them,
// the fast render loop's span of plain gliding (GlideSpanInline), which a
// test holds to the per-frame step frame by frame.
#pragma once

#include <emmintrin.h>
#include <immintrin.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

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

// (1 - t) * a + t * b per channel for the adjacent frames a = at[0] and
// b = at[1], in double from the float frames, rounded to float: the
// interpolation of ReadHistoryInline in the two double lanes of an SSE2
// register, same operations in the same order per lane.
// The result goes straight to *out (a 64-bit store, any alignment).
inline void LerpFramesSse2(StereoFrame* out, const StereoFrame* at, double t) {
  const __m128 ab = _mm_loadu_ps(&at->left);  // aL aR bL bR
  const __m128d a = _mm_cvtps_pd(ab);
  const __m128d b = _mm_cvtps_pd(_mm_movehl_ps(ab, ab));
  const __m128d tt = _mm_set1_pd(t);
  const __m128d mixed = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(_mm_set1_pd(1.0), tt), a), _mm_mul_pd(tt, b));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_castps_si128(_mm_cvtpd_ps(mixed)));
}
inline StereoFrame LerpFramesSse2(const StereoFrame* at, double t) {
  StereoFrame out;
  LerpFramesSse2(&out, at, t);
  return out;
}

namespace delay_voice_detail {
// The gliding loop of GlideSpanInline. kMoveNext: nextReadPos moves too, in
// the same loop, so its chain of additions overlaps that of readPos instead
// of running after it. Returns the frames rendered.
template <bool kMoveNext>
inline int GlideFrames(const VoiceContext& c, int baseFrame, double ratio, int index, int count, double* pos,
                       double* next, StereoFrame* out) {
  double p = *pos, q = *next;
  double x = index;
  int n = 0;
  for (; n < count; ++n, x += 1.0) {
    if (p >= x + c.halfPeriod || p < x - c.halfPeriod) break;  // Realign would start a splice
    const int whole = static_cast<int>(p);
    LerpFramesSse2(out + n, c.history + baseFrame + whole, p - static_cast<double>(whole));
    p += ratio;
    if (kMoveNext) q += ratio;
  }
  *pos = p;
  *next = q;
  return n;
}

// The same loop two frames at a time in AVX2 registers (the two frames' four
// interpolations in one 256-bit register, each lane LerpFramesSse2's
// operations), stopping before a pair whose first or second frame would
// start a splice; the caller's GlideFrames renders what is left.
template <bool kMoveNext>
__attribute__((target("avx2"))) inline int GlidePairsAvx2(const VoiceContext& c, int baseFrame, double ratio,
                                                           int index, int count, double* pos, double* next,
                                                           StereoFrame* out) {
  double p = *pos, q = *next;
  // The pair's x and x + 1 and their bounds x -+ halfPeriod side by side;
  // the positions' truncations and fractions likewise (exact below 2^31).
  __m128d x = _mm_set_pd(index + 1.0, index);
  const __m128d half = _mm_set1_pd(c.halfPeriod), two = _mm_set1_pd(2.0);
  const StereoFrame* const base = c.history + baseFrame;
  const __m256d one = _mm256_set1_pd(1.0);
  int n = 0;
  for (; n + 2 <= count; n += 2) {
    const double p1 = p + ratio;
    const __m128d pp = _mm_set_pd(p1, p);
    // Realign would start a splice at either frame.
    const __m128d outside = _mm_or_pd(_mm_cmpge_pd(pp, _mm_add_pd(x, half)), _mm_cmplt_pd(pp, _mm_sub_pd(x, half)));
    if (_mm_movemask_pd(outside) != 0) break;
    const __m128i whole = _mm_cvttpd_epi32(pp);
    const __m128d t = _mm_sub_pd(pp, _mm_cvtepi32_pd(whole));
    const __m128 f0 = _mm_loadu_ps(&base[_mm_cvtsi128_si32(whole)].left);  // aL aR bL bR
    const __m128 f1 = _mm_loadu_ps(&base[_mm_extract_epi32(whole, 1)].left);
    const __m256d a = _mm256_cvtps_pd(_mm_movelh_ps(f0, f1));
    const __m256d b = _mm256_cvtps_pd(_mm_movehl_ps(f1, f0));
    const __m256d tt = _mm256_permute4x64_pd(_mm256_castpd128_pd256(t), _MM_SHUFFLE(1, 1, 0, 0));  // t0 t0 t1 t1
    const __m256d mixed = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(one, tt), a), _mm256_mul_pd(tt, b));
    _mm_storeu_ps(&out[n].left, _mm256_cvtpd_ps(mixed));
    p = p1 + ratio;
    if (kMoveNext) {
      q += ratio;
      q += ratio;
    }
    x = _mm_add_pd(x, two);
  }
  *pos = p;
  *next = q;
  return n;
}
}  // namespace delay_voice_detail

// How far the voice's step would only read and move on from index (at most
// count frames): gliding without a splice start check (readPos >= 0, a known
// period, and the conditions under which the glide loops' reads stay inside
// the history) or resting on the plain tap (readPos < 0, no period), no
// fade, no transient pending, and up to the first frame whose look-ahead
// position holds a mark. kNone (count 0) when the voice is in no such state.
// Whether a gliding voice's position also stays within half a period of the
// tap is checked frame by frame by the loops that render the span.
struct PlainSpan {
  enum Kind { kNone, kGlide, kRest } kind = kNone;
  int count = 0;
};
inline PlainSpan PlainSpanInline(const DelayVoice& v, const VoiceContext& c, int index, int count) {
  if (v.fadeCounter != 0 || v.transientCountdown != 0 || count <= 0) return {};
  const double ratio = v.ratio;
  const bool gliding = v.readPos >= 0.0;
  if (gliding) {
    // A finite ratio >= 0 keeps the positions finite and nextReadPos on its
    // side of 0. Within half a period below 2048 of x (4096..5119) a
    // position lies in 2048..7167, where the conversion truncates exactly
    // and the first frame read, 4096 - delay + trunc(pos), stays inside
    // 0..11263: ReadHistoryInline's clamps cannot act. (Detected periods
    // stay below 2734 frames, so this holds for every real period.)
    if (!(c.period > 0.0) || !(c.halfPeriod < 2048.0) || !(ratio >= 0.0) || !std::isfinite(ratio)) return {};
  } else if (!(v.readPos < 0.0) || c.period > 0.0) {
    return {};
  }
  // The span ends before the first frame whose look-ahead position holds a
  // mark (marks are 0 or 1; positions outside the history count as unmarked,
  // as in the step).
  const long long firstMark = 4096LL + index + c.lookAhead - v.delay;
  const long long from = firstMark < 0 ? 0 : firstMark;
  const long long to = firstMark + count > kHistoryFrames ? kHistoryFrames : firstMark + count;
  if (from < to) {
    const void* hit = std::memchr(c.transientMarks + from, 1, static_cast<size_t>(to - from));
    if (hit != nullptr) count = static_cast<int>(static_cast<const uint8_t*>(hit) - c.transientMarks - firstMark);
  }
  return {gliding ? PlainSpan::kGlide : PlainSpan::kRest, count};
}

// Renders the frames for index, index + 1, ... (at most count) as long as
// the voice's step would only read and move on (PlainSpanInline, and for a
// gliding voice its position within half a period of the tap). Returns how
// many frames it rendered into out (0 when the voice is in no such state);
// the frame after them needs NextVoiceFrameInline. Same frames and state as
// that many NextVoiceFrameInline calls. kAvx2: glides two frames at a time
// with AVX2 (same frames and state); only where the CPU has it.
template <bool kAvx2 = false>
inline int GlideSpanInline(DelayVoice* v, const VoiceContext& c, int index, int count, StereoFrame* out) {
  const PlainSpan span = PlainSpanInline(*v, c, index, count);
  if (span.kind == PlainSpan::kNone) return 0;
  count = span.count;
  const int baseFrame = kMaxDelayFrames - v->delay;
  const double ratio = v->ratio;
  int n = 0;
  if (span.kind == PlainSpan::kGlide) {
    using namespace delay_voice_detail;
    // nextReadPos stays >= 0 once it is (ratio >= 0), so it moves every frame.
    const bool moveNext = v->nextReadPos >= 0.0;
    if (kAvx2) {
      n = moveNext ? GlidePairsAvx2<true>(c, baseFrame, ratio, index, count, &v->readPos, &v->nextReadPos, out)
                   : GlidePairsAvx2<false>(c, baseFrame, ratio, index, count, &v->readPos, &v->nextReadPos, out);
    }
    n += moveNext ? GlideFrames<true>(c, baseFrame, ratio, index + n, count - n, &v->readPos, &v->nextReadPos, out + n)
                  : GlideFrames<false>(c, baseFrame, ratio, index + n, count - n, &v->readPos, &v->nextReadPos,
                                       out + n);
  } else {
    for (; n < count; ++n) {
      int frame = baseFrame + index + n;
      if (frame < 0) frame = 0;
      if (frame > kHistoryFrames - 1) frame = kHistoryFrames - 1;
      out[n] = c.history[frame];
    }
    // nextReadPos < 0 on the plain tap in practice; moved as the step would.
    if (v->nextReadPos >= 0.0) {
      for (int i = 0; i < n && v->nextReadPos >= 0.0; ++i) v->nextReadPos += ratio;
    }
  }
  return n;
}

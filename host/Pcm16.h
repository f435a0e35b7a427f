// 16-bit PCM sample conversions that give exactly libsndfile's own results,
// done here so that reading and writing 16-bit WAV and AIFF costs a fraction
// of libsndfile's per-sample loops. Each has a plain reference beside the
// SSE2 version; tests hold the two, and libsndfile, to the same bits.
#pragma once

#include <cstddef>

// k / 32768 for each sample k: what libsndfile's float reading of a 16-bit
// file answers (exact in float).
void Pcm16ToFloatReference(const short* src, float* dst, std::size_t n);
void Pcm16ToFloat(const short* src, float* dst, std::size_t n);

// libsndfile's clipping float writer (normalised floats, clipping on), for
// any float, NaN and infinities included: the sample scaled by 2^31, rounded
// to the nearest 32-bit integer (ties to even) and its top 16 bits kept;
// 2^31 and above give 32767, NaN and -2^31 and below give -32768. So a
// sample is floor(x * 32768) but for rounding in the lowest bits.
void FloatToPcm16Reference(const float* src, short* dst, std::size_t n);
void FloatToPcm16(const float* src, short* dst, std::size_t n);

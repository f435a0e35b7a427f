// The host's 32-bit samples to the plug-in's 64-bit ones and back, once per
// channel and block. The SSE2 versions do lane by lane the conversions (and
// the float additions) of the plain references, so their results are the
// same bits; tests hold them to it. n <= 0 does nothing. Source and
// destination must not overlap. No allocation: audio thread.
#pragma once

void FloatToDoubleReference(const float* src, double* dst, int n);
void FloatToDouble(const float* src, double* dst, int n);

// Rounded to nearest, as a static_cast does.
void DoubleToFloatReference(const double* src, float* dst, int n);
void DoubleToFloat(const double* src, float* dst, int n);

// dst[i] += float(src[i]): the accumulating process call.
void AddDoubleToFloatReference(const double* src, float* dst, int n);
void AddDoubleToFloat(const double* src, float* dst, int n);

// In-place complex FFT on 32-bit floats, every power-of-two size 2..32768,
// conjugate-pair split radix, output in the recursion's own scrambled order.
//
// Data layout: n complex values interleaved (re0 im0 re1 im1 ...), in one
// contiguous buffer of 2n floats that the transform overwrites. Any
// alignment works; 32-byte alignment is fastest.
//
// Sign and order:
//   forward: position p receives X[FrequencyIndex(p, n)], with
//            X[k] = sum_m x[m] * exp(+2*pi*i*m*k/n), x in natural order.
//   inverse: takes that scrambled order and returns natural order,
//            y[m] = sum_k Y[k] * exp(-2*pi*i*m*k/n).
// Neither direction scales: forward then inverse multiplies by n.
// FFTBinPosition(n, k) is where the forward transform leaves the bin k of
// the usual negative-exponent convention, Z[k] = sum_m x[m]*exp(-2*pi*i*m*k/n).
//
// Tables (twiddles per size 16..32768 and the bin positions) are
// process-wide, built once by FFTInit and read-only afterwards, so
// transforms may run on any number of threads at once.
#pragma once

#include "dsp/DspPath.h"

constexpr int kFFTMinSize = 2;
constexpr int kFFTMaxSize = 32768;

// Builds the tables once per process (thread-safe; later calls return at
// once). Must have run before transforms of size 8 or more and before
// FFTBinPosition; until then those calls do nothing / answer -1.
void FFTInit();

// Transforms n complex values at data in place. inverse == 0 selects the
// forward transform, any other value the inverse. n must be a power of two
// in 2..32768; any other n (or a null data pointer) leaves the data untouched.
// No allocation, no locking: safe on the audio thread.
void ComplexFFT(float* data, int n, int inverse);

// The forward transform of a windowed input: out receives ComplexFFT(x, n,
// 0) of the n complex values x[m] = (in[2m] * window[m], in[2m+1] *
// window[m]), float products, bit for bit on every path. in is interleaved
// like data above (a stereo frame's left and right parts serve as re and
// im), window holds n entries; out (2n floats) may be in itself, else must
// not overlap it. On the AVX2 and AVX-512 paths the products are formed
// inside the first radix pass, so the windowed copy is never written. Invalid n, null
// pointers or tables not yet built leave out untouched.
void WindowedForwardFFT(float* out, const float* in, const float* window, int n);

// Position (in complex values) of the bin k after a forward transform of
// size n, for n a power of two in 16..32768 and 0 <= k < n. Any other
// argument, or tables not yet built, answers -1.
int FFTBinPosition(int n, int k);

// The frequency index held at position i after a forward transform of size
// n (n a power of two, i < n). Pure function, no tables needed.
unsigned FrequencyIndex(unsigned i, unsigned n);

// Which implementation of the passes and kernels runs is the layer's one
// choice in dsp/DspPath.h; all of them give bit-identical results and the
// scalar reference is always available.

// Position of the first bin of each size's run: FFTBinPositions(n)[k] ==
// FFTBinPosition(n, k) for 0 <= k < n, read without per-call checks. Null
// for sizes outside 16..32768 or before FFTInit. The table is read-only.
const int* FFTBinPositions(int n);

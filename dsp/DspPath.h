// The single choice of implementation for every fast path of the signal
// layer: the transform passes and kernels, the detector's window, magnitude
// and peak search, and the engine's per-frame loop and wet rendering. Each
// fast routine sits beside a plain scalar
// reference and gives bit-identical results (the build uses
// -ffp-contract=off, and the vector code performs, lane by lane, the same
// IEEE operations in the same order as the reference).
//
// kScalar runs every plain reference; kSSE2 and kAVX2 run the fast routines
// with the widest vectors they allow. kAVX512 runs everything kAVX2 runs,
// with the 32 vector registers of AVX-512 VL where they save trips through
// memory (the transform's size-64 sub-transforms, dsp/FFT.cpp; the wet
// render's joint glide, dsp/DoublerEngine.cpp), but never 512-bit vectors:
// the 256-bit code after 512-bit code runs slower, which cost the engine
// more than 512-bit passes saved. The default is the best path this CPU
// supports (AVX-512 F and VL when the CPU and the OS have them, else AVX2
// when present, else SSE2, which every x86-64 CPU has).
//
// Thread: the choice is process-wide. Force and Reset are test and benchmark
// hooks, not for use while another thread processes audio.
#pragma once

enum class DspPath { kScalar = 0, kSSE2 = 1, kAVX2 = 2, kAVX512 = 3 };

// Whether the path runs the AVX2 routines (kAVX512 includes them).
constexpr bool UsesAvx2(DspPath path) { return path == DspPath::kAVX2 || path == DspPath::kAVX512; }

// Whether this CPU can run the path (kScalar and kSSE2 always can).
bool DspPathAvailable(DspPath path);
// Selects the path if this CPU can run it; returns whether it did.
bool ForceDspPath(DspPath path);
// Back to the best available path.
void ResetDspPath();
DspPath ActiveDspPath();
// Lower-case name of the path ("scalar", "sse2", "avx2", "avx512"), for reports.
const char* DspPathName(DspPath path);

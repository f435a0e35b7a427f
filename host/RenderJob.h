// Runs audio through a VST 2 effect offline, the way a host plays a track
// through it, and lines the result up with the input.
//
// Order of calls on the plug-in (single thread, the caller's):
//   StartPlugin: effSetSampleRate, effSetBlockSize, effOpen, then
//                effSetSpeakerArrangement (mono or stereo, in and out);
//   the caller chooses a program and sets parameters;
//   Render:      effMainsChanged 0 then 1, processReplacing in blocks,
//                effMainsChanged 0 at the end.
// The suspend before the resume is what hosts send after a configuration
// change; the plug-in resets on it, so every voice starts at its set delay
// instead of fading over from where the parameter delivery on effOpen left it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/AudioFile.h"
#include "host/RenderEffect.h"
#include "host/VstHost.h"

// Host block sizes the renderer accepts, in frames.
constexpr int kMinBlockFrames = 1;
constexpr int kMaxBlockFrames = 65536;

// Sample rates the renderer runs the plug-in at, in Hz. A sound file's header
// can claim any rate; far outside what hosts use, the effect's time constants
// (10 ms fades, 80 ms delay changes, the detector's range) lose their meaning,
// so such files are refused instead of being processed into nonsense.
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 768000;

// Frames rendered after the end of the input so the effect's own delays ring
// out: the voices sound up to 100 ms (and never more than 4096 frames) after
// the latency, plus one internal 1024-frame block in which the last wet frames
// are rendered: ceil(0.1 s x rate) + 1024 frames (5434 at 44100 Hz).
std::int64_t TailFrames(int sampleRate);

struct RenderOptions {
  int blockFrames = 512;  // host block size, kMinBlockFrames..kMaxBlockFrames
  int channels = 0;       // plug-in and output channels, 1 or 2; 0: as the input
  bool trimTail = false;  // output exactly as long as the input (tail cut)
};

// Channels the plug-in and the output get for an input of inChannels: the
// input's own count when options say 0, else the count asked for. 0 when the
// input cannot be mapped (more than two channels; no channels).
int OutputChannels(int inChannels, const RenderOptions& options);

// Announces rate and block size, opens the plug-in and configures it for
// `channels` (1 or 2) in and out. Call once, before choosing programs.
void StartPlugin(VstPlugin& plugin, int sampleRate, int blockFrames, int channels);

// Called after each host block with the input frames consumed so far and the
// source's declared length. Answering false stops the render (Render then
// returns false with *error "stopped").
using RenderProgress = std::function<bool(std::int64_t doneFrames, std::int64_t totalFrames)>;

// What a render did, for its summary.
struct RenderStats {
  std::int64_t inputFrames = 0;   // frames the source delivered (fewer than declared when cut short)
  std::int64_t outputFrames = 0;  // frames written to the sink
};

// Processes the whole source through the started effect into sink, which
// takes OutputChannels() channels. Output frame i is the plug-in's output
// frame i + its LatencyFrames(): the reported latency is compensated exactly. The
// output has the input's length plus TailFrames(), or the input's length with
// trimTail. Mono into stereo duplicates the channel; stereo into mono takes
// the mean of both. Returns false with *error set when reading or writing
// fails, the channels cannot be mapped or the rate is outside
// kMinSampleRate..kMaxSampleRate; the sink may hold a partial result
// then. *stats (when given) is filled in either way.
bool Render(RenderEffect& effect, AudioSource& source, AudioSink& sink,
            const RenderOptions& options, const RenderProgress& progress, std::string* error,
            RenderStats* stats = nullptr);
// The same through a started VST 2 plug-in (VstRenderEffect).
bool Render(VstPlugin& plugin, AudioSource& source, AudioSink& sink, const RenderOptions& options,
            const RenderProgress& progress, std::string* error, RenderStats* stats = nullptr);

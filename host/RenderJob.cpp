#include "host/RenderJob.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Speaker arrangement types of the interface: mono and plain stereo.
constexpr VstInt32 kArrangementMono = 0;
constexpr VstInt32 kArrangementStereo = 1;
// Frames of the effect's internal block, which completes the last wet frames.
constexpr std::int64_t kInternalBlockFrames = 1024;
// Frames read from the source and written to the sink at a time (at least).
constexpr std::int64_t kIoFrames = 16384;

}  // namespace

std::int64_t TailFrames(int sampleRate) {
  return static_cast<std::int64_t>(std::ceil(0.1 * sampleRate)) + kInternalBlockFrames;
}

int OutputChannels(int inChannels, const RenderOptions& options) {
  if (inChannels < 1 || inChannels > 2) return 0;
  if (options.channels == 0) return inChannels;
  return options.channels == 1 || options.channels == 2 ? options.channels : 0;
}

void StartPlugin(VstPlugin& plugin, int sampleRate, int blockFrames, int channels) {
  plugin.SetSampleRate(static_cast<float>(sampleRate));
  plugin.SetBlockSize(blockFrames);
  plugin.Open();
  VstSpeakerArrangement in{}, out{};
  in.type = out.type = channels == 1 ? kArrangementMono : kArrangementStereo;
  in.numChannels = out.numChannels = channels;
  plugin.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
}

bool Render(VstPlugin& plugin, AudioSource& source, AudioSink& sink, const RenderOptions& options,
            const RenderProgress& progress, std::string* error, RenderStats* stats) {
  VstRenderEffect effect(plugin);
  return Render(effect, source, sink, options, progress, error, stats);
}

bool Render(RenderEffect& effect, AudioSource& source, AudioSink& sink,
            const RenderOptions& options, const RenderProgress& progress, std::string* error,
            RenderStats* stats) {
  RenderStats unused;
  if (!stats) stats = &unused;
  *stats = RenderStats{};
  const int fileChannels = source.channels();
  const int channels = OutputChannels(fileChannels, options);
  if (channels == 0) {
    *error = "cannot map " + std::to_string(fileChannels) +
             " channels onto the effect (it takes mono or stereo)";
    return false;
  }
  if (source.sampleRate() < kMinSampleRate || source.sampleRate() > kMaxSampleRate) {
    *error = "cannot run the effect at " + std::to_string(source.sampleRate()) + " Hz (it takes " +
             std::to_string(kMinSampleRate) + " to " + std::to_string(kMaxSampleRate) + " Hz)";
    return false;
  }
  const std::int64_t block = std::clamp(options.blockFrames, kMinBlockFrames, kMaxBlockFrames);
  const std::int64_t tail = TailFrames(source.sampleRate());

  // Two planar channels always: a host hands the plug-in as many pointers as
  // the record declares; the one that a mono arrangement leaves unused points
  // at silence (in) and at a buffer nobody reads (out).
  std::vector<float> inL(block), inR(block), outL(block), outR(block);
  float* inputs[2] = {inL.data(), inR.data()};
  float* outputs[2] = {outL.data(), outR.data()};
  // The file is read and written in runs of at least kIoFrames, whatever the
  // host block: a small block would otherwise cost a system call each way.
  const std::int64_t io = std::max(block, kIoFrames);
  std::vector<float> fileRun(static_cast<std::size_t>(io * fileChannels));
  std::int64_t runAt = 0, runEnd = 0;  // frames of fileRun not yet handed on
  bool sourceEnded = false;
  std::vector<float> outRun(static_cast<std::size_t>(io * channels));
  std::int64_t outPending = 0;  // frames in outRun not yet written
  auto flush = [&] {
    if (outPending == 0) return true;
    if (!sink.write(outRun.data(), outPending)) {
      *error = sink.error();
      return false;
    }
    stats->outputFrames += outPending;
    outPending = 0;
    return true;
  };

  effect.BeginRun();
  const std::int64_t latency = std::max(effect.LatencyFrames(), 0);

  std::int64_t inputFrames = 0;  // frames taken from the source so far
  bool inputDone = false;
  std::int64_t processed = 0;  // frames handed through the plug-in
  bool ok = true;
  while (ok) {
    // The total is known only once the source has ended (a file can hold
    // fewer frames than its header declares).
    std::int64_t n = block;
    if (inputDone) {
      std::int64_t remaining = latency + inputFrames + tail - processed;
      if (remaining <= 0) break;
      n = std::min(n, remaining);
    }
    std::int64_t got = 0;
    while (!inputDone && got < n) {
      if (runAt == runEnd) {
        if (sourceEnded) {
          inputDone = true;
          break;
        }
        const std::int64_t read = source.read(fileRun.data(), io);
        if (read < 0) {
          *error = source.error();
          ok = false;
          break;
        }
        if (read < io) sourceEnded = true;
        runAt = 0;
        runEnd = read;
        continue;
      }
      const std::int64_t take = std::min(n - got, runEnd - runAt);
      const float* f = &fileRun[static_cast<std::size_t>(runAt * fileChannels)];
      float* l = inL.data() + got;
      float* r = inR.data() + got;
      if (fileChannels == 2 && channels == 2) {
        for (std::int64_t i = 0; i < take; ++i) {
          l[i] = f[2 * i];
          r[i] = f[2 * i + 1];
        }
      } else if (fileChannels == 2) {
        for (std::int64_t i = 0; i < take; ++i) {
          l[i] = 0.5f * (f[2 * i] + f[2 * i + 1]);
          r[i] = 0.0f;
        }
      } else if (channels == 2) {
        for (std::int64_t i = 0; i < take; ++i) l[i] = r[i] = f[i];
      } else {
        for (std::int64_t i = 0; i < take; ++i) {
          l[i] = f[i];
          r[i] = 0.0f;
        }
      }
      runAt += take;
      got += take;
    }
    if (!ok) break;
    inputFrames += got;
    std::fill(inL.begin() + got, inL.begin() + n, 0.0f);
    std::fill(inR.begin() + got, inR.begin() + n, 0.0f);
    effect.Process(inputs, outputs, static_cast<int>(n));

    // The block's output frames [processed, processed + n) land at file
    // frames [processed - latency, ...); keep those inside the output range.
    std::int64_t first = std::max<std::int64_t>(0, latency - processed);
    std::int64_t last = n;
    if (inputDone) {
      std::int64_t outputFrames = inputFrames + (options.trimTail ? 0 : tail);
      last = std::min(n, outputFrames + latency - processed);
    }
    if (last > first) {
      if (outPending + (last - first) > io && !(ok = flush())) break;
      float* o = outRun.data() + outPending * channels;
      if (channels == 2) {
        for (std::int64_t i = first; i < last; ++i) {
          o[2 * (i - first)] = outL[i];
          o[2 * (i - first) + 1] = outR[i];
        }
      } else {
        std::copy(outL.begin() + first, outL.begin() + last, o);
      }
      outPending += last - first;
    }
    processed += n;
    if (ok && progress && !progress(inputFrames, source.frames())) {
      *error = "stopped";
      ok = false;
    }
    if (inputDone && options.trimTail && processed >= latency + inputFrames) break;
  }
  if (ok) ok = flush();
  effect.EndRun();
  stats->inputFrames = inputFrames;
  return ok;
}

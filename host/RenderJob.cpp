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
  const std::int64_t latency = std::max<VstInt32>(plugin.Effect()->initialDelay, 0);
  const std::int64_t tail = TailFrames(source.sampleRate());

  // Two planar channels always: a host hands the plug-in as many pointers as
  // the record declares; the one that a mono arrangement leaves unused points
  // at silence (in) and at a buffer nobody reads (out).
  std::vector<float> fileBlock(static_cast<std::size_t>(block * fileChannels));
  std::vector<float> inL(block), inR(block), outL(block), outR(block);
  std::vector<float> interleaved(static_cast<std::size_t>(block * channels));
  float* inputs[2] = {inL.data(), inR.data()};
  float* outputs[2] = {outL.data(), outR.data()};

  plugin.MainsChanged(false);
  plugin.MainsChanged(true);

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
    if (!inputDone) {
      got = source.read(fileBlock.data(), n);
      if (got < 0) {
        *error = source.error();
        ok = false;
        break;
      }
      if (got < n) inputDone = true;
      inputFrames += got;
    }
    for (std::int64_t i = 0; i < n; ++i) {
      float l = 0.0f, r = 0.0f;
      if (i < got) {
        const float* f = &fileBlock[static_cast<std::size_t>(i * fileChannels)];
        if (fileChannels == channels) {
          l = f[0];
          r = channels == 2 ? f[1] : 0.0f;
        } else if (fileChannels == 1) {
          l = r = f[0];
        } else {
          l = 0.5f * (f[0] + f[1]);
        }
      }
      inL[i] = l;
      inR[i] = r;
    }
    plugin.ProcessReplacing(inputs, outputs, static_cast<int>(n));

    // The block's output frames [processed, processed + n) land at file
    // frames [processed - latency, ...); keep those inside the output range.
    std::int64_t first = std::max<std::int64_t>(0, latency - processed);
    std::int64_t last = n;
    if (inputDone) {
      std::int64_t outputFrames = inputFrames + (options.trimTail ? 0 : tail);
      last = std::min(n, outputFrames + latency - processed);
    }
    if (last > first) {
      for (std::int64_t i = first; i < last; ++i) {
        std::size_t k = static_cast<std::size_t>((i - first) * channels);
        interleaved[k] = outL[i];
        if (channels == 2) interleaved[k + 1] = outR[i];
      }
      ok = sink.write(interleaved.data(), last - first);
      if (ok) stats->outputFrames += last - first;
      else *error = sink.error();
    }
    processed += n;
    if (ok && progress && !progress(inputFrames, source.frames())) {
      *error = "stopped";
      ok = false;
    }
    if (inputDone && options.trimTail && processed >= latency + inputFrames) break;
  }
  plugin.MainsChanged(false);
  stats->inputFrames = inputFrames;
  return ok;
}

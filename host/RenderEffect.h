// The effect instance as the offline renderer drives it, whichever plug-in
// format carries it (VST 2 through VstPlugin, LV2 through lilv). Render()
// (RenderJob.h) uses nothing else, so both formats are fed and lined up the
// same way.
//
// Call order, on one thread: BeginRun, LatencyFrames, Process any number of
// times, EndRun. Never during another call on the same instance.
#pragma once

#include "host/VstHost.h"

class RenderEffect {
 public:
  virtual ~RenderEffect() = default;
  // A fresh start at the values set so far, as a host's suspend and resume
  // after a configuration change: every voice at its set delay, nothing in
  // flight.
  virtual void BeginRun() = 0;
  // The latency the effect reports, in frames (>= 0); valid after BeginRun.
  virtual int LatencyFrames() = 0;
  // Processes frames frames (1..the block size the instance was started
  // with) of two planar channels. With one channel configured, in[1] and
  // out[1] are not read or written and may be null.
  virtual void Process(float* const* in, float* const* out, int frames) = 0;
  virtual void EndRun() = 0;
};

// A started VstPlugin (StartPlugin) as a RenderEffect: mains off and on,
// initialDelay, processReplacing, mains off. Does not own the plug-in.
class VstRenderEffect : public RenderEffect {
 public:
  explicit VstRenderEffect(VstPlugin& plugin) : mPlugin(plugin) {}
  void BeginRun() override {
    mPlugin.MainsChanged(false);
    mPlugin.MainsChanged(true);
  }
  int LatencyFrames() override {
    const VstInt32 latency = mPlugin.Effect()->initialDelay;
    return latency > 0 ? latency : 0;
  }
  void Process(float* const* in, float* const* out, int frames) override {
    mPlugin.ProcessReplacing(const_cast<float**>(in), const_cast<float**>(out), frames);
  }
  void EndRun() override { mPlugin.MainsChanged(false); }

 private:
  VstPlugin& mPlugin;
};

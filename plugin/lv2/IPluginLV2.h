// The LV2 binding: the port layout, the port connections and the run cycle
// of one LV2 instance. It only translates, as the VST 2 binding does: the
// parameters, presets, channels and sound stay in the core and the effect.
//
// Port layout (indices as the plug-in's Turtle description lists them):
//   0 .. nIn-1                 audio inputs ("in_l", "in_r")
//   nIn .. nIn+nOut-1          audio outputs ("out_l", "out_r")
//   then one control input per parameter, in parameter index order
//   then "latency", a control output holding GetLatency() after every run
//   then, when the effect has a status lamp, a control output: 1 lit, 0 out.
// LV2 instances are stereo only (two in, two out); the effect must allow 2-2.
//
// Parameters reach the effect as in the VST 2 binding's setParameter path:
// at the start of each run every connected control input whose value differs
// (bit for bit) from the value last taken from it is converted
// (PlainFromPort), set on the parameter (clamped; NaN keeps the value) and
// followed by ParamChanged. Activation takes every connected input, then
// resets the effect, so an instance starts at its ports' values without
// gliding there (as a VST 2 host's mains off and on after setting them);
// values changed after activation but before the first frame has run count
// as starting values too.
//
// Threads and calls: construct and destroy on the host's instantiation
// thread; ConnectPort, Run, Activate and Deactivate on its audio thread.
// Run takes the instance lock and never allocates; a run longer than the
// block size is processed in slices of BlockSize() frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/IPluginBase.h"

class IPluginLV2 : public IPluginBase {
 public:
  // What the entry point learned at instantiation.
  struct HostContext {
    double sampleRate = 44100.0;  // Hz, already checked by the entry point
    int maxBlockFrames = 0;       // the host's announced maximum; 0 when it said none
  };
  // Slice length when the host announces no maximum (the VST 2 default).
  static constexpr int kDefaultBlockFrames = 1024;

  enum class PortKind { kAudioIn, kAudioOut, kParam, kLatency, kStatusLamp, kNone };
  struct PortInfo {
    PortKind kind;
    int index;  // channel or parameter index; 0 for the others
  };

  IPluginLV2(HostContext host, int nParams, const char* channelIOStr, int nPresets,
             const char* effectName, const char* productName, const char* makerName, int version,
             int uniqueID, int makerID, int latency, bool doesMidi, bool stateChunks,
             bool isInstrument);
  ~IPluginLV2() override;

  // ---- port layout ----
  int PortCount() const;
  PortInfo DescribePort(int port) const;  // kNone outside 0..PortCount()-1
  int ParamPort(int paramIdx) const { return NInChannels() + NOutChannels() + paramIdx; }
  int LatencyPort() const { return ParamPort(NParams()); }
  int StatusLampPort() const;  // -1 when the effect has no lamp
  // Port symbols: audio "in_l"/"in_r"/"out_l"/"out_r"; a parameter's name
  // lower-cased with every run of other characters as one '_' ("cents 1"
  // gives "cents_1"); "latency"; the lamp's name the same way.
  std::string PortSymbol(int port) const;
  static std::string SymbolFromName(const char* name);

  // The plain value a control port's float stands for. Integer, enum and
  // bool parameters round to their step as the normalised path does. For
  // double parameters whose step is 1/k (k a whole number), a float that is
  // the nearest float to a point of the step grid stands for that point
  // exactly (so 0.3f means 0.3, the value a preset or the VST 2 side holds);
  // any other float is taken as it is. NaN stays NaN (the parameter ignores
  // it), infinities stay (clamped by the parameter).
  static double PlainFromPort(const IParam& param, float portValue);

  // ---- the LV2 instance calls ----
  // Out-of-range ports are ignored; null disconnects. Audio class: no allocation.
  void ConnectPort(std::uint32_t port, void* data);
  // Takes the control ports as they stand, then Reset, then mains on.
  void ActivateInstance();
  void DeactivateInstance();  // mains off: Activate(false), then Reset
  void RunInstance(std::uint32_t frames);

  // ---- the base's host-facing operations: LV2 has no host calls for them ----
  void BeginParamEdit(int) override {}
  void AutomateParam(int, double) override {}
  void EndParamEdit(int) override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSignature(int* numerator, int* denominator) override;
  void EditorResized(int, int) override {}
  void HostSpecificSetup() override {}
  bool SendMidiMessage(IMidiMessage*) override { return false; }
  bool SendMidiMessages(const std::vector<IMidiMessage>&) override { return false; }

 private:
  bool ApplyControlPorts();  // true when any parameter was set
  void FollowAudioConnections();

  std::vector<void*> mPorts;  // one per port of the largest layout, null = unconnected
  std::vector<std::uint32_t> mLastPortBits;  // per parameter: the float last taken, as bits
  std::vector<bool> mPortTaken;              // per parameter: anything taken yet
  std::vector<float*> mSliceIn, mSliceOut;   // connected host arrays advanced to the slice
  bool mFreshStart = true;  // no frame run since activation (or construction)
};

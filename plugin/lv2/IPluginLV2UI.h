// The LV2 UI binding's plug-in: the editor's side of an LV2 plug-in, in a
// module of its own that may run in another process than the DSP. It holds
// the parameters (so the editor's display texts, LED displays and controls
// work as with an in-object editor), takes the host's port events into them
// and sends the editor's gestures to the host as port writes.
//
// Port indices are IPluginLV2's layout (audio ports first, one control input
// per parameter, "latency", then the status lamp when the effect has one),
// so the derived effect must declare the same channels and parameters as its
// DSP side. Values travel as plain floats (protocol 0, float per port).
//
// Gestures: BeginParamEdit / EndParamEdit become ui:touch grabbed / released
// when the host offers touch, AutomateParam a write of the parameter's plain
// value. Port events: a parameter port sets the parameter (clamped; NaN keeps
// it), pushes it into the editor and calls ParamChanged; the lamp port calls
// ShowStatusLamp. Anything else (other ports, other protocols, sizes other
// than a float, null buffers) is ignored.
//
// Threads: the host calls in on its UI thread; PortEvent takes the instance
// lock (the editor's own thread draws and handles input under it). Gestures
// arise on the editor's thread. Where the host calls the idle interface they
// are queued and FlushToHost sends them from the host's UI thread, as LV2
// asks; otherwise they go out at once from the editor's thread, the only
// thread the UI then has.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/IPluginBase.h"

class IPluginLV2UI : public IPluginBase {
 public:
  // The host's ways out, as lv2ui instantiate gave them. Any may be null.
  struct HostContext {
    // lv2ui's write function: (controller, port, buffer size, protocol, buffer).
    void (*write)(void* controller, std::uint32_t port, std::uint32_t size,
                  std::uint32_t protocol, const void* buffer) = nullptr;
    void* controller = nullptr;
    // ui:touch's function and handle.
    void (*touch)(void* handle, std::uint32_t port, bool grabbed) = nullptr;
    void* touchHandle = nullptr;
    // The host calls the idle interface on its UI thread (it offered the
    // ui:idleInterface feature): gestures wait for FlushToHost there.
    bool deferToIdle = false;
  };

  IPluginLV2UI(HostContext host, int nParams, const char* channelIOStr, const char* effectName,
               const char* makerName, int version, int uniqueID, int makerID, int latency);
  ~IPluginLV2UI() override;

  int ParamPort(int paramIdx) const { return NInChannels() + NOutChannels() + paramIdx; }
  int StatusLampPort() const;  // -1 when the effect has no lamp

  // One lv2ui port_event.
  void PortEvent(std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                 const void* buffer);
  // Sends the queued gestures, in order, outside the lock. Host UI thread.
  void FlushToHost();
  // The lamp port's value, lit when it is 0.5 or more. Called under the lock.
  virtual void ShowStatusLamp(bool lit) { (void)lit; }

  // ---- the base's host-facing operations ----
  void BeginParamEdit(int paramIdx) override;
  void AutomateParam(int paramIdx, double normalized) override;
  void EndParamEdit(int paramIdx) override;
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSignature(int* numerator, int* denominator) override;
  void EditorResized(int, int) override {}
  void HostSpecificSetup() override {}
  bool SendMidiMessage(IMidiMessage*) override { return false; }
  bool SendMidiMessages(const std::vector<IMidiMessage>&) override { return false; }

 private:
  struct Gesture {
    std::uint32_t port;
    enum Kind { kGrab, kWrite, kRelease } kind;
    float value;
  };
  void Send(const Gesture& g) const;
  void Emit(const Gesture& g);  // queued or sent at once, as the host allows
  HostContext mHost;
  std::vector<Gesture> mPending;  // under the lock
  std::vector<Gesture> mSending;  // FlushToHost's own, reused
};

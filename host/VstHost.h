// The project's own VST 2 host: loads a module with dlopen, creates instances
// through its entry point, answers the host callback, records the plug-in's
// automation calls, and wraps the dispatcher and callbacks in typed calls.
// It knows only the binary interface, never the plug-in's classes.
//
// Threads: a VstPlugin may be driven from several threads as a real host
// does (audio and user interface); the recorded calls are guarded.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/vst2/VstApi.h"

// A loaded module; unloaded when destroyed (after every instance is closed).
class VstModule {
 public:
  using EntryProc = AEffect* (*)(audioMasterCallback);

  // Loads the module file at path and finds "VSTPluginMain" (else "main").
  // A path without a slash names a file in the current folder; the library
  // search path is never used. Null with *error set on failure.
  static std::unique_ptr<VstModule> Load(const std::string& path, std::string* error);
  ~VstModule();
  VstModule(const VstModule&) = delete;
  VstModule& operator=(const VstModule&) = delete;

  EntryProc Entry() const { return mEntry; }
  EntryProc EntryByName(const char* name) const;

 private:
  VstModule(void* handle, EntryProc entry) : mHandle(handle), mEntry(entry) {}
  void* mHandle;
  EntryProc mEntry;
};

// What the host answers when the plug-in asks.
struct HostConfig {
  std::string productString = "DUV test host";  // audioMasterGetProductString
  int vendorVersion = 10000;                     // audioMasterGetVendorVersion, decimal
  bool provideTime = false;                      // audioMasterGetTime answers timeInfo, else null
  VstTimeInfo timeInfo{};
};

// One call the plug-in made to the host.
struct HostCall {
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  float opt;
};

class VstPlugin {
 public:
  // Creates an instance through entry (the module's by default). Null with
  // *error set when the entry point answers null or the record is not valid.
  static std::unique_ptr<VstPlugin> Create(const VstModule& module, const HostConfig& config,
                                           std::string* error,
                                           VstModule::EntryProc entry = nullptr);
  ~VstPlugin();  // sends effClose unless Close() already did
  VstPlugin(const VstPlugin&) = delete;
  VstPlugin& operator=(const VstPlugin&) = delete;

  AEffect* Effect() const { return mEffect; }
  HostConfig& Config() { return mConfig; }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f);

  // ---- typed dispatcher calls ----
  void Open() { Dispatch(effOpen); }
  void Close();
  void SetSampleRate(float rate) { Dispatch(effSetSampleRate, 0, 0, nullptr, rate); }
  void SetBlockSize(int frames) { Dispatch(effSetBlockSize, 0, frames); }
  void MainsChanged(bool on) { Dispatch(effMainsChanged, 0, on ? 1 : 0); }
  std::string EffectName();
  std::string VendorString();
  std::string ProductString();
  std::string ParamName(int index);
  std::string ParamLabel(int index);
  std::string ParamDisplay(int index);
  std::string ProgramName();
  std::string ProgramNameIndexed(int index);
  int GetProgram() { return static_cast<int>(Dispatch(effGetProgram)); }
  void SetProgram(int index) { Dispatch(effSetProgram, 0, index); }
  VstIntPtr CanDo(const char* text) { return Dispatch(effCanDo, 0, 0, const_cast<char*>(text)); }
  // The state chunk (program or bank), copied out of the plug-in's memory.
  std::vector<std::uint8_t> GetChunk(bool program);
  bool SetChunk(const std::vector<std::uint8_t>& bytes, bool program);
  // The editor rectangle; false when the plug-in reports none.
  bool EditorRect(ERect* rect);

  // ---- parameter and audio callbacks ----
  float GetParameter(int index) { return mEffect->getParameter(mEffect, index); }
  void SetParameter(int index, float value) { mEffect->setParameter(mEffect, index, value); }
  void ProcessReplacing(float** in, float** out, int frames) {
    mEffect->processReplacing(mEffect, in, out, frames);
  }
  void ProcessAccumulating(float** in, float** out, int frames) {
    mEffect->process(mEffect, in, out, frames);
  }
  void ProcessDoubleReplacing(double** in, double** out, int frames) {
    mEffect->processDoubleReplacing(mEffect, in, out, frames);
  }

  // ---- what the plug-in told the host ----
  std::vector<HostCall> Calls() const;
  void ClearCalls();
  int HostQueries(VstInt32 opcode) const;  // how often the plug-in asked this opcode

 private:
  explicit VstPlugin(const HostConfig& config) : mConfig(config) {}
  static VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                VstIntPtr value, void* ptr, float opt);
  VstIntPtr Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  std::string TextCall(VstInt32 opcode, VstInt32 index);

  HostConfig mConfig;
  AEffect* mEffect = nullptr;
  mutable std::mutex mCallsMutex;
  std::vector<HostCall> mCalls;  // automate, begin and end edit
  int mQueryCounts[64] = {};
};

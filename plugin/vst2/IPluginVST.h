// The VST 2 binding: fills the AEffect record a host keeps, answers the
// dispatcher, the parameter and the audio callbacks, and calls back into the
// host. It only translates: every entry checks the record, indices and
// pointers, answers 0 to what it cannot use, and never lets an exception out.
//
// Texts copied into host buffers are bounded to what hosts size for:
// parameter names, labels and display texts 32 bytes, program names 24 bytes
// (the interface's documented program-name length), effect name 32 bytes,
// vendor and product strings 64 bytes, pin labels 64 bytes; all terminated.
#pragma once

#include <vector>

#include "plugin/IPluginBase.h"
#include "plugin/vst2/VstApi.h"

class IPluginVST : public IPluginBase {
 public:
  // What the effect's constructor receives from the entry point.
  using HostContext = audioMasterCallback;

  static constexpr int kParamTextBytes = 32;
  static constexpr int kProgramNameBytes = 24;
  static constexpr int kEffectNameBytes = 32;
  static constexpr int kVendorTextBytes = 64;

  IPluginVST(audioMasterCallback hostCallback, int nParams, const char* channelIOStr,
             int nPresets, const char* effectName, const char* productName,
             const char* makerName, int version, int uniqueID, int makerID, int latency,
             bool doesMidi, bool stateChunks, bool isInstrument);
  ~IPluginVST() override;

  AEffect* GetAEffect() { return &mAEffect; }
  const ERect& EditorRect() const { return mEditRect; }

  // ---- implementations of the base's host-facing operations ----
  void BeginParamEdit(int paramIdx) override;
  void AutomateParam(int paramIdx, double normalized) override;
  void EndParamEdit(int paramIdx) override;
  int GetSamplePos() override;
  double GetTempo() override;
  void GetTimeSignature(int* numerator, int* denominator) override;
  HostId GetHost() override;
  void EditorResized(int width, int height) override;
  void HostSpecificSetup() override;
  void AttachEditor(IPluginEditor* graphics) override;
  void SetLatency(int samples) override;
  bool SendMidiMessage(IMidiMessage* msg) override;
  bool SendMidiMessages(const std::vector<IMidiMessage>& msgs) override;

  // effVendorSpecific, under the lock. The base answers index 7 (a parameter's
  // display text for a normalised value) and 0 to everything else; an effect
  // may answer extensions of its own first.
  virtual VstIntPtr VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt);

  // ---- the record's callbacks ----
  static VstIntPtr VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                 VstIntPtr value, void* ptr, float opt);
  static void VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 frames);
  static void VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                  VstInt32 frames);
  static void VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                        VstInt32 frames);
  static float VSTGetParameter(AEffect* effect, VstInt32 index);
  static void VSTSetParameter(AEffect* effect, VstInt32 index, float value);

 private:
  enum class RunMode { kReplacing, kAccumulating, kDouble };

  VstIntPtr CallHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  VstIntPtr GetChunk(bool isBank, void** data);
  VstIntPtr SetChunk(bool isBank, VstIntPtr size, const void* data);
  VstIntPtr CanDoAnswer(const char* text) const;
  void ProcessEvents(const VstEvents* events);
  void ConnectFromArrangement(const VstSpeakerArrangement* arrangement, bool inputs);
  bool FillPinProperties(VstPinProperties* pin, int index, bool input) const;
  const VstTimeInfo* TimeInfo(VstIntPtr filter);
  // Audio callbacks: hosts may pass more frames than they announced; those
  // blocks run in slices no longer than the block size.
  // The three audio callbacks: lock, floating-point mode, then the sliced run.
  static void AudioCallback(AEffect* effect, float** inputs, double** dInputs, float** outputs,
                            double** dOutputs, VstInt32 frames, RunMode mode);
  template <typename Sample>
  void ProcessSliced(Sample** inputs, Sample** outputs, int frames, std::vector<Sample*>& sliceIn,
                     std::vector<Sample*>& sliceOut, RunMode mode);

  audioMasterCallback mHostCallback;
  ERect mEditRect{};
  VstSpeakerArrangement mInputArrangement{};
  VstSpeakerArrangement mOutputArrangement{};
  bool mHostSetupDone = false;
  bool mDoesMidi;
  IByteBuffer mProgramState;
  IByteBuffer mBankState;
  AEffect mAEffect{};
  // Host arrays advanced to the current slice; sized once, never grown while processing.
  std::vector<float*> mSliceInF, mSliceOutF;
  std::vector<double*> mSliceInD, mSliceOutD;
};

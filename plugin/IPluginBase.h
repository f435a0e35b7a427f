// The host-independent plug-in: parameters, presets and state chunks, channel
// configurations and buffers, identity, host identification, and the three
// effect operations (Reset, ParamChanged, ProcessBlock) that an effect overrides.
//
// Threads: the host's audio thread, the host's user-interface thread and the
// editor all call in; one recursive instance lock serialises them. Every
// operation documented as locking takes it itself, so callers that already
// hold it (the binding's dispatcher) may call them.
#pragma once

#include <initializer_list>
#include <vector>

#include "plugin/HostId.h"
#include "plugin/IByteBuffer.h"
#include "plugin/IChannel.h"
#include "plugin/IMidiMessage.h"
#include "plugin/IParam.h"
#include "plugin/IPluginEditor.h"
#include "plugin/IPresetSlot.h"
#include "plugin/RecursiveLock.h"

// Packs four characters, the first in the most significant byte ('DUV_').
constexpr int PackFourChars(const char (&s)[5]) {
  return static_cast<int>((static_cast<unsigned>(static_cast<unsigned char>(s[0])) << 24) |
                          (static_cast<unsigned>(static_cast<unsigned char>(s[1])) << 16) |
                          (static_cast<unsigned>(static_cast<unsigned char>(s[2])) << 8) |
                          static_cast<unsigned>(static_cast<unsigned char>(s[3])));
}

class IPluginBase {
 public:
  static constexpr int kNameCapacity = 128;  // effect, product and maker names, terminator included
  static constexpr int kChunkMagic = 0x70666674;
  static constexpr int kChunkVersion = 0x00010000;
  // The largest block the scratch buffers are sized for; larger announcements are refused.
  static constexpr int kMaxBlockSize = 1 << 22;
  // Rates above this would overflow the effect's 32-bit frame counts (Hz).
  static constexpr double kMaxSampleRate = 2147483647.0;

  // channelIOStr: pairs "in-out" separated by spaces, e.g. "1-1 2-2"; a
  // malformed entry is a programming error and stops the program.
  IPluginBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
              const char* productName, const char* makerName, int version, int uniqueID,
              int makerID, int latency, bool doesMidi, bool stateChunks, bool isInstrument);
  virtual ~IPluginBase();
  IPluginBase(const IPluginBase&) = delete;
  IPluginBase& operator=(const IPluginBase&) = delete;

  // ---- virtual operations, in table order ----
  virtual void Reset();
  virtual void ParamChanged(int paramIdx);
  // Called with the lock held. inputs/outputs: one pointer per channel, each
  // valid for nFrames samples (unconnected channels point at their scratch).
  virtual void ProcessBlock(double** inputs, double** outputs, int nFrames);
  virtual void EditorOpened() {}
  virtual void EditorClosed() {}
  virtual void Activate(bool active);
  virtual void ProcessMidiMessage(IMidiMessage* msg);
  virtual bool KeyNameForNote(int note, char* name);
  virtual bool SerializeState(IByteBuffer* buffer);
  virtual int UnserializeState(IByteBuffer* buffer, int startPos);
  virtual void BeginParamEdit(int paramIdx) = 0;
  virtual void AutomateParam(int paramIdx, double normalized) = 0;
  virtual void EndParamEdit(int paramIdx) = 0;
  virtual int GetSamplePos() = 0;
  virtual double GetTempo() = 0;
  virtual void GetTimeSignature(int* numerator, int* denominator) = 0;
  virtual HostId GetHost() { return mHost; }
  virtual void EditorResized(int width, int height) = 0;
  virtual void HostSpecificSetup() = 0;
  // Takes ownership of editor (null is ignored): pushes every parameter's
  // normalised value into it, then lets it prepare its drawing.
  virtual void AttachEditor(IPluginEditor* editor);
  // Resizes every scratch buffer to frames zeros. Returns false (nothing
  // changed) when frames is outside 1..kMaxBlockSize or memory runs out.
  virtual bool SetBlockSize(int frames);
  virtual void SetLatency(int samples) { mLatency = samples; }
  virtual bool SendMidiMessage(IMidiMessage* msg) = 0;
  virtual bool SendMidiMessages(const std::vector<IMidiMessage>& msgs) = 0;
  // An effect's one status lamp, for bindings that report it to the host
  // (LV2: an output port). A null name means the effect has none. Read under
  // the lock, after ProcessBlock.
  virtual const char* StatusLampName() const { return nullptr; }
  virtual bool StatusLampLit() const { return false; }
  // Whether the effect can run at hz (bindings that may refuse an instance
  // ask before the first Reset). The base takes any finite rate in
  // (0, kMaxSampleRate].
  virtual bool SupportsSampleRate(double hz) const;

  // ---- parameters ----
  IParam* ParamAt(int paramIdx);  // null outside 0..NParams()-1
  const IParam* ParamAt(int paramIdx) const;
  int NParams() const { return static_cast<int>(mParams.size()); }

  // ---- channels ----
  bool LegalIO(int nIn, int nOut) const;  // a negative count matches any
  int NInChannels() const { return static_cast<int>(mInChannels.size()); }
  int NOutChannels() const { return static_cast<int>(mOutChannels.size()); }
  bool IsInChannelConnected(int i) const;
  bool IsOutChannelConnected(int i) const;
  void ConnectInputs(int start, int count, bool connected);
  void ConnectOutputs(int start, int count, bool connected);
  void LimitToStereo();
  // One block: host arrays are consumed in order, one per connected channel.
  // frames must not exceed BlockSize().
  void BindInputBuffers(int start, int count, float** host, int frames);
  void BindInputBuffers(int start, int count, double** host, int frames);
  void BindOutputBuffers(int start, int count, float** host);
  void BindOutputBuffers(int start, int count, double** host);
  void RunBlock(int frames);              // replaces the host's float outputs
  void RunBlockAccumulating(int frames);  // adds into them
  void RunBlockDouble(int frames);

  // ---- rate, size, latency, identity ----
  void SetSampleRate(double rate) { mSampleRate = rate; }
  double GetSampleRate() const { return mSampleRate; }
  int BlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency; }
  int EffectVersion(bool decimal) const;
  void EffectVersionText(char* out) const;  // "v%d.%02d", at most 32 bytes
  const char* EffectName() const { return mEffectName; }
  const char* ProductName() const { return mProductName; }
  const char* MakerName() const { return mMakerName; }
  int UniqueID() const { return mUniqueID; }
  int MakerID() const { return mMakerID; }
  bool DoesStateChunks() const { return mStateChunks; }
  bool IsInstrument() const { return mIsInstrument; }
  void SetHost(const char* name, int version);
  HostId StoredHost() const { return mHost; }
  int HostVersion() const { return mHostVersion; }

  // ---- editor link ----
  // The editor's way to change a parameter: sets it, tells the host (a value
  // clamped to [0, 1]; NaN is ignored), reacts.
  void SetParameterFromGUI(int paramIdx, double normalized);
  void PushParamsToEditor();
  void NotifyAllParamsChanged();
  IPluginEditor* GetGUI() const { return mGraphics; }

  // ---- presets and state ----
  bool SerializeParams(IByteBuffer* buffer);
  // Returns the position after the last value read, or -1 when data ran short.
  int UnserializeParams(IByteBuffer* buffer, int startPos);
  void BeginStateChunk(IByteBuffer* buffer);
  int ReadChunkHeader(IByteBuffer* buffer, int* pos);
  int NPresets() const { return static_cast<int>(mPresets.size()); }
  int CurrentPresetIdx() const { return mCurrentPresetIdx; }
  const char* PresetName(int idx) const;  // "" outside the list
  const IPresetSlot* PresetAt(int idx) const;  // null outside the list
  bool LoadPreset(int idx);
  void StoreCurrentPreset(const char* name = nullptr);
  void AddPresetsFromCurrent(const char* name, int count);
  // One plain value per parameter in index order (whole numbers for bool, int
  // and enum parameters), stored as passed. Only during construction.
  void AddPreset(const char* name, std::initializer_list<double> values);
  void EnsureOnePreset();
  void NextUserPresetName(char* out, int capacity) const;

  RecursiveLock& Lock() { return mLock; }

 protected:
  int mUniqueID, mMakerID, mVersion, mLatency;
  bool mStateChunks, mIsInstrument;
  HostId mHost = kHostNotAsked;
  int mHostVersion = 0;
  double mSampleRate = 44100.0;
  int mBlockSize = 0;
  IPluginEditor* mGraphics = nullptr;  // owned
  int mCurrentPresetIdx = 0;

 private:
  RecursiveLock mLock;
  char mEffectName[kNameCapacity] = {};
  char mProductName[kNameCapacity] = {};
  char mMakerName[kNameCapacity] = {};
  std::vector<IParam> mParams;
  std::vector<IPresetSlot> mPresets;
  std::vector<IChannelConfig> mChannelConfigs;
  std::vector<double*> mInData;   // the input pointers handed to ProcessBlock
  std::vector<double*> mOutData;  // the output pointers
  std::vector<IInputChannel> mInChannels;
  std::vector<IOutputChannel> mOutChannels;
};

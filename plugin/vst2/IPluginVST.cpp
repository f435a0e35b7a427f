#include "plugin/vst2/IPluginVST.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>

#include "plugin/ScopedDenormalsOff.h"
#include "plugin/Text.h"
#include "plugin/Trace.h"

namespace {

IPluginVST* PluginOf(AEffect* effect) {
  return effect ? static_cast<IPluginVST*>(effect->object) : nullptr;
}

constexpr VstIntPtr kVendorSpecificAnswer = 0xBEEF;
constexpr VstIntPtr kVendorCanDoAnswer = 0xBEEF0000;
constexpr VstIntPtr kIdentifyAnswer = 0x4E764566;  // 'NvEf'
constexpr int kVendorSpecificParamDisplay = 7;

}  // namespace

IPluginVST::IPluginVST(audioMasterCallback hostCallback, int nParams, const char* channelIOStr,
                       int nPresets, const char* effectName, const char* productName,
                       const char* makerName, int version, int uniqueID, int makerID,
                       int latency, bool doesMidi, bool stateChunks, bool isInstrument)
    : IPluginBase(nParams, channelIOStr, nPresets, effectName, productName, makerName, version,
                  uniqueID, makerID, latency, doesMidi, stateChunks, isInstrument),
      mHostCallback(hostCallback),
      mDoesMidi(doesMidi) {
  TRACE("IPluginVST::IPluginVST", "%s", effectName ? effectName : "");

  std::memset(&mAEffect, 0, sizeof mAEffect);
  mAEffect.magic = kEffectMagic;
  mAEffect.dispatcher = VSTDispatcher;
  mAEffect.process = VSTProcess;
  mAEffect.setParameter = VSTSetParameter;
  mAEffect.getParameter = VSTGetParameter;
  mAEffect.numPrograms = NPresets();
  mAEffect.numParams = NParams();
  mAEffect.numInputs = NInChannels();
  mAEffect.numOutputs = NOutChannels();
  int flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  if (stateChunks) flags |= effFlagsProgramChunks;
  if (LegalIO(1, -1)) flags |= effFlagsMonoCapable;
  if (isInstrument) flags |= effFlagsIsSynth;
  mAEffect.flags = flags;
  mAEffect.initialDelay = latency;
  mAEffect.ioRatio = 1.0f;
  mAEffect.object = this;
  mAEffect.uniqueID = uniqueID;
  mAEffect.version = EffectVersion(true);
  mAEffect.processReplacing = VSTProcessReplacing;
  mAEffect.processDoubleReplacing = VSTProcessDoubleReplacing;

  mInputArrangement.numChannels = NInChannels();
  mOutputArrangement.numChannels = NOutChannels();

  ConnectInputs(0, NInChannels(), true);
  ConnectOutputs(0, NOutChannels(), true);
  SetBlockSize(1024);

  mSliceInF.assign(static_cast<std::size_t>(NInChannels()), nullptr);
  mSliceOutF.assign(static_cast<std::size_t>(NOutChannels()), nullptr);
  mSliceInD.assign(static_cast<std::size_t>(NInChannels()), nullptr);
  mSliceOutD.assign(static_cast<std::size_t>(NOutChannels()), nullptr);
}

IPluginVST::~IPluginVST() = default;

// ---- calls into the host ----

VstIntPtr IPluginVST::CallHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
  return mHostCallback ? mHostCallback(&mAEffect, opcode, index, value, ptr, opt) : 0;
}

void IPluginVST::BeginParamEdit(int paramIdx) { CallHost(audioMasterBeginEdit, paramIdx, 0, nullptr, 0.0f); }

void IPluginVST::AutomateParam(int paramIdx, double normalized) {
  CallHost(audioMasterAutomate, paramIdx, 0, nullptr, static_cast<float>(normalized));
}

void IPluginVST::EndParamEdit(int paramIdx) { CallHost(audioMasterEndEdit, paramIdx, 0, nullptr, 0.0f); }

const VstTimeInfo* IPluginVST::TimeInfo(VstIntPtr filter) {
  return reinterpret_cast<const VstTimeInfo*>(CallHost(audioMasterGetTime, 0, filter, nullptr, 0.0f));
}

int IPluginVST::GetSamplePos() {
  const VstTimeInfo* t = TimeInfo(0);
  return t && t->samplePos >= 0.0 ? TruncToInt(t->samplePos) : 0;
}

double IPluginVST::GetTempo() {
  if (!mHostCallback) return 0.0;
  const VstTimeInfo* t = TimeInfo(kVstTempoValid);
  return t && (t->flags & kVstTempoValid) && t->tempo >= 0.0 ? t->tempo : 0.0;
}

void IPluginVST::GetTimeSignature(int* numerator, int* denominator) {
  if (!numerator || !denominator) return;
  *numerator = *denominator = 0;
  const VstTimeInfo* t = TimeInfo(kVstTimeSigValid);
  if (t && (t->flags & kVstTimeSigValid) && t->timeSigNumerator >= 0 &&
      t->timeSigDenominator >= 0) {
    *numerator = t->timeSigNumerator;
    *denominator = t->timeSigDenominator;
  }
}

HostId IPluginVST::GetHost() {
  if (mHost != kHostNotAsked) return mHost;
  char name[256] = {};
  CallHost(audioMasterGetProductString, 0, 0, name, 0.0f);
  name[sizeof name - 1] = '\0';  // a host that fills the whole buffer gets cut, not overrun
  int version = 0;
  if (name[0]) {
    VstIntPtr decimal = CallHost(audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f);
    version = PackDecimalVersion(static_cast<int>(std::clamp<VstIntPtr>(decimal, 0, INT32_MAX)));
  }
  SetHost(name, version);
  return mHost;
}

void IPluginVST::EditorResized(int, int) {
  if (!mGraphics) return;
  mEditRect = {0, 0, static_cast<VstInt16>(mGraphics->Height()),
               static_cast<VstInt16>(mGraphics->Width())};
}

void IPluginVST::HostSpecificSetup() {
  if (mHostSetupDone) return;
  mHostSetupDone = true;
  HostId host = GetHost();
  if (host == kHostForte || host == kHostAudition || host == kHostOrion || host == kHostSawStudio)
    LimitToStereo();
  mInputArrangement.numChannels = mAEffect.numInputs = NInChannels();
  mOutputArrangement.numChannels = mAEffect.numOutputs = NOutChannels();
}

void IPluginVST::AttachEditor(IPluginEditor* graphics) {
  if (!graphics) return;
  IPluginBase::AttachEditor(graphics);
  mAEffect.flags |= effFlagsHasEditor;
  mEditRect = {0, 0, static_cast<VstInt16>(graphics->Height()),
               static_cast<VstInt16>(graphics->Width())};
}

void IPluginVST::SetLatency(int samples) {
  mAEffect.initialDelay = samples;
  IPluginBase::SetLatency(samples);
}

bool IPluginVST::SendMidiMessage(IMidiMessage* msg) {
  if (!msg) return false;
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent);
  event.deltaFrames = msg->offset;
  event.midiData[0] = static_cast<char>(msg->status);
  event.midiData[1] = static_cast<char>(msg->data1);
  event.midiData[2] = static_cast<char>(msg->data2);
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return CallHost(audioMasterProcessEvents, 0, 0, &events, 0.0f) == 1;
}

bool IPluginVST::SendMidiMessages(const std::vector<IMidiMessage>& msgs) {
  bool all = true;
  for (IMidiMessage m : msgs) all = SendMidiMessage(&m) && all;
  return all;
}

// ---- dispatcher ----

VstIntPtr IPluginVST::VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                    VstIntPtr value, void* ptr, float opt) {
  IPluginVST* plug = PluginOf(effect);
  if (!plug) return 0;
  if (opcode == effEditIdle || opcode == effIdle) return 0;  // polled constantly: no lock, no trace
  try {
    if (opcode == effClose) {
      {
        LockGuard guard(plug->Lock());
        TRACE("IPluginVST::VSTDispatcher", "%d(%s):%d:%lld", opcode, OpcodeName(opcode), index,
              static_cast<long long>(value));
      }
      // The lock lives inside the object: it is released before the object goes.
      delete plug;
      return 0;
    }
    LockGuard guard(plug->Lock());
    TRACE("IPluginVST::VSTDispatcher", "%d(%s):%d:%lld", opcode, OpcodeName(opcode), index,
          static_cast<long long>(value));
    return plug->Dispatch(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;  // nothing may cross into the host
  }
}

VstIntPtr IPluginVST::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
  char* text = static_cast<char*>(ptr);
  IParam* param = ParamAt(index);
  switch (opcode) {
    case effOpen:
      HostSpecificSetup();
      NotifyAllParamsChanged();
      return 0;
    case effSetProgram:
      if (!DoesStateChunks()) StoreCurrentPreset();
      // Hosts pass the program number in value; one beyond int range is no program.
      if (value >= 0 && value <= INT32_MAX) LoadPreset(static_cast<int>(value));
      return 0;
    case effGetProgram:
      return CurrentPresetIdx();
    case effSetProgramName:
      if (text) StoreCurrentPreset(text);
      return 0;
    case effGetProgramName:
      if (text) CopyText(text, PresetName(CurrentPresetIdx()), kProgramNameBytes);
      return 0;
    case effGetParamLabel:
      if (param && text) CopyText(text, param->Label(), kParamTextBytes);
      return 0;
    case effGetParamDisplay:
      if (param && text) param->FormatForHost(text);
      return 0;
    case effGetParamName:
      if (param && text) CopyText(text, param->Name(), kParamTextBytes);
      return 0;
    case effSetSampleRate:
      // A zero, negative or non-finite rate would divide by zero later: ignored.
      if (std::isfinite(opt) && opt > 0.0f && opt <= kMaxSampleRate) {
        SetSampleRate(opt);
        Reset();
      }
      return 0;
    case effSetBlockSize:
      if (value > 0 && value <= kMaxBlockSize && SetBlockSize(static_cast<int>(value))) Reset();
      return 0;
    case effMainsChanged:
      if (value) {
        Activate(true);
      } else {
        Activate(false);
        Reset();
      }
      return 0;
    case effEditGetRect:
      if (ptr && mGraphics) {
        *static_cast<ERect**>(ptr) = &mEditRect;
        return 1;
      }
      return 0;
    case effEditOpen:
      if (mGraphics && mGraphics->OpenWindow(ptr) != nullptr) {
        EditorOpened();
        return 1;
      }
      return 0;
    case effEditClose:
      if (!mGraphics) return 0;
      EditorClosed();
      mGraphics->CloseWindow();
      return 1;
    case effIdentify:
      return kIdentifyAnswer;
    case effGetChunk:
      return GetChunk(index == 0, static_cast<void**>(ptr));
    case effSetChunk:
      return SetChunk(index == 0, value, ptr);
    case effProcessEvents:
      if (!ptr) return 0;
      ProcessEvents(static_cast<const VstEvents*>(ptr));
      return 1;
    case effCanBeAutomated:
      return 1;
    case effGetProgramNameIndexed:
      if (!text) return 0;
      CopyText(text, PresetName(index), kProgramNameBytes);
      return text[0] ? 1 : 0;
    case effGetInputProperties:
      return FillPinProperties(static_cast<VstPinProperties*>(ptr), index, true) ? 1 : 0;
    case effGetOutputProperties:
      return FillPinProperties(static_cast<VstPinProperties*>(ptr), index, false) ? 1 : 0;
    case effGetPlugCategory:
      return kPlugCategEffect;
    case effProcessVarIo:
      return 0;
    case effSetSpeakerArrangement:
      ConnectFromArrangement(reinterpret_cast<const VstSpeakerArrangement*>(value), true);
      ConnectFromArrangement(static_cast<const VstSpeakerArrangement*>(ptr), false);
      return 1;
    case effGetEffectName:
      if (!text) return 0;
      CopyText(text, EffectName(), kEffectNameBytes);
      return 1;
    case effGetVendorString:
      if (!text) return 0;
      CopyText(text, MakerName(), kVendorTextBytes);
      return 1;
    case effGetProductString:
      if (!text) return 0;
      CopyText(text, ProductName(), kVendorTextBytes);
      return 1;
    case effVendorSpecific:
      return VendorSpecific(index, value, ptr, opt);
    case effCanDo:
      return text ? CanDoAnswer(text) : 0;
    case effGetVstVersion:
      return 2400;
    case effGetMidiKeyName: {
      auto* key = static_cast<MidiKeyName*>(ptr);
      if (!key) return 0;
      key->keyName[0] = '\0';
      char name[sizeof key->keyName] = {};
      bool named = KeyNameForNote(key->thisKeyNumber, name);
      CopyText(key->keyName, name, sizeof key->keyName);
      return named ? 1 : 0;
    }
    case effGetSpeakerArrangement:
      if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = &mInputArrangement;
      if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &mOutputArrangement;
      return 1;
    default:
      return 0;
  }
}

VstIntPtr IPluginVST::VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (index != kVendorSpecificParamDisplay || !ptr) return 0;
  if (value >= 0 && value < NParams())
    ParamAt(static_cast<int>(value))->FormatForHost(opt, true, static_cast<char*>(ptr));
  return kVendorSpecificAnswer;
}

VstIntPtr IPluginVST::GetChunk(bool isBank, void** data) {
  if (!data) return 0;
  IByteBuffer& buffer = isBank ? mBankState : mProgramState;
  BeginStateChunk(&buffer);
  if (isBank) StoreCurrentPreset();
  if (SerializeState(&buffer) && buffer.Size() > 0) {
    *data = buffer.Data();
    return buffer.Size();
  }
  return 0;
}

VstIntPtr IPluginVST::SetChunk(bool isBank, VstIntPtr size, const void* data) {
  // A negative or oversized size is refused before anything changes.
  if (!data || size < 0 || size > INT32_MAX) return 0;
  IByteBuffer& buffer = isBank ? mBankState : mProgramState;
  if (!buffer.Resize(static_cast<int>(size))) return 0;
  if (size > 0) std::memcpy(buffer.Data(), data, static_cast<std::size_t>(size));
  int pos = 0;
  int version = ReadChunkHeader(&buffer, &pos);
  pos = UnserializeState(&buffer, pos);
  if (!isBank || version < kChunkVersion) StoreCurrentPreset();
  if (pos < 0) return 0;
  PushParamsToEditor();
  return 1;
}

VstIntPtr IPluginVST::CanDoAnswer(const char* text) const {
  TRACE("IPluginVST::VSTDispatcher", "VSTCanDo(%s)", text);
  if (!std::strcmp(text, "receiveVstTimeInfo")) return 1;
  if (mDoesMidi && (!std::strcmp(text, "sendVstEvents") || !std::strcmp(text, "sendVstMidiEvent") ||
                    !std::strcmp(text, "receiveVstEvents") ||
                    !std::strcmp(text, "receiveVstMidiEvent")))
    return 1;
  if (!std::strcmp(text, "hasVendorExtensions") || !std::strcmp(text, "hasVendorViewAsConfig"))
    return kVendorCanDoAnswer;
  return 0;
}

void IPluginVST::ProcessEvents(const VstEvents* events) {
  // The record declares two entries, the host's list runs numEvents long:
  // read as the array it is, not through the declared one.
  VstEvent* const* list = reinterpret_cast<VstEvent* const*>(reinterpret_cast<const char*>(events) +
                                                            offsetof(VstEvents, events));
  for (VstInt32 i = 0; i < events->numEvents; ++i) {
    VstEvent* event = list[i];
    if (!event) continue;
    if (event->type == kVstMidiType) {
      const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
      IMidiMessage msg;
      msg.offset = midi->deltaFrames;
      msg.status = static_cast<unsigned char>(midi->midiData[0]);
      msg.data1 = static_cast<unsigned char>(midi->midiData[1]);
      msg.data2 = static_cast<unsigned char>(midi->midiData[2]);
      ProcessMidiMessage(&msg);
    } else {
      VstEvents one{};
      one.numEvents = 1;
      one.events[0] = event;
      CallHost(audioMasterProcessEvents, 0, 0, &one, 0.0f);
    }
  }
}

void IPluginVST::ConnectFromArrangement(const VstSpeakerArrangement* arrangement, bool inputs) {
  if (!arrangement) return;
  // Counts outside the channels that exist would reach outside the channel lists.
  int total = inputs ? NInChannels() : NOutChannels();
  int n = std::clamp(arrangement->numChannels, 0, total);
  if (inputs) {
    ConnectInputs(0, n, true);
    ConnectInputs(n, total - n, false);
  } else {
    ConnectOutputs(0, n, true);
    ConnectOutputs(n, total - n, false);
  }
}

bool IPluginVST::FillPinProperties(VstPinProperties* pin, int index, bool input) const {
  int count = input ? NInChannels() : NOutChannels();
  if (!pin || index < 0 || index >= count) return false;
  pin->flags = kVstPinIsActive | (index % 2 == 0 ? kVstPinIsStereo : 0);
  std::snprintf(pin->label, sizeof pin->label, input ? "Input %d" : "Output %d", index + 1);
  return true;
}

// ---- parameter callbacks ----

float IPluginVST::VSTGetParameter(AEffect* effect, VstInt32 index) {
  TRACE("IPluginVST::VSTGetParameter", "%d", index);
  IPluginVST* plug = PluginOf(effect);
  if (!plug) return 0.0f;
  LockGuard guard(plug->Lock());
  const IParam* param = plug->ParamAt(index);
  return param ? static_cast<float>(param->Normalized()) : 0.0f;
}

void IPluginVST::VSTSetParameter(AEffect* effect, VstInt32 index, float value) {
  TRACE("IPluginVST::VSTSetParameter", "%d:%f", index, static_cast<double>(value));
  IPluginVST* plug = PluginOf(effect);
  if (!plug) return;
  try {
    LockGuard guard(plug->Lock());
    IParam* param = plug->ParamAt(index);
    if (!param) return;
    if (plug->mGraphics) plug->mGraphics->SetParameterFromPlug(index, value, true);
    param->SetFromNormalized(value);
    plug->ParamChanged(index);
  } catch (...) {
  }
}

// ---- audio callbacks ----

template <typename Sample>
void IPluginVST::ProcessSliced(Sample** inputs, Sample** outputs, int frames,
                               std::vector<Sample*>& sliceIn, std::vector<Sample*>& sliceOut,
                               RunMode mode) {
  if (frames <= 0) return;
  // The host passes one output array per output the record declares, whatever
  // arrangement it announced, and plays each of them: those no connected
  // channel fills, and all of them when nothing can be processed, get silence
  // (accumulating adds nothing, so it leaves them as they are).
  const int passedOut = outputs ? std::max(mAEffect.numOutputs, 0) : 0;
  auto silence = [&](int from) {
    if (mode == RunMode::kAccumulating) return;
    for (int i = from; i < passedOut; ++i)
      if (outputs[i]) std::fill(outputs[i], outputs[i] + frames, Sample(0));
  };
  if (mBlockSize <= 0 || (NInChannels() > 0 && !inputs) || (NOutChannels() > 0 && !outputs)) {
    silence(0);
    return;
  }
  // Connected channels take the host's arrays in order; any of them missing: nothing to do safely.
  int nIn = 0, nOut = 0;
  for (int i = 0; i < NInChannels(); ++i) nIn += IsInChannelConnected(i) ? 1 : 0;
  for (int i = 0; i < NOutChannels(); ++i) nOut += IsOutChannelConnected(i) ? 1 : 0;
  bool complete = true;
  for (int i = 0; i < nIn; ++i) complete = complete && inputs[i];
  for (int i = 0; i < nOut; ++i) complete = complete && outputs[i];
  if (!complete) {
    silence(0);
    return;
  }
  silence(nOut);
  // The scratch buffers (and unconnected channels) hold one announced block.
  for (int offset = 0; offset < frames; offset += mBlockSize) {
    const int n = std::min(mBlockSize, frames - offset);
    for (int i = 0; i < nIn; ++i) sliceIn[static_cast<std::size_t>(i)] = inputs[i] + offset;
    for (int i = 0; i < nOut; ++i) sliceOut[static_cast<std::size_t>(i)] = outputs[i] + offset;
    BindInputBuffers(0, NInChannels(), sliceIn.data(), n);
    BindOutputBuffers(0, NOutChannels(), sliceOut.data());
    switch (mode) {
      case RunMode::kReplacing: RunBlock(n); break;
      case RunMode::kAccumulating: RunBlockAccumulating(n); break;
      case RunMode::kDouble: RunBlockDouble(n); break;
    }
  }
}

void IPluginVST::AudioCallback(AEffect* effect, float** inputs, double** dInputs, float** outputs,
                               double** dOutputs, VstInt32 frames, RunMode mode) {
  IPluginVST* plug = PluginOf(effect);
  if (!plug) return;
  LockGuard guard(plug->Lock());
  ScopedDenormalsOff denormals;
  if (plug->mDoesMidi) plug->CallHost(audioMasterWantMidi, 0, 0, nullptr, 0.0f);
  if (mode == RunMode::kDouble)
    plug->ProcessSliced(dInputs, dOutputs, frames, plug->mSliceInD, plug->mSliceOutD, mode);
  else
    plug->ProcessSliced(inputs, outputs, frames, plug->mSliceInF, plug->mSliceOutF, mode);
}

void IPluginVST::VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  AudioCallback(effect, inputs, nullptr, outputs, nullptr, frames, RunMode::kAccumulating);
}

void IPluginVST::VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                     VstInt32 frames) {
  AudioCallback(effect, inputs, nullptr, outputs, nullptr, frames, RunMode::kReplacing);
}

void IPluginVST::VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                           VstInt32 frames) {
  AudioCallback(effect, nullptr, inputs, nullptr, outputs, frames, RunMode::kDouble);
}

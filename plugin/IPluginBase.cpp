#include "plugin/IPluginBase.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "plugin/SampleConversion.h"
#include "plugin/Text.h"
#include "plugin/Trace.h"

void IPresetSlot::SetName(const char* newName) {
  if (newName) name.assign(newName, strnlen(newName, kMaxNameLength));
}

namespace {
// Parses "in-out" pairs separated by spaces. A malformed entry is the effect's
// own constant gone wrong, so it stops the program.
std::vector<IChannelConfig> ParseChannelIO(const char* text) {
  std::vector<IChannelConfig> configs;
  if (!text) return configs;
  const char* p = text;
  for (;;) {
    int nIn = 0, nOut = 0;
    if (std::sscanf(p, " %d-%d", &nIn, &nOut) != 2) {
      std::fprintf(stderr, "IPluginBase: cannot parse channel configuration \"%s\"\n", p);
      std::abort();
    }
    configs.push_back({nIn, nOut});
    p = std::strchr(p, ' ');
    if (!p) break;
    ++p;
  }
  return configs;
}
}  // namespace

IPluginBase::IPluginBase(int nParams, const char* channelIOStr, int nPresets,
                         const char* effectName, const char* productName, const char* makerName,
                         int version, int uniqueID, int makerID, int latency, bool /*doesMidi*/,
                         bool stateChunks, bool isInstrument)
    : mUniqueID(uniqueID),
      mMakerID(makerID),
      mVersion(version),
      mLatency(latency),
      mStateChunks(stateChunks),
      mIsInstrument(isInstrument) {
  TRACE("IPluginBase::IPluginBase", "%s:%s", effectName ? effectName : "", TraceTimestamp());
  mParams.resize(static_cast<std::size_t>(std::max(nParams, 0)));
  mPresets.resize(static_cast<std::size_t>(std::max(nPresets, 0)));
  for (std::size_t i = 0; i < mPresets.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "- %d -", static_cast<int>(i) + 1);
    mPresets[i].SetName(name);
  }
  CopyText(mEffectName, effectName, sizeof mEffectName);
  CopyText(mProductName, productName, sizeof mProductName);
  CopyText(mMakerName, makerName, sizeof mMakerName);

  mChannelConfigs = ParseChannelIO(channelIOStr);
  int maxIn = 0, maxOut = 0;
  for (const IChannelConfig& c : mChannelConfigs) {
    maxIn = std::max(maxIn, c.nIn);
    maxOut = std::max(maxOut, c.nOut);
  }
  mInData.assign(static_cast<std::size_t>(maxIn), nullptr);
  mOutData.assign(static_cast<std::size_t>(maxOut), nullptr);
  mInChannels.resize(mInData.size());
  mOutChannels.resize(mOutData.size());
  for (std::size_t i = 0; i < mInChannels.size(); ++i) mInChannels[i].slot = &mInData[i];
  for (std::size_t i = 0; i < mOutChannels.size(); ++i) mOutChannels[i].slot = &mOutData[i];
}

IPluginBase::~IPluginBase() {
  delete mGraphics;
  mGraphics = nullptr;
}

// ---- effect operations (base behaviour) ----

void IPluginBase::Reset() { LockGuard guard(mLock); }
void IPluginBase::ParamChanged(int) { LockGuard guard(mLock); }
void IPluginBase::Activate(bool) { LockGuard guard(mLock); }

void IPluginBase::ProcessBlock(double** inputs, double** outputs, int nFrames) {
  if (nFrames <= 0) return;
  const int nIn = NInChannels(), nOut = NOutChannels();
  for (int i = 0; i < nOut; ++i) {
    if (i < nIn)
      std::memmove(outputs[i], inputs[i], sizeof(double) * static_cast<std::size_t>(nFrames));
    else
      std::memset(outputs[i], 0, sizeof(double) * static_cast<std::size_t>(nFrames));
  }
}

void IPluginBase::ProcessMidiMessage(IMidiMessage* msg) { SendMidiMessage(msg); }

bool IPluginBase::KeyNameForNote(int, char* name) {
  if (name) *name = '\0';
  return false;
}

bool IPluginBase::SerializeState(IByteBuffer* buffer) { return SerializeParams(buffer); }

int IPluginBase::UnserializeState(IByteBuffer* buffer, int startPos) {
  return UnserializeParams(buffer, startPos);
}

void IPluginBase::AttachEditor(IPluginEditor* graphics) {
  if (!graphics) return;
  LockGuard guard(mLock);
  for (int i = 0; i < NParams(); ++i)
    graphics->SetParameterFromPlug(i, mParams[static_cast<std::size_t>(i)].Normalized(), true);
  graphics->PrepareDrawing();
  mGraphics = graphics;
}

bool IPluginBase::SetBlockSize(int frames) {
  if (frames == mBlockSize) return true;
  if (frames <= 0 || frames > kMaxBlockSize) return false;
  // Allocate every new buffer first so that a failure leaves the old ones in place.
  std::vector<std::vector<double>> fresh;
  try {
    fresh.reserve(mInChannels.size() + mOutChannels.size());
    for (std::size_t i = 0; i < mInChannels.size() + mOutChannels.size(); ++i)
      fresh.emplace_back(static_cast<std::size_t>(frames), 0.0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Every slot moves to the new scratch, so none is left pointing at freed
  // memory; connected channels are bound afresh with each block anyway.
  std::size_t k = 0;
  for (IInputChannel& c : mInChannels) {
    c.scratch.swap(fresh[k++]);
    *c.slot = c.scratch.data();
  }
  for (IOutputChannel& c : mOutChannels) {
    c.scratch.swap(fresh[k++]);
    *c.slot = c.scratch.data();
    c.hostBuffer = nullptr;
  }
  mBlockSize = frames;
  return true;
}

// ---- parameters and channels ----

IParam* IPluginBase::ParamAt(int paramIdx) {
  return paramIdx >= 0 && paramIdx < NParams() ? &mParams[static_cast<std::size_t>(paramIdx)]
                                                : nullptr;
}

const IParam* IPluginBase::ParamAt(int paramIdx) const {
  return paramIdx >= 0 && paramIdx < NParams() ? &mParams[static_cast<std::size_t>(paramIdx)]
                                                : nullptr;
}

bool IPluginBase::LegalIO(int nIn, int nOut) const {
  bool legal = false;
  for (const IChannelConfig& c : mChannelConfigs) {
    if ((nIn < 0 || nIn == c.nIn) && (nOut < 0 || nOut == c.nOut)) {
      legal = true;
      break;
    }
  }
  TRACE("IPluginBase::LegalIO", "%d:%d:%s", nIn, nOut, legal ? "legal" : "illegal");
  return legal;
}

bool IPluginBase::IsInChannelConnected(int i) const {
  return i >= 0 && i < NInChannels() && mInChannels[static_cast<std::size_t>(i)].connected;
}

bool IPluginBase::IsOutChannelConnected(int i) const {
  return i >= 0 && i < NOutChannels() && mOutChannels[static_cast<std::size_t>(i)].connected;
}

namespace {
// Channel indices [start, min(start + count, n)), with hostile values clamped.
struct IndexRange {
  int begin, end;
};
IndexRange ClampRange(int start, int count, int n) {
  long long b = std::min(std::max(start, 0), n);
  long long e = std::min<long long>(static_cast<long long>(start) + count, n);
  if (e < b) e = b;
  return {static_cast<int>(b), static_cast<int>(e)};
}
}  // namespace

void IPluginBase::ConnectInputs(int start, int count, bool connected) {
  IndexRange r = ClampRange(start, count, NInChannels());
  for (int i = r.begin; i < r.end; ++i) {
    IInputChannel& c = mInChannels[static_cast<std::size_t>(i)];
    c.connected = connected;
    if (!connected) {
      // Silence, not the last block converted into it played over and over.
      std::fill(c.scratch.begin(), c.scratch.end(), 0.0);
      *c.slot = c.scratch.data();
    }
  }
}

void IPluginBase::ConnectOutputs(int start, int count, bool connected) {
  IndexRange r = ClampRange(start, count, NOutChannels());
  for (int i = r.begin; i < r.end; ++i) {
    IOutputChannel& c = mOutChannels[static_cast<std::size_t>(i)];
    c.connected = connected;
    if (!connected) *c.slot = c.scratch.data();
  }
}

void IPluginBase::LimitToStereo() {
  if (NInChannels() > 2) ConnectInputs(2, NInChannels() - 2, false);
  // Outputs beyond the second are marked connected, as hosts of this kind expect.
  if (NOutChannels() > 2) ConnectOutputs(2, NOutChannels() - 2, true);
}

void IPluginBase::BindInputBuffers(int start, int count, float** host, int frames) {
  IndexRange r = ClampRange(start, count, NInChannels());
  int next = 0;
  for (int i = r.begin; i < r.end; ++i) {
    IInputChannel& c = mInChannels[static_cast<std::size_t>(i)];
    if (!c.connected) continue;
    const float* src = host[next++];
    double* dst = c.scratch.data();
    FloatToDouble(src, dst, frames);
    *c.slot = dst;
  }
}

void IPluginBase::BindInputBuffers(int start, int count, double** host, int) {
  IndexRange r = ClampRange(start, count, NInChannels());
  int next = 0;
  for (int i = r.begin; i < r.end; ++i) {
    IInputChannel& c = mInChannels[static_cast<std::size_t>(i)];
    if (c.connected) *c.slot = host[next++];
  }
}

void IPluginBase::BindOutputBuffers(int start, int count, float** host) {
  IndexRange r = ClampRange(start, count, NOutChannels());
  int next = 0;
  for (int i = r.begin; i < r.end; ++i) {
    IOutputChannel& c = mOutChannels[static_cast<std::size_t>(i)];
    if (!c.connected) continue;
    *c.slot = c.scratch.data();
    c.hostBuffer = host[next++];
  }
}

void IPluginBase::BindOutputBuffers(int start, int count, double** host) {
  IndexRange r = ClampRange(start, count, NOutChannels());
  int next = 0;
  for (int i = r.begin; i < r.end; ++i) {
    IOutputChannel& c = mOutChannels[static_cast<std::size_t>(i)];
    if (c.connected) *c.slot = host[next++];
  }
}

void IPluginBase::RunBlockDouble(int frames) {
  ProcessBlock(mInData.data(), mOutData.data(), frames);
}

void IPluginBase::RunBlock(int frames) {
  ProcessBlock(mInData.data(), mOutData.data(), frames);
  for (IOutputChannel& c : mOutChannels) {
    if (!c.connected || !c.hostBuffer) continue;
    DoubleToFloat(c.scratch.data(), c.hostBuffer, frames);
  }
}

void IPluginBase::RunBlockAccumulating(int frames) {
  ProcessBlock(mInData.data(), mOutData.data(), frames);
  for (IOutputChannel& c : mOutChannels) {
    if (!c.connected || !c.hostBuffer) continue;
    AddDoubleToFloat(c.scratch.data(), c.hostBuffer, frames);
  }
}

// ---- identity and host ----

int IPluginBase::EffectVersion(bool decimal) const {
  if (!decimal) return mVersion;
  int major = (mVersion >> 16) & 0xFFFF, minor = (mVersion >> 8) & 0xFF, patch = mVersion & 0xFF;
  return major * 10000 + minor * 100 + patch;
}

void IPluginBase::EffectVersionText(char* out) const {
  if (out) std::snprintf(out, 32, "v%d.%02d", (mVersion >> 16) & 0xFFFF, (mVersion >> 8) & 0xFF);
}

void IPluginBase::SetHost(const char* name, int version) {
  mHost = IdentifyHost(name);
  mHostVersion = version;
  char versionText[32];
  std::snprintf(versionText, sizeof versionText, "v%d.%02d", (version >> 16) & 0xFFFF,
                (version >> 8) & 0xFF);
  TRACE("IPluginBase::SetHost", "host_%sknown:%s:%s", mHost == kHostUnknown ? "un" : "",
        name ? name : "", versionText);
}

// ---- editor link ----

void IPluginBase::SetParameterFromGUI(int paramIdx, double normalized) {
  TRACE("IPluginBase::SetParameterFromGUI", "%d:%f", paramIdx, normalized);
  LockGuard guard(mLock);
  IParam* param = ParamAt(paramIdx);
  // A control's value can come out of a wild gesture as NaN: it changes
  // nothing, so the host hears nothing; anything else reaches the host
  // within [0, 1], as automation must.
  if (!param || std::isnan(normalized)) return;
  normalized = std::clamp(normalized, 0.0, 1.0);
  param->SetFromNormalized(normalized);
  AutomateParam(paramIdx, normalized);
  ParamChanged(paramIdx);
}

void IPluginBase::PushParamsToEditor() {
  if (!mGraphics) return;
  for (int i = 0; i < NParams(); ++i)
    mGraphics->SetParameterFromPlug(i, mParams[static_cast<std::size_t>(i)].Value(), false);
}

void IPluginBase::NotifyAllParamsChanged() {
  for (int i = 0; i < NParams(); ++i) ParamChanged(i);
}

// ---- presets and state ----

bool IPluginBase::SerializeParams(IByteBuffer* buffer) {
  if (!buffer) return false;
  LockGuard guard(mLock);
  for (const IParam& p : mParams) {
    buffer->PutDouble(p.Value());
    if (buffer->Size() == 0) return false;
  }
  return true;
}

int IPluginBase::UnserializeParams(IByteBuffer* buffer, int startPos) {
  if (!buffer) return -1;
  LockGuard guard(mLock);
  int pos = startPos;
  for (int i = 0; i < NParams() && pos >= 0; ++i) {
    IParam& p = mParams[static_cast<std::size_t>(i)];
    TRACE("IPluginBase::UnserializeParams", "%d %s", i, p.Name());
    double v = 0.0;
    pos = buffer->GetDouble(&v, pos);
    if (pos < 0) v = 0.0;
    p.Set(v);
  }
  NotifyAllParamsChanged();
  return pos;
}

void IPluginBase::BeginStateChunk(IByteBuffer* buffer) {
  buffer->Resize(0);
  buffer->PutInt32(kChunkMagic);
  buffer->PutInt32(kChunkVersion);
}

int IPluginBase::ReadChunkHeader(IByteBuffer* buffer, int* pos) {
  std::int32_t magic = 0;
  int p = buffer->GetInt32(&magic, *pos);
  if (p < 0 || magic != kChunkMagic) return 0;  // no header: a bare value snapshot
  std::int32_t version = 0;
  *pos = buffer->GetInt32(&version, p);
  return *pos < 0 ? 0 : version;
}

const char* IPluginBase::PresetName(int idx) const {
  return idx >= 0 && idx < NPresets() ? mPresets[static_cast<std::size_t>(idx)].name.c_str() : "";
}

const IPresetSlot* IPluginBase::PresetAt(int idx) const {
  return idx >= 0 && idx < NPresets() ? &mPresets[static_cast<std::size_t>(idx)] : nullptr;
}

bool IPluginBase::SupportsSampleRate(double hz) const {
  return std::isfinite(hz) && hz > 0.0 && hz <= kMaxSampleRate;
}

void IPluginBase::NextUserPresetName(char* out, int capacity) const {
  int count = 0;
  for (const IPresetSlot& slot : mPresets)
    if (slot.name.find("user preset") != std::string::npos) ++count;
  std::snprintf(out, static_cast<std::size_t>(capacity), "%s %d", "user preset", count + 1);
}

bool IPluginBase::LoadPreset(int idx) {
  if (idx < 0 || idx >= NPresets()) return false;
  IPresetSlot& slot = mPresets[static_cast<std::size_t>(idx)];
  bool ok;
  if (slot.initialised) {
    ok = UnserializeParams(&slot.values, 0) > 0;
  } else {
    // A slot never filled captures the current values under a fresh user name.
    slot.initialised = true;
    char name[64];
    NextUserPresetName(name, sizeof name);
    slot.SetName(name);
    ok = SerializeParams(&slot.values);
  }
  if (ok) {
    mCurrentPresetIdx = idx;
    PushParamsToEditor();
  }
  return ok;
}

void IPluginBase::StoreCurrentPreset(const char* name) {
  if (mCurrentPresetIdx < 0 || mCurrentPresetIdx >= NPresets()) return;
  IPresetSlot& slot = mPresets[static_cast<std::size_t>(mCurrentPresetIdx)];
  slot.values.Resize(0);
  SerializeParams(&slot.values);
  if (name && *name) slot.SetName(name);
}

void IPluginBase::AddPresetsFromCurrent(const char* name, int count) {
  for (int n = 0; n < count; ++n) {
    for (IPresetSlot& slot : mPresets) {
      if (slot.initialised) continue;
      slot.initialised = true;
      slot.SetName(name ? name : "Default");
      SerializeParams(&slot.values);
      break;
    }
  }
}

void IPluginBase::AddPreset(const char* name, std::initializer_list<double> values) {
  assert(static_cast<int>(values.size()) == NParams());
  for (IPresetSlot& slot : mPresets) {
    if (slot.initialised) continue;
    slot.initialised = true;
    slot.SetName(name);
    for (double v : values) slot.values.PutDouble(v);
    return;
  }
}

void IPluginBase::EnsureOnePreset() {
  if (!mPresets.empty()) return;
  mPresets.emplace_back();
  AddPresetsFromCurrent("Default", 1);
}

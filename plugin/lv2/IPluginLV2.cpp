#include "plugin/lv2/IPluginLV2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugin/ScopedDenormalsOff.h"
#include "plugin/Trace.h"

IPluginLV2::IPluginLV2(HostContext host, int nParams, const char* channelIOStr, int nPresets,
                       const char* effectName, const char* productName, const char* makerName,
                       int version, int uniqueID, int makerID, int latency, bool doesMidi,
                       bool stateChunks, bool isInstrument)
    : IPluginBase(nParams, channelIOStr, nPresets, effectName, productName, makerName, version,
                  uniqueID, makerID, latency, doesMidi, stateChunks, isInstrument) {
  TRACE("IPluginLV2::IPluginLV2", "%s:%f:%d", effectName ? effectName : "", host.sampleRate,
        host.maxBlockFrames);
  SetSampleRate(host.sampleRate);
  ConnectInputs(0, NInChannels(), true);
  ConnectOutputs(0, NOutChannels(), true);
  const int frames = host.maxBlockFrames > 0 ? std::min(host.maxBlockFrames, kMaxBlockSize)
                                             : kDefaultBlockFrames;
  if (!SetBlockSize(frames)) SetBlockSize(kDefaultBlockFrames);
  // The largest layout: with the lamp port, whether or not the effect has one.
  mPorts.assign(static_cast<std::size_t>(LatencyPort() + 2), nullptr);
  mLastPortBits.assign(static_cast<std::size_t>(NParams()), 0);
  mPortTaken.assign(static_cast<std::size_t>(NParams()), false);
  mSliceIn.assign(static_cast<std::size_t>(NInChannels()), nullptr);
  mSliceOut.assign(static_cast<std::size_t>(NOutChannels()), nullptr);
}

IPluginLV2::~IPluginLV2() = default;

// ---- port layout ----

int IPluginLV2::StatusLampPort() const { return StatusLampName() ? LatencyPort() + 1 : -1; }

int IPluginLV2::PortCount() const { return LatencyPort() + (StatusLampName() ? 2 : 1); }

IPluginLV2::PortInfo IPluginLV2::DescribePort(int port) const {
  const int nIn = NInChannels(), nOut = NOutChannels();
  if (port < 0 || port >= PortCount()) return {PortKind::kNone, 0};
  if (port < nIn) return {PortKind::kAudioIn, port};
  if (port < nIn + nOut) return {PortKind::kAudioOut, port - nIn};
  if (port < LatencyPort()) return {PortKind::kParam, port - nIn - nOut};
  if (port == LatencyPort()) return {PortKind::kLatency, 0};
  return {PortKind::kStatusLamp, 0};
}

std::string IPluginLV2::SymbolFromName(const char* name) {
  std::string out;
  bool gap = false;
  for (const char* p = name ? name : ""; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      if (gap && !out.empty()) out += '_';
      gap = false;
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    } else {
      gap = true;
    }
  }
  // A symbol may not start with a digit, nor be empty.
  if (out.empty() || (out[0] >= '0' && out[0] <= '9')) out.insert(0, "p_");
  return out;
}

std::string IPluginLV2::PortSymbol(int port) const {
  static const char* const kSides[] = {"l", "r"};
  const PortInfo info = DescribePort(port);
  auto channel = [&](const char* stem, int count) {
    if (count == 2) return std::string(stem) + "_" + kSides[info.index];
    return std::string(stem) + "_" + std::to_string(info.index + 1);
  };
  switch (info.kind) {
    case PortKind::kAudioIn: return channel("in", NInChannels());
    case PortKind::kAudioOut: return channel("out", NOutChannels());
    case PortKind::kParam: return SymbolFromName(ParamAt(info.index)->Name());
    case PortKind::kLatency: return "latency";
    case PortKind::kStatusLamp: return SymbolFromName(StatusLampName());
    case PortKind::kNone: break;
  }
  return "";
}

double IPluginLV2::PlainFromPort(const IParam& param, float portValue) {
  const double v = portValue;
  if (!std::isfinite(v)) return v;
  const double step = param.Step();
  if (param.Type() != IParam::kTypeDouble) return std::floor(v / step + 0.5) * step;
  if (!(step > 0.0)) return v;
  const double perUnit = std::round(1.0 / step);
  // Only grids of 1/k: then k * value is a whole number at every grid point,
  // and the division below gives the double nearest to that point.
  if (perUnit < 1.0 || perUnit > 1e6 || std::fabs(1.0 / step - perUnit) > 1e-9 * perUnit) return v;
  const double onGrid = std::round(v * perUnit) / perUnit;
  return static_cast<float>(onGrid) == portValue ? onGrid : v;
}

// ---- instance calls ----

void IPluginLV2::ConnectPort(std::uint32_t port, void* data) {
  if (port >= static_cast<std::uint32_t>(PortCount())) return;
  mPorts[port] = data;
}

void IPluginLV2::ActivateInstance() {
  LockGuard guard(Lock());
  TRACE("IPluginLV2::ActivateInstance", "%d", 1);
  // The values on the ports when the host switches the instance on are its
  // starting state, not changes to glide into: taken, then a fresh start,
  // as a VST 2 host's mains off and on after setting parameters gives.
  ApplyControlPorts();
  Reset();
  Activate(true);
  mFreshStart = true;
}

void IPluginLV2::DeactivateInstance() {
  LockGuard guard(Lock());
  TRACE("IPluginLV2::DeactivateInstance", "%d", 0);
  Activate(false);
  Reset();
}

void IPluginLV2::GetTimeSignature(int* numerator, int* denominator) {
  if (numerator) *numerator = 0;
  if (denominator) *denominator = 0;
}

bool IPluginLV2::ApplyControlPorts() {
  bool changed = false;
  for (int i = 0; i < NParams(); ++i) {
    const auto* port = static_cast<const float*>(mPorts[static_cast<std::size_t>(ParamPort(i))]);
    if (!port) continue;  // unconnected: the parameter keeps its value
    const float value = *port;
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const auto k = static_cast<std::size_t>(i);
    // Bits, not values: a NaN left on a port is taken once, not every run.
    if (mPortTaken[k] && mLastPortBits[k] == bits) continue;
    mPortTaken[k] = true;
    mLastPortBits[k] = bits;
    IParam* param = ParamAt(i);
    param->Set(PlainFromPort(*param, value));
    ParamChanged(i);
    changed = true;
  }
  return changed;
}

void IPluginLV2::FollowAudioConnections() {
  // A channel whose port is null counts as unconnected: silence in, output
  // to scratch. Changed only when the state changes (it clears the scratch).
  for (int i = 0; i < NInChannels(); ++i) {
    const bool connected = mPorts[static_cast<std::size_t>(i)] != nullptr;
    if (connected != IsInChannelConnected(i)) ConnectInputs(i, 1, connected);
  }
  for (int i = 0; i < NOutChannels(); ++i) {
    const bool connected = mPorts[static_cast<std::size_t>(NInChannels() + i)] != nullptr;
    if (connected != IsOutChannelConnected(i)) ConnectOutputs(i, 1, connected);
  }
}

void IPluginLV2::RunInstance(std::uint32_t frames) {
  LockGuard guard(Lock());
  ScopedDenormalsOff denormals;
  // Some hosts set the ports only after activation: until the first frame
  // has run nothing is in flight, so those values still start afresh.
  if (ApplyControlPorts() && mFreshStart) Reset();
  if (frames > 0 && BlockSize() > 0) {
    mFreshStart = false;
    FollowAudioConnections();
    const std::uint32_t slice = static_cast<std::uint32_t>(BlockSize());
    for (std::uint32_t offset = 0; offset < frames; offset += slice) {
      const int n = static_cast<int>(std::min(slice, frames - offset));
      // Host arrays of connected channels only, in order, as the core binds them.
      int nIn = 0, nOut = 0;
      for (int i = 0; i < NInChannels(); ++i)
        if (auto* p = static_cast<float*>(mPorts[static_cast<std::size_t>(i)]))
          mSliceIn[static_cast<std::size_t>(nIn++)] = p + offset;
      for (int i = 0; i < NOutChannels(); ++i)
        if (auto* p = static_cast<float*>(mPorts[static_cast<std::size_t>(NInChannels() + i)]))
          mSliceOut[static_cast<std::size_t>(nOut++)] = p + offset;
      BindInputBuffers(0, NInChannels(), mSliceIn.data(), n);
      BindOutputBuffers(0, NOutChannels(), mSliceOut.data());
      RunBlock(n);
    }
  }
  if (auto* latency = static_cast<float*>(mPorts[static_cast<std::size_t>(LatencyPort())]))
    *latency = static_cast<float>(GetLatency());
  const int lampPort = StatusLampPort();
  if (lampPort >= 0)
    if (auto* lamp = static_cast<float*>(mPorts[static_cast<std::size_t>(lampPort)]))
      *lamp = StatusLampLit() ? 1.0f : 0.0f;
}

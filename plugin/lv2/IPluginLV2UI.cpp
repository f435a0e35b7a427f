#include "plugin/lv2/IPluginLV2UI.h"

#include <cmath>
#include <cstring>

#include "plugin/Trace.h"
#include "plugin/lv2/IPluginLV2.h"

IPluginLV2UI::IPluginLV2UI(HostContext host, int nParams, const char* channelIOStr,
                           const char* effectName, const char* makerName, int version,
                           int uniqueID, int makerID, int latency)
    : IPluginBase(nParams, channelIOStr, 0, effectName, "", makerName, version, uniqueID, makerID,
                  latency, false, false, false),
      mHost(host) {
  TRACE("IPluginLV2UI::IPluginLV2UI", "%s", effectName ? effectName : "");
}

IPluginLV2UI::~IPluginLV2UI() = default;

int IPluginLV2UI::StatusLampPort() const {
  return StatusLampName() ? ParamPort(NParams()) + 1 : -1;
}

void IPluginLV2UI::PortEvent(std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                             const void* buffer) {
  if (protocol != 0 || size != sizeof(float) || !buffer) return;
  float value;
  std::memcpy(&value, buffer, sizeof value);
  LockGuard guard(Lock());
  const int first = ParamPort(0);
  if (port >= static_cast<std::uint32_t>(first) &&
      port < static_cast<std::uint32_t>(first + NParams())) {
    const int idx = static_cast<int>(port) - first;
    IParam* param = ParamAt(idx);
    // The same reading of a port's float as the DSP side takes.
    param->Set(IPluginLV2::PlainFromPort(*param, value));
    if (IPluginEditor* editor = GetGUI()) editor->SetParameterFromPlug(idx, param->Value(), false);
    ParamChanged(idx);
    return;
  }
  const int lamp = StatusLampPort();
  if (lamp >= 0 && port == static_cast<std::uint32_t>(lamp) && !std::isnan(value))
    ShowStatusLamp(value >= 0.5f);
}

void IPluginLV2UI::Send(const Gesture& g) const {
  if (g.kind == Gesture::kWrite) {
    if (mHost.write) mHost.write(mHost.controller, g.port, sizeof g.value, 0, &g.value);
  } else if (mHost.touch) {
    mHost.touch(mHost.touchHandle, g.port, g.kind == Gesture::kGrab);
  }
}

void IPluginLV2UI::Emit(const Gesture& g) {
  if (!mHost.deferToIdle) {
    Send(g);
    return;
  }
  LockGuard guard(Lock());
  mPending.push_back(g);
}

void IPluginLV2UI::FlushToHost() {
  {
    LockGuard guard(Lock());
    mSending.swap(mPending);
  }
  // Outside the lock: a host may answer a write with a port event at once.
  for (const Gesture& g : mSending) Send(g);
  mSending.clear();
}

void IPluginLV2UI::BeginParamEdit(int paramIdx) {
  if (ParamAt(paramIdx))
    Emit({static_cast<std::uint32_t>(ParamPort(paramIdx)), Gesture::kGrab, 0.0f});
}

void IPluginLV2UI::EndParamEdit(int paramIdx) {
  if (ParamAt(paramIdx))
    Emit({static_cast<std::uint32_t>(ParamPort(paramIdx)), Gesture::kRelease, 0.0f});
}

void IPluginLV2UI::AutomateParam(int paramIdx, double) {
  const IParam* param = ParamAt(paramIdx);
  if (!param) return;
  // The plain value, as the DSP's control port takes it.
  Emit({static_cast<std::uint32_t>(ParamPort(paramIdx)), Gesture::kWrite,
        static_cast<float>(param->Value())});
}

void IPluginLV2UI::GetTimeSignature(int* numerator, int* denominator) {
  if (numerator) *numerator = 0;
  if (denominator) *denominator = 0;
}

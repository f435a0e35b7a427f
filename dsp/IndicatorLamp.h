// The one way the audio layer reaches the editor: a lamp it can light or put
// out (the bypass button's lamp, which also lights during a delay change).
//
// Thread: called from the audio thread (and from parameter changes), always
// under the plug-in's instance lock. Implementations must only store the
// value and, when it changed, mark their control dirty; no drawing, no
// locking, no allocation. Whether the value changed is the implementation's
// business: callers write the lamp whenever the sound logic says so.
#pragma once

class IndicatorLamp {
 public:
  virtual ~IndicatorLamp() = default;
  virtual void SetLit(bool lit) = 0;
};

#include "effect/DUVParams.h"

#include "plugin/IPluginBase.h"

void DefineDUVParams(IPluginBase* plug) {
  plug->ParamAt(kWet)->SetupDouble("wet", 0.75, 0.0, 1.0, 0.001);
  plug->ParamAt(kCents1)->SetupDouble("cents 1", -10.0, -50.0, 50.0, 0.1, "cents");
  plug->ParamAt(kDelay1)->SetupDouble("delay 1", 7.5, 5.0, 100.0, 0.1, "ms");
  plug->ParamAt(kCents2)->SetupDouble("cents 2", 10.0, -50.0, 50.0, 0.1, "cents");
  plug->ParamAt(kDelay2)->SetupDouble("delay 2", 15.0, 5.0, 100.0, 0.1, "ms");
  plug->ParamAt(kStereoWidth)->SetupInt("stereo width", 100, 50, 100, "%");
  plug->ParamAt(kColor)->SetupDouble("color", 0.25, 0.0, 1.0, 0.001);
  plug->ParamAt(kBypass)->SetupBool("bypass", false);
  plug->ParamAt(kKnobAction)->SetupEnum("knob action", 0, 2);
  plug->ParamAt(kKnobAction)->AddDisplayText(0, "drag");
  plug->ParamAt(kKnobAction)->AddDisplayText(1, "rotate");
  plug->ParamAt(kRockerAction)->SetupEnum("rocker action", 0, 2);
  plug->ParamAt(kRockerAction)->AddDisplayText(0, "fade");
  plug->ParamAt(kRockerAction)->AddDisplayText(1, "jump");
  plug->ParamAt(kDetectorHpf)->SetupInt("detector HPF", 100, 50, 150, "Hz");
}

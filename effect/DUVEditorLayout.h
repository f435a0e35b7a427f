// The editor's layout in one table: images (resource id, file name, frames)
// and the rectangles and parameters of the controls, in attach order.
#pragma once

#include "graphics/IGraphicsTypes.h"

namespace duv_layout {

constexpr int kEditorWidth = 716;
constexpr int kEditorHeight = 227;
constexpr int kEditorFPS = 24;

struct Image {
  int id;
  const char* file;
  int frames;
};

constexpr Image kImgBackground{101, "img/bg.png", 1};
constexpr Image kImgWheelInner{102, "img/wheel-inner.jpg", 181};
constexpr Image kImgWheelOuter{103, "img/wheel-outer.jpg", 181};
constexpr Image kImgInnerRing{104, "img/wheels-inner-ring.png", 181};
constexpr Image kImgLed{106, "img/led.png", 12};
constexpr Image kImgWetRocker{107, "img/wet.jpg", 50};
constexpr Image kImgWidthRocker{108, "img/width.jpg", 50};
constexpr Image kImgColorRocker{109, "img/color.jpg", 50};
constexpr Image kImgBypass{110, "img/bypass.jpg", 2};
constexpr Image kImgOuterMask{111, "img/wheel-out-mask.png", 1};
constexpr Image kImgInnerMask{112, "img/wheel-in-mask.png", 1};
constexpr Image kImgKnobAbsolute{115, "img/knob-absolute.png", 2};
constexpr Image kImgKnobRelative{116, "img/knob-relative.png", 2};
constexpr Image kImgRockerAbsolute{117, "img/rocker-absolute.png", 2};
constexpr Image kImgRockerRelative{118, "img/rocker-relative.png", 2};

// Top-left corners (the size comes from the image) and fixed rectangles.
struct Point {
  int x, y;
};
constexpr IRect kRectManualLink{10, 10, 25, 25};
constexpr Point kPosKnobSelector{412, 10};
constexpr Point kPosRockerSelector{467, 10};
constexpr int kSelectorGap = 10;  // pixels between a selector's two halves
constexpr Point kPosOuterWheel1{26, 62};
constexpr Point kPosOuterWheel2{260, 62};
constexpr Point kPosInnerWheel1{54, 93};
constexpr Point kPosInnerWheel2{288, 93};
constexpr Point kPosWet{613, 0};
constexpr Point kPosWidth{430, 129};
constexpr Point kPosColor{523, 38};
constexpr Point kPosBypass{447, 58};
constexpr Point kPosLedCents1{186, 72};
constexpr Point kPosLedCents2{217, 72};
constexpr Point kPosLedDelay1{186, 100};
constexpr Point kPosLedDelay2{217, 100};
constexpr int kLedWidth = 36;
constexpr IRect kRectVersionLabel{530, 8, 605, 28};

constexpr double kWheelGearing = 4.0;
constexpr const char* kManualFile = "Pelko-DUV.pdf";
constexpr const char* kMakerPage = "https://pelko.audio/duv";

}  // namespace duv_layout

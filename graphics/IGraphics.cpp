#include "graphics/IGraphics.h"

#include <algorithm>

#include "graphics/BitmapCache.h"
#include "graphics/BitmapControl.h"
#include "graphics/IControl.h"
#include "plugin/IPluginBase.h"

IGraphics::IGraphics(IPluginBase* plug, int width, int height, int fps)
    : mPlug(plug), mWidth(width), mHeight(height), mFPS(fps > 0 ? fps : 24) {}

IGraphics::~IGraphics() {
  for (auto it = mControls.rbegin(); it != mControls.rend(); ++it) delete *it;
  mControls.clear();
}

int IGraphics::AttachControl(IControl* control) {
  mControls.push_back(control);
  return NControls() - 1;
}

IControl* IGraphics::GetControl(int index) const {
  return index >= 0 && index < NControls() ? mControls[static_cast<std::size_t>(index)] : nullptr;
}

void IGraphics::SetParameterFromPlug(int paramIdx, double value, bool normalized) {
  if (!normalized) {
    const IParam* param = mPlug ? mPlug->ParamAt(paramIdx) : nullptr;
    if (!param) return;
    value = param->NormalizedOf(value);
  }
  for (IControl* c : mControls)
    if (c->ParamIdx() == paramIdx) c->SetValueFromPlug(value);
}

void IGraphics::SetAllControlsDirty() {
  // A whole redraw (a window opening, a snapshot): images that failed to
  // decode before, when memory ran out, get another chance.
  BitmapCache::Instance().RetryFailedDecodes();
  for (IControl* c : mControls) c->SetDirty(false);
}

bool IGraphics::IsDirty(IRect* out) {
  bool dirty = false;
  for (IControl* c : mControls) {
    if (c->IsDirty()) {
      *out = out->Union(c->GetRect());
      dirty = true;
    }
  }
  return dirty;
}

bool IGraphics::Draw(const IRect* r) {
  if (mControls.empty()) return true;
  PrepareSurface();
  mDrawRect = *r;
  for (IControl* c : mControls) {
    if (!c->IsHidden() && r->Intersects(c->GetRect())) c->Draw(this);
    c->SetClean();
  }
  return DrawScreen(r);
}

void IGraphics::DrawBitmapFrame(const IBitmap* bitmap, const IRect* dest, int frame,
                                const IBlend* blend) {
  int srcY = 0;
  if (bitmap->N >= 2 && frame >= 2)
    srcY = static_cast<int>(static_cast<double>(bitmap->H) * (frame - 1) / bitmap->N + 0.5);
  DrawBitmap(bitmap, dest, 0, srcY, blend);
}

void IGraphics::Resize(int width, int height) {
  mWidth = width;
  mHeight = height;
  mMouseCapture = -1;
  mMouseX = mMouseY = -1;
  for (auto it = mControls.rbegin(); it != mControls.rend(); ++it) delete *it;
  mControls.clear();
  if (mPlug) mPlug->EditorResized(width, height);
}

void IGraphics::AttachBackground(int id, const char* name) {
  IBitmap bitmap = LoadBitmap(id, name, 1);
  auto* background = new BitmapControl(mPlug, 0, 0, -1, bitmap, IBlend::kCopy);
  mControls.insert(mControls.begin(), background);
}

bool IGraphics::DrawVerticalLine(const IColor* color, int x, int y1, int y2) {
  IBlend copy{IBlend::kCopy, 1.0f};
  return DrawLine(color, static_cast<float>(x), static_cast<float>(y1), static_cast<float>(x),
                  static_cast<float>(y2), &copy, false);
}

bool IGraphics::DrawHorizontalLine(const IColor* color, int y, int x1, int x2) {
  IBlend copy{IBlend::kCopy, 1.0f};
  return DrawLine(color, static_cast<float>(x1), static_cast<float>(y), static_cast<float>(x2),
                  static_cast<float>(y), &copy, false);
}

// ---- mouse ----

namespace {
// Positions come from the window system and the host as any int. Beyond any
// screen they are taken at +-2^24 pixels, so that the controls' differences
// and squared distances never overflow.
constexpr int kFarthest = 1 << 24;
void Reach(int* x, int* y) {
  *x = std::clamp(*x, -kFarthest, kFarthest);
  *y = std::clamp(*y, -kFarthest, kFarthest);
}
}  // namespace

int IGraphics::GetMouseControlIndex(int x, int y) {
  if (mMouseCapture >= 0) return mMouseCapture;
  for (int i = NControls() - 1; i >= 0; --i) {
    IControl* c = mControls[static_cast<std::size_t>(i)];
    if (!c->IsHidden() && !c->IsGrayed() && c->IsHit(x, y)) return i;
  }
  return -1;
}

void IGraphics::OnMouseDown(int x, int y, const IMouseMods& mods) {
  Reach(&x, &y);
  mMouseCapture = -1;
  mMouseX = mMouseY = -1;
  int i = GetMouseControlIndex(x, y);
  if (i < 0) return;
  mMouseCapture = i;
  mMouseX = x;
  mMouseY = y;
  IControl* c = mControls[static_cast<std::size_t>(i)];
  c->OnMouseDown(x, y, mods);
  // The control may have been deleted by a resize it caused; look it up again.
  c = GetControl(i);
  if (c && c->ParamIdx() >= 0 && mPlug) mPlug->BeginParamEdit(c->ParamIdx());
}

void IGraphics::OnMouseUp(int x, int y, const IMouseMods& mods) {
  Reach(&x, &y);
  int i = GetMouseControlIndex(x, y);
  mMouseCapture = -1;
  mMouseX = mMouseY = -1;
  IControl* c = GetControl(i);
  if (!c) return;
  c->OnMouseUp(x, y, mods);
  c = GetControl(i);
  if (c && c->ParamIdx() >= 0 && mPlug) mPlug->EndParamEdit(c->ParamIdx());
}

void IGraphics::OnMouseDrag(int x, int y, const IMouseMods& mods) {
  Reach(&x, &y);
  IControl* c = GetControl(mMouseCapture);
  if (!c || (x == mMouseX && y == mMouseY)) return;
  int dX = x - mMouseX, dY = y - mMouseY;
  mMouseX = x;
  mMouseY = y;
  c->OnMouseDrag(x, y, dX, dY, mods);
}

bool IGraphics::OnMouseDblClick(int x, int y, const IMouseMods& mods) {
  Reach(&x, &y);
  mMouseCapture = -1;
  int i = GetMouseControlIndex(x, y);
  IControl* c = GetControl(i);
  if (!c) return false;
  if (!c->DblAsSingleClick()) {
    c->OnMouseDblClick(x, y, mods);
    return false;
  }
  mMouseCapture = i;
  mMouseX = x;
  mMouseY = y;
  c->OnMouseDown(x, y, mods);
  return true;
}

void IGraphics::OnMouseWheel(int x, int y, const IMouseMods& mods, int delta) {
  Reach(&x, &y);
  if (IControl* c = GetControl(GetMouseControlIndex(x, y))) c->OnMouseWheel(x, y, mods, delta);
}

void IGraphics::OnKeyDown(int x, int y, int key) {
  Reach(&x, &y);
  if (IControl* c = GetControl(GetMouseControlIndex(x, y))) c->OnKeyDown(x, y, key);
}

IGraphics* GraphicsOf(const IPluginBase* plug) {
  return plug ? dynamic_cast<IGraphics*>(plug->GetGUI()) : nullptr;
}

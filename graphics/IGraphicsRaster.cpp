#include "graphics/IGraphicsRaster.h"

#include "graphics/BitmapCache.h"
#include "raster/Blit.h"
#include "raster/ImageLoader.h"
#include "raster/Lines.h"
#include "raster/PixelAccess.h"
#include "raster/RasterBitmap.h"
#include "raster/ScaledBlit.h"

namespace {
const IBlend kDefaultBlend{};
const IBlend& Or(const IBlend* blend) { return blend ? *blend : kDefaultBlend; }
}  // namespace

IGraphicsRaster::IGraphicsRaster(IPluginBase* plug, int width, int height, int fps)
    : IGraphics(plug, width, height, fps) {}

IGraphicsRaster::~IGraphicsRaster() {
  delete mDrawBitmap;
  delete mTmpBitmap;
}

void IGraphicsRaster::PrepareDrawing() {
  // Nothing yet: an editor that is never shown (a scan, a render, a session
  // that never opens it) costs no surface. Surface() makes it on first use.
}

duv::SystemBitmap* IGraphicsRaster::Surface() {
  // A surface whose pixels could not be had (memory ran out) stays 0 x 0, so
  // drawing into it does nothing; it is made again on the next use.
  if (mDrawBitmap && !mDrawBitmap->getBits()) {
    delete mDrawBitmap;
    mDrawBitmap = nullptr;
  }
  if (!mDrawBitmap) {
    mDrawBitmap = new duv::SystemBitmap(Width(), Height());
    // A new surface's contents are undefined: start from transparent black.
    duv::clearRect(mDrawBitmap, 0, 0, Width(), Height(), 0, 0);
  }
  if (!mTmpBitmap) mTmpBitmap = new duv::MemoryBitmap(0, 0);
  return mDrawBitmap;
}

bool IGraphicsRaster::DrawBitmap(const IBitmap* bitmap, const IRect* dest, int srcX, int srcY,
                                 const IBlend* blend) {
  IRect clipped = dest->Intersect(mDrawRect);
  if (clipped.Empty() || !bitmap || !bitmap->bitmap) return true;
  const IBlend& b = Or(blend);
  duv::blit(Surface(), bitmap->bitmap, clipped.L, clipped.T, srcX + clipped.L - dest->L,
            srcY + clipped.T - dest->T, clipped.W(), clipped.H(), b.weight, b.Mode());
  return true;
}

bool IGraphicsRaster::DrawRotatedBitmap(const IBitmap* bitmap, int centreX, int centreY,
                                        double angle, int yOffsetAtZero, const IBlend* blend) {
  if (!bitmap || !bitmap->bitmap) return true;
  const IBlend& b = Or(blend);
  duv::rotatedBlit(Surface(), bitmap->bitmap, centreX - bitmap->W / 2, centreY - bitmap->H / 2,
                   bitmap->W, bitmap->H, 0.0f, 0.0f, static_cast<float>(bitmap->W),
                   static_cast<float>(bitmap->H), static_cast<float>(angle), false, b.weight,
                   b.Mode() | duv::kBlitBilinear, 0.0f, static_cast<float>(yOffsetAtZero));
  return true;
}

bool IGraphicsRaster::DrawRotatedMask(const IBitmap* base, const IBitmap* mask, const IBitmap* top,
                                      int x, int y, double angleDegrees, const IBlend* blend) {
  if (!base || !base->bitmap) return true;
  Surface();  // and the scratch bitmap
  duv::copyBitmap(mTmpBitmap, base->bitmap);
  duv::clearRect(mTmpBitmap, 0, 0, base->W, base->H, 0x00FFFFFF, 0);
  const float angle = static_cast<float>(angleDegrees * 0.017453292519943295);
  const float xOffset = (base->W % 2) ? -0.5f : 0.0f;
  const duv::BlitMode kAlphaBilinear = duv::kBlitUseSourceAlpha | duv::kBlitBilinear;
  if (mask && mask->bitmap)
    duv::rotatedBlit(mTmpBitmap, mask->bitmap, 0, 0, mask->W, mask->H, 0.0f, 0.0f,
                     static_cast<float>(mask->W), static_cast<float>(mask->H), angle, true, 1.0f,
                     duv::kCombinerAdd | kAlphaBilinear, xOffset, 0.0f);
  if (top && top->bitmap)
    duv::rotatedBlit(mTmpBitmap, top->bitmap, 0, 0, top->W, top->H, 0.0f, 0.0f,
                     static_cast<float>(top->W), static_cast<float>(top->H), angle, true, 1.0f,
                     duv::kCombinerCopy | kAlphaBilinear, xOffset, 0.0f);
  IRect dest{x, y, x + base->W, y + base->H};
  IRect clipped = dest.Intersect(mDrawRect);
  if (clipped.Empty()) return true;
  const IBlend& b = Or(blend);
  duv::blit(Surface(), mTmpBitmap, clipped.L, clipped.T, clipped.L - x, clipped.T - y,
            clipped.W(), clipped.H(), b.weight, b.Mode());
  return true;
}

bool IGraphicsRaster::DrawPoint(const IColor* color, float x, float y, const IBlend* blend) {
  const IBlend& b = Or(blend);
  duv::putPixel(Surface(), static_cast<int>(x + 0.5f), static_cast<int>(y + 0.5f),
                color->Packed(), b.weight, b.Mode());
  return true;
}

bool IGraphicsRaster::PutPixelDirect(const IColor* color, int x, int y) {
  // Kept inside the surface: a caller's mistake must not write past it.
  duv::SystemBitmap* s = Surface();
  if (!s->getBits() || x < 0 || y < 0 || x >= s->getWidth() || y >= s->getHeight()) return true;
  s->getBits()[y * s->getRowSpan() + x] = color->Packed();
  return true;
}

bool IGraphicsRaster::DrawLine(const IColor* color, float x1, float y1, float x2, float y2,
                               const IBlend* blend, bool antiAlias) {
  const IBlend& b = Or(blend);
  duv::drawLine(Surface(), static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2),
                static_cast<int>(y2), color->Packed(), b.weight, b.Mode(), antiAlias);
  return true;
}

bool IGraphicsRaster::DrawArc(const IColor* color, float cx, float cy, float r, float minAngle,
                              float maxAngle, const IBlend* blend, bool antiAlias) {
  const IBlend& b = Or(blend);
  duv::drawArc(Surface(), cx, cy, r, minAngle, maxAngle, color->Packed(), b.weight, b.Mode(),
               antiAlias);
  return true;
}

bool IGraphicsRaster::DrawCircle(const IColor* color, float cx, float cy, float r,
                                 const IBlend* blend, bool antiAlias) {
  const IBlend& b = Or(blend);
  duv::drawCircle(Surface(), cx, cy, r, color->Packed(), b.weight, b.Mode(), antiAlias);
  return true;
}

bool IGraphicsRaster::FillRect(const IColor* color, const IRect* r, const IBlend* blend) {
  const IBlend& b = Or(blend);
  duv::fillRect(Surface(), r->L, r->T, r->W(), r->H(), color->Packed(), b.weight, b.Mode());
  return true;
}

IColor IGraphicsRaster::GetPoint(int x, int y) {
  std::uint32_t p = duv::getPixel(Surface(), x, y);
  return IColor{static_cast<int>(p >> 24), static_cast<int>((p >> 16) & 0xFF),
                static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF)};
}

std::uint32_t* IGraphicsRaster::GetBits() { return Surface()->getBits(); }

void IGraphicsRaster::PrepareSurface() { Surface(); }

bool IGraphicsRaster::DrawVerticalLine(const IColor* color, int x, int y1, int y2) {
  duv::SystemBitmap* s = Surface();
  if (!s->getBits() || Width() <= 0 || Height() <= 0) return true;
  x = std::clamp(x, 0, Width() - 1);
  y1 = std::clamp(y1, 0, Height() - 1);
  y2 = std::clamp(y2, 0, Height() - 1);
  std::uint32_t* bits = s->getBits();
  const int span = s->getRowSpan();
  for (int y = y1; y <= y2; ++y) bits[y * span + x] = color->Packed();
  return true;
}

bool IGraphicsRaster::DrawHorizontalLine(const IColor* color, int y, int x1, int x2) {
  duv::SystemBitmap* s = Surface();
  if (!s->getBits() || Width() <= 0 || Height() <= 0) return true;
  y = std::clamp(y, 0, Height() - 1);
  x1 = std::clamp(x1, 0, Width() - 1);
  x2 = std::clamp(x2, 0, Width() - 1);
  std::uint32_t* row = s->getBits() + y * s->getRowSpan();
  for (int x = x1; x <= x2; ++x) row[x] = color->Packed();
  return true;
}

duv::RasterBitmap* IGraphicsRaster::LoadPlatformBitmap(int id, const char* name) {
  return duv::loadImageResource(id, name);
}

IBitmap IGraphicsRaster::LoadBitmap(int id, const char* name, int frames) {
  // The cache enters the image undecoded, sized from its header; the decode
  // waits for the first draw that needs it, whichever editor that is.
  int w = 0, h = 0;
  duv::RasterBitmap* bitmap = BitmapCache::Instance().FindOrAddImage(id, name, &w, &h);
  if (!bitmap) return IBitmap{nullptr, 0, 0, frames > 0 ? frames : 1};
  return IBitmap{bitmap, w, h, frames > 0 ? frames : 1};
}

IBitmap IGraphicsRaster::ScaleBitmap(const IBitmap* bitmap, int width, int height) {
  auto* scaled = new duv::MemoryBitmap(width, height);
  if (bitmap && bitmap->bitmap)
    duv::scaledBlit(scaled, bitmap->bitmap, 0, 0, width, height, 0.0f, 0.0f,
                    static_cast<float>(bitmap->W), static_cast<float>(bitmap->H), 1.0f,
                    duv::kBlitBilinear);
  IBitmap result{scaled, scaled->getWidth(), scaled->getHeight(), bitmap ? bitmap->N : 1};
  RetainBitmap(&result);
  return result;
}

IBitmap IGraphicsRaster::CropBitmap(const IBitmap* bitmap, const IRect* r) {
  auto* cropped = new duv::MemoryBitmap(r->W(), r->H());
  if (bitmap && bitmap->bitmap)
    duv::blit(cropped, bitmap->bitmap, 0, 0, r->L, r->T, r->W(), r->H(), 1.0f, duv::kCombinerCopy);
  IBitmap result{cropped, cropped->getWidth(), cropped->getHeight(), bitmap ? bitmap->N : 1};
  RetainBitmap(&result);
  return result;
}

void IGraphicsRaster::RetainBitmap(const IBitmap* bitmap) {
  if (bitmap && bitmap->bitmap) BitmapCache::Instance().Add(BitmapCache::kRetainedKey, bitmap->bitmap);
}

void IGraphicsRaster::ReleaseBitmap(const IBitmap* bitmap) {
  if (bitmap && bitmap->bitmap) BitmapCache::Instance().Remove(bitmap->bitmap);
}

// The graphics object's drawing operations on the raster library: an
// offscreen surface of the editor's size into which controls draw (clipped to
// the redraw in progress), and image loading through the process-wide cache.
// Still abstract: the window, screen and dialogs belong to the platform layer.
//
// Nothing is paid for drawing before something is drawn: attaching the editor
// makes no surface, and loading an image only reads its size (the cache
// decodes it when a draw first reads it). The surface (and the scratch
// bitmap) appear on the first draw, window paint or Surface() call.
#pragma once

#include "graphics/IGraphics.h"

namespace duv {
class MemoryBitmap;
class SystemBitmap;
}

class IGraphicsRaster : public IGraphics {
 public:
  IGraphicsRaster(IPluginBase* plug, int width, int height, int fps);
  ~IGraphicsRaster() override;

  // Called at attach; makes nothing: the surface waits for its first use.
  void PrepareDrawing() override;
  void PrepareSurface() override;  // makes the surface before a redraw
  bool DrawBitmap(const IBitmap* bitmap, const IRect* dest, int srcX, int srcY,
                  const IBlend* blend) override;
  bool DrawRotatedBitmap(const IBitmap* bitmap, int centreX, int centreY, double angle,
                         int yOffsetAtZero, const IBlend* blend) override;
  bool DrawRotatedMask(const IBitmap* base, const IBitmap* mask, const IBitmap* top, int x, int y,
                       double angleDegrees, const IBlend* blend) override;
  bool DrawPoint(const IColor* color, float x, float y, const IBlend* blend) override;
  bool PutPixelDirect(const IColor* color, int x, int y) override;
  bool DrawLine(const IColor* color, float x1, float y1, float x2, float y2, const IBlend* blend,
                bool antiAlias) override;
  bool DrawArc(const IColor* color, float cx, float cy, float r, float minAngle, float maxAngle,
               const IBlend* blend, bool antiAlias) override;
  bool DrawCircle(const IColor* color, float cx, float cy, float r, const IBlend* blend,
                  bool antiAlias) override;
  bool FillRect(const IColor* color, const IRect* r, const IBlend* blend) override;
  IColor GetPoint(int x, int y) override;
  std::uint32_t* GetBits() override;
  // Loads through the cache: the same id answers the same shared bitmap in
  // every editor of the process, with W and H from the image's header and no
  // decoding yet. A missing image answers a null bitmap of size 0 x 0; one
  // whose data cannot be decoded (a build fault) a bitmap without pixels.
  // Both draw nothing.
  IBitmap LoadBitmap(int id, const char* name, int frames = 1) override;
  IBitmap ScaleBitmap(const IBitmap* bitmap, int width, int height) override;
  IBitmap CropBitmap(const IBitmap* bitmap, const IRect* r) override;
  bool DrawVerticalLine(const IColor* color, int x, int y1, int y2) override;
  bool DrawHorizontalLine(const IColor* color, int y, int x1, int x2) override;
  void RetainBitmap(const IBitmap* bitmap) override;
  void ReleaseBitmap(const IBitmap* bitmap) override;
  // Decodes an image of the module now; the caller owns the result (null on
  // failure). LoadBitmap does not use it: the cache decodes on first need, by
  // which time the editor that asked first may be gone.
  virtual duv::RasterBitmap* LoadPlatformBitmap(int id, const char* name);

  // The offscreen surface (width x height, transparent black when new),
  // made on the first call. Never null; 0 x 0 without pixels when it could
  // not be allocated. Editor thread.
  duv::SystemBitmap* Surface();
  bool HasSurface() const { return mDrawBitmap != nullptr; }  // without making it

 protected:
  duv::SystemBitmap* mDrawBitmap = nullptr;
  duv::MemoryBitmap* mTmpBitmap = nullptr;
};

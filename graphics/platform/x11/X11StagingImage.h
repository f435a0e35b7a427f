// The editor window's staging image: an XImage of the offscreen surface's
// size between the thread that draws and the window's thread. Stage copies a
// drawn area into it (whichever thread draws, under the instance lock);
// Present sends what was staged to the window (the window's thread). Its own
// mutex orders the two, so neither waits on the server while the other holds
// it for longer than one copy. Shared memory when the server offers it (a
// local server), else plain memory. Create and Destroy: the window's owner,
// with the connection open.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <mutex>

#include "graphics/IGraphicsTypes.h"

namespace duv_x11 {

class StagingImage {
 public:
  StagingImage() = default;
  StagingImage(const StagingImage&) = delete;
  StagingImage& operator=(const StagingImage&) = delete;

  // Makes a width x height image (pixels) of the window's visual and depth:
  // shared memory first, plain memory when that fails. False, with nothing
  // left to free, when neither can be made.
  bool Create(Display* dpy, Visual* visual, int depth, int width, int height);
  // Frees what Create made (detaching shared memory from the server first).
  // dpy null: the connection is lost; only the client side is freed.
  void Destroy(Display* dpy);

  // Copies r of the surface (bits: surfaceW x surfaceH pixel words, rowSpan
  // words per row) into the image, clipped to both, and adds it to the area
  // waiting for Present. False when nothing of r lies inside both.
  bool Stage(const std::uint32_t* bits, int rowSpan, int surfaceW, int surfaceH, const IRect& r);
  // Sends the waiting area to w at the same place and clears it. With shared
  // memory it waits until the server has read the segment, which the next
  // Stage may overwrite.
  void Present(Display* dpy, Window w, GC gc);
  // Grows a plain-memory image to at least width x height, keeping its
  // pixels. A shared-memory image, or one that is not 32 bits per pixel,
  // keeps its size: what lies beyond it is not shown.
  void Grow(int width, int height);

 private:
  std::mutex mMutex;
  XImage* mImage = nullptr;
  bool mShm = false;
  XShmSegmentInfo mShmInfo{};
  bool mDirect = false;  // rows are copied as they are (see DirectFormat)
  IRect mPending;        // staged, not yet presented
};

}  // namespace duv_x11

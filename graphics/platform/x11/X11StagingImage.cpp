#include "graphics/platform/x11/X11StagingImage.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "graphics/platform/x11/X11Errors.h"
#include "graphics/platform/x11/X11Image.h"

namespace duv_x11 {

bool StagingImage::Create(Display* dpy, Visual* visual, int depth, int width, int height) {
  if (XShmQueryExtension(dpy)) {
    mImage = XShmCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &mShmInfo,
                             static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (mImage) {
      mShmInfo.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(mImage->bytes_per_line) * height,
                              IPC_CREAT | 0600);
      void* mem = mShmInfo.shmid >= 0 ? shmat(mShmInfo.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
      if (mem != reinterpret_cast<void*>(-1)) {
        mShmInfo.shmaddr = mImage->data = static_cast<char*>(mem);
        mShmInfo.readOnly = False;
        XShmAttach(dpy, &mShmInfo);
        // A remote server cannot attach the segment: that shows as an error.
        mShm = SyncError(dpy) == 0;
        if (!mShm) shmdt(mem);
      }
      // Marked for removal at once: it goes when both sides have detached,
      // even if the process dies.
      if (mShmInfo.shmid >= 0) shmctl(mShmInfo.shmid, IPC_RMID, nullptr);
      if (!mShm) {
        mImage->data = nullptr;
        XDestroyImage(mImage);
        mImage = nullptr;
      }
    }
  }
  if (!mImage) {
    mImage = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                          static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (mImage)
      mImage->data = static_cast<char*>(
          std::calloc(static_cast<std::size_t>(mImage->bytes_per_line), static_cast<std::size_t>(height)));
  }
  if (mImage && !mImage->data) {
    XDestroyImage(mImage);
    mImage = nullptr;
  }
  mDirect = mImage && DirectFormat(mImage);
  return mImage != nullptr;
}

void StagingImage::Destroy(Display* dpy) {
  if (mShm) {
    if (dpy) {
      XShmDetach(dpy, &mShmInfo);
      XSync(dpy, False);
    }
    shmdt(mShmInfo.shmaddr);
    mImage->data = nullptr;  // not ours to free: XDestroyImage would free() it
    mShm = false;
  }
  if (mImage) XDestroyImage(mImage);
  mImage = nullptr;
}

bool StagingImage::Stage(const std::uint32_t* bits, int rowSpan, int surfaceW, int surfaceH,
                         const IRect& r) {
  std::lock_guard<std::mutex> g(mMutex);
  if (!mImage) return false;
  IRect c = r.Intersect(IRect{0, 0, std::min(surfaceW, mImage->width), std::min(surfaceH, mImage->height)});
  if (c.Empty()) return false;
  for (int y = c.T; y < c.B; ++y) {
    const std::uint32_t* src = bits + static_cast<std::size_t>(y) * rowSpan;
    if (mDirect) {
      std::memcpy(mImage->data + static_cast<std::size_t>(y) * mImage->bytes_per_line + c.L * 4,
                  src + c.L, static_cast<std::size_t>(c.W()) * 4);
    } else {
      for (int x = c.L; x < c.R; ++x) XPutPixel(mImage, x, y, ServerPixel(mImage, src[x]));
    }
  }
  mPending = mPending.Union(c);
  return true;
}

void StagingImage::Present(Display* dpy, Window w, GC gc) {
  std::lock_guard<std::mutex> g(mMutex);
  IRect r = mPending;
  if (r.Empty()) return;
  mPending = {};
  if (mShm) {
    XShmPutImage(dpy, w, gc, mImage, r.L, r.T, r.L, r.T, static_cast<unsigned>(r.W()),
                 static_cast<unsigned>(r.H()), False);
    XSync(dpy, False);  // the segment is written again only after the server has read it
  } else {
    XPutImage(dpy, w, gc, mImage, r.L, r.T, r.L, r.T, static_cast<unsigned>(r.W()),
              static_cast<unsigned>(r.H()));
  }
}

void StagingImage::Grow(int width, int height) {
  std::lock_guard<std::mutex> g(mMutex);
  if (mShm || !mImage || (width <= mImage->width && height <= mImage->height)) return;
  XImage* img = mImage;
  int nw = std::max(width, img->width), nh = std::max(height, img->height);
  char* data = static_cast<char*>(std::calloc(static_cast<std::size_t>(nw) * 4, static_cast<std::size_t>(nh)));
  if (data && img->bits_per_pixel == 32) {
    for (int y = 0; y < img->height; ++y)
      std::memcpy(data + static_cast<std::size_t>(y) * nw * 4,
                  img->data + static_cast<std::size_t>(y) * img->bytes_per_line,
                  static_cast<std::size_t>(img->width) * 4);
    std::free(img->data);
    img->data = data;
    img->width = nw;
    img->height = nh;
    img->bytes_per_line = nw * 4;
  } else {
    std::free(data);
  }
}

}  // namespace duv_x11

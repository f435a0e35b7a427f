// The process-wide store of images, shared by every editor in the process so
// that each image is decoded once, and only when it is first needed: an
// image of the module enters the cache undecoded, with its size read from
// its header, and is decoded the first time anything reads its pixels or
// its size from the bitmap (a draw, a window, a snapshot). Work done in place
// on a shared image (masking, compositing) is attached to it as preparations
// that run once, right after the decode, before anyone sees the pixels.
//
// The cache owns its bitmaps and deletes them when the module is unloaded.
// Every call takes the cache's lock; decodes and preparations run under it
// too, so two editors drawing the same image at once from two threads decode
// it once, and the second waits for the first. The first image needed brings
// along every other image still undecoded (an editor's first draw needs them
// all), decoded on this thread and helper threads (one per further core, up to
// three) while the lock is held.
// Afterwards reading a decoded image takes no lock.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>
#ifdef _WIN32
#include "plugin/RecursiveLock.h"
#else
#include <mutex>
#endif

#include "raster/RasterBitmap.h"

class BitmapCache {
 public:
  static constexpr int kRetainedKey = -1;  // bitmaps handed in by RetainBitmap

  // Turns one decoded image into its final form, in place (under the cache's
  // lock: it must not call back into the cache).
  using Preparation = std::function<void(duv::RasterBitmap* decoded)>;

  static BitmapCache& Instance();
  ~BitmapCache();

  // The bitmap stored under id (decoded or not), or null. Never answers retained bitmaps.
  duv::RasterBitmap* Find(int id);
  // Stores bitmap under key; the cache owns it from now on.
  void Add(int key, duv::RasterBitmap* bitmap);
  // The module's image (id, name), entered undecoded on the first ask; later
  // asks answer the same bitmap. *width and *height receive the image's size
  // from its header (or, when the image is already decoded, from the bitmap).
  // Null, with the sizes unchanged, when the module has no such image or its
  // header cannot be read. An image whose header reads but whose data does
  // not decode stays in the cache as a bitmap without pixels (0 x 0, null
  // bits), which draws nothing.
  duv::RasterBitmap* FindOrAddImage(int id, const char* name, int* width, int* height);
  // Attaches a preparation to an image entered by FindOrAddImage: it runs once
  // per process for each job number, right after the decode, in the order
  // attached; attaching a job the image already has does nothing. On an image
  // already decoded it runs at once, so attach before the image is first drawn.
  // Nothing happens for other bitmaps.
  void AddPreparation(duv::RasterBitmap* bitmap, int job, Preparation prepare);
  // Removes the first entry holding bitmap and deletes it; nothing when none does.
  void Remove(duv::RasterBitmap* bitmap);
  // True the first time it is asked for a given bitmap and job: work done in
  // place on a shared image (masking, compositing) runs once per process.
  bool FirstPreparation(duv::RasterBitmap* bitmap, int job);
  int Count();
  // Decodes (and prepares) every image still undecoded, as the first draw
  // of an editor would; nothing when all are decoded. A window's own thread
  // calls it before its first draw, holding no lock but the cache's, so the
  // first showing's decoding never waits under the instance lock.
  void DecodeAll();
  // Lets the images whose decode failed (memory ran out, or bad data) be
  // tried again on their next use. The editor calls it when it is shown
  // afresh, not at every draw, so bad data costs one decode per showing.
  void RetryFailedDecodes();
  // How many images this process has decoded through the cache (for tests
  // and benchmarks: each image once, and none before the first is needed).
  int Decodes() const { return mDecodes.load(); }

 private:
  class LazyImage;
  struct Entry {
    int key;
    duv::RasterBitmap* bitmap;
  };
  struct Prepared {
    duv::RasterBitmap* bitmap;
    int job;
  };
#ifdef _WIN32
  // No std::mutex in mingw's win32 thread model: a critical section.
  using Mutex = RecursiveLock;
  using Guard = LockGuard;
#else
  using Mutex = std::mutex;
  using Guard = std::lock_guard<std::mutex>;
#endif
  LazyImage* LazyOf(duv::RasterBitmap* bitmap);  // under the lock
  void Decode(LazyImage* image);                 // takes the lock
  // Decodes and prepares one image; touches only that image, so two threads
  // may run it on two images at once (under the lock, held by the caller).
  static void DecodeOne(LazyImage* image);

  Mutex mMutex;
  std::vector<Entry> mEntries;
  std::vector<Prepared> mPrepared;
  std::atomic<int> mDecodes{0};
};

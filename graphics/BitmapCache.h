// The process-wide store of decoded images, shared by every editor in the
// process so that each image is decoded once. It owns its bitmaps and deletes
// them when the module is unloaded. Every call takes its own lock.
#pragma once

#include <vector>
#ifdef _WIN32
#include "plugin/RecursiveLock.h"
#else
#include <mutex>
#endif

namespace duv {
class RasterBitmap;
}

class BitmapCache {
 public:
  static constexpr int kRetainedKey = -1;  // bitmaps handed in by RetainBitmap

  static BitmapCache& Instance();
  ~BitmapCache();

  // The bitmap stored under id, or null. Never answers retained bitmaps.
  duv::RasterBitmap* Find(int id);
  // Stores bitmap under key; the cache owns it from now on.
  void Add(int key, duv::RasterBitmap* bitmap);
  // Removes the first entry holding bitmap and deletes it; nothing when none does.
  void Remove(duv::RasterBitmap* bitmap);
  // True the first time it is asked for a given bitmap and job: work done in
  // place on a shared image (masking, compositing) runs once per process.
  bool FirstPreparation(duv::RasterBitmap* bitmap, int job);
  int Count();

 private:
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
  Mutex mMutex;
  std::vector<Entry> mEntries;
  std::vector<Prepared> mPrepared;
};

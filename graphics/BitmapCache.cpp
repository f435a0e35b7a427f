#include "graphics/BitmapCache.h"

#include "raster/RasterBitmap.h"

BitmapCache& BitmapCache::Instance() {
  static BitmapCache cache;  // destroyed at module unload, with every image
  return cache;
}

BitmapCache::~BitmapCache() {
  for (Entry& e : mEntries) delete e.bitmap;
}

duv::RasterBitmap* BitmapCache::Find(int id) {
  Guard guard(mMutex);
  if (id == kRetainedKey) return nullptr;
  for (const Entry& e : mEntries)
    if (e.key == id) return e.bitmap;
  return nullptr;
}

void BitmapCache::Add(int key, duv::RasterBitmap* bitmap) {
  if (!bitmap) return;
  Guard guard(mMutex);
  mEntries.push_back({key, bitmap});
}

void BitmapCache::Remove(duv::RasterBitmap* bitmap) {
  Guard guard(mMutex);
  for (auto it = mEntries.begin(); it != mEntries.end(); ++it) {
    if (it->bitmap == bitmap) {
      delete it->bitmap;
      mEntries.erase(it);
      // A later image may reuse the address: forget what was done to this one.
      std::erase_if(mPrepared, [bitmap](const Prepared& p) { return p.bitmap == bitmap; });
      return;
    }
  }
}

bool BitmapCache::FirstPreparation(duv::RasterBitmap* bitmap, int job) {
  Guard guard(mMutex);
  for (const Prepared& p : mPrepared)
    if (p.bitmap == bitmap && p.job == job) return false;
  mPrepared.push_back({bitmap, job});
  return true;
}

int BitmapCache::Count() {
  Guard guard(mMutex);
  return static_cast<int>(mEntries.size());
}

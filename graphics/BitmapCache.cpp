#include "graphics/BitmapCache.h"

#include <algorithm>
#include <utility>
#ifndef _WIN32
#include <thread>
#endif

#include "raster/ImageHeader.h"
#include "raster/ImageLoader.h"

// An image of the module that is decoded when its pixels or its size are
// first read. Until then it holds only its name and header size; afterwards
// it forwards to the decoded bitmap (null when the data did not decode).
class BitmapCache::LazyImage final : public duv::RasterBitmap {
 public:
  LazyImage(BitmapCache* cache, int id, const char* name, int width, int height)
      : mCache(cache), mId(id), mName(name), mHeaderWidth(width), mHeaderHeight(height) {}
  ~LazyImage() override { delete mDecoded.load(); }

  std::uint32_t* getBits() override {
    duv::RasterBitmap* b = Decoded();
    return b ? b->getBits() : nullptr;
  }
  int getWidth() override {
    duv::RasterBitmap* b = Decoded();
    return b ? b->getWidth() : 0;
  }
  int getHeight() override {
    duv::RasterBitmap* b = Decoded();
    return b ? b->getHeight() : 0;
  }
  int getRowSpan() override {
    duv::RasterBitmap* b = Decoded();
    return b ? b->getRowSpan() : 0;
  }
  bool isFlipped() override {
    duv::RasterBitmap* b = Decoded();
    return b && b->isFlipped();
  }
  // A shared image keeps its size: every editor's layout depends on it.
  bool resize(int, int) override { return false; }

  // The decoded bitmap, decoding (and preparing) it on the first call.
  duv::RasterBitmap* Decoded() {
    if (!mReady.load(std::memory_order_acquire)) mCache->Decode(this);
    return mDecoded.load(std::memory_order_acquire);
  }

  // Written only under the cache's lock, and read without it only once
  // mReady is set (which publishes them).
  BitmapCache* mCache;
  int mId;
  std::string mName;
  int mHeaderWidth, mHeaderHeight;
  std::vector<std::pair<int, Preparation>> mPending;
  std::vector<int> mJobs;  // every job ever attached
  // Published only once prepared; an atomic because a failed decode may be
  // tried again while another editor's thread reads the null it left.
  std::atomic<duv::RasterBitmap*> mDecoded{nullptr};
  std::atomic<bool> mReady{false};
};

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

duv::RasterBitmap* BitmapCache::FindOrAddImage(int id, const char* name, int* width, int* height) {
  if (id == kRetainedKey || !width || !height) return nullptr;
  Guard guard(mMutex);
  for (const Entry& e : mEntries) {
    if (e.key != id) continue;
    if (auto* lazy = dynamic_cast<LazyImage*>(e.bitmap)) {
      // Its header size, also after the decode: asking the bitmap would
      // decode it, and under this lock.
      *width = lazy->mHeaderWidth;
      *height = lazy->mHeaderHeight;
    } else {
      *width = e.bitmap->getWidth();
      *height = e.bitmap->getHeight();
    }
    return e.bitmap;
  }
  int w = 0, h = 0;
  if (!duv::imageResourceSize(id, name, &w, &h)) return nullptr;
  auto* image = new LazyImage(this, id, name, w, h);
  mEntries.push_back({id, image});
  *width = w;
  *height = h;
  return image;
}

BitmapCache::LazyImage* BitmapCache::LazyOf(duv::RasterBitmap* bitmap) {
  if (!bitmap) return nullptr;
  for (const Entry& e : mEntries)
    if (e.bitmap == bitmap) return dynamic_cast<LazyImage*>(bitmap);
  return nullptr;  // not ours (or already released): never touched
}

void BitmapCache::AddPreparation(duv::RasterBitmap* bitmap, int job, Preparation prepare) {
  if (!prepare) return;
  Guard guard(mMutex);
  LazyImage* image = LazyOf(bitmap);
  if (!image) return;
  for (int done : image->mJobs)
    if (done == job) return;
  image->mJobs.push_back(job);
  if (!image->mReady.load(std::memory_order_relaxed)) {
    image->mPending.emplace_back(job, std::move(prepare));
  } else if (duv::RasterBitmap* decoded = image->mDecoded.load()) {
    prepare(decoded);
  }
}

void BitmapCache::DecodeOne(LazyImage* image) {
  // Nothing may leave here: this runs on a helper thread too, and a host's
  // call must never end in an exception. Memory running out leaves the image
  // undecoded, with its preparations kept for the next try.
  duv::RasterBitmap* decoded = nullptr;
  try {
    decoded = duv::loadImageResource(image->mId, image->mName.c_str());
    if (decoded)
      for (auto& [job, prepare] : image->mPending) prepare(decoded);
  } catch (...) {
    delete decoded;
    return;
  }
  if (!decoded) return;
  image->mPending.clear();
  image->mDecoded.store(decoded, std::memory_order_release);
}

void BitmapCache::RetryFailedDecodes() {
  Guard guard(mMutex);
  for (const Entry& e : mEntries) {
    auto* image = dynamic_cast<LazyImage*>(e.bitmap);
    if (image && image->mReady.load(std::memory_order_relaxed) && !image->mDecoded.load())
      image->mReady.store(false, std::memory_order_relaxed);
  }
}

void BitmapCache::Decode(LazyImage* image) {
  Guard guard(mMutex);
  if (image->mReady.load(std::memory_order_relaxed)) return;  // another thread was first
  // The first draw of an editor needs every image it entered, so the first
  // image needed brings the others still undecoded along: largest first,
  // shared between this thread and its helpers (the strips alone take most
  // of the time). Nothing is published before all are done.
  std::vector<LazyImage*> batch{image};
  for (const Entry& e : mEntries) {
    auto* other = dynamic_cast<LazyImage*>(e.bitmap);
    if (other && other != image && !other->mReady.load(std::memory_order_relaxed)) batch.push_back(other);
  }
  std::sort(batch.begin(), batch.end(), [](LazyImage* a, LazyImage* b) {
    return static_cast<long long>(a->mHeaderWidth) * a->mHeaderHeight >
           static_cast<long long>(b->mHeaderWidth) * b->mHeaderHeight;
  });
  std::atomic<std::size_t> next{0};
  auto work = [this, &batch, &next] {
    for (std::size_t i = next++; i < batch.size(); i = next++) DecodeOne(batch[i]);
  };
#ifndef _WIN32
  // One helper per further core, up to three: past that the outer strip,
  // one image on one thread, is the whole wait.
  constexpr std::size_t kMostHelpers = 3;
  const unsigned cores = std::thread::hardware_concurrency();
  const std::size_t further = cores > 1 ? std::size_t(cores - 1) : 0;
  const std::size_t helpers = std::min({further, batch.size() - 1, kMostHelpers});
  std::thread helper[kMostHelpers];
  for (std::size_t i = 0; i < helpers; ++i) {
    try {
      helper[i] = std::thread(work);
    } catch (...) {
      break;  // no further thread to be had: those running decode the rest
    }
  }
  work();
  for (std::thread& h : helper)
    if (h.joinable()) h.join();
#else
  // mingw's win32 thread model has no std::thread: one thread decodes.
  work();
#endif
  mDecodes += static_cast<int>(batch.size());
  for (LazyImage* done : batch) done->mReady.store(true, std::memory_order_release);
}

void BitmapCache::DecodeAll() {
  LazyImage* first = nullptr;
  {
    Guard guard(mMutex);
    for (const Entry& e : mEntries) {
      auto* image = dynamic_cast<LazyImage*>(e.bitmap);
      if (image && !image->mReady.load(std::memory_order_relaxed)) {
        first = image;
        break;
      }
    }
  }
  // Decode brings the others along, and does nothing if another thread was first.
  if (first) Decode(first);
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

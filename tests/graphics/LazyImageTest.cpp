// Images that cost nothing until they are drawn: sizes from the headers,
// one decode on first need, preparations once, and safe answers for images
// that are missing or do not decode.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graphics/BitmapCache.h"
#include "raster/ImageHeader.h"
#include "raster/ImageLoader.h"
#include "tests/graphics/GraphicsTestSupport.h"

namespace {

using Bytes = std::vector<unsigned char>;

const duv::EmbeddedResource& Embedded(int id) {
  std::size_t n = 0;
  const duv::EmbeddedResource* table = duv::embeddedResourceTable(&n);
  for (std::size_t i = 0; i < n; ++i)
    if (table[i].id == id) return table[i];
  ADD_FAILURE() << "no embedded image " << id;
  static const duv::EmbeddedResource kNone{"PNG", 0, "", nullptr, 0};
  return kNone;
}

Bytes BytesOf(const duv::EmbeddedResource& r) { return Bytes(r.data, r.data + r.size); }

TEST(ImageHeader, EveryEmbeddedImageHasItsDecodedSize) {
  std::size_t n = 0;
  const duv::EmbeddedResource* table = duv::embeddedResourceTable(&n);
  ASSERT_GE(n, 15u);
  for (std::size_t i = 0; i < n; ++i) {
    int w = -1, h = -1;
    ASSERT_TRUE(duv::imageResourceSize(table[i].id, table[i].name, &w, &h)) << table[i].name;
    std::unique_ptr<duv::RasterBitmap> decoded(duv::loadImageResource(table[i].id, table[i].name));
    ASSERT_NE(decoded, nullptr) << table[i].name;
    EXPECT_EQ(w, decoded->getWidth()) << table[i].name;
    EXPECT_EQ(h, decoded->getHeight()) << table[i].name;
    // The build's own header read, which spares touching the bytes.
    EXPECT_EQ(table[i].width, w) << table[i].name;
    EXPECT_EQ(table[i].height, h) << table[i].name;
    int hw = -1, hh = -1;
    const bool png = std::string(table[i].type) == "PNG";
    ASSERT_TRUE(png ? duv::readPngSize(table[i].data, table[i].size, &hw, &hh)
                    : duv::readJpegSize(table[i].data, table[i].size, &hw, &hh));
    EXPECT_EQ(hw, w) << table[i].name;
    EXPECT_EQ(hh, h) << table[i].name;
  }
  int w = -1, h = -1;
  EXPECT_TRUE(duv::imageResourceSize(103, "img/wheel-outer.JPEG", &w, &h));
  EXPECT_EQ(w, 145);
  EXPECT_EQ(h, 26245);
}

TEST(ImageHeader, MalformedHeadersAnswerFalseAndLeaveTheSize) {
  const Bytes png = BytesOf(Embedded(116));  // 17 x 36
  const Bytes jpg = BytesOf(Embedded(110));  // 61 x 110
  auto patched = [](Bytes b, std::size_t at, std::initializer_list<unsigned char> v) {
    std::copy(v.begin(), v.end(), b.begin() + static_cast<long>(at));
    return b;
  };
  const Bytes jpegHead{0xFF, 0xD8};
  auto jpeg = [&](Bytes tail) {
    Bytes b = jpegHead;
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  };
  struct Case {
    const char* what;
    bool isPng;
    Bytes data;
    int w, h;  // expected; -1 for failure
  } cases[] = {
      {"png", true, png, 17, 36},
      {"png cut in IHDR", true, Bytes(png.begin(), png.begin() + 23), -1, -1},
      {"png bad signature", true, patched(png, 1, {'p'}), -1, -1},
      {"png first chunk not IHDR", true, patched(png, 12, {'I', 'D', 'A', 'T'}), -1, -1},
      {"png zero width", true, patched(png, 16, {0, 0, 0, 0}), -1, -1},
      {"png beyond 2^31", true, patched(png, 16, {0x80, 0, 0, 0}), -1, -1},
      {"png 65536 wide", true, patched(png, 16, {0, 1, 0, 0}), 65536, 36},
      {"png 2^16 squared", true, patched(patched(png, 16, {0, 1, 0, 0}), 20, {0, 1, 0, 0}), -1, -1},
      {"jpg", false, jpg, 61, 110},
      {"jpg no SOI", false, Bytes(jpg.begin() + 2, jpg.end()), -1, -1},
      {"jpg cut", false, Bytes(jpg.begin(), jpg.begin() + 20), -1, -1},
      // APP0 of length 4, fill bytes, DHT (not a frame), then SOF2 (progressive) 300 x 2 (w x h).
      {"jpg progressive after DHT", false,
       jpeg({0xFF, 0xE0, 0, 4, 0, 0, 0xFF, 0xFF, 0xFF, 0xC4, 0, 2, 0xFF, 0xC2, 0, 11, 8, 0, 2, 1, 0x2C, 1, 1, 0x11, 0}),
       300, 2},
      {"jpg scan before frame", false, jpeg({0xFF, 0xDA, 0, 2}), -1, -1},
      {"jpg end before frame", false, jpeg({0xFF, 0xD9}), -1, -1},
      {"jpg height from DNL", false, jpeg({0xFF, 0xC0, 0, 11, 8, 0, 0, 0, 5, 1, 1, 0x11, 0}), -1, -1},
      {"jpg garbage between segments", false, jpeg({0x12, 0xFF, 0xC0, 0, 11, 8, 0, 2, 0, 5}), -1, -1},
      {"jpg segment length below 2", false, jpeg({0xFF, 0xE0, 0, 1, 0xFF, 0xC0}), -1, -1},
  };
  for (const Case& c : cases) {
    int w = -1, h = -1;
    const bool ok = c.isPng ? duv::readPngSize(c.data.data(), c.data.size(), &w, &h)
                            : duv::readJpegSize(c.data.data(), c.data.size(), &w, &h);
    EXPECT_EQ(ok, c.w >= 0) << c.what;
    EXPECT_EQ(w, c.w) << c.what;
    EXPECT_EQ(h, c.h) << c.what;
  }
  int w = -1, h = -1;
  EXPECT_FALSE(duv::readPngSize(nullptr, 0, &w, &h));
  EXPECT_FALSE(duv::readJpegSize(nullptr, 0, &w, &h));
  EXPECT_FALSE(duv::imageResourceSize(110, "img/bypass.png", &w, &h));  // no PNG of that id
  EXPECT_FALSE(duv::imageResourceSize(110, "img/bypass.gif", &w, &h));
  EXPECT_FALSE(duv::imageResourceSize(110, nullptr, &w, &h));
  EXPECT_EQ(w, -1);
  EXPECT_EQ(h, -1);
}

// A resource module of test images under ids of their own, set while alive.
class TestModule {
 public:
  TestModule() {
    mPng = BytesOf(Embedded(116));  // knob, 17 x 36
    // A PNG whose header reads but whose data does not: signature, IHDR, IEND.
    mBroken = Bytes(mPng.begin(), mPng.begin() + 33);
    const unsigned char iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    mBroken.insert(mBroken.end(), iend, iend + sizeof iend);
    mEntries = {{"PNG", kGood, "t/good.png", mPng.data(), mPng.size()},
                {"PNG", kBroken, "t/broken.png", mBroken.data(), mBroken.size()}};
    mModule.entries = mEntries.data();
    mModule.count = mEntries.size();
    duv::setResourceModule(&mModule);
  }
  ~TestModule() { duv::setResourceModule(nullptr); }

  static constexpr int kGood = 9301, kBroken = 9302, kMissing = 9303;

 private:
  Bytes mPng, mBroken;
  std::vector<duv::EmbeddedResource> mEntries;
  duv::ResourceModule mModule;
};

TEST(LazyImages, SizedFromTheHeaderAndDecodedOnceOnFirstNeed) {
  TestModule module;
  BitmapCache& cache = BitmapCache::Instance();
  auto g1 = MakeTestGraphics(), g2 = MakeTestGraphics();
  const int decodes = cache.Decodes();
  IBitmap a = g1->LoadBitmap(TestModule::kGood, "t/good.png", 2);
  EXPECT_EQ(cache.Decodes(), decodes);  // loading reads the header only
  ASSERT_NE(a.bitmap, nullptr);
  EXPECT_EQ(a.W, 17);
  EXPECT_EQ(a.H, 36);
  EXPECT_EQ(a.FrameHeight(), 18);

  int prepared = 0;
  auto count = [&prepared](duv::RasterBitmap* b) {
    ++prepared;
    b->getBits()[0] = 0x12345678u;  // in place, before anyone reads
  };
  cache.AddPreparation(a.bitmap, 7, count);
  cache.AddPreparation(a.bitmap, 7, count);  // the same job again: nothing
  IBitmap b = g2->LoadBitmap(TestModule::kGood, "t/good.png", 2);
  EXPECT_EQ(b.bitmap, a.bitmap);
  EXPECT_EQ(prepared, 0);
  EXPECT_EQ(cache.Decodes(), decodes);

  // The first draw decodes and prepares; the second finds it done.
  IRect all{0, 0, 64, 48};
  auto* holder = new FillControl({0, 0, 0, 0}, 0);
  g1->AttachControl(holder);
  g1->Draw(&all);
  IRect dest{0, 0, 17, 18};
  IBlend copy{IBlend::kCopy, 1.0f};
  g1->DrawBitmap(&a, &dest, 0, 0, &copy);
  EXPECT_EQ(cache.Decodes(), decodes + 1);
  EXPECT_EQ(prepared, 1);
  EXPECT_EQ(PixelAt(*g1, 0, 0), 0x12345678u);
  std::unique_ptr<duv::RasterBitmap> direct(duv::loadImageResource(TestModule::kGood, "t/good.png"));
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(PixelAt(*g1, 1, 1), direct->getBits()[direct->getRowSpan() + 1]);
  EXPECT_EQ(b.bitmap->getWidth(), 17);
  EXPECT_EQ(b.bitmap->getHeight(), 36);
  EXPECT_EQ(cache.Decodes(), decodes + 1);
  // A job attached after the decode runs at once, and only once.
  cache.AddPreparation(a.bitmap, 8, count);
  cache.AddPreparation(a.bitmap, 8, count);
  EXPECT_EQ(prepared, 2);
  EXPECT_FALSE(b.bitmap->resize(1, 1));  // shared: its size is fixed
  g1->ReleaseBitmap(&a);
  EXPECT_EQ(cache.Find(TestModule::kGood), nullptr);
}

TEST(LazyImages, MissingAndUndecodableImagesDrawNothing) {
  TestModule module;
  BitmapCache& cache = BitmapCache::Instance();
  auto g = MakeTestGraphics();
  IBitmap missing = g->LoadBitmap(TestModule::kMissing, "t/missing.png", 3);
  EXPECT_EQ(missing.bitmap, nullptr);
  EXPECT_EQ(missing.W, 0);
  EXPECT_EQ(missing.N, 3);

  const int decodes = cache.Decodes();
  IBitmap broken = g->LoadBitmap(TestModule::kBroken, "t/broken.png", 2);
  ASSERT_NE(broken.bitmap, nullptr);  // the header reads: the layout keeps its size
  EXPECT_EQ(broken.W, 17);
  EXPECT_EQ(broken.H, 36);
  int prepared = 0;
  cache.AddPreparation(broken.bitmap, 1, [&prepared](duv::RasterBitmap*) { ++prepared; });

  IRect all{0, 0, 64, 48};
  auto* background = new FillControl(all, 0xFF102030u);
  g->AttachControl(background);
  g->Draw(&all);
  IRect dest{0, 0, 17, 18};
  for (const IBitmap* bm : {&missing, &broken}) {
    g->DrawBitmap(bm, &dest, 0, 0, nullptr);
    g->DrawBitmapFrame(bm, &dest, 2, nullptr);
    g->DrawRotatedBitmap(bm, 20, 20, 30.0, 0, nullptr);
    g->DrawRotatedMask(bm, bm, bm, 0, 0, 30.0, nullptr);
    IBitmap scaled = g->ScaleBitmap(bm, 4, 4);
    g->ReleaseBitmap(&scaled);
  }
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(PixelAt(*g, x, y), 0xFF102030u) << x << "," << y;
  EXPECT_EQ(broken.bitmap->getBits(), nullptr);
  EXPECT_EQ(broken.bitmap->getWidth(), 0);
  EXPECT_EQ(prepared, 0);                       // nothing to prepare
  EXPECT_EQ(cache.Decodes(), decodes + 1);      // tried once, not at every draw
  g->ReleaseBitmap(&broken);
}

TEST(LazyImages, TheSurfaceWaitsForItsFirstUse) {
  IGraphicsLinux g(nullptr, 30, 20, 0);
  g.PrepareDrawing();
  EXPECT_FALSE(g.HasSurface());
  g.AttachControl(new FillControl({0, 0, 30, 20}, 0xFF00FF00u));
  g.Resize(40, 10);  // deletes the controls; the surface is made at the new size
  EXPECT_FALSE(g.HasSurface());
  g.AttachControl(new FillControl({0, 0, 40, 10}, 0xFF00FF00u));
  IRect all{0, 0, 40, 10};
  g.Draw(&all);
  ASSERT_TRUE(g.HasSurface());
  EXPECT_EQ(g.Surface()->getWidth(), 40);
  EXPECT_EQ(g.Surface()->getHeight(), 10);
  EXPECT_EQ(PixelAt(g, 39, 9), 0xFF00FF00u);
}

}  // namespace

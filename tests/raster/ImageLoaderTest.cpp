// PNG and JPEG loading: pixel words for every PNG layout, JPEG component
// counts, bad signatures, truncated and hostile data, destination bitmaps,
// extension handling, file loaders and their registry, and the embedded images.
#include "raster/Blit.h"
#include "raster/ImageLoader.h"
#include "raster/PixelAccess.h"
#include "raster/RasterDispatch.h"

#include "RasterTestSupport.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#ifdef _WIN32
#include <direct.h>
#endif

namespace duv {
namespace {

using test::Bytes;
using test::GuardedBitmap;
using test::hex;
using test::PngSpec;

std::unique_ptr<RasterBitmap> loadPng(const Bytes& b, RasterBitmap* dest = nullptr)
{
    RasterBitmap* r = loadPngMemory(b.data(), b.size(), dest);
    if (dest) {
        EXPECT_TRUE(r == nullptr || r == dest);
        return nullptr;
    }
    return std::unique_ptr<RasterBitmap>(r);
}

TEST(PngLoader, RgbaBytesBecomeWordsStraight)
{
    PngSpec desc;
    desc.width = 2;
    desc.row = [](int, png_bytep r) {
        const png_byte px[8] = {0x12, 0x34, 0x56, 0x78, 0xFF, 0x00, 0x80, 0x00};
        std::memcpy(r, px, 8);
    };
    auto bmp = loadPng(test::writePng(desc));
    ASSERT_TRUE(bmp);
    ASSERT_EQ(bmp->getWidth(), 2);
    ASSERT_EQ(bmp->getHeight(), 1);
    EXPECT_EQ(getPixel(bmp.get(), 0, 0), 0x78123456u);
    const auto* bytes = reinterpret_cast<const unsigned char*>(bmp->getBits());
    EXPECT_EQ(bytes[0], 0x56);
    EXPECT_EQ(bytes[1], 0x34);
    EXPECT_EQ(bytes[2], 0x12);
    EXPECT_EQ(bytes[3], 0x78);
    EXPECT_EQ(getPixel(bmp.get(), 1, 0), 0x00FF0080u); // alpha 0 keeps its colour (not premultiplied)
}

TEST(PngLoader, EveryColourTypeAndDepth)
{
    struct Case {
        const char* name;
        PngSpec desc;
        std::function<Pixel(int x, int y)> expect;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, int type, int depth, std::function<void(int, png_bytep)> row,
                   std::function<Pixel(int, int)> expect, int width = 9, int height = 5) {
        Case c{name, {}, expect};
        c.desc.width = width;
        c.desc.height = height;
        c.desc.colourType = type;
        c.desc.bitDepth = depth;
        c.desc.row = row;
        cases.push_back(c);
        return &cases.back();
    };
    auto greyWord = [](int g) { return 0xFF000000u | Pixel(g) * 0x010101u; };
    // Grey at 1, 2, 4 bits: packed samples, expanded to 8 bits by scaling.
    for (int depth : {1, 2, 4}) {
        const int maxv = (1 << depth) - 1;
        add("grey low depth", PNG_COLOR_TYPE_GRAY, depth,
            [depth, maxv](int y, png_bytep r) {
                std::memset(r, 0, std::size_t((9 * depth + 7) / 8));
                for (int x = 0; x < 9; ++x) {
                    int v = (x + y) & maxv;
                    int bit = x * depth;
                    r[bit / 8] |= png_byte(v << (8 - depth - bit % 8));
                }
            },
            [maxv, greyWord](int x, int y) { return greyWord(((x + y) & maxv) * 255 / maxv); });
    }
    add("grey 8", PNG_COLOR_TYPE_GRAY, 8, [](int y, png_bytep r) { for (int x = 0; x < 9; ++x) r[x] = png_byte(x * 28 + y); },
        [greyWord](int x, int y) { return greyWord(x * 28 + y); });
    add("grey 16", PNG_COLOR_TYPE_GRAY, 16,
        [](int y, png_bytep r) { for (int x = 0; x < 9; ++x) { r[2 * x] = png_byte(x * 20 + y); r[2 * x + 1] = 0xEE; } },
        [greyWord](int x, int y) { return greyWord(x * 20 + y); });
    add("grey alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8,
        [](int y, png_bytep r) { for (int x = 0; x < 9; ++x) { r[2 * x] = png_byte(x * 9); r[2 * x + 1] = png_byte(y * 40); } },
        [](int x, int y) { return (Pixel(y * 40) << 24) | Pixel(x * 9) * 0x010101u; });
    add("rgb 8", PNG_COLOR_TYPE_RGB, 8,
        [](int y, png_bytep r) { for (int x = 0; x < 9; ++x) { r[3 * x] = png_byte(x); r[3 * x + 1] = png_byte(y); r[3 * x + 2] = 0xC3; } },
        [](int x, int y) { return 0xFF0000C3u | (Pixel(x) << 16) | (Pixel(y) << 8); });
    add("rgb 16", PNG_COLOR_TYPE_RGB, 16,
        [](int y, png_bytep r) { for (int x = 0; x < 9; ++x) { png_byte v[6] = {png_byte(x), 1, png_byte(y), 2, 0xC3, 3}; std::memcpy(r + 6 * x, v, 6); } },
        [](int x, int y) { return 0xFF0000C3u | (Pixel(x) << 16) | (Pixel(y) << 8); });
    add("rgba 16", PNG_COLOR_TYPE_RGBA, 16,
        [](int y, png_bytep r) { for (int x = 0; x < 9; ++x) { png_byte v[8] = {png_byte(x), 0, png_byte(y), 0, 7, 0, png_byte(x * y), 0xFF}; std::memcpy(r + 8 * x, v, 8); } },
        [](int x, int y) { return (Pixel(x * y) << 24) | (Pixel(x) << 16) | (Pixel(y) << 8) | 7u; });
    Case* pal = add("palette", PNG_COLOR_TYPE_PALETTE, 4,
        [](int y, png_bytep r) { std::memset(r, 0, 5); for (int x = 0; x < 9; ++x) r[x / 2] |= png_byte(((x + y) % 3) << (x % 2 ? 0 : 4)); },
        [](int x, int y) { const Pixel p[3] = {0xFF102030u, 0xFFA0B0C0u, 0xFFFF0000u}; return p[(x + y) % 3]; });
    pal->desc.palette = {{0x10, 0x20, 0x30}, {0xA0, 0xB0, 0xC0}, {0xFF, 0x00, 0x00}};
    Case* palA = add("palette with alpha", PNG_COLOR_TYPE_PALETTE, 8,
        [](int y, png_bytep r) { for (int x = 0; x < 9; ++x) r[x] = png_byte((x + y) % 3); },
        [](int x, int y) { const Pixel p[3] = {0x00102030u, 0x80A0B0C0u, 0xFFFF0000u}; return p[(x + y) % 3]; });
    palA->desc.palette = {{0x10, 0x20, 0x30}, {0xA0, 0xB0, 0xC0}, {0xFF, 0x00, 0x00}};
    palA->desc.paletteAlpha = {0x00, 0x80};
    Case* rgbT = add("rgb with tRNS", PNG_COLOR_TYPE_RGB, 8,
        [](int, png_bytep r) { for (int x = 0; x < 9; ++x) { r[3 * x] = png_byte(x % 2 ? 5 : 6); r[3 * x + 1] = 6; r[3 * x + 2] = 7; } },
        [](int x, int) { return x % 2 ? 0xFF050607u : 0x00060607u; });
    rgbT->desc.greyOrRgbTransparent = true;
    rgbT->desc.transparent.red = 6;
    rgbT->desc.transparent.green = 6;
    rgbT->desc.transparent.blue = 7;
    Case* greyT = add("grey with tRNS", PNG_COLOR_TYPE_GRAY, 8,
        [](int, png_bytep r) { for (int x = 0; x < 9; ++x) r[x] = png_byte(x); },
        [](int x, int) { return (x == 4 ? 0u : 0xFF000000u) | Pixel(x) * 0x010101u; });
    greyT->desc.greyOrRgbTransparent = true;
    greyT->desc.transparent.gray = 4;

    // Rows of 9 pixels: the word-order pass's vector loop and its tail, and
    // its plain reference.
    for (int run = 0; run < 4; ++run) {
        const bool interlaced = run & 1, reference = run & 2;
        for (const Case& c : cases) {
            PngSpec desc = c.desc;
            desc.interlaced = interlaced;
            setRasterReferenceOnly(reference);
            auto bmp = loadPng(test::writePng(desc));
            setRasterReferenceOnly(false);
            ASSERT_TRUE(bmp) << c.name;
            ASSERT_EQ(bmp->getWidth(), desc.width) << c.name;
            ASSERT_EQ(bmp->getHeight(), desc.height) << c.name;
            for (int y = 0; y < desc.height; ++y)
                for (int x = 0; x < desc.width; ++x)
                    ASSERT_EQ(getPixel(bmp.get(), x, y), c.expect(x, y))
                        << c.name << (interlaced ? " interlaced" : "") << (reference ? " reference" : "")
                        << " at " << x << "," << y << " got " << hex(getPixel(bmp.get(), x, y));
        }
    }
}

Bytes smallRgbPng(int width = 8, int height = 6, bool interlaced = false)
{
    PngSpec desc;
    desc.width = width;
    desc.height = height;
    desc.interlaced = interlaced;
    desc.colourType = PNG_COLOR_TYPE_RGB;
    desc.row = [width](int y, png_bytep r) {
        for (int i = 0; i < width * 3; ++i)
            r[i] = png_byte(i * 13 + y * 7);
    };
    return test::writePng(desc);
}

TEST(PngLoader, BadSignatureShortAndTruncatedData)
{
    Bytes good = smallRgbPng();
    EXPECT_TRUE(loadPng(good));
    EXPECT_EQ(loadPngMemory(good.data(), 7, nullptr), nullptr);
    EXPECT_EQ(loadPngMemory(nullptr, 0, nullptr), nullptr);
    Bytes bad = good;
    bad[1] = 'Q';
    EXPECT_EQ(loadPngMemory(bad.data(), bad.size(), nullptr), nullptr);
    // Every cut of the file fails cleanly (the image data is needed to the end).
    for (std::size_t n = 0; n + 12 < good.size(); ++n)
        EXPECT_EQ(loadPngMemory(good.data(), n, nullptr), nullptr) << n;
    // Corrupted bytes anywhere: decodes or fails, never crashes.
    for (std::size_t i = 8; i < good.size(); ++i) {
        Bytes c = good;
        c[i] ^= 0x5A;
        delete loadPngMemory(c.data(), c.size(), nullptr);
    }
}

// Offset of the first chunk of the given type (its length field), or npos.
std::size_t findChunk(const Bytes& png, const char* type)
{
    for (std::size_t pos = 8; pos + 8 <= png.size();) {
        if (std::memcmp(png.data() + pos + 4, type, 4) == 0)
            return pos;
        pos += 12 + (std::size_t(png[pos]) << 24 | std::size_t(png[pos + 1]) << 16 |
                     std::size_t(png[pos + 2]) << 8 | std::size_t(png[pos + 3]));
    }
    return std::string::npos;
}

void putU32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

TEST(PngLoader, ChunksRunningPastTheDataAreRefusedUntouched)
{
    // A length field claiming more bytes than are left (a mutated input once
    // claimed 0x5d000000, and libpng read and checksummed 1.5 GB of padding),
    // or data cut inside a chunk: refused before anything is decoded, so a
    // destination keeps its size and pixels.
    const Bytes good = smallRgbPng(8, 6);
    const std::size_t idat = findChunk(good, "IDAT");
    ASSERT_NE(idat, std::string::npos);
    const std::size_t idatLength = findChunk(good, "IEND") - idat - 12;
    std::vector<std::pair<const char*, Bytes>> cases;
    Bytes lyingIdat = good;
    putU32(lyingIdat, idat, 0x5d000000u);
    cases.push_back({"IDAT claims 0x5d000000", lyingIdat});
    Bytes oneTooLong = good;
    putU32(oneTooLong, idat, std::uint32_t(good.size() - idat - 12 + 1)); // swallows IEND, CRC one short
    cases.push_back({"IDAT one byte past the end", oneTooLong});
    Bytes lyingText(good.begin(), good.begin() + std::ptrdiff_t(idat));
    test::appendChunk(lyingText, "tEXt", {'k', 0, 'v'});
    putU32(lyingText, idat, 0x5d000000u);
    lyingText.insert(lyingText.end(), good.begin() + std::ptrdiff_t(idat), good.end());
    cases.push_back({"tEXt before IDAT claims 0x5d000000", lyingText});
    cases.push_back({"cut inside IDAT", Bytes(good.begin(), good.begin() + std::ptrdiff_t(idat + 8 + idatLength / 2))});
    cases.push_back({"cut inside IDAT's CRC", Bytes(good.begin(), good.begin() + std::ptrdiff_t(idat + 8 + idatLength + 2))});
    cases.push_back({"cut inside the IHDR", Bytes(good.begin(), good.begin() + 20)});

    for (const auto& [name, bytes] : cases) {
        EXPECT_EQ(loadPngMemory(bytes.data(), bytes.size(), nullptr), nullptr) << name;
        for (auto [w, h] : {std::pair{3, 2}, std::pair{8, 6}}) {
            MemoryBitmap dest(w, h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    clearRect(&dest, x, y, 1, 1, 0, 0x5EED0000u + Pixel(y * w + x));
            EXPECT_EQ(loadPngMemory(bytes.data(), bytes.size(), &dest), nullptr) << name;
            ASSERT_EQ(dest.getWidth(), w) << name;
            ASSERT_EQ(dest.getHeight(), h) << name;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(getPixel(&dest, x, y), 0x5EED0000u + Pixel(y * w + x)) << name << " at " << x << "," << y;
        }
    }
}

TEST(PngLoader, HostileDimensionsAreRefused)
{
    // Sizes past libpng's limits, past int byte counts, and a large but holdable
    // one without image data: all answer null.
    for (auto [w, h] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
             {0x7FFFFFFFu, 1}, {2000000, 2000000}, {30000, 30000}, {1, 0x7FFFFFFFu}, {0, 5}, {20000, 20000}}) {
        Bytes b = test::pngHeaderOnly(w, h, 8, 6);
        test::appendChunk(b, "IEND", {});
        EXPECT_EQ(loadPngMemory(b.data(), b.size(), nullptr), nullptr) << w << "x" << h;
    }
    // A declared layout that is not a valid PNG combination.
    Bytes b = test::pngHeaderOnly(4, 4, 3, 2);
    test::appendChunk(b, "IEND", {});
    EXPECT_EQ(loadPngMemory(b.data(), b.size(), nullptr), nullptr);
}

TEST(PngLoader, DestinationBitmaps)
{
    Bytes png = smallRgbPng(8, 6);
    auto fresh = loadPng(png);
    ASSERT_TRUE(fresh);
    MemoryBitmap same(8, 6);
    std::uint32_t* bits = same.getBits();
    EXPECT_EQ(loadPngMemory(png.data(), png.size(), &same), &same);
    EXPECT_EQ(same.getBits(), bits); // reused without reallocation
    EXPECT_EQ(std::memcmp(same.getBits(), fresh->getBits(), 8 * 6 * 4), 0);
    MemoryBitmap other(2, 2);
    EXPECT_EQ(loadPngMemory(png.data(), png.size(), &other), &other);
    EXPECT_EQ(other.getWidth(), 8);
    // A destination that cannot take the size answers null and is not written.
    GuardedBitmap fixed(3, 3);
    fixed.fill(0x01010101u);
    EXPECT_EQ(loadPngMemory(png.data(), png.size(), &fixed), nullptr);
    EXPECT_EQ(getPixel(&fixed, 2, 2), 0x01010101u);
    EXPECT_EQ(fixed.damagedGuards(), 0);
}

TEST(JpegLoader, ComponentCountsAndPixelWords)
{
    auto check = [](int components, bool progressive) {
        Bytes jpg = test::writeJpeg(13, 11, components, 90,
                                    [](int x, int y, int c) { return (x * 17 + y * 11 + c * 60) & 0xFF; }, progressive);
        int w, h, n;
        std::vector<JSAMPLE> ref = test::decodeJpegSamples(jpg, &w, &h, &n);
        std::unique_ptr<RasterBitmap> bmp(loadJpegMemory(jpg.data(), jpg.size(), nullptr));
        ASSERT_TRUE(bmp);
        ASSERT_EQ(bmp->getWidth(), 13);
        ASSERT_EQ(bmp->getHeight(), 11);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const JSAMPLE* s = ref.data() + (std::size_t(y) * w + x) * n;
                Pixel e = 0;
                if (n == 3)
                    e = 0xFF000000u | (Pixel(s[0]) << 16) | (Pixel(s[1]) << 8) | s[2];
                else if (n == 1)
                    e = 0xFF000000u | Pixel(s[0]) * 0x010101u;
                ASSERT_EQ(getPixel(bmp.get(), x, y), e) << components << " at " << x << "," << y;
            }
    };
    for (bool progressive : {false, true}) {
        check(3, progressive);
        check(1, progressive);
        check(4, progressive); // CMYK rows become 0
    }
}

TEST(JpegLoader, TruncatedDataEndsTheImage)
{
    Bytes jpg = test::writeJpeg(32, 40, 3, 75, [](int x, int y, int c) { return (x * 8 + y * 5 + c * 80) & 0xFF; });
    // Cut inside the entropy-coded data: the image ends early but loads whole.
    std::unique_ptr<RasterBitmap> bmp(loadJpegMemory(jpg.data(), jpg.size() * 2 / 3, nullptr));
    ASSERT_TRUE(bmp);
    EXPECT_EQ(bmp->getWidth(), 32);
    EXPECT_EQ(bmp->getHeight(), 40);
    // Cut before the frame header: no image.
    EXPECT_EQ(loadJpegMemory(jpg.data(), 20, nullptr), nullptr);
    EXPECT_EQ(loadJpegMemory(jpg.data(), 7, nullptr), nullptr);
    Bytes garbage(500, 0x42);
    EXPECT_EQ(loadJpegMemory(garbage.data(), garbage.size(), nullptr), nullptr);
    // Every cut and corrupted byte: loads or fails, never crashes.
    for (std::size_t n = 0; n < jpg.size(); n += 3)
        delete loadJpegMemory(jpg.data(), n, nullptr);
    for (std::size_t i = 0; i < jpg.size(); i += 2) {
        Bytes c = jpg;
        c[i] ^= 0xA5;
        delete loadJpegMemory(c.data(), c.size(), nullptr);
    }
}

TEST(JpegLoader, DestinationBitmapsAndHostileSize)
{
    Bytes jpg = test::writeJpeg(8, 8, 3, 90, [](int x, int, int) { return x * 30; });
    MemoryBitmap same(8, 8);
    std::uint32_t* bits = same.getBits();
    EXPECT_EQ(loadJpegMemory(jpg.data(), jpg.size(), &same), &same);
    EXPECT_EQ(same.getBits(), bits);
    GuardedBitmap fixed(4, 4);
    fixed.fill(7);
    EXPECT_EQ(loadJpegMemory(jpg.data(), jpg.size(), &fixed), nullptr);
    EXPECT_EQ(getPixel(&fixed, 3, 3), 7u);
    // Patch the frame header to claim 65000 x 65000 (no bitmap can hold it).
    Bytes big = jpg;
    for (std::size_t i = 0; i + 8 < big.size(); ++i)
        if (big[i] == 0xFF && big[i + 1] == 0xC0) {
            big[i + 5] = 0xFD;
            big[i + 6] = 0xE8;
            big[i + 7] = 0xFD;
            big[i + 8] = 0xE8;
            break;
        }
    EXPECT_EQ(loadJpegMemory(big.data(), big.size(), nullptr), nullptr);
}

TEST(JpegLoader, SizesPastThePixelLimitAreRefusedBeforeDecoding)
{
    // Frame headers patched to claim other sizes (65500 is libjpeg's largest
    // side); the data behind them is an 8 x 8 image, so a size that is accepted decodes (truncated data ends the
    // image). Past the pixel limit the claim is refused before libjpeg or the
    // bitmap allocate for it, and a destination keeps its size and pixels. At
    // the limit even four progressive components (libjpeg then buffers every
    // coefficient) fit its memory cap.
    static_assert(kMaxImagePixels == 2048 * 2048);
    struct Case {
        int width, height;
        bool accepted;
    };
    const Case cases[] = {{2048, 2048, true}, {2048, 2049, false},
                          {65, 65500, false}, {65500, 65500, false}, {8000, 8000, false}};
    for (auto [components, progressive] : {std::pair{3, false}, std::pair{3, true}, std::pair{4, true}}) {
        const Bytes jpg =
            test::writeJpeg(8, 8, components, 90, [](int x, int y, int c) { return x * 30 + y * 3 + c; }, progressive);
        std::size_t frame = 0;
        for (std::size_t i = 0; i + 8 < jpg.size() && !frame; ++i)
            if (jpg[i] == 0xFF && (jpg[i + 1] == 0xC0 || jpg[i + 1] == 0xC2))
                frame = i;
        ASSERT_NE(frame, 0u);
        for (const Case& c : cases) {
            ASSERT_EQ(c.accepted, std::int64_t(c.width) * c.height <= kMaxImagePixels);
            Bytes claim = jpg;
            claim[frame + 5] = static_cast<unsigned char>(c.height >> 8);
            claim[frame + 6] = static_cast<unsigned char>(c.height);
            claim[frame + 7] = static_cast<unsigned char>(c.width >> 8);
            claim[frame + 8] = static_cast<unsigned char>(c.width);
            std::unique_ptr<RasterBitmap> fresh(loadJpegMemory(claim.data(), claim.size(), nullptr));
            MemoryBitmap dest(5, 3);
            clearRect(&dest, 0, 0, 5, 3, 0, 0x5EEDu);
            RasterBitmap* into = loadJpegMemory(claim.data(), claim.size(), &dest);
            std::string kind(" ");
            kind.append(std::to_string(components));
            kind.append(progressive ? " progressive" : " baseline");
            if (c.accepted) {
                ASSERT_TRUE(fresh) << c.width << "x" << c.height << kind;
                EXPECT_EQ(fresh->getWidth(), c.width);
                EXPECT_EQ(fresh->getHeight(), c.height);
                EXPECT_EQ(into, &dest);
                continue;
            }
            EXPECT_EQ(fresh, nullptr) << c.width << "x" << c.height << kind;
            EXPECT_EQ(into, nullptr) << c.width << "x" << c.height << kind;
            ASSERT_EQ(dest.getWidth(), 5);
            ASSERT_EQ(dest.getHeight(), 3);
            EXPECT_EQ(getPixel(&dest, 4, 2), 0x5EEDu);
        }
    }
}

TEST(ResourceLoader, ExtensionsTypesAndIds)
{
    Bytes png = smallRgbPng(3, 2);
    Bytes jpg = test::writeJpeg(5, 4, 3, 90, [](int, int, int) { return 100; });
    const EmbeddedResource entries[] = {
        {"PNG", 7, "img/a.png", png.data(), png.size()},
        {"JPG", 8, "img/b.jpg", jpg.data(), jpg.size()},
        {"PNG", 9, "img/short.png", png.data(), 7},
    };
    ResourceModule module{entries, 3};
    setResourceModule(&module);
    auto sizeOf = [](RasterBitmap* b) {
        std::unique_ptr<RasterBitmap> owned(b);
        return b ? b->getWidth() * 100 + b->getHeight() : -1;
    };
    EXPECT_EQ(sizeOf(loadImageResource(7, "img/a.png")), 302);
    EXPECT_EQ(sizeOf(loadImageResource(7, "A.PNG")), 302);
    EXPECT_EQ(sizeOf(loadImageResource(7, "x.pNg")), 302);
    EXPECT_EQ(sizeOf(loadImageResource(8, "img/b.jpg")), 504);
    EXPECT_EQ(sizeOf(loadImageResource(8, "b.JPEG")), 504);
    EXPECT_EQ(sizeOf(loadImageResource(8, "some.dir.name/b.Jpg")), 504);
    EXPECT_EQ(sizeOf(loadImageResource(7, "a.gif")), -1);
    EXPECT_EQ(sizeOf(loadImageResource(7, "png")), -1);
    EXPECT_EQ(sizeOf(loadImageResource(7, nullptr)), -1);
    EXPECT_EQ(sizeOf(loadImageResource(8, "b.png")), -1); // id 8 has no "PNG" resource
    EXPECT_EQ(sizeOf(loadImageResource(9, "s.png")), -1); // shorter than 8 bytes
    EXPECT_EQ(sizeOf(loadImageResource(10, "c.png")), -1);
    EXPECT_EQ(sizeOf(loadPngResource(&module, 7, nullptr)), 302);
    EXPECT_EQ(sizeOf(loadJpegResource(&module, 8, nullptr)), 504);
    EXPECT_EQ(sizeOf(loadJpegResource(nullptr, 8, nullptr)), -1);
    setResourceModule(nullptr);
    EXPECT_EQ(currentResourceModule(), embeddedResourceModule());
}

TEST(ResourceLoader, StreamedBandsRebuildTheImage)
{
    // 7 x 150 rows in bands of 64: 64, 64, 22 (interlaced and JPEG: one band).
    Bytes plain = smallRgbPng(7, 150), interlaced = smallRgbPng(7, 150, true);
    Bytes jpg = test::writeJpeg(9, 20, 3, 90, [](int x, int y, int c) { return x * 20 + y * 5 + c * 60; });
    Bytes cut = plain;
    cut.resize(cut.size() / 2);
    const EmbeddedResource entries[] = {
        {"PNG", 1, "a.png", plain.data(), plain.size()},
        {"PNG", 2, "b.png", interlaced.data(), interlaced.size()},
        {"JPG", 3, "c.jpg", jpg.data(), jpg.size()},
        {"PNG", 4, "d.png", cut.data(), cut.size()},
    };
    ResourceModule module{entries, 4};
    setResourceModule(&module);
    struct Case {
        int id;
        const char* name;
        bool ok;
        std::vector<int> bands; // rows per band, in order
    } cases[] = {
        {1, "a.png", true, {64, 64, 22}},
        {2, "b.png", true, {150}},
        {3, "c.jpg", true, {20}},
        {4, "d.png", false, {}}, // cut inside its image data: refused before decoding
        {1, "a.gif", false, {}},
        {9, "e.png", false, {}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<RasterBitmap> whole(loadImageResource(c.id, c.name));
        MemoryBitmap band(1, 1), rebuilt(whole ? whole->getWidth() : 1, whole ? whole->getHeight() : 1);
        std::vector<int> bands;
        int next = 0;
        const bool ok = streamImageResource(c.id, c.name, &band, 64, [&](RasterBitmap* b, int first, int rows) {
            EXPECT_EQ(first, next) << c.name;
            next = first + rows;
            bands.push_back(rows);
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < b->getWidth(); ++x)
                    putPixel(&rebuilt, x, first + y, getPixel(b, x, y), 1.0f, 0);
        });
        EXPECT_EQ(ok, c.ok) << c.name;
        EXPECT_EQ(bands, c.bands) << c.name;
        if (!c.ok)
            continue;
        ASSERT_TRUE(whole) << c.name;
        for (int y = 0; y < whole->getHeight(); ++y)
            for (int x = 0; x < whole->getWidth(); ++x)
                ASSERT_EQ(getPixel(&rebuilt, x, y), getPixel(whole.get(), x, y)) << c.name << " at " << x << "," << y;
    }
    MemoryBitmap band(1, 1);
    const BandSink none;
    EXPECT_FALSE(streamImageResource(1, "a.png", &band, 0, [](RasterBitmap*, int, int) {}));
    EXPECT_FALSE(streamImageResource(1, "a.png", nullptr, 64, [](RasterBitmap*, int, int) {}));
    EXPECT_FALSE(streamImageResource(1, "a.png", &band, 64, none));
    setResourceModule(nullptr);
}

class TempDir {
public:
    TempDir()
    {
#ifdef _WIN32
        const char* temp = std::getenv("TEMP");
        char name[] = "duv-raster-XXXXXX";
        mPath = std::string(temp ? temp : ".") + "\\" + _mktemp(name);
        _mkdir(mPath.c_str());
#else
        char pattern[] = "/tmp/duv-raster-XXXXXX";
        mPath = mkdtemp(pattern);
#endif
    }
    ~TempDir()
    {
        for (const std::string& f : mFiles)
            std::remove(f.c_str());
        rmdir(mPath.c_str());
    }
    std::string write(const std::string& name, const Bytes& data)
    {
        std::string path = mPath + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        mFiles.push_back(path);
        return path;
    }

private:
    std::string mPath;
    std::vector<std::string> mFiles;
};

TEST(FileLoaders, ExtensionCheckAndDecoding)
{
    TempDir dir;
    Bytes png = smallRgbPng(4, 3);
    Bytes jpg = test::writeJpeg(6, 5, 1, 90, [](int x, int, int) { return x * 40; });
    const std::string pngPath = dir.write("pic.PNG", png);
    const std::string backup = dir.write("pic.png.bak", png);
    const std::string jfif = dir.write("photo.JFIF", jpg);
    const std::string noExt = dir.write("photo", jpg);
    std::unique_ptr<RasterBitmap> a(loadPngFile(pngPath.c_str(), true, nullptr));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->getWidth(), 4);
    std::unique_ptr<RasterBitmap> mem(loadPngMemory(png.data(), png.size(), nullptr));
    EXPECT_EQ(std::memcmp(a->getBits(), mem->getBits(), 4 * 3 * 4), 0);
    EXPECT_EQ(loadPngFile(backup.c_str(), true, nullptr), nullptr);
    std::unique_ptr<RasterBitmap> b(loadPngFile(backup.c_str(), false, nullptr));
    EXPECT_TRUE(b);
    std::unique_ptr<RasterBitmap> c(loadJpegFile(jfif.c_str(), true, nullptr));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->getHeight(), 5);
    EXPECT_EQ(loadJpegFile(noExt.c_str(), true, nullptr), nullptr);
    std::unique_ptr<RasterBitmap> d(loadJpegFile(noExt.c_str(), false, nullptr));
    EXPECT_TRUE(d);
    EXPECT_EQ(loadJpegFile(pngPath.c_str(), false, nullptr), nullptr); // not a JPEG
    EXPECT_EQ(loadPngFile(jfif.c_str(), false, nullptr), nullptr);     // not a PNG
    EXPECT_EQ(loadPngFile("/nonexistent/x.png", true, nullptr), nullptr);
    EXPECT_EQ(loadJpegFile("/nonexistent/x.jpg", true, nullptr), nullptr);
}

TEST(FileLoaders, RegistryOrderAndFilters)
{
    const ImageFileLoader* first = imageFileLoaders();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->filterText(), "PNG files (*.PNG)");
    EXPECT_EQ(first->load, &loadPngFile);
    ASSERT_NE(first->next, nullptr);
    EXPECT_STREQ(first->next->filterText(), "JPEG files (*.JPG;*.JPEG;*.JFIF)");
    EXPECT_EQ(first->next->load, &loadJpegFile);
    EXPECT_EQ(first->next->next, nullptr);
    EXPECT_EQ(imageFileLoaders(), first);
}

TEST(EmbeddedImages, EveryPresentImageDecodesAtItsSize)
{
    // The stored sizes of the editor's images. Images not yet present in the
    // build simply have no entry; a present one must decode at its size.
    const std::map<int, std::pair<int, int>> sizes = {
        {101, {716, 227}}, {102, {88, 15928}}, {103, {145, 26245}}, {104, {88, 15928}}, {106, {7, 132}},
        {107, {103, 11350}}, {108, {93, 4900}}, {109, {89, 5000}}, {110, {61, 110}}, {111, {145, 145}},
        {112, {88, 88}}, {115, {17, 36}}, {116, {17, 36}}, {117, {17, 36}}, {118, {17, 36}}};
    const ResourceModule* module = embeddedResourceModule();
    ASSERT_NE(module, nullptr);
    for (std::size_t i = 0; i < module->count; ++i) {
        const EmbeddedResource& e = module->entries[i];
        ASSERT_TRUE(sizes.count(e.id)) << e.id;
        EXPECT_GT(e.size, 8u) << e.name;
        std::unique_ptr<RasterBitmap> bmp(loadImageResource(e.id, e.name));
        ASSERT_TRUE(bmp) << e.name;
        EXPECT_EQ(bmp->getWidth(), sizes.at(e.id).first) << e.name;
        EXPECT_EQ(bmp->getHeight(), sizes.at(e.id).second) << e.name;
        if (std::string(e.type) == "JPG" || e.id == 101 || e.id == 111 || e.id == 112 || e.id >= 115) {
            EXPECT_EQ(getPixel(bmp.get(), 0, 0) >> 24, 0xFFu) << e.name << " has no alpha channel";
        }
    }
}

} // namespace
} // namespace duv

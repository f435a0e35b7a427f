// The codecs inside a shared object: the probe module (built like the plug-in,
// with duv_raster linked in) loads with every symbol resolved, decodes PNG and
// JPEG, and exposes none of libpng's, libjpeg's or zlib's symbols.
#include "RasterTestSupport.h"
#include "TestImages.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

using ProbeFn = int (*)(int, const unsigned char*, std::size_t, int*, int*, std::uint32_t*);

TEST(ModuleProbe, CodecsLinkedStaticallyAndHidden)
{
    void* handle = dlopen(DUV_PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto probe = reinterpret_cast<ProbeFn>(dlsym(handle, "duvProbeDecode"));
    ASSERT_NE(probe, nullptr);

    duv::test::PngSpec desc;
    desc.width = 3;
    desc.height = 2;
    desc.row = [](int, png_bytep r) {
        for (int i = 0; i < 12; ++i)
            r[i] = png_byte(0x12 + 0x22 * (i % 4));
    };
    const duv::test::Bytes png = duv::test::writePng(desc);
    int w = 0, h = 0;
    std::uint32_t first = 0;
    ASSERT_EQ(probe(0, png.data(), png.size(), &w, &h, &first), 1);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(first, 0x78123456u);
    const duv::test::Bytes jpg = duv::test::writeJpeg(5, 4, 1, 90, [](int, int, int) { return 200; });
    ASSERT_EQ(probe(1, jpg.data(), jpg.size(), &w, &h, &first), 1);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(first >> 24, 0xFFu);

    for (const char* name : {"png_create_read_struct", "png_sig_cmp", "jpeg_read_header", "jpeg_std_error",
                             "inflate", "crc32", "zlibVersion"})
        EXPECT_EQ(dlsym(handle, name), nullptr) << name << " is visible outside the module";
    dlclose(handle);
}

} // namespace

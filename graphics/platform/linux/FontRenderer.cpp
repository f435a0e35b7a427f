#include "graphics/platform/linux/FontRenderer.h"

#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>
#include <mutex>
#include <new>
#include <string>

struct FontRenderer::Impl {
  std::mutex mutex;
  FT_Library library = nullptr;
  bool libraryFailed = false;
  // The machine's font configuration, read once: reading it (every file
  // under /etc/fonts and the font caches) is most of the first text's cost.
  FcConfig* config = nullptr;
  bool configFailed = false;
  struct Face {
    std::string name;
    int style;
    FT_Face face;  // null when no file matched
  };
  std::vector<Face> faces;

  // Throws std::bad_alloc before any face is made, so none is ever lost.
  FT_Face FaceFor(const char* name, int style) {
    for (const Face& f : faces)
      if (f.style == style && f.name == name) return f.face;
    faces.reserve(faces.size() + 1);
    Face entry{name, style, nullptr};
    FT_Face face = nullptr;
    if (FcConfig* config = Config()) {
      FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name));
      if (pattern) {
        FcPatternAddInteger(pattern, FC_WEIGHT, style == 1 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, style == 2 ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        // Faces like "Arial" are rarely installed on Linux: fall back to sans.
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
          FcChar8* file = nullptr;
          int index = 0;
          if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            if (FT_New_Face(library, reinterpret_cast<const char*>(file), index, &face) != 0)
              face = nullptr;
          }
          FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
      }
    }
    entry.face = face;
    faces.push_back(std::move(entry));  // room reserved: cannot throw
    return face;
  }

  // Under the mutex. Null when there is none to be had (then no face either).
  FcConfig* Config() {
    if (!config && !configFailed) {
      config = FcInitLoadConfigAndFonts();
      configFailed = !config;
    }
    return config;
  }
};

FontRenderer& FontRenderer::Instance() {
  static FontRenderer renderer;
  return renderer;
}

FontRenderer::~FontRenderer() {
  if (!mImpl) return;
  for (auto& f : mImpl->faces)
    if (f.face) FT_Done_Face(f.face);
  if (mImpl->library) FT_Done_FreeType(mImpl->library);
  if (mImpl->config) FcConfigDestroy(mImpl->config);
  delete mImpl;
}

bool FontRenderer::RenderLine(const char* faceName, int sizePx, int style, int align,
                              const char* text, int boxW, int boxH,
                              std::vector<std::uint8_t>* coverage) {
  // Memory running out anywhere here only means no text: an exception must
  // not reach the drawing thread (the editor's own thread has no one to catch it).
  try {
    return Render(faceName, sizePx, style, align, text, boxW, boxH, coverage);
  } catch (const std::bad_alloc&) {
    coverage->clear();
    return false;
  }
}

FontRenderer::Impl* FontRenderer::GetImpl() {
  // Not std::call_once: an exception out of it unwinds through the C library.
  static std::mutex initMutex;
  std::lock_guard<std::mutex> guard(initMutex);
  if (!mImpl) {
    mImpl = new (std::nothrow) Impl;
    // fontconfig keeps process-wide state it never frees; unloaded together
    // with this module it would leak it at every unload. Pin it instead.
    if (mImpl) dlopen("libfontconfig.so.1", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  }
  return mImpl;
}

void FontRenderer::LoadConfiguration() {
  Impl* impl = Instance().GetImpl();
  if (!impl) return;
  std::lock_guard<std::mutex> guard(impl->mutex);
  impl->Config();
}

bool FontRenderer::Render(const char* faceName, int sizePx, int style, int align,
                          const char* text, int boxW, int boxH,
                          std::vector<std::uint8_t>* coverage) {
  coverage->assign(static_cast<std::size_t>(std::max(boxW, 0)) * std::max(boxH, 0), 0);
  if (boxW <= 0 || boxH <= 0 || !text || !*text || sizePx <= 0) return false;
  Impl* impl = GetImpl();
  if (!impl) return false;
  std::lock_guard<std::mutex> guard(impl->mutex);
  if (!impl->library && !impl->libraryFailed && FT_Init_FreeType(&impl->library) != 0) {
    impl->library = nullptr;
    impl->libraryFailed = true;
  }
  if (!impl->library) return false;
  FT_Face face = impl->FaceFor(faceName ? faceName : "sans-serif", style);
  if (!face || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(sizePx)) != 0) return false;

  // Measure first (advances in whole pixels), then place.
  const std::size_t n = std::strlen(text);
  int width = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (FT_Load_Char(face, static_cast<unsigned char>(text[i]), FT_LOAD_DEFAULT) != 0) continue;
    width += static_cast<int>(face->glyph->advance.x >> 6);
  }
  int penX = align == 2 ? boxW - width : (align == 1 ? (boxW - width) / 2 : 0);
  const int baseline = static_cast<int>(face->size->metrics.ascender >> 6);
  for (std::size_t i = 0; i < n; ++i) {
    if (FT_Load_Char(face, static_cast<unsigned char>(text[i]), FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = face->glyph;
    const FT_Bitmap& bm = g->bitmap;
    const int x0 = penX + g->bitmap_left, y0 = baseline - g->bitmap_top;
    for (unsigned row = 0; row < bm.rows; ++row) {
      const int y = y0 + static_cast<int>(row);
      if (y < 0 || y >= boxH) continue;
      const unsigned char* src = bm.buffer + static_cast<long>(row) * bm.pitch;
      for (unsigned col = 0; col < bm.width; ++col) {
        const int x = x0 + static_cast<int>(col);
        if (x < 0 || x >= boxW) continue;
        std::uint8_t& dst = (*coverage)[static_cast<std::size_t>(y) * boxW + x];
        dst = std::max<std::uint8_t>(dst, src[col]);
      }
    }
    penX += static_cast<int>(g->advance.x >> 6);
  }
  return true;
}

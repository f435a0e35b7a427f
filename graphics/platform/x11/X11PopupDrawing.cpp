#include "graphics/platform/x11/X11PopupDrawing.h"

#include <vector>

#include "graphics/platform/linux/FontRenderer.h"
#include "raster/Blit.h"

namespace duv_x11 {

int TextWidth(const char* face, int sizePx, int style, const std::string& text) {
  if (text.empty()) return 0;
  // A box wide enough for any glyph of that size; the rightmost covered
  // column ends the text.
  const int boxW = static_cast<int>(text.size()) * sizePx + 8, boxH = sizePx * 2;
  std::vector<std::uint8_t> cov;
  if (!FontRenderer::Instance().RenderLine(face, sizePx, style, 0, text.c_str(), boxW, boxH, &cov))
    return 0;
  int last = -1;
  for (int y = 0; y < boxH; ++y)
    for (int x = boxW - 1; x > last; --x)
      if (cov[static_cast<std::size_t>(y) * boxW + x]) last = x;
  return last + 1;
}

void PaintTextLine(duv::MemoryBitmap* bm, const IRect& box, const char* face, int sizePx, int style,
                   int align, const std::string& text, std::uint32_t colour) {
  if (text.empty() || box.W() <= 0 || box.H() <= 0) return;
  std::vector<std::uint8_t> cov;
  if (!FontRenderer::Instance().RenderLine(face, sizePx, style, align, text.c_str(), box.W(),
                                           box.H(), &cov))
    return;
  duv::drawGlyph(bm, box.L, box.T, colour, cov.data(), box.W(), box.H(), 1.0f,
                 duv::kCombinerCopy);
}

void Frame(duv::MemoryBitmap* bm, int w, int h, std::uint32_t colour) {
  duv::fillRect(bm, 0, 0, w, 1, colour, 1.0f, duv::kCombinerCopy);
  duv::fillRect(bm, 0, h - 1, w, 1, colour, 1.0f, duv::kCombinerCopy);
  duv::fillRect(bm, 0, 0, 1, h, colour, 1.0f, duv::kCombinerCopy);
  duv::fillRect(bm, w - 1, 0, 1, h, colour, 1.0f, duv::kCombinerCopy);
}

}  // namespace duv_x11

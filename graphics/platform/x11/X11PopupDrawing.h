// The small vocabulary the editor's own popups and boxes are drawn with, in
// software into a memory bitmap (the window layer then sends it with
// PutBitmap): their colours, the width of a line of text, one line of text in
// a box, a one-pixel frame. Text goes through FontRenderer; with no face
// installed, text is simply not drawn. Any thread.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/IGraphicsTypes.h"
#include "raster/RasterBitmap.h"

namespace duv_x11 {

constexpr std::uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kGrey = 0xFF808080,
                        kPanel = 0xFFECECEC, kHighlight = 0xFF3366CC;

// Width in pixels of one line of text (sizePx high, FontRenderer's style); 0
// for an empty text or without a face.
int TextWidth(const char* face, int sizePx, int style, const std::string& text);

// Draws one line of text into bm within box (align: 0 left, 1 centred, 2
// right; clipped to the bitmap), copying colour where the glyphs cover.
void PaintTextLine(duv::MemoryBitmap* bm, const IRect& box, const char* face, int sizePx, int style,
                   int align, const std::string& text, std::uint32_t colour);

// A one-pixel frame along the edges of the w x h area at (0, 0).
void Frame(duv::MemoryBitmap* bm, int w, int h, std::uint32_t colour);

}  // namespace duv_x11

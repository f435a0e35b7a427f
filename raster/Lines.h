// Lines, circles and arcs drawn with the pixel combiners. Opacity 0 (or NaN),
// a null bitmap, lines that miss the bitmap and unknown combiners draw nothing.
// Only the combiner byte of the mode is read (UseSourceAlpha is ignored). Every
// plotted pixel lies inside the bitmap. UI thread only.
#pragma once

#include "raster/BlitMode.h"
#include "raster/Pixel.h"
#include "raster/RasterBitmap.h"

namespace duv {

// Line between integer end points, both inclusive. Combiner 0 at opacity 1.0
// stores the colour word; at 0.5 (without anti-aliasing) each channel becomes
// (colour + destination) >> 1; otherwise the combiner runs at w = trunc(alpha
// * 256) with all four colour bytes. Anti-aliasing changes only diagonal and
// general (neither axis-parallel nor 45-degree) lines.
void drawLine(RasterBitmap* dest, int x1, int y1, int x2, int y2, Pixel colour, float alpha, BlitMode mode,
              bool antiAlias);

// Cohen-Sutherland clipping against 0 <= x < width, 0 <= y < height: moves the
// end points onto the bitmap and answers true, or answers false (end points
// then unspecified) when the line misses it.
bool clipLine(int& x1, int& y1, int& x2, int& y2, int width, int height);

// Circle of the given radius (pixels) about (cx, cy). Radii of exactly 2, 2.5,
// 3, 3.5 and 4 use fixed coverage patterns drawn through drawGlyph. Otherwise
// without anti-aliasing a midpoint circle: combiner 0 at 1.0 stores the
// colour, at 0.5 averages channels, else the combiner runs at weight
// trunc(alpha * 255). With anti-aliasing each ring position splits its weight
// between the two pixels on either side by the fractional distance. Radii that
// are negative, not finite or above 4194304 draw nothing.
void drawCircle(RasterBitmap* dest, float cx, float cy, float radius, Pixel colour, float alpha, BlitMode mode,
                bool antiAlias);

// The part of that circle whose angle (radians, atan2(dy, dx) with y growing
// downwards, so angles turn clockwise on screen) lies from minAngle to
// maxAngle. A span of 2 pi (6.2831855) or more draws the full circle.
void drawArc(RasterBitmap* dest, float cx, float cy, float radius, float minAngle, float maxAngle, Pixel colour,
             float alpha, BlitMode mode, bool antiAlias);

// The coverage pattern of a small circle (radius 2, 2.5, 3, 3.5 or 4), size x
// size bytes centred on element (size / 2, size / 2); null for other radii.
const std::uint8_t* smallCirclePattern(float radius, bool antiAlias, int* size);

} // namespace duv

// Image sizes read from the headers alone (a PNG's IHDR chunk, a JPEG's
// frame header), so that an editor can lay out and hit-test its controls
// without decoding a pixel. The size answered is the one the decoders of
// ImageLoader.h produce for an image they can decode; an image that fails to
// decode later may still have a readable header.
// Thread-safe: pure functions over constant bytes.
// Failure (null or short data, a bad signature, no frame header before the
// data ends, a zero dimension, width x height x 4 beyond INT_MAX) answers
// false and leaves *width and *height unchanged.
#pragma once

#include <cstddef>

namespace duv {

bool readPngSize(const unsigned char* data, std::size_t size, int* width, int* height);
bool readJpegSize(const unsigned char* data, std::size_t size, int* width, int* height);

// The size of embedded image (id, name) in currentResourceModule(): the
// size the resource table carries when it has one (read from the header at
// build time, so the bytes stay untouched), else the header read chosen by
// name's extension as loadImageResource chooses the decoder ("png"; "jpg"
// or "jpeg"; any case).
bool imageResourceSize(int id, const char* name, int* width, int* height);

} // namespace duv

// Writes a picture as an 8-bit RGBA PNG (tools only; the module never writes images).
#pragma once

#include <cstdint>
#include <string>

// pixels: width x height words 0xAARRGGBB, top-down. opaque: write alpha as
// 255 (the editor's surface carries no meaningful alpha). Answers false with
// *error set when the file cannot be written; a partial regular file is then
// removed, while a symlink or device at `path` is left as it is.
bool WritePng(const std::string& path, int width, int height, const std::uint32_t* pixels,
              bool opaque, std::string* error);

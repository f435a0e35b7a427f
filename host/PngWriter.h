// Writes a picture as an 8-bit RGBA PNG (tools only; the module never writes images).
#pragma once

#include <cstdint>
#include <string>

// pixels: width x height words 0xAARRGGBB, top-down. opaque: write alpha as
// 255 (the editor's surface carries no meaningful alpha). Answers false with
// *error set when the file cannot be written.
bool WritePng(const std::string& path, int width, int height, const std::uint32_t* pixels,
              bool opaque, std::string* error);

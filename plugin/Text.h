// Small text and number helpers shared by the plug-in core and the binding.
#pragma once

#include <cstddef>

// Copies src into dst (capacity bytes, terminator included), truncating; dst is
// always terminated when capacity > 0. A null src copies the empty text.
void CopyText(char* dst, const char* src, std::size_t capacity);

// Truncates toward zero like a C cast, but saturates instead of being undefined:
// NaN gives 0, values beyond the int range give INT_MIN or INT_MAX.
int TruncToInt(double v);

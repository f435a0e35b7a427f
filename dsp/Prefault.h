// Backing a range of fresh memory with pages in one call, before it is first
// written: on Linux the kernel maps and zeroes all its pages at once
// (MADV_POPULATE_WRITE) instead of taking one fault per 4 KiB page as a loop
// writes through it, which for the engine's buffers is most of an instance's
// cost. Contents are kept; pages already there are left alone. Elsewhere, or
// on a kernel without it, nothing happens and the first writes fault as usual.
#pragma once

#include <cstddef>

void PrefaultForWriting(void* begin, std::size_t bytes);

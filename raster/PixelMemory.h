// Storage for bitmap pixels. Large buffers (the decoded image strips, up to
// 16 MiB) are mapped on their own, aligned to and advised for the kernel's
// 2 MiB pages where it has them: first touching 4 KiB pages costs one fault
// each, and those faults were a fifth of decoding the editor's images.
// Smaller buffers come from the heap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace duv {

struct PixelMemory {
    std::uint32_t* bits = nullptr;  // null when there is none
    std::size_t bytes = 0;          // as asked for
    bool mapped = false;            // a mapping of its own, not the heap's
};

// True when a buffer of this many bytes gets a mapping of its own, aligned
// to 2 MiB (Linux, from 2 MiB on, except under AddressSanitizer).
bool pixelsMappedOnTheirOwn(std::size_t bytes);
// At least `bytes` bytes of pixel storage, or none when memory runs out.
// Contents are undefined.
PixelMemory allocatePixels(std::size_t bytes);
// Storage of `bytes` bytes holding the first bytes of memory (as many as both
// have), or none when memory runs out: then memory stays as it was.
PixelMemory reallocatePixels(const PixelMemory& memory, std::size_t bytes);
// Returns memory from allocatePixels; nothing for memory without bits.
void releasePixels(const PixelMemory& memory);

} // namespace duv

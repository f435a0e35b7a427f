#include "raster/PixelMemory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

// Under AddressSanitizer every buffer comes from the heap, where reads and
// writes past its end are caught.
#if defined(__SANITIZE_ADDRESS__)
#define DUV_PIXELS_FROM_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DUV_PIXELS_FROM_HEAP 1
#endif
#endif
#if defined(__linux__) && !defined(DUV_PIXELS_FROM_HEAP)
#define DUV_PIXELS_MAPPED 1
#else
#define DUV_PIXELS_MAPPED 0
#endif

namespace duv {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

#if DUV_PIXELS_MAPPED
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14; older headers lack the name
#endif

// Buffers this large are written whole right after they are made (decoded
// into, drawn on): their pages are mapped in one call rather than one fault
// per page as the writes arrive, a third cheaper. An old kernel refuses the
// call, and the writes fault as before.
constexpr std::size_t kPrefaultBytes = std::size_t(64) << 10;

void prefault(void* bits, std::size_t bytes)
{
    const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(bits) & ~(page - 1);
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(bits) + bytes;
    madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE); // contents are kept
}

std::size_t pageRounded(std::size_t bytes)
{
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

// A mapping of exactly `bytes` (rounded to pages) that starts on a 2 MiB
// boundary: map the slack once, then trim it off both ends, so only whole
// 2 MiB stretches inside the buffer become huge pages and the tail costs
// no more memory than it uses.
std::uint32_t* mapAligned(std::size_t bytes)
{
    const std::size_t length = pageRounded(bytes);
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
    const std::uintptr_t end = start + length + kHugePage;
    if (aligned > start)
        munmap(raw, aligned - start);
    if (end > aligned + length)
        munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    void* p = reinterpret_cast<void*>(aligned);
    madvise(p, length, MADV_HUGEPAGE); // a hint: without it the pages stay small
    prefault(p, length);
    return static_cast<std::uint32_t*>(p);
}
#endif

} // namespace

bool pixelsMappedOnTheirOwn(std::size_t bytes) { return DUV_PIXELS_MAPPED && bytes >= kHugePage; }

PixelMemory allocatePixels(std::size_t bytes)
{
    PixelMemory m;
    if (bytes == 0)
        return m;
#if DUV_PIXELS_MAPPED
    if (pixelsMappedOnTheirOwn(bytes)) {
        if ((m.bits = mapAligned(bytes)) != nullptr) {
            m.bytes = bytes;
            m.mapped = true;
            return m;
        }
        // No mapping to be had: the heap may still have room.
    }
#endif
    if ((m.bits = static_cast<std::uint32_t*>(std::malloc(bytes))) != nullptr)
        m.bytes = bytes;
#if DUV_PIXELS_MAPPED
    if (m.bits && bytes >= kPrefaultBytes)
        prefault(m.bits, bytes);
#endif
    return m;
}

PixelMemory reallocatePixels(const PixelMemory& memory, std::size_t bytes)
{
    if (!memory.bits)
        return allocatePixels(bytes);
    if (!memory.mapped && !pixelsMappedOnTheirOwn(bytes)) {
        void* grown = bytes ? std::realloc(memory.bits, bytes) : nullptr;
        if (!grown)
            return {};
        return {static_cast<std::uint32_t*>(grown), bytes, false};
    }
    PixelMemory moved = allocatePixels(bytes);
    if (!moved.bits)
        return {};
    std::memcpy(moved.bits, memory.bits, std::min(bytes, memory.bytes));
    releasePixels(memory);
    return moved;
}

void releasePixels(const PixelMemory& memory)
{
    if (!memory.bits)
        return;
#if DUV_PIXELS_MAPPED
    if (memory.mapped) {
        munmap(memory.bits, pageRounded(memory.bytes));
        return;
    }
#endif
    std::free(memory.bits);
}

} // namespace duv

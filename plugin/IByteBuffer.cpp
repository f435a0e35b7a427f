#include "plugin/IByteBuffer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

static_assert(std::endian::native == std::endian::little,
              "chunks are little-endian and read by byte copies");

bool IByteBuffer::Resize(int n) {
  if (n < 0) return false;
  try {
    std::size_t want = static_cast<std::size_t>(n);
    if (want > mBytes.capacity())
      mBytes.reserve(std::max({want, 2 * mBytes.capacity(), std::size_t{kMinCapacity}}));
    mBytes.resize(want, 0);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool IByteBuffer::Append(const void* bytes, int n) {
  int old = Size();
  if (old > INT32_MAX - n || !Resize(old + n)) {
    mBytes.clear();  // an empty buffer is how a failed append shows
    return false;
  }
  std::memcpy(mBytes.data() + old, bytes, static_cast<std::size_t>(n));
  return true;
}

bool IByteBuffer::PutInt32(std::int32_t v) { return Append(&v, sizeof v); }
bool IByteBuffer::PutDouble(double v) { return Append(&v, sizeof v); }

int IByteBuffer::GetInt32(std::int32_t* v, int pos) const {
  if (pos < 0 || Size() - pos < static_cast<int>(sizeof *v)) return -1;
  std::memcpy(v, mBytes.data() + pos, sizeof *v);
  return pos + static_cast<int>(sizeof *v);
}

int IByteBuffer::GetDouble(double* v, int pos) const {
  if (pos < 0 || Size() - pos < static_cast<int>(sizeof *v)) return -1;
  std::memcpy(v, mBytes.data() + pos, sizeof *v);
  return pos + static_cast<int>(sizeof *v);
}

// A growable byte buffer with typed little-endian appends and reads: the
// storage of preset values and state chunks.
//
// Growth failures never throw: an append that cannot grow the buffer leaves
// it empty and returns false, the way callers detect it.
#pragma once

#include <cstdint>
#include <vector>

class IByteBuffer {
 public:
  // The allocation doubles as it grows, from room for one preset's values
  // (88 bytes): every instance keeps its presets' values in these.
  static constexpr int kMinCapacity = 128;

  // Resizes to n bytes, keeping bytes below n; added bytes read 0. Returns
  // false (and leaves the buffer unchanged) when n < 0 or memory runs out.
  bool Resize(int n);
  int Size() const { return static_cast<int>(mBytes.size()); }
  const std::uint8_t* Data() const { return mBytes.data(); }
  std::uint8_t* Data() { return mBytes.data(); }

  bool PutInt32(std::int32_t v);
  bool PutDouble(double v);
  // Reads at pos; returns the position after the value, or -1 when pos is
  // negative or fewer bytes than the value's width remain (value untouched).
  int GetInt32(std::int32_t* v, int pos) const;
  int GetDouble(double* v, int pos) const;

 private:
  bool Append(const void* bytes, int n);
  std::vector<std::uint8_t> mBytes;
};

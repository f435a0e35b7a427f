// The byte reader the host-sequence fuzzers read their programs with: values
// are taken from the input in order, and an input that runs out reads as
// zeros, so every input is a complete program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class ProgramBytes {
public:
    ProgramBytes(const std::uint8_t* data, std::size_t size) : mData(data), mSize(size) {}
    bool done() const { return mPos >= mSize; }
    std::uint8_t u8() { return mPos < mSize ? mData[mPos++] : 0; }
    std::uint32_t u32()  // little-endian
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(u8()) << (8 * i);
        return v;
    }
    template <typename T, std::size_t N> T pick(const T (&table)[N]) { return table[u8() % N]; }
    // One byte chooses: below twice the table's size, an entry of the table
    // (edge values, so they come often); above, raw() reads a value of its own.
    template <typename T, std::size_t N, typename Raw> T edgeOr(const T (&table)[N], Raw raw)
    {
        const std::uint8_t b = u8();
        return b < 2 * N ? table[b % N] : T(raw());
    }
    float rawFloat()  // any bit pattern: NaNs, infinities, subnormals
    {
        const std::uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    // Fills n bytes from the program.
    void fill(void* out, std::size_t n)
    {
        auto* p = static_cast<std::uint8_t*>(out);
        for (std::size_t i = 0; i < n; ++i)
            p[i] = u8();
    }

private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
};

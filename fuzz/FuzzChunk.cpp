// libFuzzer entry for the state chunk, driven through the module's own entry
// point and dispatcher as a host drives it: the input is the chunk a host
// hands to effSetChunk, once as a bank chunk and once as a program chunk.
// Whatever the bytes, afterwards
//   - every parameter's normalised value (getParameter) is finite and in
//     [0, 1], and its display text fits the 32 bytes hosts are promised;
//   - the chunk read back is the 8-byte header and one double per parameter,
//     sets again without refusal, and reads back byte for byte the same.
// A violation aborts with the input kept as a finding. One instance serves
// every input, as a host keeps one instance across many project loads. No
// audio runs and the editor is never opened.
#if __has_include("plugin/vst2/VstApi.h")
#include "plugin/vst2/VstApi.h"
#else
#include "plugin/VstApi.h"
#endif

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" AEffect* VSTPluginMain(audioMasterCallback hostCallback);

namespace {

constexpr int kBank = 0, kProgram = 1;     // effGetChunk / effSetChunk index
constexpr std::size_t kTextBytes = 32;     // parameter texts, terminator included
constexpr std::uint8_t kHeader[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};

// A host that knows nothing: every request answers 0.
VstIntPtr silentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

[[noreturn]] void fail(const char* what, int kind, int index)
{
    std::fprintf(stderr, "chunk invariant broken (%s chunk): %s, index %d\n", kind == kBank ? "bank" : "program",
                 what, index);
    std::abort();
}

AEffect* instance()
{
    static AEffect* effect = [] {
        AEffect* e = VSTPluginMain(silentHost);
        if (!e)
            fail("the entry point built no instance", kBank, -1);
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        return e;
    }();
    return effect;
}

std::vector<std::uint8_t> getChunk(AEffect* e, int kind)
{
    void* data = nullptr;
    const VstIntPtr size = e->dispatcher(e, effGetChunk, kind, 0, &data, 0.0f);
    if (size <= 0 || !data)
        fail("effGetChunk gave no chunk", kind, int(size));
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return {bytes, bytes + size};
}

void checkParameters(AEffect* e, int kind)
{
    for (int i = 0; i < e->numParams; ++i) {
        const float v = e->getParameter(e, i);
        if (!std::isfinite(v) || v < 0.0f || v > 1.0f)
            fail("normalised value outside [0, 1]", kind, i);
        // Exactly the promised size on the heap, so any overrun is reported.
        std::unique_ptr<char[]> text(new char[kTextBytes]);
        e->dispatcher(e, effGetParamDisplay, i, 0, text.get(), 0.0f);
        if (!std::memchr(text.get(), 0, kTextBytes))
            fail("display text without terminator", kind, i);
    }
}

void roundTrip(AEffect* e, int kind)
{
    const std::vector<std::uint8_t> first = getChunk(e, kind);
    if (first.size() != sizeof kHeader + 8 * std::size_t(e->numParams) ||
        std::memcmp(first.data(), kHeader, sizeof kHeader) != 0)
        fail("chunk is not the header and one double per parameter", kind, int(first.size()));
    // A copy: the chunk's own storage is rewritten by the set.
    if (e->dispatcher(e, effSetChunk, kind, VstIntPtr(first.size()), const_cast<std::uint8_t*>(first.data()),
                      0.0f) != 1)
        fail("the plug-in refused its own chunk", kind, -1);
    checkParameters(e, kind);
    if (getChunk(e, kind) != first)
        fail("chunk changed on a round trip", kind, -1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    AEffect* e = instance();
    // libFuzzer may pass a null pointer for the empty input; a host never
    // passes data it does not have, so a copy gives every input real storage.
    std::vector<std::uint8_t> bytes(data, data + size);
    bytes.reserve(1);
    for (int kind : {kBank, kProgram}) {
        e->dispatcher(e, effSetChunk, kind, VstIntPtr(bytes.size()), bytes.data(), 0.0f);
        checkParameters(e, kind);
        roundTrip(e, kind);
    }
    return 0;
}

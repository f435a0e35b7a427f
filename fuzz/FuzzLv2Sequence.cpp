// libFuzzer entry for LV2 host sessions: the input is a program of LV2 calls
// against one instance made through lv2_descriptor, with the edge values of
// duv_fuzz_host (rates, announced block lengths, run lengths, port values
// NaN, infinite, huge; inputs non-finite and subnormal).
//
// Program layout (reads past the end give zeros):
//   byte 0..    the sample rate (an edge-value choice) and the announced
//               maximum block length (0: no options feature) of instantiation;
//   then steps  one byte each (kind = b % 6) and its arguments:
//     0 connect a port (any index, some out of range) to its own storage or null
//     1 write a connected control port's value
//     2 activate   3 deactivate
//     4 run (frames up to the announced maximum, else up to 8192) on audio
//       buffers of exactly that length, some of them unconnected
//     5 clean up and instantiate again with a new rate and block length.
// At most kMaxSteps steps and kMaxFrames audio frames (one run of the largest
// length) per input keep one input in the millisecond range
// (dsp/ carries no coverage in the fuzz build, see fuzz/CMakeLists.txt).
// Checked: after every run the latency port holds kLatency and the lamp 0 or
// 1; after the program, with finite input, every control port back at a
// finite value and a deactivate-activate cycle, the output is finite; and,
// through LeakSanitizer, that cleanup frees what instantiation took.
#include "fuzz/NoCoverage.h"
#include "fuzz/ProgramBytes.h"
#include "plugin/lv2/IPluginLV2.h"
#include "plugin/lv2/Lv2Entry.h"

#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/atom/atom.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr float kLatency = 4096.0f;
constexpr int kMaxSteps = 64;
constexpr int kMaxRunFrames = 8192;
// Audio frames per input, final checks excluded: one run of the largest
// length, or several shorter ones (processing was most of what an input cost).
constexpr long kMaxFrames = kMaxRunFrames;
// The finite-output check after each program: a non-finite state left over
// shows at once, so a short run finds it as well as a long one.
constexpr int kCheckFrames = 128;
constexpr int kMaxCreations = 4;

[[noreturn]] void fail(const char* what, long detail)
{
    std::fprintf(stderr, "LV2 host sequence invariant broken: %s (%ld)\n", what, detail);
    std::abort();
}

class Program : public ProgramBytes {
public:
    using ProgramBytes::ProgramBytes;
    float value()
    {
        static constexpr float kTable[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 2.0f, 12.0f, 100.0f, 1e-40f,
                                           std::numeric_limits<float>::quiet_NaN(),
                                           std::numeric_limits<float>::infinity(),
                                           -std::numeric_limits<float>::infinity(),
                                           std::numeric_limits<float>::max(),
                                           std::numeric_limits<float>::lowest()};
        return edgeOr(kTable, [&] { return rawFloat(); });
    }
    double rate()
    {
        static constexpr double kTable[] = {44100.0, 48000.0, 0.0, -1.0, 1.0, 3.0, 8000.0, 22050.0, 96000.0,
                                            192000.0, 768000.0, 2.2e9, 1e300,
                                            std::numeric_limits<double>::quiet_NaN(),
                                            std::numeric_limits<double>::infinity()};
        return kTable[u8() % std::size(kTable)];
    }
    int frames()
    {
        static constexpr int kTable[] = {0, 1, 2, 3, 31, 64, 511, 512, 1023, 1024, 1025, 4096, 4097, 8191, 8192};
        return edgeOr(kTable, [&] { return int(u32() % (kMaxRunFrames + 1)); });
    }
};

// 0.5 sin(0.02 i) for every frame index of a run: computed once, not per
// sample of every input.
constexpr std::size_t kSineTableSize = 8192 + 16;  // a run and the channel offset

DUV_FUZZ_NO_COVERAGE const float* sineTable()
{
    static const std::vector<float> table = [] {
        std::vector<float> t(kSineTableSize);
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = 0.5f * std::sin(0.02f * float(i));
        return t;
    }();
    return table.data();
}

// Raw pointers here: a coverage-free function does not inline the
// instrumented std::vector accessors, which would bring the traced
// comparisons back.
DUV_FUZZ_NO_COVERAGE void fillInput(float* buffer, std::size_t n, int fill, std::uint32_t& noise)
{
    for (std::size_t i = 0; i < n; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const float sine = sineTable()[i % kSineTableSize];
        switch (fill) {
        case 0: buffer[i] = sine; break;
        case 1: buffer[i] = i % 5 ? sine : std::numeric_limits<float>::quiet_NaN(); break;
        case 2: buffer[i] = i % 2 ? std::numeric_limits<float>::infinity() : -1e30f; break;
        case 3: buffer[i] = 1e-42f * float(i % 3); break;
        default: buffer[i] = float(std::int32_t(noise)) * (1.0f / 2147483648.0f); break;
        }
    }
}

// The first of frames samples that is not finite, or -1.
DUV_FUZZ_NO_COVERAGE long firstNonFinite(const float* buffer, int frames)
{
    for (int i = 0; i < frames; ++i)
        if (!std::isfinite(buffer[i]))
            return i;
    return -1;
}

// The host's URID map: a few fixed URIs, numbered in order of first use.
struct UridMap {
    std::vector<std::string> uris;
    static LV2_URID map(LV2_URID_Map_Handle handle, const char* uri)
    {
        auto* self = static_cast<UridMap*>(handle);
        for (std::size_t i = 0; i < self->uris.size(); ++i)
            if (self->uris[i] == uri)
                return LV2_URID(i + 1);
        self->uris.emplace_back(uri);
        return LV2_URID(self->uris.size());
    }
};

struct Session {
    const LV2_Descriptor* descriptor = lv2_descriptor(0);
    LV2_Handle handle = nullptr;
    IPluginLV2* plug = nullptr;
    int announced = 0;  // the maximum block length told at instantiation, 0 for none
    std::vector<float> ports;      // one storage cell per port, control ports' values
    std::vector<bool> connected;   // per port: connected to its cell (audio ports: per run)
    bool active = false;
    UridMap urids;

    bool instantiate(double rate, int maxFrames)
    {
        LV2_URID_Map map{&urids, UridMap::map};
        const LV2_Feature mapFeature{LV2_URID__map, &map};
        const std::int32_t frames = maxFrames;
        const LV2_Options_Option options[] = {
            {LV2_OPTIONS_INSTANCE, 0, UridMap::map(&urids, LV2_BUF_SIZE__maxBlockLength), sizeof frames,
             UridMap::map(&urids, LV2_ATOM__Int), &frames},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
        const LV2_Feature* withOptions[] = {&mapFeature, &optionsFeature, nullptr};
        const LV2_Feature* without[] = {&mapFeature, nullptr};
        handle = descriptor->instantiate(descriptor, rate, "/nonexistent/DUV.lv2/",
                                         maxFrames > 0 ? withOptions : without);
        if (!handle)
            return false;
        plug = static_cast<IPluginLV2*>(handle);
        announced = maxFrames;
        ports.assign(std::size_t(plug->PortCount()), 0.0f);
        connected.assign(ports.size(), false);
        active = false;
        return true;
    }

    void cleanup()
    {
        if (!handle)
            return;
        if (active)
            descriptor->deactivate(handle);
        descriptor->cleanup(handle);
        handle = nullptr;
        plug = nullptr;
    }

    bool isControl(int port) const
    {
        const auto kind = plug->DescribePort(port).kind;
        return kind == IPluginLV2::PortKind::kParam || kind == IPluginLV2::PortKind::kLatency ||
               kind == IPluginLV2::PortKind::kStatusLamp;
    }

    // One run on fresh audio buffers of exactly frames samples.
    void run(int frames, int fill, std::uint8_t nullMask, bool check)
    {
        const std::size_t n = std::size_t(frames > 0 ? frames : 1);
        std::vector<std::vector<float>> audio;
        std::uint32_t noise = 0x2468aceu;
        for (int port = 0; port < int(ports.size()); ++port) {
            const auto kind = plug->DescribePort(port).kind;
            if (kind != IPluginLV2::PortKind::kAudioIn && kind != IPluginLV2::PortKind::kAudioOut)
                continue;
            audio.emplace_back(n);
            std::vector<float>& buffer = audio.back();
            fillInput(buffer.data(), n, fill, noise);
            const bool drop = (nullMask >> (port % 8)) & 1;
            descriptor->connect_port(handle, std::uint32_t(port), drop ? nullptr : buffer.data());
        }
        descriptor->run(handle, std::uint32_t(frames));
        std::size_t a = 0;
        for (int port = 0; port < int(ports.size()); ++port) {
            const auto kind = plug->DescribePort(port).kind;
            if (kind == IPluginLV2::PortKind::kAudioIn || kind == IPluginLV2::PortKind::kAudioOut) {
                if (check && kind == IPluginLV2::PortKind::kAudioOut) {
                    const long bad = firstNonFinite(audio[a].data(), frames);
                    if (bad >= 0)
                        fail("non-finite output after finite input and a deactivate-activate cycle", bad);
                }
                descriptor->connect_port(handle, std::uint32_t(port), nullptr);  // the buffers go now
                ++a;
            } else if (connected[std::size_t(port)] && kind == IPluginLV2::PortKind::kLatency) {
                if (ports[std::size_t(port)] != kLatency)
                    fail("the latency port changed", long(ports[std::size_t(port)]));
            } else if (connected[std::size_t(port)] && kind == IPluginLV2::PortKind::kStatusLamp) {
                const float lamp = ports[std::size_t(port)];
                if (lamp != 0.0f && lamp != 1.0f)
                    fail("the lamp port is neither 0 nor 1", long(lamp));
            }
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Program p(data, size);
    Session s;
    if (!s.descriptor)
        fail("lv2_descriptor(0) gave no plug-in", 0);
    int creations = 1;
    if (!s.instantiate(p.rate(), p.frames()))
        return 0;  // a rate the effect cannot run at: refused, as it should be
    long framesLeft = kMaxFrames;
    for (int step = 0; step < kMaxSteps && !p.done() && s.handle; ++step) {
        const int count = int(s.ports.size());
        switch (p.u8() % 6) {
        case 0: {
            const int port = int(p.u8()) - 2;  // a few beyond both ends
            const bool attach = p.u8() % 4 != 0;
            if (port >= 0 && port < count && s.isControl(port)) {
                s.ports[std::size_t(port)] = p.value();
                s.connected[std::size_t(port)] = attach;
                s.descriptor->connect_port(s.handle, std::uint32_t(port),
                                           attach ? &s.ports[std::size_t(port)] : nullptr);
            } else if (port < 0 || port >= count) {
                // Out of range: the port does not exist and nothing may be written through it.
                s.descriptor->connect_port(s.handle, std::uint32_t(port), nullptr);
            }
            break;
        }
        case 1: {
            const int port = p.u8() % (count > 0 ? count : 1);
            const float v = p.value();
            if (s.isControl(port) && s.plug->DescribePort(port).kind == IPluginLV2::PortKind::kParam)
                s.ports[std::size_t(port)] = v;
            break;
        }
        case 2:
            s.descriptor->activate(s.handle);
            s.active = true;
            break;
        case 3:
            if (s.active)  // the host calls deactivate only after activate
                s.descriptor->deactivate(s.handle);
            s.active = false;
            break;
        case 4: {
            int frames = p.frames();
            const int fill = p.u8() % 5;
            const std::uint8_t mask = p.u8();
            if (s.announced > 0 && frames > s.announced)
                frames = s.announced;  // more than announced is the host's fault in LV2
            if (frames > framesLeft)
                frames = int(framesLeft);
            framesLeft -= frames;
            if (s.active)  // run only between activate and deactivate
                s.run(frames, fill, mask < 32 ? mask : 0, false);
            break;
        }
        case 5:
            if (creations < kMaxCreations) {
                ++creations;
                s.cleanup();
                if (!s.instantiate(p.rate(), p.frames()))
                    return 0;
            }
            break;
        }
    }
    if (!s.handle)
        return 0;
    // Finite control values and input again, a fresh activation: finite output.
    for (int port = 0; port < int(s.ports.size()); ++port)
        if (s.plug->DescribePort(port).kind == IPluginLV2::PortKind::kParam && !std::isfinite(s.ports[port]))
            s.ports[std::size_t(port)] = 0.0f;
    if (s.active)
        s.descriptor->deactivate(s.handle);
    s.descriptor->activate(s.handle);
    s.active = true;
    const int frames = s.announced > 0 && s.announced < kCheckFrames ? s.announced : kCheckFrames;
    s.run(frames, 0, 0, true);
    s.run(frames, 4, 0, true);
    s.cleanup();
    return 0;
}

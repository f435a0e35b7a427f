// libFuzzer entry for whole host sessions: the input is a program of host
// calls run against one to three instances made through the module's own
// entry point, with a host callback that answers as a real host does.
//
// Program layout (every read past the end gives zeros, so any bytes are a
// program):
//   byte 0      instances (1 + b % 3) and, per instance, the host it believes
//               it runs in (product string of the host callback);
//   then steps  one byte each: the instance (b >> 6, modulo the count) and the
//               step kind (b & 63, modulo kSteps), followed by the step's
//               arguments.
// At most kMaxSteps steps, kMaxFrames audio frames (one block of the largest
// size), kMaxCreations close-and-reopen steps and kMaxSnapshots full editor
// redraws per input keep one input in the millisecond range: a few hundred
// inputs a second on one core (dsp/ and the raster pixel loops carry no
// coverage in the fuzz build, see fuzz/CMakeLists.txt).
//
// Every pointer handed over is null or a buffer of at least the size the call
// documents (text buffers, records, a chunk of exactly the size passed), so a
// sanitizer report is the module's fault, never the driver's. effEditOpen is
// sent only with a null parent: a real parent needs a window system, and the
// editor is driven offscreen through the editor probe instead.
//
// Checked throughout and after each program (abort with a message):
//   - getParameter is finite and in [0, 1] for every index, bad ones included;
//   - automation the module reports to the host names a parameter and carries
//     a finite value in [0, 1];
//   - the latency (initialDelay) stays kLatency;
//   - the bank and program chunks read back, set again and read back byte for
//     byte the same;
//   - with finite input again and mains switched off and on, every output
//     sample is finite;
// and, through LeakSanitizer, that closing an instance frees what it holds
// (instances are reused across inputs, see Pool; the close-and-reopen step
// and the process's exit close them). Each input closes the editors it
// opened, so an input that leaks nothing frees as much as it allocates and
// libFuzzer's leak check reruns only the others.
#include "fuzz/NoCoverage.h"
#include "fuzz/ProgramBytes.h"
#include "plugin/vst2/EditorProbe.h"
#include "plugin/vst2/VstApi.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

extern "C" AEffect* VSTPluginMain(audioMasterCallback hostCallback);

namespace {

constexpr int kLatency = 4096;
constexpr int kMaxInstances = 3;
constexpr int kMaxCreations = 3;       // close-and-reopen steps per input
constexpr int kMaxSteps = 64;
constexpr int kMaxProcessFrames = 8192;
// Audio frames per input, final checks excluded: one block of the largest
// size, or several smaller ones (processing was most of what an input cost).
constexpr long kMaxFrames = kMaxProcessFrames;
// The finite-output check after each program: a non-finite state left over
// shows at once, so a short run finds it as well as a long one.
constexpr int kCheckFrames = 128;
constexpr int kMaxEvents = 8;
constexpr int kMaxSnapshots = 1;       // per input, all instances together
constexpr int kEditorWidth = 716, kEditorHeight = 227;

// Documented buffer sizes of the dispatcher's text calls, terminator included.
constexpr std::size_t kParamText = 32, kProgramName = 24, kEffectName = 32, kVendorText = 64;
constexpr std::size_t kCanDoText = 64, kAnyBuffer = 256;

[[noreturn]] void fail(const char* what, long detail)
{
    std::fprintf(stderr, "host sequence invariant broken: %s (%ld)\n", what, detail);
    std::abort();
}

// ---- the program's bytes ----

class Program : public ProgramBytes {
public:
    using ProgramBytes::ProgramBytes;

    // Edge values; the last entry of each choice reads a raw value instead.
    VstInt32 index()
    {
        static constexpr VstInt32 kTable[] = {0, 1, 2, 5, 10, 11, 12, -1, -2, 7, 100,
                                              std::numeric_limits<VstInt32>::min(),
                                              std::numeric_limits<VstInt32>::max(), kEditorProbeIndex};
        return edgeOr(kTable, [&] { return VstInt32(u32()); });
    }
    VstIntPtr value()
    {
        static constexpr VstIntPtr kTable[] = {0, 1, 2, 3, -1, 11, 12, 512, 1024, 4096, 8192,
                                               VstIntPtr(1) << 22, (VstIntPtr(1) << 22) + 1,
                                               std::numeric_limits<VstInt32>::max(),
                                               VstIntPtr(std::numeric_limits<VstInt32>::max()) + 1,
                                               std::numeric_limits<VstIntPtr>::min(),
                                               std::numeric_limits<VstIntPtr>::max()};
        return edgeOr(kTable, [&] { return VstIntPtr(VstInt32(u32())); });
    }
    float opt()
    {
        static constexpr float kTable[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 0.25f, 1.5f, 1e-40f,
                                           std::numeric_limits<float>::quiet_NaN(),
                                           std::numeric_limits<float>::infinity(),
                                           -std::numeric_limits<float>::infinity(),
                                           std::numeric_limits<float>::max(),
                                           std::numeric_limits<float>::lowest(), 1.0f,
                                           8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f,
                                           192000.0f, 768000.0f, 2.2e9f, 3.0f, 44100.5f};
        return edgeOr(kTable, [&] { return rawFloat(); });
    }
    int frames()
    {
        static constexpr int kTable[] = {0, -1, 1, 2, 3, 31, 64, 127, 511, 512, 1023, 1024, 1025, 2048,
                                         4095, 4096, 4097, 8191, 8192, std::numeric_limits<int>::min()};
        return edgeOr(kTable, [&] { return int(u32() % (kMaxProcessFrames + 1)); });
    }
};

// ---- the host ----

const char* const kHostNames[] = {"", "a Linux DAW", "REAPER", "Cubase", "Audition", "Forte", "Live"};

struct Host {
    const char* product = "";
    VstTimeInfo time{};
    int numParams = 0;
};

Host* gCreating = nullptr;  // the host of an instance whose record is not yet returned
int gSnapshots = 0;         // editor probe snapshots in this input

Host* hostOf(AEffect* effect)
{
    if (effect && effect->user)
        return static_cast<Host*>(effect->user);
    return gCreating;
}

VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float opt)
{
    Host* host = hostOf(effect);
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterAutomate:
        if (host && effect && effect->user && (index < 0 || index >= host->numParams))
            fail("automation of a parameter that does not exist", index);
        if (!std::isfinite(opt) || opt < 0.0f || opt > 1.0f)
            fail("automation value outside [0, 1]", index);
        return 1;
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
        return 1;
    case audioMasterGetTime:
        return host ? reinterpret_cast<VstIntPtr>(&host->time) : 0;
    case audioMasterGetProductString:
        // The plug-in passes a 64-byte buffer, as documented.
        if (ptr && host)
            std::snprintf(static_cast<char*>(ptr), 64, "%s", host->product);
        return host && host->product[0] ? 1 : 0;
    case audioMasterGetVendorVersion:
        return host && host->product[0] ? 7100 : 0;
    case audioMasterWantMidi:
    case audioMasterProcessEvents:
        return 1;
    default:
        return 0;
    }
}

struct Instance {
    std::unique_ptr<Host> host;
    AEffect* effect = nullptr;
    bool editorOpen = false;
    std::vector<std::uint8_t> freshBank;  // the bank chunk when new: every input starts from it
};

VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f)
{
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

void checkLatency(const AEffect* e)
{
    if (e->initialDelay != kLatency)
        fail("latency (initialDelay) changed", e->initialDelay);
}

bool create(Instance& in, const char* product)
{
    in.host = std::make_unique<Host>();
    in.host->product = product;
    in.host->time.sampleRate = 44100.0;
    in.host->time.tempo = 120.0;
    in.host->time.timeSigNumerator = in.host->time.timeSigDenominator = 4;
    in.host->time.flags = kVstTempoValid | kVstTimeSigValid;
    gCreating = in.host.get();
    in.effect = VSTPluginMain(hostCallback);
    gCreating = nullptr;
    if (!in.effect)
        fail("the entry point built no instance", 0);
    if (in.effect->magic != kEffectMagic || in.effect->numParams <= 0)
        fail("the instance's record is not a plug-in's", in.effect->magic);
    in.effect->user = in.host.get();
    in.host->numParams = in.effect->numParams;
    checkLatency(in.effect);
    dispatch(in.effect, effOpen);  // every host opens first
    void* bank = nullptr;
    const VstIntPtr size = dispatch(in.effect, effGetChunk, 0, 0, &bank);
    if (size <= 0 || !bank)
        fail("a new instance gave no bank chunk", long(size));
    in.freshBank.assign(static_cast<const std::uint8_t*>(bank), static_cast<const std::uint8_t*>(bank) + size);
    return true;
}

void destroy(Instance& in)
{
    if (!in.effect)
        return;
    if (in.editorOpen)
        dispatch(in.effect, effEditClose);
    dispatch(in.effect, effMainsChanged, 0, 0);
    dispatch(in.effect, effClose);
    in.effect = nullptr;
    in.editorOpen = false;
}

// Making an instance takes milliseconds (the engine's buffers, the editor),
// so instances live across inputs, as a host keeps them across sessions, and
// each input starts from the same state: editor closed, mains off, 44.1 kHz,
// 1024-frame blocks, the bank chunk the instance had when new, a still
// transport. Closing and making instances is a step of its own.
struct Pool {
    Instance slots[kMaxInstances];  // the instances of the current input
    // Instances made for another host than their slot's current one: nearly
    // every input names other hosts than the one before, and making three
    // instances anew each time was a fifth of all the time spent.
    std::vector<Instance> spares;
};
// The slots of one input name consecutive, so different, hosts: one
// instance per host suffices for all of them.
constexpr std::size_t kMaxSpares = std::size(kHostNames);

Pool& pool()
{
    static Pool p;
    return p;
}

// Puts slot's instance aside for later inputs (closing the oldest spare when
// there are too many) and gives slot one for product: a spare or a new one.
void assign(Instance& slot, const char* product)
{
    std::vector<Instance>& spares = pool().spares;
    if (slot.effect) {
        if (spares.size() >= kMaxSpares) {
            destroy(spares.front());
            spares.erase(spares.begin());
        }
        spares.push_back(std::move(slot));
        slot = Instance{};
    }
    for (std::size_t i = 0; i < spares.size(); ++i) {
        if (spares[i].host->product == product) {
            slot = std::move(spares[i]);
            spares.erase(spares.begin() + std::ptrdiff_t(i));
            return;
        }
    }
    create(slot, product);
}

void restart(Instance& in)
{
    AEffect* e = in.effect;
    dispatch(e, effEditClose);
    in.editorOpen = false;
    // The editor forgets a gesture the last input left unfinished (a captured
    // control, the last pointer position): a release outside it.
    EditorProbeMouse release{};
    release.kind = EditorProbeMouse::kUp;
    release.x = release.y = -1;
    dispatch(e, effVendorSpecific, kEditorProbeIndex, kProbeMouse, &release);
    dispatch(e, effMainsChanged, 0, 0);
    dispatch(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    dispatch(e, effSetBlockSize, 0, 1024);
    std::vector<std::uint8_t> fresh = in.freshBank;
    dispatch(e, effSetChunk, 0, VstIntPtr(fresh.size()), fresh.data());
    dispatch(e, effSetProgram, 0, 0);
    dispatch(e, effSetChunk, 0, VstIntPtr(fresh.size()), fresh.data());
    in.host->time = {};
    in.host->time.sampleRate = 44100.0;
    in.host->time.tempo = 120.0;
    in.host->time.timeSigNumerator = in.host->time.timeSigDenominator = 4;
    in.host->time.flags = kVstTempoValid | kVstTimeSigValid;
}

void checkParameters(AEffect* e)
{
    for (int i = -2; i < e->numParams + 2; ++i) {
        const float v = e->getParameter(e, i);
        if (!std::isfinite(v) || v < 0.0f || v > 1.0f)
            fail("getParameter outside [0, 1]", i);
    }
}

std::vector<std::uint8_t> getChunk(AEffect* e, int bank)
{
    void* data = nullptr;
    const VstIntPtr size = dispatch(e, effGetChunk, bank ? 0 : 1, 0, &data);
    if (size <= 0 || !data)
        fail("effGetChunk gave no chunk", long(size));
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return {bytes, bytes + size};
}

void checkChunkRoundTrip(AEffect* e)
{
    for (int bank : {1, 0}) {
        const std::vector<std::uint8_t> first = getChunk(e, bank);
        std::vector<std::uint8_t> copy = first;  // the chunk's own storage is rewritten by the set
        if (dispatch(e, effSetChunk, bank ? 0 : 1, VstIntPtr(copy.size()), copy.data()) != 1)
            fail("the plug-in refused its own chunk", bank);
        if (getChunk(e, bank) != first)
            fail("a chunk changed on a round trip", bank);
    }
}

// ---- audio ----

// 0.5 sin(0.031 i) for every frame index of a run (and the channel offset):
// computed once, not per sample of every input.
constexpr std::size_t kSineTableSize = 8192 + 16;  // a run and the channel offset

DUV_FUZZ_NO_COVERAGE const float* sineTable()
{
    static const std::vector<float> table = [] {
        std::vector<float> t(kSineTableSize);
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = 0.5f * std::sin(0.031f * float(i));
        return t;
    }();
    return table.data();
}

enum class Fill { kSilence, kSine, kRaw, kNaN, kInf, kSubnormal, kHuge, kNoise, kCount };

DUV_FUZZ_NO_COVERAGE float sample(Fill fill, const float (&raw)[4], int i, std::uint32_t& noise)
{
    switch (fill) {
    case Fill::kSilence: return 0.0f;
    case Fill::kSine: return sineTable()[std::size_t(i) % kSineTableSize];
    case Fill::kRaw: return raw[i % 4];
    case Fill::kNaN: return i % 7 ? 0.25f : std::numeric_limits<float>::quiet_NaN();
    case Fill::kInf: return i % 2 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    case Fill::kSubnormal: return (i % 2 ? 1.0f : -1.0f) * 1e-42f * float(i % 5 + 1);
    case Fill::kHuge: return i % 2 ? std::numeric_limits<float>::max() : -1e30f;
    default:
        noise = noise * 1664525u + 1013904223u;
        return float(std::int32_t(noise)) * (1.0f / 2147483648.0f);
    }
}

// Raw pointers here: a coverage-free function does not inline the
// instrumented std::vector accessors, which would bring the traced
// comparisons back.
template <typename T>
DUV_FUZZ_NO_COVERAGE void fillInput(T* const* channels, int count, std::size_t n, Fill fill, const float (&raw)[4])
{
    std::uint32_t noise = 0x1234567u;
    for (int c = 0; c < count; ++c)
        for (std::size_t i = 0; i < n; ++i)
            channels[c][i] = T(sample(fill, raw, int(i) + c, noise));
}

// The first of frames samples of any channel that is not finite, or -1.
template <typename T> DUV_FUZZ_NO_COVERAGE long firstNonFinite(T* const* channels, int count, int frames)
{
    for (int c = 0; c < count; ++c)
        for (int i = 0; i < frames; ++i)
            if (!std::isfinite(channels[c][i]))
                return i;
    return -1;
}

enum class Run { kReplacing, kDouble, kAccumulating };

// Runs one audio call on buffers of exactly frames samples (one for frames
// of 0 or less), so a read or write past them is a sanitizer report; with
// check set, every output sample must be finite.
template <typename T>
void processIn(AEffect* e, Run run, int frames, Fill fill, int nullMask, const float (&raw)[4], bool check)
{
    const int nIn = e->numInputs, nOut = e->numOutputs;
    const std::size_t n = std::size_t(frames > 0 ? frames : 1);
    std::vector<std::vector<T>> in(static_cast<std::size_t>(nIn), std::vector<T>(n));
    std::vector<std::vector<T>> out(static_cast<std::size_t>(nOut), std::vector<T>(n));
    std::vector<T*> pin(static_cast<std::size_t>(nIn)), pout(static_cast<std::size_t>(nOut));
    for (int c = 0; c < nIn; ++c)
        pin[std::size_t(c)] = in[std::size_t(c)].data();
    for (int c = 0; c < nOut; ++c)
        pout[std::size_t(c)] = out[std::size_t(c)].data();
    fillInput(pin.data(), nIn, n, fill, raw);
    if (nIn > 1 && (nullMask & 4))
        pin[1] = nullptr;
    T** inputs = (nullMask & 1) ? nullptr : pin.data();
    T** outputs = (nullMask & 2) ? nullptr : pout.data();
    if constexpr (std::is_same_v<T, double>) {
        e->processDoubleReplacing(e, inputs, outputs, frames);
    } else if (run == Run::kReplacing) {
        e->processReplacing(e, inputs, outputs, frames);
    } else {
        e->process(e, inputs, outputs, frames);
    }
    if (check) {
        const long bad = firstNonFinite(pout.data(), nOut, frames);
        if (bad >= 0)
            fail("non-finite output after finite input and a mains cycle", bad);
    }
}

void process(AEffect* e, Run run, int frames, Fill fill, int nullMask, Program& p, bool check)
{
    float raw[4] = {};
    if (fill == Fill::kRaw)
        p.fill(raw, sizeof raw);  // any bit patterns: NaNs, infinities, subnormals
    if (run == Run::kDouble)
        processIn<double>(e, run, frames, fill, nullMask, raw, check);
    else
        processIn<float>(e, run, frames, fill, nullMask, raw, check);
}

// ---- the steps ----

// A dispatcher call with the pointer (and, for two opcodes, the value) the
// opcode documents, filled from the program.
void dispatchStep(AEffect* e, Program& p, Instance& in)
{
    static constexpr VstInt32 kOpcodes[] = {
        effSetProgram, effGetProgram, effSetProgramName, effGetProgramName, effGetParamLabel,
        effGetParamDisplay, effGetParamName, effSetSampleRate, effSetBlockSize, effMainsChanged,
        effEditGetRect, effEditOpen, effEditClose, effEditIdle, effIdentify, effGetChunk, effSetChunk,
        effProcessEvents, effCanBeAutomated, effString2Parameter, effGetProgramNameIndexed,
        effGetInputProperties, effGetOutputProperties, effGetPlugCategory, effProcessVarIo,
        effSetSpeakerArrangement, effSetBypass, effGetEffectName, effGetVendorString, effGetProductString,
        effGetVendorVersion, effVendorSpecific, effCanDo, effGetTailSize, effIdle, effGetParameterProperties,
        effGetVstVersion, effBeginSetProgram, effEndSetProgram, effGetMidiKeyName, effGetSpeakerArrangement,
        effStartProcess, effStopProcess, effOpen};
    const std::uint8_t choice = p.u8();
    const VstInt32 opcode = choice < 2 * std::size(kOpcodes) ? kOpcodes[choice % std::size(kOpcodes)]
                                                             : VstInt32(choice % 80);
    if (opcode == effClose)
        return;  // frees the instance: the close-and-reopen step sends it
    const VstInt32 index = p.index();
    VstIntPtr value = p.value();
    const float opt = p.opt();
    const bool null = p.u8() % 5 == 0;

    // Storage of every documented kind; only the one the opcode names is passed.
    std::vector<char> text;
    auto textOf = [&](std::size_t bytes, bool input) -> void* {
        text.assign(bytes, 0);
        if (input)  // a string from the host: a length byte, then that many bytes, terminated
            p.fill(text.data(), p.u8() % bytes);
        return text.data();
    };
    void* ptr = nullptr;
    void* out = nullptr;
    ERect* rect = nullptr;
    VstPinProperties pin{};
    MidiKeyName key{};
    VstSpeakerArrangement arrIn{}, arrOut{};
    VstSpeakerArrangement* arrPtrIn = nullptr;
    VstSpeakerArrangement* arrPtrOut = nullptr;
    std::vector<VstEvent> events;
    std::vector<std::uint8_t> eventsBlock;
    std::vector<std::uint8_t> chunk;
    EditorProbeImage image{};
    std::unique_ptr<std::uint32_t[]> pixels;
    EditorProbeMouse mouse{};
    int tickRect[4] = {};

    switch (opcode) {
    case effSetProgramName: ptr = textOf(kProgramName, true); break;
    case effGetProgramName:
    case effGetProgramNameIndexed: ptr = textOf(kProgramName, false); break;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName: ptr = textOf(kParamText, false); break;
    case effString2Parameter: ptr = textOf(kAnyBuffer, true); break;
    case effGetEffectName: ptr = textOf(kEffectName, false); break;
    case effGetVendorString:
    case effGetProductString: ptr = textOf(kVendorText, false); break;
    case effCanDo: {
        static const char* const kCanDo[] = {"receiveVstTimeInfo", "sendVstEvents", "receiveVstMidiEvent",
                                             "hasVendorExtensions", "bypass", "hasVendorViewAsConfig", ""};
        if (p.u8() % 2) {
            ptr = textOf(kCanDoText, true);
        } else {
            ptr = textOf(kCanDoText, false);
            std::snprintf(text.data(), kCanDoText, "%s", p.pick(kCanDo));
        }
        break;
    }
    case effEditGetRect: ptr = &rect; break;
    case effEditOpen: ptr = nullptr; break;  // a real parent window is out of reach here
    case effGetChunk: ptr = &out; break;
    case effSetChunk:
        chunk.resize(p.u8() % 2 ? std::size_t(p.u8()) * 8 + 8 : p.u8());
        p.fill(chunk.data(), chunk.size());
        if (chunk.size() >= 8 && p.u8() % 2)
            std::memcpy(chunk.data(), "tffp\0\0\1\0", 8);  // a real header, fuzzed body
        ptr = chunk.data();
        // The size passed is the buffer's, or one the call must refuse unread.
        if (value >= 0 && value <= std::numeric_limits<VstInt32>::max())
            value = VstIntPtr(chunk.size());
        break;
    case effProcessEvents: {
        const int count = p.u8() % (kMaxEvents + 1);
        events.resize(std::size_t(count));
        for (VstEvent& ev : events) {
            p.fill(&ev, sizeof ev);
            if (p.u8() % 2)
                ev.type = kVstMidiType;
        }
        eventsBlock.assign(offsetof(VstEvents, events) + sizeof(VstEvent*) * std::size_t(count > 2 ? count : 2), 0);
        auto* list = reinterpret_cast<VstEvents*>(eventsBlock.data());
        list->numEvents = count;
        // The list runs past the declared two entries: written through a plain pointer.
        auto** slots = reinterpret_cast<VstEvent**>(eventsBlock.data() + offsetof(VstEvents, events));
        for (int i = 0; i < count; ++i)
            slots[i] = p.u8() % 9 ? &events[std::size_t(i)] : nullptr;
        ptr = list;
        break;
    }
    case effGetInputProperties:
    case effGetOutputProperties: ptr = &pin; break;
    case effSetSpeakerArrangement:
        p.fill(&arrIn, sizeof arrIn);
        p.fill(&arrOut, sizeof arrOut);
        value = p.u8() % 4 ? reinterpret_cast<VstIntPtr>(&arrIn) : 0;
        ptr = &arrOut;
        break;
    case effGetSpeakerArrangement:
        value = p.u8() % 4 ? reinterpret_cast<VstIntPtr>(&arrPtrIn) : 0;
        ptr = &arrPtrOut;
        break;
    case effGetMidiKeyName:
        p.fill(&key, sizeof key);
        ptr = &key;
        break;
    case effVendorSpecific:
        if (index == kEditorProbeIndex) {
            switch (value) {
            case kProbeSnapshot: {
                // A whole redraw costs milliseconds here, more than the rest
                // of a typical program: one per input, later ones tick.
                if (++gSnapshots > kMaxSnapshots) {
                    value = kProbeTick;
                    ptr = tickRect;
                    break;
                }
                // The capacity passed is what the buffer holds; smaller than
                // the editor is the caller's right and must be refused.
                image.width = kEditorWidth - (p.u8() % 2);
                image.height = kEditorHeight;
                // Exactly the capacity passed, left unfilled: the editor writes it.
                pixels = std::make_unique_for_overwrite<std::uint32_t[]>(std::size_t(image.width) *
                                                                          std::size_t(image.height));
                image.pixels = pixels.get();
                ptr = &image;
                break;
            }
            case kProbeMouse:
                mouse.kind = std::int32_t(p.u8() % 6);
                mouse.x = std::int32_t(p.u8() % 2 ? int(p.u32() % 800) - 40 : int(VstInt32(p.u32())));
                mouse.y = std::int32_t(p.u8() % 2 ? int(p.u32() % 300) - 40 : int(VstInt32(p.u32())));
                mouse.left = p.u8() % 2, mouse.right = p.u8() % 2, mouse.shift = p.u8() % 2;
                mouse.ctrl = p.u8() % 2, mouse.alt = p.u8() % 2;
                mouse.delta = VstInt32(p.u32()) % 100;
                ptr = &mouse;
                break;
            default: ptr = tickRect; break;
            }
        } else {
            ptr = textOf(kParamText, false);  // the parameter-display extension writes a parameter text
        }
        break;
    case effGetParameterProperties:  // a record well under this size
    default: ptr = textOf(kAnyBuffer, false); break;
    }
    if (null && opcode != effSetSpeakerArrangement && opcode != effGetSpeakerArrangement)
        ptr = nullptr;

    const VstIntPtr answer = dispatch(e, opcode, index, value, ptr, opt);

    // What came back must be usable as documented.
    if (!text.empty() && ptr == text.data() && !std::memchr(text.data(), 0, text.size()))
        fail("a text answer without terminator", opcode);
    if (opcode == effGetChunk && ptr && answer > 0 && !out)
        fail("effGetChunk gave a size and no data", long(answer));
    if (opcode == effEditGetRect && answer == 1 && rect &&
        (rect->right - rect->left != kEditorWidth || rect->bottom - rect->top != kEditorHeight))
        fail("the editor's rectangle changed", rect->right - rect->left);
    if (opcode == effEditOpen && answer == 1)
        in.editorOpen = true;
    if (opcode == effEditClose)
        in.editorOpen = false;
}

void run(const std::uint8_t* data, std::size_t size)
{
    Program p(data, size);
    const std::uint8_t head = p.u8();
    const int count = 1 + head % kMaxInstances;
    Instance* instances = pool().slots;
    int creations = 0;
    for (int i = 0; i < count; ++i) {
        const char* product = kHostNames[(head / kMaxInstances + i) % std::size(kHostNames)];
        if (!instances[i].effect || instances[i].host->product != product)
            assign(instances[i], product);
        restart(instances[i]);
    }
    gSnapshots = 0;
    long framesLeft = kMaxFrames;
    for (int step = 0; step < kMaxSteps && !p.done(); ++step) {
        const std::uint8_t b = p.u8();
        Instance& in = instances[(b >> 6) % count];
        AEffect* e = in.effect;
        constexpr int kSteps = 14;
        switch ((b & 63) % kSteps) {
        case 0:
        case 1: dispatchStep(e, p, in); break;
        case 2: e->setParameter(e, p.index() % 16, p.opt()); break;
        case 3: {
            const float v = e->getParameter(e, p.index());
            if (!std::isfinite(v) || v < 0.0f || v > 1.0f)
                fail("getParameter outside [0, 1]", long(v));
            break;
        }
        case 4: dispatch(e, effSetSampleRate, 0, 0, nullptr, p.opt()); break;
        case 5: dispatch(e, effSetBlockSize, 0, p.u8() % 2 ? p.value() : p.frames()); break;
        case 6: {
            const VstIntPtr on = p.u8() % 3;
            dispatch(e, effMainsChanged, 0, on == 2 ? p.value() : on);
            break;
        }
        case 7:
        case 8:
        case 9: {
            const Run kind = static_cast<Run>(p.u8() % 3);
            int frames = p.frames();
            const Fill fill = static_cast<Fill>(p.u8() % int(Fill::kCount));
            const std::uint8_t mask = p.u8();
            const int nullMask = mask < 16 ? mask & 7 : 0;  // now and then a missing array
            if (frames > 0 && frames > framesLeft)
                frames = int(framesLeft);
            if (frames > 0)
                framesLeft -= frames;
            process(e, kind, frames, fill, nullMask, p, false);
            break;
        }
        case 10: {  // a project restore or a preset: the chunk straight from the program
            std::vector<std::uint8_t> chunk(p.u8() % 2 ? 8 + 8 * std::size_t(e->numParams) : p.u8());
            p.fill(chunk.data(), chunk.size());
            if (chunk.size() >= 8 && p.u8() % 4)
                std::memcpy(chunk.data(), "tffp\0\0\1\0", 8);
            chunk.reserve(1);
            dispatch(e, effSetChunk, p.u8() % 2, VstIntPtr(chunk.size()), chunk.data());
            break;
        }
        case 11: {  // the editor: offscreen open, a few idle ticks, maybe a close
            const std::uint8_t what = p.u8() % 3;
            if (what == 0) {
                if (dispatch(e, effEditOpen) == 1)
                    in.editorOpen = true;
                ERect* rect = nullptr;
                dispatch(e, effEditGetRect, 0, 0, &rect);
            } else if (what == 1) {
                int rect[4];
                for (int t = p.u8() % 4; t >= 0; --t) {
                    dispatch(e, effEditIdle);
                    dispatch(e, effVendorSpecific, kEditorProbeIndex, kProbeTick, t % 2 ? rect : nullptr);
                }
            } else {
                dispatch(e, effEditClose);
                in.editorOpen = false;
            }
            break;
        }
        case 12: {  // the host's transport changes what audioMasterGetTime reports
            VstTimeInfo& t = in.host->time;
            t.tempo = p.opt();
            t.samplePos = p.opt();
            t.ppqPos = p.opt();
            t.sampleRate = p.opt();
            t.timeSigNumerator = p.index();
            t.timeSigDenominator = p.index();
            t.flags = VstInt32(p.u32());
            break;
        }
        case 13:  // the host closes an instance and makes a new one in its place
            if (creations < kMaxCreations) {
                const char* product = in.host->product;
                destroy(in);
                create(in, product);
                ++creations;
            }
            break;
        }
        checkLatency(in.effect);
    }

    for (int i = 0; i < count; ++i) {
        AEffect* e = instances[i].effect;
        checkParameters(e);
        checkChunkRoundTrip(e);
        checkParameters(e);
        checkLatency(e);
        // Finite input again, mains cycled, a rate and block size the host
        // may have set or not: the output must be finite again.
        dispatch(e, effMainsChanged, 0, 0);
        dispatch(e, effMainsChanged, 0, 1);
        process(e, Run::kReplacing, kCheckFrames, Fill::kSine, 0, p, true);
        process(e, Run::kDouble, kCheckFrames / 2, Fill::kNoise, 0, p, true);
        // The editor closes with the input: what it took is given back within
        // the input, so libFuzzer sees as many frees as allocations and does
        // not rerun the input for a leak check every time an editor opened.
        dispatch(e, effEditClose);
        instances[i].editorOpen = false;
    }
}

void closeAll()
{
    for (Instance& in : pool().slots)
        destroy(in);
    for (Instance& in : pool().spares)
        destroy(in);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The pool first, so that the instances are closed at exit before their hosts go.
    pool();
    std::atexit(closeAll);
    // The editor's images are decoded once per process, on first draw (over a
    // second here): done now, so no input is charged with it as a slow one.
    Instance warm;
    create(warm, "");
    std::vector<std::uint32_t> pixels(std::size_t(kEditorWidth) * kEditorHeight);
    EditorProbeImage image{kEditorWidth, kEditorHeight, pixels.data()};
    dispatch(warm.effect, effVendorSpecific, kEditorProbeIndex, kProbeSnapshot, &image);
    destroy(warm);
    // A mouse click on the editor's web link starts the desktop's opener: with
    // nothing on the search path it fails at once and no browser starts.
    setenv("PATH", "/nonexistent-duv-fuzz", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    run(data, size);
    return 0;
}

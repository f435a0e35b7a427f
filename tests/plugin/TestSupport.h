// Helpers shared by the plug-in tests: an effect built directly (no module),
// with a host callback that records what the plug-in asks.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "effect/DUVEffect.h"
#include "plugin/vst2/VstApi.h"

// A stand-in host: answers identity queries and records automation calls.
struct FakeHost {
  std::string product;
  int vendorVersion = 0;
  int productQueries = 0;
  VstTimeInfo* time = nullptr;
  std::vector<VstInt32> opcodes;     // every call, in order
  std::vector<int> automatedIndex;   // audioMasterAutomate
  std::vector<float> automatedValue;
  int eventsReceived = 0;

  static FakeHost*& Current() {
    static FakeHost* current = nullptr;
    return current;
  }
  static VstIntPtr Callback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr,
                            float opt) {
    FakeHost* h = Current();
    if (!h) return 0;
    h->opcodes.push_back(opcode);
    switch (opcode) {
      case audioMasterAutomate:
        h->automatedIndex.push_back(index);
        h->automatedValue.push_back(opt);
        return 0;
      case audioMasterGetProductString:
        ++h->productQueries;
        std::strncpy(static_cast<char*>(ptr), h->product.c_str(), 63);
        return 1;
      case audioMasterGetVendorVersion:
        return h->vendorVersion;
      case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(h->time);
      case audioMasterProcessEvents:
        ++h->eventsReceived;
        return 1;
      default:
        return 0;
    }
  }
};

// Builds the effect against a FakeHost made current for the test's duration.
class EffectFixture {
 public:
  EffectFixture() {
    FakeHost::Current() = &host;
    effect = std::make_unique<DUVEffect>(&FakeHost::Callback);
  }
  ~EffectFixture() { FakeHost::Current() = nullptr; }

  AEffect* Record() { return effect->GetAEffect(); }
  VstIntPtr Dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    return Record()->dispatcher(Record(), op, index, value, ptr, opt);
  }
  std::vector<std::uint8_t> Chunk(bool program) {
    void* data = nullptr;
    VstIntPtr n = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
    auto* p = static_cast<std::uint8_t*>(data);
    return n > 0 ? std::vector<std::uint8_t>(p, p + n) : std::vector<std::uint8_t>{};
  }
  VstIntPtr SetChunk(std::vector<std::uint8_t> bytes, bool program) {
    return Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(bytes.size()),
                    bytes.data());
  }
  std::string Text(VstInt32 op, VstInt32 index = 0) {
    char buffer[256];
    std::memset(buffer, 'X', sizeof buffer);
    buffer[255] = '\0';
    Dispatch(op, index, 0, buffer);
    return buffer;
  }

  FakeHost host;
  std::unique_ptr<DUVEffect> effect;
};

// Little-endian bytes of doubles, appended to a byte vector.
inline void AppendDoubles(std::vector<std::uint8_t>* out, std::initializer_list<double> values) {
  for (double v : values) {
    std::uint8_t b[8];
    std::memcpy(b, &v, 8);
    out->insert(out->end(), b, b + 8);
  }
}

#include <gtest/gtest.h>

#include <vector>

#include "graphics/IControl.h"
#ifdef _WIN32
#include "graphics/platform/win/IGraphicsWin.h"
using HeadlessGraphics = IGraphicsWin;  // no window until OpenWindow
#else
#include "graphics/platform/linux/IGraphicsLinux.h"
using HeadlessGraphics = IGraphicsLinux;
#endif
#include "plugin/HostId.h"
#include "tests/plugin/TestSupport.h"

namespace {

// A bare plug-in on the binding with the base's pass-through ProcessBlock.
class PassThrough : public IPluginVST {
 public:
  explicit PassThrough(const char* io, int nParams = 2, int nPresets = 0,
                       audioMasterCallback cb = nullptr)
      : IPluginVST(cb, nParams, io, nPresets, "pass", "product", "maker", 0x00010100,
                   PackFourChars("Pass"), PackFourChars("Mkr_"), 0, false, false, false) {
    for (int i = 0; i < nParams; ++i) ParamAt(i)->SetupDouble("p", 0.25, 0, 1, 0.01);
  }
};

// Records what the core pushes into the editor: one control per parameter.
class RecordingControl : public IControl {
 public:
  struct Push {
    double value;
  };
  RecordingControl(IPluginBase* plug, int paramIdx) : IControl(plug, IRect{0, 0, 1, 1}, paramIdx) {}
  bool Draw(IGraphics*) override { return true; }
  void SetValueFromPlug(double v) override {
    pushes.push_back({v});
    IControl::SetValueFromPlug(v);
  }
  std::vector<Push> pushes;
};

class RecordingGraphics : public HeadlessGraphics {
 public:
  RecordingGraphics(IPluginBase* plug, int nParams) : HeadlessGraphics(plug, 716, 227, 24) {
    for (int i = 0; i < nParams; ++i) {
      controls.push_back(new RecordingControl(plug, i));
      AttachControl(controls.back());
    }
  }
  std::size_t TotalPushes() const {
    std::size_t n = 0;
    for (auto* c : controls) n += c->pushes.size();
    return n;
  }
  void PrepareDrawing() override {
    prepared = TotalPushes();
    HeadlessGraphics::PrepareDrawing();
  }
  void* OpenWindow(void*) override { return open = true, this; }
  void CloseWindow() override { open = false; }
  std::vector<RecordingControl*> controls;
  std::size_t prepared = 0;
  bool open = false;
};

TEST(ChannelConfig, ParsesPairsAndAnswersLegalIO) {
  PassThrough p("1-1 2-2");
  EXPECT_EQ(p.NInChannels(), 2);
  EXPECT_EQ(p.NOutChannels(), 2);
  EXPECT_TRUE(p.LegalIO(1, 1));
  EXPECT_TRUE(p.LegalIO(2, 2));
  EXPECT_TRUE(p.LegalIO(1, -1));
  EXPECT_TRUE(p.LegalIO(-1, 2));
  EXPECT_FALSE(p.LegalIO(1, 2));
  EXPECT_FALSE(p.LegalIO(2, 1));
  EXPECT_EQ(p.GetAEffect()->flags, 0x1018);  // mono capable, replacing, double

  PassThrough wide("  2-4 6-8");
  EXPECT_EQ(wide.NInChannels(), 6);
  EXPECT_EQ(wide.NOutChannels(), 8);
  EXPECT_EQ(wide.GetAEffect()->flags, 0x1010);
}

TEST(ChannelConfigDeathTest, MalformedEntryStops) {
  EXPECT_DEATH(PassThrough("1-1 x"), "cannot parse");
}

TEST(BlockSize, SameSizeKeepsScratchNewSizeZeroes) {
  PassThrough p("2-2");
  EXPECT_EQ(p.BlockSize(), 1024);
  EXPECT_FALSE(p.SetBlockSize(0));
  EXPECT_FALSE(p.SetBlockSize(-5));
  EXPECT_FALSE(p.SetBlockSize(IPluginBase::kMaxBlockSize + 1));
  EXPECT_EQ(p.BlockSize(), 1024);

  std::vector<float> in(1024, 0.5f), out(1024);
  float* ins[] = {in.data(), in.data()};
  float* outs[] = {out.data(), out.data()};
  p.BindInputBuffers(0, 2, ins, 1024);
  p.BindOutputBuffers(0, 2, outs);
  p.RunBlock(1024);
  EXPECT_TRUE(p.SetBlockSize(1024));
  // Disconnect input 0: it now reads its scratch, which still holds the 0.5s.
  std::vector<float> out0(1024, 9.f), out1(1024, 9.f);
  float* outs2[] = {out0.data(), out1.data()};
  ASSERT_TRUE(p.SetBlockSize(512));
  p.BindInputBuffers(0, 2, ins, 512);
  p.BindOutputBuffers(0, 2, outs2);
  p.RunBlock(512);
  EXPECT_EQ(out0[5], 0.5f);
  p.ConnectInputs(0, 1, false);  // a disconnected input reads silence
  float* one[] = {in.data()};
  p.BindInputBuffers(0, 2, one, 512);
  p.BindOutputBuffers(0, 2, outs2);
  p.RunBlock(512);
  EXPECT_EQ(out0[5], 0.0f);
  EXPECT_EQ(out1[5], 0.5f);
}

TEST(Binding, HostArraysGoToConnectedChannelsInOrder) {
  PassThrough p("2-2");
  p.ConnectInputs(0, 1, false);
  std::vector<float> a(16, 3.0f), l(16, -1.f), r(16, -1.f);
  float* ins[] = {a.data()};
  float* outs[] = {l.data(), r.data()};
  p.BindInputBuffers(0, 2, ins, 16);
  p.BindOutputBuffers(0, 2, outs);
  p.RunBlock(16);
  EXPECT_EQ(l[0], 0.0f);  // channel 0 reads its own (zero) scratch
  EXPECT_EQ(r[0], 3.0f);  // channel 1 took the host's first array
}

TEST(Binding, HostileRangesAreClamped) {
  PassThrough p("2-2");
  p.ConnectInputs(-5, 100, false);
  EXPECT_FALSE(p.IsInChannelConnected(0));
  EXPECT_FALSE(p.IsInChannelConnected(1));
  p.ConnectInputs(1, INT32_MAX, true);
  EXPECT_FALSE(p.IsInChannelConnected(0));
  EXPECT_TRUE(p.IsInChannelConnected(1));
  p.ConnectOutputs(7, 3, false);  // beyond the list: nothing
  EXPECT_TRUE(p.IsOutChannelConnected(1));
}

TEST(Binding, ReplacingAccumulatingAndDouble) {
  PassThrough p("1-1 2-2");
  AEffect* e = p.GetAEffect();
  std::vector<float> l(64), r(64), ol(64, 1.f), orr(64, 1.f);
  for (int i = 0; i < 64; ++i) {
    l[i] = 0.01f * i;
    r[i] = -0.02f * i;
  }
  float* ins[] = {l.data(), r.data()};
  float* outs[] = {ol.data(), orr.data()};
  e->processReplacing(e, ins, outs, 64);
  EXPECT_EQ(ol, l);
  EXPECT_EQ(orr, r);
  e->process(e, ins, outs, 64);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(ol[i], 2 * l[i]);

  std::vector<double> dl(64), dr(64), dol(64), dor(64);
  for (int i = 0; i < 64; ++i) {
    dl[i] = 1e-3 * i + 1e-12;  // values that single precision could not carry
    dr[i] = -dl[i];
  }
  double* dins[] = {dl.data(), dr.data()};
  double* douts[] = {dol.data(), dor.data()};
  e->processDoubleReplacing(e, dins, douts, 64);
  EXPECT_EQ(dol, dl);
  EXPECT_EQ(dor, dr);
}

TEST(Binding, BlocksLongerThanAnnouncedRunInSlices) {
  PassThrough p("2-2");
  AEffect* e = p.GetAEffect();
  e->dispatcher(e, effSetBlockSize, 0, 64, nullptr, 0);
  const int n = 1000;
  std::vector<float> l(n), r(n), ol(n), orr(n);
  for (int i = 0; i < n; ++i) l[i] = r[i] = static_cast<float>(i);
  float* ins[] = {l.data(), r.data()};
  float* outs[] = {ol.data(), orr.data()};
  e->processReplacing(e, ins, outs, n);
  EXPECT_EQ(ol, l);
  p.ConnectInputs(0, 1, false);  // the unconnected channel's scratch is only 64 long
  std::vector<double> d(n, 1.0), od0(n, 5.0), od1(n, 5.0);
  for (int i = 0; i < n; ++i) d[i] = i;
  double* dins[] = {d.data()};
  double* douts[] = {od0.data(), od1.data()};
  e->processDoubleReplacing(e, dins, douts, n);
  EXPECT_EQ(od0[n - 1], 0.0);
  EXPECT_EQ(od1, d);
  // Null arrays from a host are ignored.
  e->processReplacing(e, nullptr, outs, n);
  float* nullOuts[] = {nullptr, nullptr};
  e->processReplacing(e, ins, nullOuts, n);
}

TEST(Identity, VersionForms) {
  PassThrough p("1-1");
  EXPECT_EQ(p.EffectVersion(true), 10100);
  EXPECT_EQ(p.EffectVersion(false), 0x00010100);
  char text[32];
  p.EffectVersionText(text);
  EXPECT_STREQ(text, "v1.01");
  EXPECT_EQ(p.GetAEffect()->uniqueID, 0x50617373);
}

TEST(Identity, ZeroPresetsStillGiveOneDefault) {
  PassThrough p("1-1", 2, 0);
  EXPECT_EQ(p.NPresets(), 0);
  p.EnsureOnePreset();
  ASSERT_EQ(p.NPresets(), 1);
  EXPECT_STREQ(p.PresetName(0), "Default");
  EXPECT_TRUE(p.LoadPreset(0));
}

TEST(Editor, AttachPushesNormalisedValuesBeforeStoring) {
  PassThrough p("1-1", 3);
  p.AttachEditor(nullptr);
  EXPECT_EQ(p.GetAEffect()->flags & effFlagsHasEditor, 0);
  ERect* rect = nullptr;
  EXPECT_EQ(p.GetAEffect()->dispatcher(p.GetAEffect(), effEditGetRect, 0, 0, &rect, 0), 0);

  auto* g = new RecordingGraphics(&p, 3);
  p.ParamAt(1)->Set(0.5);
  p.AttachEditor(g);
  EXPECT_EQ(g->TotalPushes(), 3u);
  EXPECT_EQ(g->prepared, 3u);  // values first, then the surface
  ASSERT_EQ(g->controls[1]->pushes.size(), 1u);
  EXPECT_EQ(g->controls[1]->pushes[0].value, 0.5);  // normalised (range 0..1 here)
  EXPECT_EQ(p.GetAEffect()->flags, 0x1019);
  ASSERT_EQ(p.GetAEffect()->dispatcher(p.GetAEffect(), effEditGetRect, 0, 0, &rect, 0), 1);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 227);
  EXPECT_EQ(rect->right, 716);

  p.ParamAt(0)->Set(0.75);
  p.PushParamsToEditor();  // plain values, converted to normalised by the graphics object
  ASSERT_EQ(g->controls[0]->pushes.size(), 2u);
  EXPECT_EQ(g->controls[0]->GetValue(), 0.75);

  AEffect* e = p.GetAEffect();
  EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0), 1);
  EXPECT_TRUE(g->open);
  EXPECT_EQ(e->dispatcher(e, effEditClose, 0, 0, nullptr, 0), 1);
  EXPECT_FALSE(g->open);

  e->setParameter(e, 2, 0.75f);  // host automation reaches the editor, normalised
  ASSERT_EQ(g->controls[2]->pushes.size(), 3u);  // attach, push of plain values, automation
  EXPECT_EQ(g->controls[2]->pushes[2].value, 0.75);
}

TEST(HostIdentification, FragmentTable) {
  EXPECT_EQ(IdentifyHost("REAPER"), kHostReaper);
  EXPECT_EQ(IdentifyHost("Cubase SX"), kHostCubase);
  EXPECT_EQ(IdentifyHost("Ableton Live 9"), kHostLive);
  EXPECT_EQ(IdentifyHost("reaper cubase"), kHostCubase);  // the earlier fragment wins
  EXPECT_EQ(IdentifyHost(""), kHostUnknown);
  EXPECT_EQ(IdentifyHost(nullptr), kHostUnknown);
  EXPECT_EQ(IdentifyHost("Adobe Audition"), kHostAudition);
  EXPECT_EQ(IdentifyHost("SAWStudio"), kHostSawStudio);
  EXPECT_EQ(PackDecimalVersion(10203), 0x00010203);
  EXPECT_EQ(PackDecimalVersion(-5), 0);
}

TEST(HostIdentification, AskedOnceEvenWithoutAName) {
  EffectFixture f;
  f.host.product = "";
  EXPECT_EQ(f.effect->GetHost(), kHostUnknown);
  EXPECT_EQ(f.effect->GetHost(), kHostUnknown);
  EXPECT_EQ(f.host.productQueries, 1);
  for (VstInt32 op : f.host.opcodes) EXPECT_NE(op, audioMasterGetVendorVersion);
}

TEST(HostIdentification, VersionAndStereoLimitForSomeHosts) {
  EffectFixture f;
  f.host.product = "Adobe Audition CS6";
  f.host.vendorVersion = 10203;
  f.Dispatch(effOpen);
  EXPECT_EQ(f.effect->StoredHost(), kHostAudition);
  EXPECT_EQ(f.effect->HostVersion(), 0x00010203);
  f.Dispatch(effOpen);  // the setup runs once
  EXPECT_EQ(f.host.productQueries, 1);
}

TEST(HostTime, TempoSignatureAndPosition) {
  EffectFixture f;
  EXPECT_EQ(f.effect->GetTempo(), 0.0);
  EXPECT_EQ(f.effect->GetSamplePos(), 0);
  VstTimeInfo t{};
  t.samplePos = 12345.9;
  t.tempo = 128;
  t.timeSigNumerator = 7;
  t.timeSigDenominator = 8;
  t.flags = kVstTempoValid;
  f.host.time = &t;
  EXPECT_EQ(f.effect->GetSamplePos(), 12345);
  EXPECT_EQ(f.effect->GetTempo(), 128.0);
  int num = -1, den = -1;
  f.effect->GetTimeSignature(&num, &den);
  EXPECT_EQ(num, 0);  // signature flag not set
  t.flags |= kVstTimeSigValid;
  f.effect->GetTimeSignature(&num, &den);
  EXPECT_EQ(num, 7);
  EXPECT_EQ(den, 8);
  t.samplePos = -4;
  EXPECT_EQ(f.effect->GetSamplePos(), 0);
}

}  // namespace

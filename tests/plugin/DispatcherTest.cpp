#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>

#include "plugin/vst2/VstEntry.h"
#include "tests/plugin/TestSupport.h"

namespace {

TEST(Record, FieldsAfterCreation) {
  EffectFixture f;
  AEffect* e = f.Record();
  EXPECT_EQ(e->magic, 0x56737450);
  EXPECT_EQ(e->numParams, 11);
  EXPECT_EQ(e->numPrograms, 12);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->initialDelay, 4096);
  EXPECT_EQ(e->version, 10100);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->uniqueID, ('D' << 24) | ('U' << 16) | ('V' << 8) | '_');
  EXPECT_EQ(e->flags, 0x1019);  // the editor is attached by the constructor
  EXPECT_EQ(e->object, f.effect.get());
  EXPECT_EQ(e->resvd1, 0);
  EXPECT_EQ(e->realQualities, 0);
  for (char c : e->future) EXPECT_EQ(c, 0);
  f.effect->SetLatency(100);
  EXPECT_EQ(e->initialDelay, 100);
}

TEST(Dispatcher, FixedAnswers) {
  EffectFixture f;
  EXPECT_EQ(f.Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(f.Dispatch(effIdentify), 0x4E764566);
  EXPECT_EQ(f.Dispatch(effGetPlugCategory), 1);
  EXPECT_EQ(f.Dispatch(effGetVendorVersion), 0);
  EXPECT_EQ(f.Dispatch(effCanBeAutomated, 3), 1);
  EXPECT_EQ(f.Dispatch(effProcessVarIo), 0);
  EXPECT_EQ(f.Dispatch(effGetTailSize), 0);
  EXPECT_EQ(f.Dispatch(effSetBypass, 0, 1), 0);
  EXPECT_EQ(f.Dispatch(effString2Parameter, 0, 0, const_cast<char*>("1")), 0);
  EXPECT_EQ(f.Dispatch(effStartProcess), 0);
  EXPECT_EQ(f.Dispatch(effGetParameterProperties, 0, 0, nullptr), 0);
  EXPECT_EQ(f.Dispatch(9999), 0);
  EXPECT_EQ(f.Dispatch(-1), 0);
}

TEST(Dispatcher, CanDo) {
  EffectFixture f;
  EXPECT_EQ(f.Dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstTimeInfo")), 1);
  EXPECT_EQ(f.Dispatch(effCanDo, 0, 0, const_cast<char*>("hasVendorExtensions")), 0xBEEF0000);
  EXPECT_EQ(f.Dispatch(effCanDo, 0, 0, const_cast<char*>("hasVendorViewAsConfig")), 0xBEEF0000);
  EXPECT_EQ(f.Dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")), 0);
  EXPECT_EQ(f.Dispatch(effCanDo, 0, 0, const_cast<char*>("bypass")), 0);
  EXPECT_EQ(f.Dispatch(effCanDo, 0, 0, const_cast<char*>("ReceiveVstTimeInfo")), 0);
  EXPECT_EQ(f.Dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST(Dispatcher, Names) {
  EffectFixture f;
  EXPECT_EQ(f.Text(effGetEffectName), "DUV");
  EXPECT_EQ(f.Text(effGetVendorString), "Pelko");
  EXPECT_EQ(f.Text(effGetProductString), "");
  EXPECT_EQ(f.Dispatch(effGetEffectName, 0, 0, nullptr), 0);
  EXPECT_EQ(f.Dispatch(effGetVendorString, 0, 0, nullptr), 0);
  EXPECT_EQ(f.Dispatch(effGetProductString, 0, 0, nullptr), 0);
}

TEST(Dispatcher, ParameterTextsAfterCreation) {
  EffectFixture f;
  const char* names[] = {"wet",   "cents 1", "delay 1",     "cents 2",       "delay 2",
                         "stereo width", "color", "bypass", "knob action", "rocker action",
                         "detector HPF"};
  const char* displays[] = {"0.750", "-10.0", "7.5", "10.0", "15.0", "100",
                            "0.250", "off",   "drag", "fade", "100"};
  const char* labels[] = {"", "cents", "ms", "cents", "ms", "%", "", "", "", "", "Hz"};
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(f.Text(effGetParamName, i), names[i]) << i;
    EXPECT_EQ(f.Text(effGetParamDisplay, i), displays[i]) << i;
    EXPECT_EQ(f.Text(effGetParamLabel, i), labels[i]) << i;
  }
}

TEST(Dispatcher, BadIndicesAndNullPointersAreIgnored) {
  EffectFixture f;
  for (VstInt32 op : {effGetParamLabel, effGetParamDisplay, effGetParamName}) {
    for (VstInt32 index : {-1, 11, 1 << 30}) {
      char text[64] = "untouched";
      EXPECT_EQ(f.Dispatch(op, index, 0, text), 0);
      EXPECT_STREQ(text, "untouched");
    }
    EXPECT_EQ(f.Dispatch(op, 0, 0, nullptr), 0);
  }
  for (VstInt32 op : {effGetProgramName, effSetProgramName, effGetChunk, effSetChunk,
                      effProcessEvents, effGetProgramNameIndexed, effGetInputProperties,
                      effGetOutputProperties, effEditGetRect, effVendorSpecific,
                      effGetMidiKeyName, effCanDo})
    EXPECT_EQ(f.Dispatch(op, 7, 0, nullptr), 0) << op;
  EXPECT_EQ(f.Dispatch(effSetSpeakerArrangement, 0, 0, nullptr), 1);
  EXPECT_EQ(f.Dispatch(effGetSpeakerArrangement, 0, 0, nullptr), 1);
  EXPECT_EQ(f.Dispatch(effEditOpen, 0, 0, nullptr), 0);  // no parent window: no editor window
  EXPECT_EQ(f.Dispatch(effEditClose), 1);  // an editor is attached
  EXPECT_EQ(f.Record()->getParameter(f.Record(), -1), 0.0f);
  EXPECT_EQ(f.Record()->getParameter(f.Record(), 11), 0.0f);
  f.Record()->setParameter(f.Record(), 11, 0.5f);
  f.Record()->setParameter(f.Record(), -3, 0.5f);

  AEffect orphan{};  // a record without its object
  EXPECT_EQ(IPluginVST::VSTDispatcher(&orphan, effGetVstVersion, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(IPluginVST::VSTDispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(IPluginVST::VSTGetParameter(&orphan, 0), 0.0f);
}

TEST(Dispatcher, PinProperties) {
  EffectFixture f;
  VstPinProperties pin{};
  ASSERT_EQ(f.Dispatch(effGetInputProperties, 0, 0, &pin), 1);
  EXPECT_EQ(pin.flags, 3);
  EXPECT_STREQ(pin.label, "Input 1");
  ASSERT_EQ(f.Dispatch(effGetInputProperties, 1, 0, &pin), 1);
  EXPECT_EQ(pin.flags, 1);
  EXPECT_STREQ(pin.label, "Input 2");
  EXPECT_EQ(f.Dispatch(effGetInputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(f.Dispatch(effGetInputProperties, -1, 0, &pin), 0);
  ASSERT_EQ(f.Dispatch(effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Output 2");
}

TEST(Dispatcher, VendorSpecificFormatsANormalisedValue) {
  EffectFixture f;
  char text[64] = "untouched";
  EXPECT_EQ(f.Dispatch(effVendorSpecific, 7, kDelay1, text, 0.5f), 0xBEEF);
  EXPECT_STREQ(text, "52.5");
  std::strcpy(text, "untouched");
  EXPECT_EQ(f.Dispatch(effVendorSpecific, 7, 11, text, 0.5f), 0xBEEF);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(f.Dispatch(effVendorSpecific, 6, kDelay1, text, 0.5f), 0);
}

TEST(Dispatcher, SpeakerArrangementsAreClampedToExistingChannels) {
  EffectFixture f;
  VstSpeakerArrangement in{}, out{};
  in.numChannels = 1;
  out.numChannels = 99;
  EXPECT_EQ(f.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 1);
  EXPECT_TRUE(f.effect->IsInChannelConnected(0));
  EXPECT_FALSE(f.effect->IsInChannelConnected(1));
  EXPECT_TRUE(f.effect->IsOutChannelConnected(1));
  in.numChannels = -7;
  f.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), nullptr);
  EXPECT_FALSE(f.effect->IsInChannelConnected(0));

  VstSpeakerArrangement* gotIn = nullptr;
  VstSpeakerArrangement* gotOut = nullptr;
  EXPECT_EQ(f.Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&gotIn), &gotOut), 1);
  ASSERT_NE(gotIn, nullptr);
  ASSERT_NE(gotOut, nullptr);
  EXPECT_EQ(gotIn->numChannels, 2);
  EXPECT_EQ(gotOut->numChannels, 2);
}

TEST(Dispatcher, EventsMidiAndPassThrough) {
  EffectFixture f;
  VstEvents none{};
  EXPECT_EQ(f.Dispatch(effProcessEvents, 0, 0, &none), 1);
  // A MIDI event goes out again through the base's pass-through; any other event too.
  VstMidiEvent midi{};
  midi.type = kVstMidiType;
  midi.byteSize = sizeof midi;
  midi.midiData[0] = static_cast<char>(0x90);
  VstEvent sysex{};
  sysex.type = 6;
  VstEvents two{};
  two.numEvents = 2;
  two.events[0] = reinterpret_cast<VstEvent*>(&midi);
  two.events[1] = &sysex;
  EXPECT_EQ(f.Dispatch(effProcessEvents, 0, 0, &two), 1);
  EXPECT_EQ(f.host.eventsReceived, 2);
  // Hosts pass lists longer than the two entries the record declares: the
  // list is read as the array it really is (under UBSan, indexing the
  // declared array past its end is a finding).
  VstEvent more[3]{};
  for (VstEvent& ev : more) ev.type = 6;
  alignas(VstEvents) unsigned char block[offsetof(VstEvents, events) + 3 * sizeof(VstEvent*)]{};
  auto* three = reinterpret_cast<VstEvents*>(block);
  three->numEvents = 3;
  auto** slots = reinterpret_cast<VstEvent**>(block + offsetof(VstEvents, events));
  for (int i = 0; i < 3; ++i) slots[i] = &more[i];
  EXPECT_EQ(f.Dispatch(effProcessEvents, 0, 0, three), 1);
  EXPECT_EQ(f.host.eventsReceived, 5);
  VstEvents hostile{};
  hostile.numEvents = -4;
  EXPECT_EQ(f.Dispatch(effProcessEvents, 0, 0, &hostile), 1);
}

TEST(Dispatcher, MidiKeyNameIsEmptied) {
  EffectFixture f;
  MidiKeyName key{};
  std::strcpy(key.keyName, "stale");
  key.thisKeyNumber = 60;
  EXPECT_EQ(f.Dispatch(effGetMidiKeyName, 0, 0, &key), 0);
  EXPECT_STREQ(key.keyName, "");
}

TEST(Dispatcher, RatesAndBlockSizesThatCannotWorkAreIgnored) {
  EffectFixture f;
  f.Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  EXPECT_EQ(f.effect->GetSampleRate(), 48000.0);
  for (float bad : {0.0f, -44100.0f, std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN(), 1e20f}) {
    f.Dispatch(effSetSampleRate, 0, 0, nullptr, bad);
    EXPECT_EQ(f.effect->GetSampleRate(), 48000.0);
  }
  f.Dispatch(effSetBlockSize, 0, 256);
  EXPECT_EQ(f.effect->BlockSize(), 256);
  for (VstIntPtr bad : {VstIntPtr{0}, VstIntPtr{-1}, VstIntPtr{1} << 40}) {
    f.Dispatch(effSetBlockSize, 0, bad);
    EXPECT_EQ(f.effect->BlockSize(), 256);
  }
}

TEST(Parameters, HostSetAndGet) {
  EffectFixture f;
  AEffect* e = f.Record();
  EXPECT_FLOAT_EQ(e->getParameter(e, kWet), 0.75f);
  e->setParameter(e, kStereoWidth, 0.52f);  // 76 after rounding to the step
  EXPECT_EQ(f.effect->ParamAt(kStereoWidth)->Value(), 76.0);
  EXPECT_TRUE(f.host.automatedIndex.empty());  // the host made the change: not echoed
  f.effect->SetParameterFromGUI(kColor, 0.5);
  ASSERT_EQ(f.host.automatedIndex.size(), 1u);
  EXPECT_EQ(f.host.automatedIndex[0], kColor);
  EXPECT_EQ(f.host.automatedValue[0], 0.5f);
  f.effect->SetParameterFromGUI(42, 0.5);  // ignored
  EXPECT_EQ(f.host.automatedIndex.size(), 1u);
  // What the editor hands over out of range reaches the host as the nearest
  // end of [0, 1]; a NaN changes nothing and tells the host nothing.
  f.effect->SetParameterFromGUI(kColor, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(f.host.automatedIndex.size(), 1u);
  f.effect->SetParameterFromGUI(kColor, 1.5);
  f.effect->SetParameterFromGUI(kColor, -std::numeric_limits<double>::infinity());
  ASSERT_EQ(f.host.automatedValue.size(), 3u);
  EXPECT_EQ(f.host.automatedValue[1], 1.0f);
  EXPECT_EQ(f.host.automatedValue[2], 0.0f);
  EXPECT_EQ(e->getParameter(e, kColor), 0.0f);
  f.effect->BeginParamEdit(kColor);
  f.effect->EndParamEdit(kColor);
  ASSERT_GE(f.host.opcodes.size(), 2u);
  EXPECT_EQ(f.host.opcodes[f.host.opcodes.size() - 2], audioMasterBeginEdit);
  EXPECT_EQ(f.host.opcodes.back(), audioMasterEndEdit);
}

TEST(Entry, MainAndVSTPluginMainGiveIndependentInstances) {
  FakeHost host;
  FakeHost::Current() = &host;
  AEffect* a = VSTPluginMain(&FakeHost::Callback);
  AEffect* b = VSTPluginMain(&FakeHost::Callback);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  a->setParameter(a, kWet, 0.1f);
  EXPECT_FLOAT_EQ(b->getParameter(b, kWet), 0.75f);
  a->dispatcher(a, effClose, 0, 0, nullptr, 0);
  EXPECT_EQ(b->dispatcher(b, effGetVstVersion, 0, 0, nullptr, 0), 2400);
  b->dispatcher(b, effClose, 0, 0, nullptr, 0);
  FakeHost::Current() = nullptr;
}

}  // namespace

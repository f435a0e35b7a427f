#include <gtest/gtest.h>

#include "tests/plugin/TestSupport.h"

namespace {

std::vector<std::uint8_t> Header() { return {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00}; }

std::vector<std::uint8_t> DefaultChunk() {
  std::vector<std::uint8_t> bytes = Header();
  AppendDoubles(&bytes, {0.75, -10, 7.5, 10, 15, 100, 0.25, 0, 0, 0, 100});
  return bytes;
}

TEST(StateChunk, ProgramChunkAfterCreationIsExact) {
  EffectFixture f;
  EXPECT_EQ(f.Chunk(true), DefaultChunk());
  EXPECT_EQ(f.Chunk(false), DefaultChunk());  // a bank carries the same current values
}

TEST(StateChunk, RoundTripRestoresEveryValue) {
  EffectFixture a, b;
  a.effect->ParamAt(kDelay1)->Set(42.5);
  a.effect->ParamAt(kBypass)->Set(1);
  ASSERT_EQ(b.SetChunk(a.Chunk(true), true), 1);
  EXPECT_EQ(b.effect->ParamAt(kDelay1)->Value(), 42.5);
  EXPECT_EQ(b.effect->ParamAt(kBypass)->Value(), 1.0);
  EXPECT_EQ(b.Chunk(true), a.Chunk(true));
}

TEST(StateChunk, HeaderlessSnapshotLoadsAllValues) {
  EffectFixture f;
  std::vector<std::uint8_t> bytes;
  AppendDoubles(&bytes, {0.5, 1, 20, 2, 30, 75, 0.5, 1, 1, 1, 60});
  ASSERT_EQ(bytes.size(), 88u);
  EXPECT_EQ(f.SetChunk(bytes, true), 1);
  EXPECT_EQ(f.effect->ParamAt(kWet)->Value(), 0.5);
  EXPECT_EQ(f.effect->ParamAt(kDetectorHpf)->Value(), 60.0);
  EXPECT_EQ(f.effect->ParamAt(kRockerAction)->Value(), 1.0);
}

TEST(StateChunk, ShortChunkAppliesWhatItHoldsAndIsRefused) {
  EffectFixture f;
  std::vector<std::uint8_t> bytes = Header();
  AppendDoubles(&bytes, {0.5, 1, 20, 2, 30});  // 40 value bytes
  f.effect->ParamAt(kColor)->Set(0.9);
  EXPECT_EQ(f.SetChunk(bytes, true), 0);
  EXPECT_EQ(f.effect->ParamAt(kDelay2)->Value(), 30.0);
  EXPECT_EQ(f.effect->ParamAt(kStereoWidth)->Value(), 50.0);  // 0.0 clamped to its range
  EXPECT_EQ(f.effect->ParamAt(kColor)->Value(), 0.9);          // later ones untouched
}

TEST(StateChunk, StoredValuesAreClampedNotRounded) {
  EffectFixture f;
  std::vector<std::uint8_t> bytes = Header();
  AppendDoubles(&bytes, {0.12345, -10, 500, 10, 15, 100.7, 0.25, 0, 0, 0, -4});
  EXPECT_EQ(f.SetChunk(bytes, true), 1);
  EXPECT_EQ(f.effect->ParamAt(kDelay1)->Value(), 100.0);
  EXPECT_EQ(f.effect->ParamAt(kWet)->Value(), 0.12345);
  EXPECT_EQ(f.effect->ParamAt(kDetectorHpf)->Value(), 50.0);
}

TEST(StateChunk, BadSizesAndPointersChangeNothing) {
  EffectFixture f;
  std::vector<std::uint8_t> bytes = DefaultChunk();
  f.effect->ParamAt(kWet)->Set(0.1);
  EXPECT_EQ(f.Dispatch(effSetChunk, 1, -8, bytes.data()), 0);
  EXPECT_EQ(f.Dispatch(effSetChunk, 1, 96, nullptr), 0);
  EXPECT_EQ(f.Dispatch(effGetChunk, 1, 0, nullptr), 0);
  EXPECT_EQ(f.effect->ParamAt(kWet)->Value(), 0.1);
  // An empty chunk reads nothing: the first value takes its range's 0 and it is refused.
  EXPECT_EQ(f.Dispatch(effSetChunk, 1, 0, bytes.data()), 0);
}

TEST(StateChunk, LoadedChunkGoesIntoTheCurrentPresetUnlessBank) {
  EffectFixture f;
  std::vector<std::uint8_t> bytes = Header();
  AppendDoubles(&bytes, {0.5, 1, 20, 2, 30, 75, 0.5, 0, 0, 0, 60});
  ASSERT_EQ(f.SetChunk(bytes, true), 1);
  f.effect->ParamAt(kDelay2)->Set(99);
  ASSERT_TRUE(f.effect->LoadPreset(0));  // slot 0 now holds the loaded values
  EXPECT_EQ(f.effect->ParamAt(kDelay2)->Value(), 30.0);

  EffectFixture g;
  ASSERT_EQ(g.SetChunk(bytes, false), 1);  // a versioned bank leaves the slot alone
  ASSERT_TRUE(g.effect->LoadPreset(0));
  EXPECT_EQ(g.effect->ParamAt(kDelay2)->Value(), 15.0);
}

TEST(Presets, FactoryListAndNames) {
  EffectFixture f;
  EXPECT_EQ(f.Record()->numPrograms, 12);
  const char* expected[] = {"Default",     "Silky Vocal", "Heroic Guitar", "Rich Slapback",
                            "Wide Snare",  "Wide Snare",  "Brindle",       "- 8 -",
                            "- 9 -",       "- 10 -",      "- 11 -",        "- 12 -"};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(f.Text(effGetProgramNameIndexed, i), expected[i]) << i;
  EXPECT_STREQ(f.effect->PresetName(-1), "");
  EXPECT_STREQ(f.effect->PresetName(12), "");
  EXPECT_EQ(f.Dispatch(effGetProgramNameIndexed, 12, 0, nullptr), 0);
}

TEST(Presets, LoadingAFactoryPresetSetsItsValues) {
  EffectFixture f;
  f.Dispatch(effSetProgram, 0, 3);
  EXPECT_EQ(f.Dispatch(effGetProgram), 3);
  EXPECT_EQ(f.effect->ParamAt(kDelay1)->Value(), 65.0);
  EXPECT_EQ(f.effect->ParamAt(kDelay2)->Value(), 66.0);
  EXPECT_EQ(f.effect->ParamAt(kStereoWidth)->Value(), 50.0);
  EXPECT_EQ(f.Text(effGetProgramName), "Rich Slapback");
}

TEST(Presets, UninitialisedSlotCapturesAndLaterRestores) {
  EffectFixture f;
  f.effect->ParamAt(kWet)->Set(0.2);
  EXPECT_TRUE(f.effect->LoadPreset(7));
  EXPECT_STREQ(f.effect->PresetName(7), "user preset 1");
  EXPECT_TRUE(f.effect->LoadPreset(9));
  EXPECT_STREQ(f.effect->PresetName(9), "user preset 2");
  f.effect->ParamAt(kWet)->Set(0.9);
  EXPECT_TRUE(f.effect->LoadPreset(7));
  EXPECT_EQ(f.effect->ParamAt(kWet)->Value(), 0.2);
  EXPECT_FALSE(f.effect->LoadPreset(12));
  EXPECT_FALSE(f.effect->LoadPreset(-1));
}

TEST(Presets, SwitchingKeepsTheEditInThePreviousSlot) {
  EffectFixture f;
  f.Dispatch(effSetProgram, 0, 1);
  f.effect->ParamAt(kColor)->Set(0.6);
  f.Dispatch(effSetProgram, 0, 2);
  EXPECT_EQ(f.effect->ParamAt(kColor)->Value(), 0.25);
  f.Dispatch(effSetProgram, 0, 1);
  EXPECT_EQ(f.effect->ParamAt(kColor)->Value(), 0.6);
  // Program numbers beyond the list or the int range are ignored.
  f.Dispatch(effSetProgram, 0, 99);
  f.Dispatch(effSetProgram, 0, static_cast<VstIntPtr>(1) << 40);
  EXPECT_EQ(f.Dispatch(effGetProgram), 1);
}

TEST(Presets, RenameIsStoredBoundedAndCopiedOutBounded) {
  EffectFixture f;
  std::string longName(400, 'n');
  f.Dispatch(effSetProgramName, 0, 0, longName.data());
  EXPECT_EQ(std::string(f.effect->PresetName(0)).size(), 255u);
  std::string copied = f.Text(effGetProgramName);
  EXPECT_EQ(copied.size(), static_cast<std::size_t>(IPluginVST::kProgramNameBytes - 1));
  f.Dispatch(effSetProgramName, 0, 0, nullptr);  // no crash, nothing stored
  EXPECT_EQ(std::string(f.effect->PresetName(0)).size(), 255u);
}

TEST(ByteBuffer, ReadsFailPastTheEndAndAtNegativePositions) {
  IByteBuffer b;
  EXPECT_TRUE(b.PutInt32(0x01020304));
  EXPECT_TRUE(b.PutDouble(2.5));
  std::int32_t i = 0;
  double d = 0;
  EXPECT_EQ(b.GetInt32(&i, 0), 4);
  EXPECT_EQ(i, 0x01020304);
  EXPECT_EQ(b.Data()[0], 0x04);  // little-endian
  EXPECT_EQ(b.GetDouble(&d, 4), 12);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(b.GetDouble(&d, 5), -1);
  EXPECT_EQ(b.GetInt32(&i, -1), -1);
  EXPECT_FALSE(b.Resize(-1));
  EXPECT_TRUE(b.Resize(20));
  EXPECT_EQ(b.Data()[19], 0);
  EXPECT_EQ(b.GetInt32(&i, 0), 4);  // kept below the new size
  EXPECT_EQ(i, 0x01020304);
}

TEST(ByteBuffer, ChunkHeaderIsOptional) {
  EffectFixture f;
  IByteBuffer b;
  b.PutDouble(1.0);
  int pos = 0;
  EXPECT_EQ(f.effect->ReadChunkHeader(&b, &pos), 0);
  EXPECT_EQ(pos, 0);
  IByteBuffer h;
  f.effect->BeginStateChunk(&h);
  EXPECT_EQ(f.effect->ReadChunkHeader(&h, &pos), 0x00010000);
  EXPECT_EQ(pos, 8);
}

}  // namespace

// Sound file reading and writing: round trips, the all-or-nothing writer,
// format choice and failures.
#include "host/AudioFile.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>

#include "tests/render/RenderSupport.h"

TEST(AudioFile, FloatWavRoundTripIsExact) {
  ScratchDir dir;
  AudioBuffer in = Tone(48000, 3001, 2);
  std::string error;
  ASSERT_TRUE(WriteAudioFile(dir / "a.wav", in, WavFloatFormat(), &error)) << error;
  AudioBuffer out;
  AudioFormat format;
  ASSERT_TRUE(ReadAudioFile(dir / "a.wav", &out, &format, &error)) << error;
  EXPECT_EQ(format.code, WavFloatFormat().code);
  EXPECT_EQ(out.sampleRate, 48000);
  EXPECT_EQ(out.channels, 2);
  EXPECT_TRUE(out.samples == in.samples);
}

TEST(AudioFile, FlacAndAiffKeepSixteenBitsAndTheirFormat) {
  ScratchDir dir;
  AudioBuffer in = Tone(22050, 4000, 1);
  for (AudioFormat f : {FlacFormat(), AiffFormat(), Wav16Format()}) {
    SCOPED_TRACE(f.Describe());
    std::string path = dir / ("a." + f.Extension());
    std::string error;
    ASSERT_TRUE(WriteAudioFile(path, in, f, &error)) << error;
    AudioBuffer out;
    AudioFormat format;
    ASSERT_TRUE(ReadAudioFile(path, &out, &format, &error)) << error;
    EXPECT_EQ(format.code, f.code);
    EXPECT_EQ(out.sampleRate, 22050);
    ASSERT_EQ(out.samples.size(), in.samples.size());
    for (std::size_t i = 0; i < in.samples.size(); ++i)
      ASSERT_NEAR(out.samples[i], in.samples[i], 1.0 / 32768) << "sample " << i;
  }
}

TEST(AudioFile, OggVorbisRoundTripKeepsLengthAndLevel) {
  ScratchDir dir;
  AudioBuffer in = Tone(44100, 44100, 2);
  std::string error;
  ASSERT_TRUE(WriteAudioFile(dir / "a.ogg", in, OggVorbisFormat(), &error)) << error;
  AudioBuffer out;
  AudioFormat format;
  ASSERT_TRUE(ReadAudioFile(dir / "a.ogg", &out, &format, &error)) << error;
  EXPECT_EQ(format.code, OggVorbisFormat().code);
  ASSERT_EQ(out.frames(), in.frames());
  double a = 0.0, b = 0.0;
  for (std::size_t i = 0; i < in.samples.size(); ++i) {
    a += in.samples[i] * in.samples[i];
    b += out.samples[i] * out.samples[i];
  }
  EXPECT_NEAR(std::sqrt(b / a), 1.0, 0.05);
}

TEST(AudioFile, IntegerFormatsClipInsteadOfWrapping) {
  ScratchDir dir;
  AudioBuffer in;
  in.channels = 1;
  in.samples = {1.5f, -1.5f, 0.5f};
  std::string error;
  ASSERT_TRUE(WriteAudioFile(dir / "c.wav", in, Wav16Format(), &error)) << error;
  AudioBuffer out;
  ASSERT_TRUE(ReadAudioFile(dir / "c.wav", &out, nullptr, &error)) << error;
  EXPECT_NEAR(out.samples[0], 1.0f, 1e-4);
  EXPECT_NEAR(out.samples[1], -1.0f, 1e-4);
  EXPECT_NEAR(out.samples[2], 0.5f, 1e-4);
}

TEST(AudioFileWriter, NothingAppearsUntilCommitAndNothingRemainsWithout) {
  ScratchDir dir;
  AudioBuffer in = Tone(44100, 1000, 2);
  std::string error;
  {
    auto w = AudioFileWriter::Create(dir / "x.wav", Wav16Format(), 44100, 2, &error);
    ASSERT_TRUE(w) << error;
    ASSERT_TRUE(w->write(in.samples.data(), in.frames()));
    EXPECT_EQ(dir.List().size(), 1u);  // only the hidden temporary file
    EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
  }
  EXPECT_TRUE(dir.List().empty());
  {
    auto w = AudioFileWriter::Create(dir / "x.wav", Wav16Format(), 44100, 2, &error);
    ASSERT_TRUE(w) << error;
    ASSERT_TRUE(w->write(in.samples.data(), in.frames()));
    ASSERT_TRUE(w->Commit()) << w->error();
  }
  EXPECT_EQ(dir.List(), std::vector<std::string>{"x.wav"});
  // The result gets the usual permissions, not the temporary file's private ones.
  auto perms = std::filesystem::status(dir / "x.wav").permissions();
  EXPECT_NE(perms & std::filesystem::perms::owner_read, std::filesystem::perms::none);
}

TEST(AudioFileWriter, RefusesWhatCannotBeWrittenWithoutLeavingFiles) {
  ScratchDir dir;
  std::string error;
  EXPECT_FALSE(AudioFileWriter::Create(dir / "no/such/folder/x.wav", Wav16Format(), 44100, 2, &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  error.clear();
  // FLAC holds at most 8 channels.
  EXPECT_FALSE(AudioFileWriter::Create(dir / "x.flac", FlacFormat(), 44100, 9, &error));
  EXPECT_NE(error.find("9 channel"), std::string::npos) << error;
  EXPECT_TRUE(dir.List().empty());
}

TEST(AudioFileReader, MissingAndNonAudioFilesGiveAReason) {
  ScratchDir dir;
  std::string error;
  EXPECT_FALSE(AudioFileReader::Open(dir / "missing.wav", &error));
  EXPECT_NE(error.find("missing.wav"), std::string::npos) << error;
  std::ofstream(dir / "text.wav") << "this is not a sound file, just some words\n";
  error.clear();
  EXPECT_FALSE(AudioFileReader::Open(dir / "text.wav", &error));
  EXPECT_NE(error.find("text.wav"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(AudioFileReader::Open(dir.path().string(), &error));
  EXPECT_NE(error.find("folder"), std::string::npos) << error;
}

TEST(AudioFormatChoice, NameThenExtensionThenTheInput) {
  AudioFormat out;
  std::string error;
  const AudioFormat wav24{SF_FORMAT_WAV | SF_FORMAT_PCM_24};
  ASSERT_TRUE(ChooseOutputFormat("", "x.wav", wav24, &out, &error));
  EXPECT_EQ(out.code, wav24.code);  // same container: everything kept
  ASSERT_TRUE(ChooseOutputFormat("", "", wav24, &out, &error));
  EXPECT_EQ(out.code, wav24.code);
  ASSERT_TRUE(ChooseOutputFormat("", "x.unknownext", wav24, &out, &error));
  EXPECT_EQ(out.code, wav24.code);
  ASSERT_TRUE(ChooseOutputFormat("", "x.FLAC", wav24, &out, &error));
  EXPECT_EQ(out.code, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);  // the depth travels
  ASSERT_TRUE(ChooseOutputFormat("aiff", "x.flac", wav24, &out, &error));
  EXPECT_EQ(out.code, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);  // the name wins
  ASSERT_TRUE(ChooseOutputFormat("flac", "", WavFloatFormat(), &out, &error));
  EXPECT_EQ(out.code, FlacFormat().code);  // FLAC has no float: 16-bit
  ASSERT_TRUE(ChooseOutputFormat("ogg", "", wav24, &out, &error));
  EXPECT_EQ(out.code, OggVorbisFormat().code);
  ASSERT_TRUE(ChooseOutputFormat("wav", "", OggVorbisFormat(), &out, &error));
  EXPECT_EQ(out.code, Wav16Format().code);
  out.code = 123;
  EXPECT_FALSE(ChooseOutputFormat("mp9", "", wav24, &out, &error));
  EXPECT_NE(error.find("mp9"), std::string::npos);
  EXPECT_EQ(out.code, 123);
}

TEST(AudioFormatChoice, DescriptionsAndExtensions) {
  EXPECT_EQ(FlacFormat().Describe(), "FLAC 16-bit");
  EXPECT_EQ(WavFloatFormat().Describe(), "WAV float");
  EXPECT_EQ(OggVorbisFormat().Describe(), "OGG Vorbis");
  EXPECT_EQ(OggVorbisFormat().Extension(), "ogg");
  EXPECT_EQ(AiffFormat().Extension(), "aiff");
  EXPECT_TRUE(FlacFormat().SameContainer({SF_FORMAT_FLAC | SF_FORMAT_PCM_24}));
  EXPECT_FALSE(FlacFormat().SameContainer(Wav16Format()));
}

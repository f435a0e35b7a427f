// Sound file reading and writing: round trips, the all-or-nothing writer,
// format choice and failures.
#include "host/AudioFile.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "host/Pcm16.h"
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

// 16-bit WAV and AIFF are read as integers and scaled by the reader itself:
// every one of the 65536 values, in mono and stereo, and in reads of odd
// sizes, gives the floats that libsndfile's own float reading gives.
TEST(AudioFileReader, SixteenBitFilesReadAsLibsndfileReadsThem) {
  ScratchDir dir;
  std::vector<short> all(65536);
  for (int k = 0; k < 65536; ++k) all[static_cast<std::size_t>(k)] = static_cast<short>(k - 32768);
  for (int major : {SF_FORMAT_WAV, SF_FORMAT_AIFF}) {
    for (int channels : {1, 2}) {
      std::string name = "all";
      name += std::to_string(major);
      name += channels == 1 ? "-mono" : "-stereo";
      const std::string path = dir / name;
      SF_INFO info{};
      info.samplerate = 44100;
      info.channels = channels;
      info.format = major | SF_FORMAT_PCM_16;
      SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
      ASSERT_NE(f, nullptr);
      ASSERT_EQ(sf_write_short(f, all.data(), 65536), 65536);
      sf_close(f);

      SF_INFO readInfo{};
      f = sf_open(path.c_str(), SFM_READ, &readInfo);
      ASSERT_NE(f, nullptr);
      std::vector<float> expected(65536);
      ASSERT_EQ(sf_read_float(f, expected.data(), 65536), 65536);
      sf_close(f);

      std::string error;
      auto reader = AudioFileReader::Open(path, &error);
      ASSERT_TRUE(reader) << error;
      std::vector<float> got(65536 + 2, -7.0f);
      std::int64_t at = 0;  // frames
      for (std::int64_t step = 1; at < 65536 / channels; step = step * 3 + 1) {
        const std::int64_t n = reader->read(got.data() + at * channels, step);
        ASSERT_GE(n, 0) << reader->error();
        if (n == 0) break;
        at += n;
      }
      EXPECT_EQ(at, 65536 / channels);
      for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(got[i]), std::bit_cast<std::uint32_t>(expected[i]))
            << major << " " << channels << " " << i;
      EXPECT_EQ(got[65536], -7.0f);  // nothing written past the frames read
    }
  }
}

// Floats that probe every branch of the 16-bit conversion: each step's
// boundary and the values around it, rounding ties in the low bits, the clip
// points, NaN and the infinities, then a dense sweep.
static std::vector<float> ConversionProbes() {
  std::vector<float> v = {0.0f, -0.0f, 1.0f, -1.0f, 1.5f, -1.5f, 1e30f, -1e30f, INFINITY, -INFINITY, NAN,
                          -NAN, 1e-45f, -1e-45f, 1e-38f, 0x1p-31f, -0x1p-31f, 0x1.8p-31f, 0x1p-32f, -0x1p-32f};
  for (int k = -32769; k <= 32768; k += 97) {
    const float at = static_cast<float>(k) / 32768.0f;
    v.insert(v.end(), {at, std::nextafter(at, 2.0f), std::nextafter(at, -2.0f),
                       (static_cast<float>(k) - 0x1p-16f) / 32768.0f});
  }
  for (int i = 0; i < 200000; ++i) v.push_back(-1.25f + 2.5f * static_cast<float>(i) / 200000.0f);
  return v;
}

// Writing 16-bit WAV and AIFF through the writer's own conversion gives
// byte for byte the file libsndfile's clipping float writer gives.
TEST(AudioFileWriter, SixteenBitFilesAreLibsndfilesOwnBytes) {
  ScratchDir dir;
  const std::vector<float> probes = ConversionProbes();
  auto bytes = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  for (int major : {SF_FORMAT_WAV, SF_FORMAT_AIFF}) {
    for (int channels : {1, 2}) {
      SCOPED_TRACE(std::to_string(major) + " " + std::to_string(channels));
      const std::int64_t frames = static_cast<std::int64_t>(probes.size()) / channels;
      const std::string theirs = dir / "theirs", ours = dir / "ours";
      SF_INFO info{};
      info.samplerate = 44100;
      info.channels = channels;
      info.format = major | SF_FORMAT_PCM_16;
      SNDFILE* f = sf_open(theirs.c_str(), SFM_WRITE, &info);
      ASSERT_NE(f, nullptr);
      sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
      ASSERT_EQ(sf_writef_float(f, probes.data(), frames), frames);
      sf_close(f);

      std::string error;
      AudioFormat format;
      format.code = major | SF_FORMAT_PCM_16;
      auto w = AudioFileWriter::Create(ours, format, 44100, channels, &error);
      ASSERT_TRUE(w) << error;
      // Uneven pieces, one larger than the writer's own run.
      for (std::int64_t at = 0, step = 1; at < frames; at += step, step = step * 5 + 3)
        ASSERT_TRUE(w->write(probes.data() + at * channels, std::min(step, frames - at))) << w->error();
      ASSERT_TRUE(w->Commit()) << w->error();
      const std::string a = bytes(theirs), b = bytes(ours);
      ASSERT_EQ(a.size(), b.size());
      EXPECT_TRUE(a == b);
    }
  }
}

// The SSE2 conversions against their references, at every length around
// the vector width and from unaligned starts.
TEST(Pcm16, FastConversionsEqualTheReferences) {
  const std::vector<float> probes = ConversionProbes();
  std::vector<short> shorts(64);
  for (std::size_t i = 0; i < shorts.size(); ++i) shorts[i] = static_cast<short>(i * 2113 - 32768);
  for (std::size_t start = 0; start < 4; ++start) {
    for (std::size_t n = 0; n <= 19; ++n) {
      for (std::size_t base = 0; base + start + n <= 256; base += 60) {
        std::vector<short> a(n + 1, 7), b(n + 1, 7);
        FloatToPcm16Reference(probes.data() + base + start, a.data(), n);
        FloatToPcm16(probes.data() + base + start, b.data(), n);
        ASSERT_EQ(a, b) << start << " " << n << " " << base;
      }
      std::vector<float> x(n + 1, 7.0f), y(n + 1, 7.0f);
      Pcm16ToFloatReference(shorts.data() + start, x.data(), n);
      Pcm16ToFloat(shorts.data() + start, y.data(), n);
      ASSERT_EQ(x, y) << start << " " << n;
    }
  }
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

// The RMS level of out against in (lossy codecs keep the level, not the samples).
static double LevelRatio(const AudioBuffer& in, const AudioBuffer& out) {
  double a = 0.0, b = 0.0;
  for (std::size_t i = 0; i < in.samples.size(); ++i) {
    a += in.samples[i] * in.samples[i];
    b += out.samples[i] * out.samples[i];
  }
  return std::sqrt(b / a);
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
  EXPECT_NEAR(LevelRatio(in, out), 1.0, 0.05);
}

TEST(AudioFile, Mp3AndOpusRoundTripsKeepLengthAndLevel) {
  ScratchDir dir;
  AudioBuffer in = Tone(48000, 48000, 2);
  for (AudioFormat f : {AudioFormat{SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                        AudioFormat{SF_FORMAT_OGG | SF_FORMAT_OPUS}}) {
    SCOPED_TRACE(f.Describe());
    std::string path = dir / ("a." + f.Extension()), error;
    ASSERT_TRUE(WriteAudioFile(path, in, f, &error)) << error;
    AudioBuffer out;
    AudioFormat format;
    ASSERT_TRUE(ReadAudioFile(path, &out, &format, &error)) << error;
    EXPECT_EQ(format.code, f.code);
    ASSERT_EQ(out.frames(), in.frames());
    EXPECT_NEAR(LevelRatio(in, out), 1.0, 0.05);
  }
}

// A doubler can exceed full scale; float files keep what lies beyond it.
TEST(AudioFile, FloatFormatsKeepValuesBeyondFullScale) {
  ScratchDir dir;
  AudioBuffer in;
  in.channels = 1;
  in.samples = {1.5f, -2.25f, 0.5f, 1.0f};
  for (AudioFormat f : {WavFloatFormat(), AudioFormat{SF_FORMAT_AIFF | SF_FORMAT_FLOAT}}) {
    SCOPED_TRACE(f.Describe());
    std::string path = dir / ("f." + f.Extension()), error;
    ASSERT_TRUE(WriteAudioFile(path, in, f, &error)) << error;
    AudioBuffer out;
    ASSERT_TRUE(ReadAudioFile(path, &out, nullptr, &error)) << error;
    EXPECT_EQ(out.samples, in.samples);
  }
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

namespace {

bool IsFifo(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// Points TMPDIR at a folder of its own for one test, so leftovers show.
struct OwnTempDir {
  ScratchDir dir;
  OwnTempDir() { setenv("TMPDIR", dir.path().c_str(), 1); }
  ~OwnTempDir() { unsetenv("TMPDIR"); }
};

}  // namespace

// A FIFO (like a device) is written into as it is, never replaced by a file:
// its reader gets the whole file, and no temporary file is left anywhere.
TEST(AudioFileWriter, WritesIntoAFifoAsItIs) {
  ScratchDir dir;
  OwnTempDir tmp;
  AudioBuffer in = Tone(44100, 3000, 2);
  std::string error;
  ASSERT_TRUE(WriteAudioFile(dir / "ref.wav", in, Wav16Format(), &error)) << error;
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = Slurp(dir / "pipe"); });
  bool ok = WriteAudioFile(dir / "pipe", in, Wav16Format(), &error);
  // Should the writer not have opened the FIFO, the waiting reader is let go.
  if (int fd = open((dir / "pipe").c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) close(fd);
  reader.join();
  ASSERT_TRUE(ok) << error;
  EXPECT_TRUE(IsFifo(dir / "pipe"));
  EXPECT_EQ(received, Slurp(dir / "ref.wav"));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"pipe", "ref.wav"}));
  EXPECT_TRUE(tmp.dir.List().empty());
}

// Symbolic links stay links: the file they lead to (through a chain, or not
// there yet) receives the output, and the temporary file sits beside it.
TEST(AudioFileWriter, WritesThroughSymlinks) {
  ScratchDir dir;
  AudioBuffer in = Tone(44100, 2000, 1);
  std::string error;
  std::filesystem::create_directory(dir / "real");
  std::ofstream(dir / "real/old.wav") << "to be replaced";
  std::filesystem::permissions(dir / "real/old.wav", std::filesystem::perms(0640));
  std::filesystem::create_symlink("real/old.wav", dir / "link.wav");
  std::filesystem::create_symlink("link.wav", dir / "chain.wav");
  std::filesystem::create_symlink(dir / "real/new.wav", dir / "dangling.wav");
  for (const char* name : {"link.wav", "chain.wav", "dangling.wav"}) {
    SCOPED_TRACE(name);
    auto w = AudioFileWriter::Create(dir / name, Wav16Format(), 44100, 1, &error);
    ASSERT_TRUE(w) << error;
    EXPECT_EQ(std::filesystem::path(w->tempPath()).parent_path(), dir.path() / "real");
    ASSERT_TRUE(w->write(in.samples.data(), in.frames()));
    ASSERT_TRUE(w->Commit()) << w->error();
    EXPECT_TRUE(std::filesystem::is_symlink(dir / name));
  }
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"chain.wav", "dangling.wav", "link.wav", "real"}));
  std::vector<std::string> real;
  for (const auto& e : std::filesystem::directory_iterator(dir / "real"))
    real.push_back(e.path().filename().string());
  std::sort(real.begin(), real.end());
  EXPECT_EQ(real, (std::vector<std::string>{"new.wav", "old.wav"}));
  AudioBuffer out;
  ASSERT_TRUE(ReadAudioFile(dir / "real/old.wav", &out, nullptr, &error)) << error;
  EXPECT_EQ(out.frames(), 2000);
  ASSERT_TRUE(ReadAudioFile(dir / "real/new.wav", &out, nullptr, &error)) << error;
  EXPECT_EQ(out.frames(), 2000);
  // A replaced file keeps its permissions.
  EXPECT_EQ(std::filesystem::status(dir / "real/old.wav").permissions(),
            std::filesystem::perms(0640));
}

TEST(AudioFileWriter, RefusesAFolderAndLinkLoops) {
  ScratchDir dir;
  std::string error;
  std::filesystem::create_directory(dir / "sub");
  EXPECT_FALSE(AudioFileWriter::Create(dir / "sub", Wav16Format(), 44100, 2, &error));
  EXPECT_NE(error.find("folder"), std::string::npos) << error;
  std::filesystem::create_symlink("b", dir / "a");
  std::filesystem::create_symlink("a", dir / "b");
  error.clear();
  EXPECT_FALSE(AudioFileWriter::Create(dir / "a", Wav16Format(), 44100, 2, &error));
  EXPECT_NE(error.find("symbolic links"), std::string::npos) << error;
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"a", "b", "sub"}));
}

// A FIFO as input (like standard input) is read to its end first: most
// formats need seeking, and the length is known only then.
TEST(AudioFileReader, ReadsAFifoInEveryFormat) {
  ScratchDir dir;
  OwnTempDir tmp;
  AudioBuffer in = Tone(48000, 4000, 2);
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  for (AudioFormat f : {WavFloatFormat(), FlacFormat(), AiffFormat(), OggVorbisFormat(),
                        AudioFormat{SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                        AudioFormat{SF_FORMAT_OGG | SF_FORMAT_OPUS}}) {
    SCOPED_TRACE(f.Describe());
    std::string path = dir / ("in." + f.Extension()), error;
    ASSERT_TRUE(WriteAudioFile(path, in, f, &error)) << error;
    AudioBuffer direct, piped;
    ASSERT_TRUE(ReadAudioFile(path, &direct, nullptr, &error)) << error;
    const std::string bytes = Slurp(path);
    std::thread writer([&] { std::ofstream(dir / "pipe", std::ios::binary) << bytes; });
    AudioFormat format;
    bool ok = ReadAudioFile(dir / "pipe", &piped, &format, &error);
    writer.join();
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(format.code, f.code);
    EXPECT_EQ(piped.samples, direct.samples);
  }
  EXPECT_TRUE(tmp.dir.List().empty());
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
  const AudioFormat wav24{SF_FORMAT_WAV | SF_FORMAT_PCM_24};
  const AudioFormat au16{SF_FORMAT_AU | SF_FORMAT_PCM_16};
  const AudioFormat mp3{SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III};
  const AudioFormat opus{SF_FORMAT_OGG | SF_FORMAT_OPUS};
  struct Case {
    const char* name;
    const char* path;
    AudioFormat input;
    bool floatSamples;
    int code;
  };
  for (const Case& c : {
           Case{"", "x.wav", wav24, false, wav24.code},  // same container: everything kept
           Case{"", "", wav24, false, wav24.code},
           Case{"", "-", wav24, false, wav24.code},
           Case{"", "no-extension", wav24, false, wav24.code},
           Case{"", "x.au", au16, false, au16.code},  // the input's own container, by its extension
           Case{"", "x.FLAC", wav24, false, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},  // the depth travels
           Case{"aiff", "x.flac", wav24, false, SF_FORMAT_AIFF | SF_FORMAT_PCM_24},  // the name wins
           Case{"flac", "", WavFloatFormat(), false, FlacFormat().code},  // FLAC has no float
           Case{"ogg", "", wav24, false, OggVorbisFormat().code},
           Case{"wav", "", OggVorbisFormat(), false, Wav16Format().code},
           Case{"", "x.mp3", wav24, false, mp3.code},
           Case{"", "x.Opus", wav24, false, opus.code},
           Case{"opus", "", OggVorbisFormat(), false, opus.code},  // same container, new codec
           Case{"", "x.ogg", opus, false, opus.code},
           Case{"", "x.wav", mp3, false, Wav16Format().code},  // lossy codecs do not travel
           Case{"", "x.aiff", opus, false, AiffFormat().code},
           Case{"", "x.wav", Wav16Format(), true, WavFloatFormat().code},
           Case{"", "", wav24, true, WavFloatFormat().code},
           Case{"aiff", "", FlacFormat(), true, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
       }) {
    SCOPED_TRACE(std::string(c.name) + " / " + c.path);
    AudioFormat out;
    std::string error;
    ASSERT_TRUE(ChooseOutputFormat(c.name, c.path, c.input, c.floatSamples, &out, &error)) << error;
    EXPECT_EQ(out.code, c.code);
  }
}

TEST(AudioFormatChoice, NamesItCannotHonourAreRefused) {
  struct Case {
    const char* name;
    const char* path;
    AudioFormat input;
    bool floatSamples;
    const char* mention;
  };
  for (const Case& c : {
           Case{"mp9", "", Wav16Format(), false, "'mp9'"},
           Case{"", "x.xyz", Wav16Format(), false, "'x.xyz'"},
           Case{"", "x.wav.bak", Wav16Format(), false, "wav, flac, aiff, ogg, mp3, opus"},
           Case{"flac", "", Wav16Format(), true, "FLAC"},
           Case{"", "x.ogg", Wav16Format(), true, "--float"},
           Case{"", "x.mp3", Wav16Format(), true, "--float"},
           Case{"", "x.opus", Wav16Format(), true, "--float"},
           Case{"", "", FlacFormat(), true, "--float"},
       }) {
    SCOPED_TRACE(std::string(c.name) + " / " + c.path);
    AudioFormat out{123};
    std::string error;
    EXPECT_FALSE(ChooseOutputFormat(c.name, c.path, c.input, c.floatSamples, &out, &error));
    EXPECT_NE(error.find(c.mention), std::string::npos) << error;
    EXPECT_EQ(out.code, 123);
  }
}

TEST(AudioFormatChoice, DescriptionsAndExtensions) {
  EXPECT_EQ(FlacFormat().Describe(), "FLAC 16-bit");
  EXPECT_EQ(WavFloatFormat().Describe(), "WAV float");
  EXPECT_EQ(OggVorbisFormat().Describe(), "OGG Vorbis");
  EXPECT_EQ(AudioFormat{SF_FORMAT_OGG | SF_FORMAT_OPUS}.Describe(), "OGG Opus");
  EXPECT_EQ(AudioFormat{SF_FORMAT_OGG | SF_FORMAT_OPUS}.Extension(), "opus");
  EXPECT_EQ(AudioFormat{SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}.Describe(), "MP3");
  EXPECT_EQ(AudioFormat{SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}.Extension(), "mp3");
  EXPECT_EQ(AudioFormat{SF_FORMAT_AIFF | SF_FORMAT_FLOAT}.Describe(), "AIFF float");
  EXPECT_EQ(OggVorbisFormat().Extension(), "ogg");
  EXPECT_EQ(AiffFormat().Extension(), "aiff");
  EXPECT_TRUE(FlacFormat().SameContainer({SF_FORMAT_FLAC | SF_FORMAT_PCM_24}));
  EXPECT_FALSE(FlacFormat().SameContainer(Wav16Format()));
}

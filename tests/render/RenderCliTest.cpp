// duv-render as a user runs it: the demo, --list, presets, channels, formats,
// both plug-in formats, and one clear message with no output left behind for every bad input.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sndfile.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "tests/render/RenderSupport.h"

namespace {

// A shell script in `cwd` (RunScript) where TOOL stands for duv-render.
RunResult RunShell(const std::string& cwd, std::string script) {
  for (std::size_t at; (at = script.find("TOOL")) != std::string::npos;)
    script.replace(at, 4, Quote(DUV_RENDER_PATH));
  return RunScript(cwd, script);
}

// Runs duv-render with these arguments and nothing on stdin.
RunResult RunTool(const std::string& cwd, const std::vector<std::string>& args) {
  std::string cmd = "TOOL";
  for (const std::string& a : args) {
    cmd += ' ';
    cmd += Quote(a);
  }
  // Appended in place: GCC 12 warns falsely (-Wrestrict) on a string + literal here.
  cmd += " </dev/null";
  return RunShell(cwd, cmd);
}

// A reader still waiting to open `fifo` (because the tool failed before
// opening it) is let go with an empty stream; a finished one is not affected.
void ReleaseFifoReader(const std::string& fifo) {
  int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd >= 0) close(fd);
}

int Lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

void Write(const std::string& path, const AudioBuffer& b, AudioFormat f = Wav16Format()) {
  std::string error;
  ASSERT_TRUE(WriteAudioFile(path, b, f, &error)) << error;
}

AudioBuffer Read(const std::string& path, AudioFormat* format = nullptr) {
  AudioBuffer b;
  std::string error;
  EXPECT_TRUE(ReadAudioFile(path, &b, format, &error)) << error;
  return b;
}

}  // namespace

TEST(RenderCli, NoArgumentsWritesTheDemoIntoOutAndSaysWhere) {
  ScratchDir a, b;
  RunResult r = RunTool(a.path(), {});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("out/demo-dry.wav"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("out/demo-duv.wav"), std::string::npos) << r.out;
  EXPECT_EQ(a.List(), std::vector<std::string>{"out"});
  AudioBuffer dry = Read(a / "out/demo-dry.wav"), wet = Read(a / "out/demo-duv.wav");
  ASSERT_EQ(dry.channels, 2);
  ASSERT_EQ(wet.channels, 2);
  EXPECT_EQ(wet.frames(), dry.frames() + TailFrames(dry.sampleRate));
  bool dryCentred = true, wetSpread = false;
  for (std::int64_t i = 0; i < dry.frames(); ++i) {
    dryCentred = dryCentred && dry.at(i, 0) == dry.at(i, 1);
    wetSpread = wetSpread || std::fabs(wet.at(i, 0) - wet.at(i, 1)) > 0.01f;
  }
  EXPECT_TRUE(dryCentred);
  EXPECT_TRUE(wetSpread);

  // Deterministic: a second run elsewhere writes the same bytes.
  ASSERT_EQ(RunTool(b.path(), {"--demo-out", "demo files", "--quiet"}).exitCode, 0);
  EXPECT_EQ(Slurp(b / "demo files/demo-dry.wav"), Slurp(a / "out/demo-dry.wav"));
  EXPECT_EQ(Slurp(b / "demo files/demo-duv.wav"), Slurp(a / "out/demo-duv.wav"));
}

TEST(RenderCli, ListShowsPresetsAndParametersWithRanges) {
  ScratchDir d;
  RunResult r = RunTool(d.path(), {"--list"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const char* text : {" 1  Default  (current)", " 2  Silky Vocal", " 7  Brindle", "cents 1",
                           "-10.0 cents", "-50 .. 50 cents", "5 .. 100 ms", "50 .. 150 Hz",
                           "drag | rotate", "off | on", "latency 4096 frames"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text << " in\n" << r.out;
  RunResult s = RunTool(d.path(), {"--list", "--preset", "silky vocal", "--set", "cents 2=3"});
  ASSERT_EQ(s.exitCode, 0) << s.err;
  EXPECT_NE(s.out.find("Silky Vocal  (current)"), std::string::npos) << s.out;
  EXPECT_NE(s.out.find("0.300"), std::string::npos) << s.out;
  EXPECT_NE(s.out.find("3.0 cents"), std::string::npos) << s.out;
  EXPECT_TRUE(d.List().empty());
}

// The preset numbers a reader of the manual uses: its table rows "| N | Name |"
// under the header "| # | Preset |" are what --list prints, number for number.
TEST(RenderCli, ListNumbersPresetsAsTheManualDoes) {
  std::ifstream manual(DUV_MANUAL_PATH);
  ASSERT_TRUE(manual) << DUV_MANUAL_PATH;
  std::vector<std::pair<int, std::string>> table;
  bool inTable = false;
  for (std::string line; std::getline(manual, line);) {
    if (line.rfind("| # | Preset |", 0) == 0) {
      inTable = true;
    } else if (inTable && line.rfind("| ", 0) == 0) {
      std::size_t a = line.find(" | "), b = line.find(" | ", a + 3);
      ASSERT_NE(b, std::string::npos) << line;
      table.emplace_back(std::stoi(line.substr(2, a - 2)), line.substr(a + 3, b - a - 3));
    } else {
      inTable = inTable && table.empty();
    }
  }
  ASSERT_GE(table.size(), 7u);

  ScratchDir d;
  RunResult r = RunTool(d.path(), {"--list"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // The preset section: "  N  Name" lines up to the first blank line.
  std::map<int, std::string> listed;
  std::istringstream out(r.out.substr(r.out.find("\npresets") + 1));
  std::string line;
  std::getline(out, line);
  while (std::getline(out, line) && !line.empty()) {
    std::istringstream fields(line);
    int number = 0;
    fields >> number;
    std::string name = line.substr(6);
    if (name.size() > 11 && name.substr(name.size() - 11) == "  (current)") name.resize(name.size() - 11);
    listed[number] = name;
  }
  ASSERT_EQ(listed.size(), 12u) << r.out;
  EXPECT_EQ(listed.begin()->first, 1);
  EXPECT_EQ(listed.rbegin()->first, 12);
  EXPECT_EQ(listed[12], "- 12 -");
  for (const auto& [number, name] : table) EXPECT_EQ(listed[number], name) << "preset " << number;
}

TEST(RenderCli, PresetByNameAndByNumberGiveTheSameFile) {
  ScratchDir d;
  Write(d / "in.wav", Tone(44100, 20000, 2));
  RunResult r = RunTool(d.path(), {"in.wav", "byname.wav", "--preset", "Rich Slapback"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("preset 4 Rich Slapback"), std::string::npos) << r.out;
  ASSERT_EQ(RunTool(d.path(), {"in.wav", "-o", "bynumber.wav", "-p", "4", "-q"}).exitCode, 0);
  ASSERT_EQ(RunTool(d.path(), {"in.wav"}).exitCode, 0);  // default name: in-duv.wav
  std::string byName = Slurp(d / "byname.wav");
  EXPECT_FALSE(byName.empty());
  EXPECT_EQ(byName, Slurp(d / "bynumber.wav"));
  EXPECT_NE(byName, Slurp(d / "in-duv.wav"));
}

TEST(RenderCli, SetValuesChangeTheSoundLikeThePresetDoes) {
  ScratchDir d;
  Write(d / "in.wav", Tone(44100, 20000, 2));
  // Silky Vocal written out as parameters gives the preset's own result.
  ASSERT_EQ(RunTool(d.path(), {"in.wav", "a.wav", "--preset", "Silky Vocal"}).exitCode, 0);
  ASSERT_EQ(RunTool(d.path(), {"in.wav", "b.wav", "--set", "wet=0.3", "--set", "cents 1=-17.5",
                           "--set", "delay 1=21ms", "--set", "cents 2=15", "--set", "delay 2=14",
                           "--set", "stereo width=90", "--set", "color=0"})
                .exitCode,
            0);
  AudioBuffer a = Read(d / "a.wav"), b = Read(d / "b.wav");
  ASSERT_EQ(a.samples.size(), b.samples.size());
  for (std::size_t i = 0; i < a.samples.size(); ++i)
    ASSERT_NEAR(a.samples[i], b.samples[i], 2.0 / 32768) << "sample " << i;
}

TEST(RenderCli, MonoStaysMonoUnlessWidened) {
  ScratchDir d;
  Write(d / "mono.wav", Tone(32000, 16000, 1));
  RunResult r = RunTool(d.path(), {"mono.wav"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  AudioBuffer m = Read(d / "mono-duv.wav");
  EXPECT_EQ(m.channels, 1);
  EXPECT_EQ(m.sampleRate, 32000);
  EXPECT_EQ(m.frames(), 16000 + TailFrames(32000));
  // A doubler's point is width: the summary says how to get it.
  EXPECT_NE(r.out.find("mono in, mono out"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--channels 2"), std::string::npos) << r.out;
  r = RunTool(d.path(), {"mono.wav", "wide.wav", "--channels", "2"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.find("mono in"), std::string::npos) << r.out;
  EXPECT_EQ(Read(d / "wide.wav").channels, 2);
  r = RunTool(d.path(), {"mono.wav", "asked.wav", "--channels", "1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.find("--channels 2"), std::string::npos) << r.out;
  ASSERT_EQ(RunTool(d.path(), {"mono.wav", "trim.wav", "--trim"}).exitCode, 0);
  EXPECT_EQ(Read(d / "trim.wav").frames(), 16000);
}

TEST(RenderCli, FlacRoundTripKeepsFormatRateAndAlignment) {
  ScratchDir d;
  AudioBuffer in = Tone(48000, 24000, 2);
  Write(d / "song.flac", in, FlacFormat());
  AudioBuffer sent = Read(d / "song.flac");
  RunResult r = RunTool(d.path(), {"song.flac", "--set", "wet=0", "--block", "300"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("song-duv.flac"), std::string::npos) << r.out;
  AudioFormat format;
  AudioBuffer out = Read(d / "song-duv.flac", &format);
  EXPECT_EQ(format.code, FlacFormat().code);
  EXPECT_EQ(out.sampleRate, 48000);
  ASSERT_EQ(out.frames(), in.frames() + TailFrames(48000));
  // Wet 0: the file comes back as it went in, sample for sample.
  for (std::int64_t i = 0; i < in.frames(); ++i)
    for (int c = 0; c < 2; ++c) ASSERT_EQ(out.at(i, c), sent.at(i, c)) << "frame " << i;
  // Told otherwise, it writes another format.
  ASSERT_EQ(RunTool(d.path(), {"song.flac", "as.wav"}).exitCode, 0);
  Read(d / "as.wav", &format);
  EXPECT_EQ(format.code, Wav16Format().code);
  ASSERT_EQ(RunTool(d.path(), {"song.flac", "--format", "ogg"}).exitCode, 0);
  Read(d / "song-duv.ogg", &format);
  EXPECT_EQ(format.code, OggVorbisFormat().code);
}

// The extension names the format (or --format does); float where the
// container holds it.
TEST(RenderCli, OutputFormatFollowsTheNameGiven) {
  ScratchDir d;
  Write(d / "in.wav", Tone(48000, 9600, 2));
  struct Case {
    std::vector<std::string> args;
    const char* file;
    int code;
  };
  const std::vector<Case> cases = {
      {{"in.wav", "a.mp3"}, "a.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
      {{"in.wav", "a.opus"}, "a.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
      {{"in.wav", "a.OGG"}, "a.OGG", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
      {{"in.wav", "a.aif"}, "a.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
      {{"in.wav", "--format", "mp3"}, "in-duv.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
      {{"in.wav", "-f", "OPUS"}, "in-duv.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
      {{"in.wav", "b.wav", "--float"}, "b.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
      {{"in.wav", "b.aiff", "--float"}, "b.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
      {{"in.wav", "--float"}, "in-duv.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
      {{"in.wav", "c.xyz", "-f", "flac"}, "c.xyz", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    RunResult r = RunTool(d.path(), c.args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    AudioFormat format;
    AudioBuffer out = Read(d / c.file, &format);
    EXPECT_EQ(format.code, c.code);
    EXPECT_EQ(out.frames(), 9600 + TailFrames(48000));
  }
}

// A FIFO (like a device) is written into, never replaced by a file; a
// symbolic link stays a link and its target gets the output.
TEST(RenderCli, WritesIntoFifosAndThroughSymlinksAsTheyAre) {
  ScratchDir d, tmp;
  Write(d / "in.wav", Tone(44100, 8000, 2));
  ASSERT_EQ(RunTool(d.path(), {"in.wav", "ref.wav", "-q"}).exitCode, 0);
  const std::string ref = Slurp(d / "ref.wav");
  // No extension: the input's format, as for a device such as /dev/null.
  ASSERT_EQ(mkfifo((d / "pipe").c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = Slurp(d / "pipe"); });
  RunResult r = RunShell(d.path(), "TMPDIR=" + Quote(tmp.path()) + " TOOL in.wav pipe");
  ReleaseFifoReader(d / "pipe");
  reader.join();
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("wrote pipe"), std::string::npos) << r.out;
  struct stat st {};
  ASSERT_EQ(lstat((d / "pipe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_TRUE(received == ref) << received.size() << " bytes, not " << ref.size();

  std::filesystem::create_directory(d / "sub");
  std::ofstream(d / "sub/target.wav") << "older take";
  std::filesystem::create_symlink("sub/target.wav", d / "link.wav");
  r = RunTool(d.path(), {"in.wav", "link.wav", "-q"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::filesystem::is_symlink(d / "link.wav"));
  EXPECT_TRUE(Slurp(d / "sub/target.wav") == ref);
  EXPECT_EQ(d.List(), (std::vector<std::string>{"in.wav", "link.wav", "pipe", "ref.wav", "sub"}));
  EXPECT_TRUE(tmp.List().empty());
}

// "-" is standard input and standard output; the sound on stdout keeps every
// message on stderr.
TEST(RenderCli, DashReadsStdinAndWritesStdout) {
  ScratchDir d, tmp;
  Write(d / "in.wav", Tone(44100, 6000, 1));
  ASSERT_EQ(RunTool(d.path(), {"in.wav", "ref.wav", "-q"}).exitCode, 0);
  ASSERT_EQ(RunTool(d.path(), {"in.wav", "ref.flac", "-q"}).exitCode, 0);
  const std::string ref = Slurp(d / "ref.wav");
  const std::string env = "TMPDIR=" + Quote(tmp.path()) + " ";

  RunResult r = RunShell(d.path(), "cat in.wav | " + env + "TOOL - | cat");  // no OUTPUT: stdout
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.out == ref) << r.out.size() << " bytes, not " << ref.size();
  EXPECT_NE(r.err.find("wrote standard output"), std::string::npos) << r.err;
  r = RunShell(d.path(), env + "TOOL in.wav -o - | cat");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.out == ref) << r.out.size() << " bytes, not " << ref.size();
  EXPECT_NE(r.err.find("wrote standard output"), std::string::npos) << r.err;
  r = RunShell(d.path(), "cat in.wav | " + env + "TOOL - - --format flac -q | cat");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.out == Slurp(d / "ref.flac")) << r.out.size() << " bytes";
  EXPECT_EQ(r.err, "");
  r = RunShell(d.path(), env + "TOOL - piped.wav < in.wav");  // stdin a regular file
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Slurp(d / "piped.wav") == ref);
  EXPECT_NE(r.out.find("wrote piped.wav"), std::string::npos) << r.out;

  // Sound is never sent to a terminal, nor read from one. The test holds the
  // terminal open and drains it, so a tool that did use it would not block
  // on a full buffer; the timeout ends one that waits to read.
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string terminal = ptsname(master);
  int slave = open(terminal.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  std::thread drain([master] {
    char bytes[4096];
    while (read(master, bytes, sizeof bytes) > 0) {
    }
  });
  for (std::string redirect : {"- < in.wav > ", "in.wav -o - > ", "- out.wav < "}) {
    SCOPED_TRACE(redirect);
    r = RunShell(d.path(), env + "timeout 20 TOOL " + redirect + terminal);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("terminal"), std::string::npos) << r.err;
  }
  close(slave);  // the drain ends when no side of the terminal is open
  drain.join();
  close(master);
  r = RunShell(d.path(), "TOOL - empty.wav < /dev/null");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("standard input is empty"), std::string::npos) << r.err;

  EXPECT_EQ(d.List(), (std::vector<std::string>{"in.wav", "piped.wav", "ref.flac", "ref.wav"}));
  EXPECT_TRUE(tmp.List().empty());
}

// Loud material through a wide preset goes beyond full scale: integer output
// clips, and the tool says how many samples, the peak, and what helps.
TEST(RenderCli, ClippingIsCountedAndFloatOutputKeepsThePeaks) {
  ScratchDir d;
  AudioBuffer loud = Tone(44100, 30000, 1);
  for (float& v : loud.samples) v *= 0.98f / 0.45f;  // peaks near -0.1 dBFS
  Write(d / "loud.wav", loud);

  RunResult f = RunTool(d.path(), {"loud.wav", "float.wav", "--preset", "5", "--float"});
  ASSERT_EQ(f.exitCode, 0) << f.err;
  AudioBuffer kept = Read(d / "float.wav");
  std::int64_t beyond = 0;
  float peak = 0.0f;
  for (float v : kept.samples) {
    beyond += std::fabs(v) > 1.0f;
    peak = std::max(peak, std::fabs(v));
  }
  ASSERT_GT(beyond, 0);  // the material does what it is here for
  char peakText[32];
  std::snprintf(peakText, sizeof peakText, "peak %+.1f dBFS", 20.0 * std::log10(peak));
  EXPECT_NE(f.out.find(peakText), std::string::npos) << peakText << " in " << f.out;
  EXPECT_EQ(f.err, "");

  RunResult r = RunTool(d.path(), {"loud.wav", "int.wav", "--preset", "5"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find(peakText), std::string::npos) << r.out;
  EXPECT_NE(r.err.find(std::to_string(beyond) + " samples clipped"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--float"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("wet"), std::string::npos) << r.err;
  EXPECT_EQ(Lines(r.err), 1) << r.err;
  // Quiet keeps the warning.
  r = RunTool(d.path(), {"loud.wav", "int.wav", "--preset", "5", "-q"});
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("clipped"), std::string::npos) << r.err;
  // Within full scale nothing is said but the peak.
  r = RunTool(d.path(), {"loud.wav", "int.wav", "--set", "wet=0"});
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("peak -0."), std::string::npos) << r.out;
}

// What a truncated file holds is rendered, with a warning; an empty one is refused.
TEST(RenderCli, TruncatedInputIsRenderedWithAWarning) {
  ScratchDir d;
  for (const char* name : {"cut.wav", "cut.aiff"}) {
    SCOPED_TRACE(name);
    AudioFormat format = std::string(name).find(".aiff") != std::string::npos ? AiffFormat()
                                                                               : Wav16Format();
    Write(d / name, Tone(44100, 5000, 2), format);
    // Keep the header and 1000 of the 5000 frames (4 bytes each), plus half a frame.
    std::filesystem::resize_file(d / name, std::filesystem::file_size(d / name) - (4 * 4000 - 2));
    RunResult r = RunTool(d.path(), {name, "out.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "duv-render: " + std::string(name) +
                         ": only 1000 of 5000 frames could be read; the file is truncated\n");
    EXPECT_NE(r.out.find("truncated"), std::string::npos) << r.out;
    EXPECT_EQ(Read(d / "out.wav").frames(), 1000 + TailFrames(44100));
  }
}

TEST(RenderCli, NoProgressBarWhenStderrIsNotATerminal) {
  ScratchDir d;
  Write(d / "long.wav", Tone(44100, 44100 * 6, 1));
  RunResult r = RunTool(d.path(), {"long.wav"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

TEST(RenderCli, BadInputGivesOneMessageAndLeavesNoOutput) {
  ScratchDir d;
  Write(d / "in.wav", Tone(44100, 5000, 2));
  AudioBuffer three;
  three.channels = 3;
  three.samples.assign(3000, 0.1f);
  Write(d / "three.wav", three);
  AudioBuffer slow = Tone(4000, 2000, 1);
  Write(d / "slow.wav", slow);
  std::ofstream(d / "words.wav") << "not a sound file at all, only words\n";
  std::ofstream(d / "zero.wav").flush();
  Write(d / "silent.wav", AudioBuffer{});
  const std::vector<std::string> inputs = d.List();

  // Exit 1: the files or the material; 2: the command line itself.
  struct Case {
    std::vector<std::string> args;
    const char* mention;
    int exitCode;
  };
  const std::vector<Case> cases = {
      {{"missing.wav", "out.wav"}, "missing.wav", 1},
      {{"words.wav", "out.wav"}, "words.wav", 1},
      {{"zero.wav", "out.wav"}, "zero.wav is empty", 1},
      {{"silent.wav", "out.wav"}, "silent.wav holds no audio", 1},
      {{"in.wav", "out.wav", "--preset", "Nope"}, "unknown preset 'Nope'", 2},
      {{"in.wav", "out.wav", "--preset", "13"}, "no preset 13", 2},
      {{"in.wav", "out.wav", "--preset", "0"}, "presets are 1 to 12", 2},
      {{"in.wav", "out.wav", "--set", "loudness=3"}, "unknown parameter 'loudness'", 2},
      {{"in.wav", "out.wav", "--set", "wet=1.5"}, "out of range", 2},
      {{"in.wav", "out.wav", "--set", "cents 1=-60"}, "out of range", 2},
      {{"in.wav", "out.wav", "--set", "knob action=spin"}, "drag | rotate", 2},
      {{"three.wav", "out.wav"}, "3 channels", 1},
      {{"slow.wav", "out.wav"}, "4000 Hz", 1},
      {{"in.wav", "out.wav", "--block", "0"}, "--block", 2},
      {{"in.wav", "out.wav", "--channels", "3"}, "--channels", 2},
      {{"in.wav", "out.wav", "--format", "mp9"}, "mp9", 2},
      {{"in.wav", "out.xyz"}, "wav, flac, aiff, ogg, mp3, opus", 2},
      {{"in.wav", "-o", "out.mp9"}, "'out.mp9'", 2},
      {{"in.wav", "out.flac", "--float"}, "--float", 2},
      {{"in.wav", "--float", "-f", "mp3"}, "--float", 2},
      {{"in.wav", "out.opus"}, "48000", 1},  // Opus runs at 8, 12, 16, 24 or 48 kHz only
      {{"in.wav", "out.wav", "--plugin", "/no/such/DUV.so"}, "/no/such/DUV.so", 1},
      {{"in.wav", "in.wav"}, "would replace the input", 1},
      {{"in.wav", "out.wav", "--bogus"}, "--bogus", 2},
      {{"in.wav", "out.wav", "--preset"}, "needs a value", 2},
      {{"in.wav", "no/such/folder/out.wav"}, "cannot write", 1},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    RunResult r = RunTool(d.path(), c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("duv-render: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(d.List(), inputs);  // no output, no temporary file
  }
  // The input that an output could have replaced is untouched.
  EXPECT_EQ(Read(d / "in.wav").frames(), 5000);
}

#ifdef DUV_LV2_BUNDLE
// --format lv2: the same command through the LV2 bundle writes the same file,
// byte for byte, and says the same. Each run writes out.* into a folder of its
// own, so even the messages naming the output must agree. Values set are
// ones both formats carry exactly (the VST 2 side receives min + n x range
// from a float n: 52.5 ms is n = 0.5, -25 cents n = 0.25); others can differ
// in the last bits, as the two interfaces do.
TEST(RenderCli, Lv2FormatWritesTheVst2FormatsFileAndSummary) {
  ScratchDir d;
  Write(d / "stereo.wav", Tone(44100, 20000, 2));
  Write(d / "mono.wav", Tone(48000, 15000, 1));
  AudioBuffer loud = Tone(44100, 30000, 1);
  for (float& v : loud.samples) v *= 0.98f / 0.45f;  // clips through preset 5
  Write(d / "loud.wav", loud);
  const std::vector<std::vector<std::string>> cases = {
      {"stereo.wav", "out.wav"},
      {"stereo.wav", "out.wav", "--preset", "Rich Slapback"},
      {"stereo.wav", "out.wav", "-p", "7"},
      {"stereo.wav", "out.wav", "-p", "2", "--set", "delay 1=52.5", "--set", "cents 2=-25",
       "--set", "wet=0.5", "--set", "stereo width=75", "--set", "knob action=rotate", "--set",
       "detector HPF=0.125 kHz", "--set", "bypass=off"},
      {"stereo.wav", "out.wav", "--set", "bypass=on"},
      {"stereo.wav", "out.wav", "-c", "1", "-b", "100"},
      {"mono.wav", "out.wav", "-p", "3"},
      {"mono.wav", "out.flac", "-c", "2", "--trim", "-b", "4097"},
      {"loud.wav", "out.wav", "-p", "5"},
      {"stereo.wav", "out.wav", "-p", "4", "--float"},
  };
  std::vector<std::string> files;
  for (std::size_t k = 0; k < cases.size(); ++k) {
    std::vector<std::string> args;
    for (const std::string& a : cases[k]) args.push_back(a == cases[k][0] ? "../" + a : a);
    std::string line;
    for (const auto& a : args) line += a + " ";
    SCOPED_TRACE(line);
    const std::string vst = d / ("vst" + std::to_string(k)), lv2 = d / ("lv2" + std::to_string(k));
    std::filesystem::create_directory(vst);
    std::filesystem::create_directory(lv2);
    const RunResult a = RunTool(vst, args);
    args.insert(args.begin(), {"--format", "lv2"});
    const RunResult b = RunTool(lv2, args);
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_EQ(b.out, a.out);
    EXPECT_EQ(b.err, a.err);
    const std::string name = cases[k][1];
    const std::string fileA = Slurp(vst + "/" + name), fileB = Slurp(lv2 + "/" + name);
    ASSERT_FALSE(fileA.empty());
    if (std::find(cases[k].begin(), cases[k].end(), "--float") != cases[k].end()) {
      // Float WAV carries a PEAK chunk with the time of writing: the samples count.
      const AudioBuffer x = Read(vst + "/" + name), y = Read(lv2 + "/" + name);
      ASSERT_EQ(x.samples.size(), y.samples.size());
      EXPECT_EQ(std::memcmp(x.samples.data(), y.samples.data(), x.samples.size() * sizeof(float)),
                0);
    } else {
      EXPECT_TRUE(fileA == fileB) << fileA.size() << " and " << fileB.size() << " bytes";
    }
    files.push_back(fileA);
  }
  // Not a comparison of like with like: the stereo settings sound different.
  for (std::size_t i = 0; i < 5; ++i)
    for (std::size_t j = i + 1; j < 5; ++j) EXPECT_NE(files[i], files[j]) << i << " " << j;

  // Standard input to standard output, and the demo.
  const RunResult piped = RunShell(d.path(), "cat stereo.wav | TOOL -f lv2 -p 4 - | cat");
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_TRUE(piped.out == Slurp(d / "vst1/out.wav")) << piped.out.size() << " bytes";
  ASSERT_EQ(RunTool(d.path(), {"--demo-out", "demo-vst", "-q"}).exitCode, 0);
  ASSERT_EQ(RunTool(d.path(), {"--demo-out", "demo-lv2", "-q", "--format=lv2"}).exitCode, 0);
  EXPECT_TRUE(Slurp(d / "demo-vst/demo-duv.wav") == Slurp(d / "demo-lv2/demo-duv.wav"));

  // A copy installed in ~/.lv2 (same plug-in URI) does not stand in for the bundle asked for.
  std::filesystem::create_directories(d / "home/.lv2");
  std::filesystem::copy(DUV_LV2_BUNDLE, d / "home/.lv2/DUV.lv2",
                        std::filesystem::copy_options::recursive);
  const RunResult shadowed =
      RunShell(d.path(), "HOME=" + Quote(d / "home") + " TOOL -f lv2 -q -p 4 stereo.wav home.wav");
  ASSERT_EQ(shadowed.exitCode, 0) << shadowed.err;
  EXPECT_TRUE(Slurp(d / "home.wav") == Slurp(d / "vst1/out.wav"));
}

// --list through LV2: the bundle's presets, numbered as the VST 2 module's,
// and the same parameters, names and ranges.
TEST(RenderCli, Lv2ListShowsTheBundlesPresetsAndTheSameParameters) {
  ScratchDir d;
  const RunResult vst = RunTool(d.path(), {"--list"});
  const RunResult lv2 = RunTool(d.path(), {"--list", "-f", "lv2", "-p", "6", "--set", "delay 1=20"});
  ASSERT_EQ(vst.exitCode, 0) << vst.err;
  ASSERT_EQ(lv2.exitCode, 0) << lv2.err;
  EXPECT_EQ(lv2.out.rfind("DUV by Pelko: 7 presets, 11 parameters, latency 4096 frames\n", 0), 0u)
      << lv2.out;
  auto lines = [](const std::string& text, const std::string& after) {
    std::vector<std::string> out;
    std::istringstream in(text.substr(text.find(after) + 1));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line) && !line.empty()) out.push_back(line);
    return out;
  };
  const auto vstPresets = lines(vst.out, "\npresets"), lv2Presets = lines(lv2.out, "\npresets");
  ASSERT_EQ(lv2Presets.size(), 7u) << lv2.out;
  for (std::size_t i = 0; i < lv2Presets.size(); ++i) {
    std::string want = vstPresets[i];
    if (want.size() > 11 && want.substr(want.size() - 11) == "  (current)") want.resize(want.size() - 11);
    EXPECT_EQ(lv2Presets[i], i == 5 ? want + "  (current)" : want);
  }
  // "  NN  name(14) value(12) range": the value is formatted by each side its own way.
  const auto vstParams = lines(vst.out, "\nparameters"), lv2Params = lines(lv2.out, "\nparameters");
  ASSERT_EQ(lv2Params.size(), vstParams.size());
  for (std::size_t i = 0; i < vstParams.size(); ++i) {
    EXPECT_EQ(lv2Params[i].substr(0, 20), vstParams[i].substr(0, 20));
    EXPECT_EQ(lv2Params[i].substr(34), vstParams[i].substr(34));
  }
  EXPECT_NE(lv2.out.find("delay 1        20 ms"), std::string::npos) << lv2.out;
  EXPECT_NE(lv2.out.find("knob action    drag "), std::string::npos) << lv2.out;
}

// A bundle that is not there or not whole: one line naming it, exit 1, no
// output file, nothing from lilv on the terminal.
TEST(RenderCli, Lv2BadBundleGivesOneMessageAndNoOutput) {
  ScratchDir d;
  Write(d / "in.wav", Tone(44100, 5000, 2));
  std::filesystem::create_directory(d / "empty.lv2");
  std::filesystem::create_directory(d / "garbage.lv2");
  std::ofstream(d / "garbage.lv2/manifest.ttl") << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                                                   "<urn:x> a lv2:Plugin ; lv2:binary <\n";
  // The Turtle without the binary it names.
  std::filesystem::create_directory(d / "nobinary.lv2");
  for (const char* ttl : {"manifest.ttl", "DUV.ttl", "presets.ttl"})
    std::filesystem::copy_file(std::string(DUV_LV2_BUNDLE) + "/" + ttl,
                               d / (std::string("nobinary.lv2/") + ttl));
  const std::vector<std::string> before = d.List();
  const struct {
    std::string bundle;
    const char* mention;
  } cases[] = {
      {"/no/such/DUV.lv2", "/no/such/DUV.lv2: no such folder"},
      {"in.wav", "in.wav: not a folder"},
      {DUV_MODULE_PATH, "not a folder"},
      {"empty.lv2", "no manifest.ttl"},
      {"garbage.lv2", "garbage.lv2: it describes no plug-in"},
      {"nobinary.lv2", "nobinary.lv2: instantiation refused"},
  };
  for (const auto& c : cases) {
    for (const std::vector<std::string>& rest :
         {std::vector<std::string>{"in.wav", "out.wav"}, std::vector<std::string>{"--list"}}) {
      std::vector<std::string> args = {"--format", "lv2", "--plugin", c.bundle};
      args.insert(args.end(), rest.begin(), rest.end());
      SCOPED_TRACE(c.bundle + " " + rest[0]);
      const RunResult r = RunTool(d.path(), args);
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(Lines(r.err), 1) << r.err;
      EXPECT_EQ(r.err.rfind("duv-render: ", 0), 0u) << r.err;
      EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(d.List(), before);
    }
  }
  // The LV2 bundle's seven presets are all it has.
  const RunResult r = RunTool(d.path(), {"--lv2", "in.wav", "out.wav", "-p", "8"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("presets are 1 to 7"), std::string::npos) << r.err;
}
#endif

// Shared pieces of the renderer tests: the built module, a started plug-in,
// test signals and a scratch folder that is removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/AudioFile.h"
#include "host/RenderJob.h"
#include "host/VstHost.h"
#include "tests/host/ModuleSupport.h"

// Sets a parameter from its plain value, knowing its range.
inline void SetPlain(VstPlugin& p, int index, double value, double min, double max) {
  p.SetParameter(index, static_cast<float>((value - min) / (max - min)));
}

// Parameter indices and ranges of the effect, as its host interface shows them.
enum : int { kWet = 0, kCents1 = 1, kDelay1 = 2, kCents2 = 3, kDelay2 = 4, kWidth = 5 };

// Interleaved silence with unit clicks: clicks[c] lists the frames of channel c.
inline AudioBuffer Clicks(int rate, std::int64_t frames,
                          const std::vector<std::vector<std::int64_t>>& clicks,
                          float level = 1.0f) {
  AudioBuffer b;
  b.sampleRate = rate;
  b.channels = static_cast<int>(clicks.size());
  b.samples.assign(static_cast<std::size_t>(frames * b.channels), 0.0f);
  for (int c = 0; c < b.channels; ++c)
    for (std::int64_t f : clicks[static_cast<std::size_t>(c)]) b.at(f, c) = level;
  return b;
}

// Seeded noise plus a sine per channel: material the detector finds a pitch in.
inline AudioBuffer Tone(int rate, std::int64_t frames, int channels, std::uint32_t seed = 7) {
  AudioBuffer b;
  b.sampleRate = rate;
  b.channels = channels;
  b.samples.resize(static_cast<std::size_t>(frames * channels));
  std::uint32_t s = seed;
  for (std::int64_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      s = s * 1664525u + 1013904223u;
      double noise = static_cast<double>(s >> 8) / 16777216.0 - 0.5;
      double hz = 196.0 * (c + 1);
      b.at(i, c) = static_cast<float>(0.4 * std::sin(2.0 * 3.14159265358979 * hz * i / rate) +
                                      0.05 * noise);
    }
  }
  return b;
}

// Runs buffer through a fresh plug-in started for it.
inline AudioBuffer RenderBuffer(const AudioBuffer& in, RenderOptions options,
                                void (*configure)(VstPlugin&) = nullptr,
                                std::string* errorOut = nullptr) {
  auto plugin = NewPlugin();
  int channels = OutputChannels(in.channels, options);
  StartPlugin(*plugin, in.sampleRate, options.blockFrames, channels);
  if (configure) configure(*plugin);
  AudioBuffer out;
  out.sampleRate = in.sampleRate;
  out.channels = channels;
  MemorySource source(in);
  MemorySink sink(&out);
  std::string error;
  bool ok = Render(*plugin, source, sink, options, nullptr, &error);
  if (errorOut) *errorOut = error;
  else EXPECT_TRUE(ok) << error;
  return out;
}

// A folder of its own for one test, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "duv-render-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) std::abort();
    mPath = name.data();
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(mPath, ec);
  }
  std::string operator/(const std::string& name) const { return (mPath / name).string(); }
  const std::filesystem::path& path() const { return mPath; }
  // Names of everything in the folder, sorted.
  std::vector<std::string> List() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(mPath))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path mPath;
};

// What a command-line tool run by a test printed and answered.
struct RunResult {
  int exitCode = -1;
  std::string out, err;
};

// s quoted for the shell, as one word.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Runs a shell script in cwd with its stdout and stderr going to files
// elsewhere (so stderr is not a terminal, as in any scripted use).
inline RunResult RunScript(const std::string& cwd, const std::string& script) {
  static ScratchDir logs;
  std::string cmd = "cd " + Quote(cwd) + " && { " + script + " ; } >" + Quote(logs / "out") +
                    " 2>" + Quote(logs / "err");
  int status = std::system(cmd.c_str());
  RunResult r;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = Slurp(logs / "out");
  r.err = Slurp(logs / "err");
  return r;
}

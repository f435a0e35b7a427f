// duv-render: runs sound files through the DUV plug-in offline, exactly as
// a host application plays a track through it: through the project's own
// VST 2 host (the default) or through the LV2 bundle with lilv
// (--format lv2). Both give the same file, byte for byte. With no input file it renders a built-in demo, dry and
// processed side by side. "-" reads standard input or writes standard
// output; whenever the sound goes to standard output, every message goes to
// standard error.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/AudioFile.h"
#include "host/DemoMaterial.h"
#include "host/LevelMeter.h"
#include "host/Lv2RenderEffect.h"
#include "host/ParameterTable.h"
#include "host/PluginListing.h"
#include "host/ProgramChoice.h"
#include "host/RenderJob.h"
#include "host/VstHost.h"

#ifndef DUV_DEFAULT_PLUGIN
#define DUV_DEFAULT_PLUGIN ""
#endif
#ifndef DUV_DEFAULT_LV2_BUNDLE
#define DUV_DEFAULT_LV2_BUNDLE ""
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kExitFailed = 1;  // bad input, unreadable or unwritable files
constexpr int kExitUsage = 2;   // the command line itself is wrong
constexpr int kExitStopped = 130;
constexpr int kDemoRate = 44100;
// Files shorter than this finish before a progress bar would be worth drawing.
constexpr double kProgressMinSec = 5.0;

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

// The plug-in formats --format chooses between (the other --format values
// are sound file formats; the two kinds never share a name).
enum class PluginFormat { kVst2, kLv2 };

struct Options {
  std::string input, output, preset, format, plugin, demoOut = "out";
  PluginFormat pluginFormat = PluginFormat::kVst2;
  std::vector<std::string> sets;
  RenderOptions render;
  bool list = false, quiet = false, help = false, floatSamples = false;
};

// One line on stderr; returns the exit code to leave with.
int Fail(const std::string& message, int code = kExitFailed) {
  std::fprintf(stderr, "duv-render: %s\n", message.c_str());
  return code;
}

// A line on stderr that does not end the run (also with --quiet).
void Warn(const std::string& message) { std::fprintf(stderr, "duv-render: %s\n", message.c_str()); }

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: duv-render [options] [INPUT [OUTPUT]]\n"
               "Runs a sound file (WAV, FLAC, AIFF, OGG, MP3, ...) through the DUV plug-in.\n"
               "INPUT or OUTPUT \"-\" is standard input or output; with INPUT \"-\" and no OUTPUT\n"
               "the result goes to standard output, and all messages to standard error.\n"
               "With no INPUT it renders a built-in demo: DIR/demo-dry.wav and DIR/demo-duv.wav.\n"
               "\n"
               "  -o, --output PATH     output file (default: INPUT with \"-duv\" added to its name)\n"
               "  -p, --preset NAME|N   factory preset by name or number, 1 to 12 (1 to 7 through\n"
               "                        lv2; see --list)\n"
               "  -s, --set NAME=VALUE  parameter in display units, after the preset; repeatable\n"
               "                        NAME or its number in --list; a unit may follow (ms or s,\n"
               "                        Hz or kHz): --set \"cents 1=-12.5\" --set \"delay 2=20 ms\"\n"
               "  -c, --channels N      output channels 1 or 2 (default: as the input);\n"
               "                        --channels 2 renders a mono file in stereo, where the\n"
               "                        doubler's width is heard\n"
               "  -f, --format NAME     wav, flac, aiff, ogg, mp3 or opus (default: as OUTPUT's\n"
               "                        extension; as the input when OUTPUT has none or is \"-\");\n"
               "                        or the plug-in format: vst2 (default) or lv2, the LV2\n"
               "                        bundle through lilv (same sound); give -f twice for both\n"
               "      --lv2             the same as -f lv2\n"
               "      --float           32-bit float samples (WAV, AIFF): keeps peaks above 0 dBFS\n"
               "                        that integer formats clip\n"
               "  -b, --block N         host block size in frames, %d..%d (default 512)\n"
               "      --trim            output exactly as long as the input; by default the effect's\n"
               "                        tail is kept (0.1 s + 1024 frames more than the input)\n"
               "      --demo-out DIR    folder for the demo files (default: out)\n"
               "      --plugin PATH     the module to load (default: the one built beside this tool,\n"
               "                        then ~/.vst/DUV.so); with lv2 the DUV.lv2 folder (default:\n"
               "                        the one built beside this tool, then ~/.lv2/DUV.lv2)\n"
               "  -l, --list            list presets and parameters, then exit\n"
               "  -q, --quiet           no progress bar, no summary (warnings still show)\n"
               "  -h, --help            this text\n"
               "\n"
               "Exit status: 0 done, 1 failed (files, material), 2 wrong command line, 130 stopped.\n",
               kMinBlockFrames, kMaxBlockFrames);
}

bool ParseInt(const std::string& text, int* out) {
  double v = 0.0;
  if (!ParseNumber(text, &v) || v != static_cast<double>(static_cast<long long>(v)) ||
      v < -2147483648.0 || v > 2147483647.0)
    return false;
  *out = static_cast<int>(v);
  return true;
}

// False with *error set for a malformed command line.
bool ParseArgs(int argc, char** argv, Options* o, std::string* error) {
  std::vector<std::string> positional;
  bool optionsDone = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (optionsDone || a == "-" || a.empty() || a[0] != '-') {
      positional.push_back(a);
      continue;
    }
    if (a == "--") {  // everything after it is a file name, even "-x.wav"
      optionsDone = true;
      continue;
    }
    std::string value;
    bool inlineValue = false;
    if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
      value = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
      inlineValue = true;
    }
    auto take = [&](std::string* out) {
      if (inlineValue) {
        *out = value;
        return true;
      }
      if (i + 1 >= argc) {
        *error = a + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "-h" || a == "--help") {
      o->help = true;
    } else if (a == "-l" || a == "--list") {
      o->list = true;
    } else if (a == "-q" || a == "--quiet") {
      o->quiet = true;
    } else if (a == "--float") {
      o->floatSamples = true;
    } else if (a == "--trim") {
      o->render.trimTail = true;
    } else if (a == "-o" || a == "--output") {
      if (!take(&o->output)) return false;
    } else if (a == "-p" || a == "--preset") {
      if (!take(&o->preset)) return false;
    } else if (a == "-s" || a == "--set") {
      if (!take(&v)) return false;
      o->sets.push_back(v);
    } else if (a == "-f" || a == "--format") {
      if (!take(&v)) return false;
      if (v == "vst2" || v == "lv2")
        o->pluginFormat = v == "lv2" ? PluginFormat::kLv2 : PluginFormat::kVst2;
      else
        o->format = v;
    } else if (a == "--lv2") {
      o->pluginFormat = PluginFormat::kLv2;
    } else if (a == "--plugin") {
      if (!take(&o->plugin)) return false;
    } else if (a == "--demo-out") {
      if (!take(&o->demoOut)) return false;
    } else if (a == "-b" || a == "--block") {
      if (!take(&v)) return false;
      if (!ParseInt(v, &o->render.blockFrames) || o->render.blockFrames < kMinBlockFrames ||
          o->render.blockFrames > kMaxBlockFrames) {
        *error = "--block takes a whole number of frames from " + std::to_string(kMinBlockFrames) +
                 " to " + std::to_string(kMaxBlockFrames) + ", not '" + v + "'";
        return false;
      }
    } else if (a == "-c" || a == "--channels") {
      if (!take(&v)) return false;
      if (!ParseInt(v, &o->render.channels) || o->render.channels < 1 ||
          o->render.channels > 2) {
        *error = "--channels takes 1 or 2, not '" + v + "'";
        return false;
      }
    } else {
      *error = "unknown option " + a + " (see --help)";
      return false;
    }
  }
  if (positional.size() > 2) {
    *error = "too many file names (give INPUT and at most one OUTPUT)";
    return false;
  }
  if (!positional.empty()) o->input = positional[0];
  if (positional.size() == 2) {
    if (!o->output.empty()) {
      *error = "OUTPUT given twice";
      return false;
    }
    o->output = positional[1];
  }
  if (o->input.empty() && !o->output.empty()) {
    *error = "an OUTPUT needs an INPUT (the demo writes into --demo-out)";
    return false;
  }
  return true;
}

// Where a plug-in is looked for when none is asked for: the build tree's
// (built), one beside this tool's build folder (fromBuild, relative to its
// parent), one beside the tool (name), and the user's folder (inHome).
struct PluginPlaces {
  const char* built;
  fs::path fromBuild, name, inHome;
  bool folder;  // a bundle folder (found by its manifest) rather than a file
};

// The plug-in to load: the one asked for, else the first of its places that
// exists; *error names every place looked at.
bool FindPluginIn(const PluginPlaces& places, const std::string& asked, std::string* path, std::string* error) {
  if (!asked.empty()) {
    *path = asked;
    return true;
  }
  std::vector<std::string> candidates;
  if (*places.built) candidates.push_back(places.built);
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    candidates.push_back((self.parent_path().parent_path() / places.fromBuild).string());
    candidates.push_back((self.parent_path() / places.name).string());
  }
  if (const char* home = std::getenv("HOME"); home && *home)
    candidates.push_back((fs::path(home) / places.inHome).string());
  std::string looked;
  for (const std::string& c : candidates) {
    if (fs::is_regular_file(places.folder ? fs::path(c) / "manifest.ttl" : fs::path(c), ec)) {
      *path = c;
      return true;
    }
    looked += (looked.empty() ? "" : ", ") + c;
  }
  *error = "cannot find " + places.name.string() + " (looked at " + looked + "); build it or pass --plugin PATH";
  return false;
}

const PluginPlaces kVstPlaces{DUV_DEFAULT_PLUGIN, "DUV.so", "DUV.so", fs::path(".vst") / "DUV.so", false};
const PluginPlaces kLv2Places{DUV_DEFAULT_LV2_BUNDLE, fs::path("lv2") / "DUV.lv2", "DUV.lv2",
                              fs::path(".lv2") / "DUV.lv2", true};

// The plug-in in whichever format was asked for, started for one rate,
// block size and channel count.
struct LoadedPlugin {
  std::unique_ptr<VstModule> module;
  std::unique_ptr<VstPlugin> plugin;  // VST 2
  std::unique_ptr<VstRenderEffect> vstEffect;
  std::unique_ptr<Lv2RenderEffect> lv2;  // LV2
  int lv2Preset = -1;                    // the LV2 preset applied last, 0-based

  RenderEffect& Effect() { return lv2 ? static_cast<RenderEffect&>(*lv2) : *vstEffect; }
};

bool LoadPlugin(const Options& o, int sampleRate, int blockFrames, int channels,
                LoadedPlugin* out, std::string* error) {
  std::string path, why;
  if (o.pluginFormat == PluginFormat::kLv2) {
    if (!FindPluginIn(kLv2Places, o.plugin, &path, error)) return false;
    out->lv2 = Lv2RenderEffect::Create(path, sampleRate, blockFrames, channels, error);
    return out->lv2 != nullptr;
  }
  if (!FindPluginIn(kVstPlaces, o.plugin, &path, error)) return false;
  out->module = VstModule::Load(path, &why);
  if (!out->module) {
    *error = "cannot load " + path + ": " + why;
    return false;
  }
  out->plugin = VstPlugin::Create(*out->module, HostConfig{"duv-render", 10000}, &why);
  if (!out->plugin) {
    *error = path + ": " + why;
    return false;
  }
  StartPlugin(*out->plugin, sampleRate, blockFrames, channels);
  out->vstEffect = std::make_unique<VstRenderEffect>(*out->plugin);
  return true;
}

// Applies --preset, then every --set in order. Also reports the preset's name.
bool Configure(VstPlugin& plugin, const Options& o, std::string* presetName, std::string* error) {
  if (!o.preset.empty()) {
    int program = 0;
    if (!FindProgram(plugin, o.preset, &program, error)) return false;
    plugin.SetProgram(program);
  }
  *presetName = PresetText(plugin, plugin.GetProgram());
  if (o.sets.empty()) return true;
  ParameterTable table = ParameterTable::Read(plugin);
  for (const std::string& s : o.sets) {
    int index = 0;
    float normalised = 0.0f;
    if (!table.ParseAssignment(s, &index, &normalised, error)) return false;
    plugin.SetParameter(index, normalised);
  }
  return true;
}

// The same through LV2: with no --preset the first preset is applied, as a
// VST 2 host starts at program 1; --set values go to the ports as typed.
bool Configure(LoadedPlugin& loaded, const Options& o, std::string* presetName,
               std::string* error) {
  if (!loaded.lv2) return Configure(*loaded.plugin, o, presetName, error);
  Lv2RenderEffect& lv2 = *loaded.lv2;
  const std::vector<std::string>& names = lv2.PresetNames();
  int preset = names.empty() ? -1 : 0;
  if (!o.preset.empty() && !FindPreset(names, o.preset, &preset, error)) return false;
  if (preset >= 0 && !lv2.ApplyPreset(preset)) {
    *error = "the LV2 bundle's preset " + std::to_string(PresetNumber(preset)) + " " +
             names[static_cast<std::size_t>(preset)] + " cannot be read";
    return false;
  }
  loaded.lv2Preset = preset;
  *presetName = preset < 0 ? std::string("none")
                           : std::to_string(PresetNumber(preset)) + " " +
                                 names[static_cast<std::size_t>(preset)];
  for (const std::string& s : o.sets) {
    int index = 0;
    float normalised = 0.0f;
    double plain = 0.0;
    if (!lv2.Parameters().ParseAssignment(s, &index, &normalised, error, &plain)) return false;
    lv2.SetPlain(index, plain);
  }
  return true;
}

std::string Listing(LoadedPlugin& loaded) {
  if (!loaded.lv2) return PluginListing(*loaded.plugin);
  Lv2RenderEffect& lv2 = *loaded.lv2;
  ListingFacts f;
  f.name = lv2.Name();
  f.maker = lv2.Maker();
  lv2.BeginRun();
  f.latencyFrames = lv2.LatencyFrames();
  lv2.EndRun();
  f.presets = lv2.PresetNames();
  f.currentPreset = loaded.lv2Preset;
  f.table = lv2.Parameters();
  for (const ParameterInfo& p : f.table.params()) f.values.push_back(lv2.ValueText(p.index));
  return PluginListing(f);
}

// A bar on stderr, redrawn when the percentage moves; only on a terminal.
class ProgressBar {
 public:
  ProgressBar(bool enabled, std::string what) : mEnabled(enabled), mWhat(std::move(what)) {}
  ~ProgressBar() { Finish(); }
  bool Update(std::int64_t done, std::int64_t total) {
    if (gStop) return false;
    if (!mEnabled || total <= 0) return true;
    int percent = static_cast<int>(std::min<std::int64_t>(100, done * 100 / total));
    if (percent == mShown) return true;
    mShown = percent;
    constexpr int kWidth = 40;
    int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", mWhat.c_str(), std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, '.').c_str(), percent);
    std::fflush(stderr);
    return true;
  }
  void Finish() {
    if (mEnabled && mShown >= 0) std::fprintf(stderr, "\n");
    mEnabled = false;
  }

 private:
  bool mEnabled;
  std::string mWhat;
  int mShown = -1;
};

bool WantProgress(const Options& o, std::int64_t frames, int rate) {
  return !o.quiet && isatty(STDERR_FILENO) && rate > 0 &&
         static_cast<double>(frames) / rate >= kProgressMinSec;
}

// The input's own extension where the output is of its kind (".aif" stays ".aif").
std::string ExtensionFor(AudioFormat format, const std::string& inputExt, AudioFormat input) {
  return format.Extension() == input.Extension() ? inputExt : "." + format.Extension();
}

// Said after a render when integer output clipped, or a lossy file holds
// samples beyond full scale that players will clip; empty otherwise.
std::string ClipWarning(const LevelMeter& meter, AudioFormat format) {
  if (meter.beyondFullScale() == 0 || format.IsFloat()) return {};
  const std::string count = std::to_string(meter.beyondFullScale());
  const std::string peak = DbfsText(meter.peak());
  const std::string advice = "--float (WAV or AIFF) keeps them, or lower wet (--set wet=...)";
  if (format.IsInteger())
    return count + " samples clipped at full scale (peak " + peak + "); " + advice;
  return count + " samples lie beyond full scale (peak " + peak + ") in " + format.Describe() +
         ", which players clip; " + advice;
}

int RunFile(const Options& o) {
  std::string error;
  const bool fromStdin = o.input == "-";
  if (fromStdin && isatty(STDIN_FILENO))
    return Fail("standard input is a terminal; pipe a sound file in (duv-render - < in.wav)",
                kExitUsage);
  std::string output = o.output;
  if (output.empty() && fromStdin) output = "-";
  const bool toStdout = output == "-";
  if (toStdout && isatty(STDOUT_FILENO))
    return Fail("standard output is a terminal; redirect it (> out.wav) or name an OUTPUT",
                kExitUsage);
  auto reader = AudioFileReader::Open(o.input, &error);
  if (!reader) return Fail(error);
  const std::string inputName = fromStdin ? "standard input" : o.input;
  if (reader->frames() == 0) return Fail(inputName + " holds no audio (0 frames)");
  const int channels = OutputChannels(reader->channels(), o.render);
  if (channels == 0) {
    return Fail(inputName + " has " + std::to_string(reader->channels()) +
                " channels; duv-render takes mono or stereo files");
  }
  if (reader->sampleRate() < kMinSampleRate || reader->sampleRate() > kMaxSampleRate)
    return Fail(inputName + " is at " + std::to_string(reader->sampleRate()) +
                " Hz; duv-render takes " + std::to_string(kMinSampleRate) + " to " +
                std::to_string(kMaxSampleRate) + " Hz");
  AudioFormat format;
  if (!ChooseOutputFormat(o.format, output, reader->format(), o.floatSamples, &format, &error))
    return Fail(error, kExitUsage);
  if (output.empty()) {
    fs::path in(o.input);
    output = (in.parent_path() / (in.stem().string() + "-duv" +
                                  ExtensionFor(format, in.extension().string(), reader->format())))
                 .string();
  }
  std::error_code ec;
  if (!fromStdin && !toStdout && fs::exists(output, ec) && fs::equivalent(output, o.input, ec)) {
    return Fail("the output " + output + " would replace the input");
  }
  const std::string outputName = toStdout ? "standard output" : output;
  // Messages never mix with sound on standard output.
  std::FILE* info = toStdout ? stderr : stdout;

  LoadedPlugin loaded;
  if (!LoadPlugin(o, reader->sampleRate(), o.render.blockFrames, channels, &loaded, &error))
    return Fail(error);
  std::string presetName;
  if (!Configure(loaded, o, &presetName, &error)) return Fail(error, kExitUsage);

  auto writer = AudioFileWriter::Create(output, format, reader->sampleRate(), channels, &error);
  if (!writer) return gStop ? Fail("stopped", kExitStopped) : Fail(error);
  LevelMeter meter(*writer, channels);
  ProgressBar bar(WantProgress(o, reader->frames(), reader->sampleRate()), "rendering");
  RenderStats stats;
  bool ok = Render(loaded.Effect(), *reader, meter, o.render,
                   [&](std::int64_t done, std::int64_t total) { return bar.Update(done, total); },
                   &error, &stats);
  bar.Finish();
  if (!ok) return Fail(error, gStop ? kExitStopped : kExitFailed);
  if (!writer->Commit([] { return !gStop; }))
    return Fail(writer->error(), gStop ? kExitStopped : kExitFailed);

  const bool truncated = stats.inputFrames < reader->claimedFrames();
  if (truncated)
    Warn(inputName + ": only " + std::to_string(stats.inputFrames) + " of " +
         std::to_string(reader->claimedFrames()) + " frames could be read; the file is truncated");
  if (std::string warning = ClipWarning(meter, format); !warning.empty()) Warn(warning);
  if (!o.quiet) {
    std::fprintf(info,
                 "duv-render: wrote %s (%s, %d ch, %d Hz, %.2f s; preset %s; peak %s; latency %d "
                 "frames compensated, %s%s)\n",
                 outputName.c_str(), format.Describe().c_str(), channels, reader->sampleRate(),
                 static_cast<double>(stats.outputFrames) / reader->sampleRate(),
                 presetName.c_str(), DbfsText(meter.peak()).c_str(), loaded.Effect().LatencyFrames(),
                 o.render.trimTail ? "tail trimmed" : "tail kept",
                 truncated ? "; input truncated" : "");
    if (reader->channels() == 1 && channels == 1 && o.render.channels == 0)
      std::fprintf(info,
                   "duv-render: mono in, mono out; --channels 2 renders it in stereo, where the "
                   "doubler's width is heard\n");
  }
  return 0;
}

int RunDemo(const Options& o) {
  std::string error;
  fs::path folder(o.demoOut);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder)) {
    return Fail("cannot create the folder " + folder.string() + ": " +
                (ec ? ec.message() : "a file of that name is in the way"));
  }
  // Mono material, widened: the dry file carries it on both sides, and the
  // processed file shows the doubler spreading it.
  RenderOptions render = o.render;
  render.channels = 2;
  LoadedPlugin loaded;
  if (!LoadPlugin(o, kDemoRate, render.blockFrames, 2, &loaded, &error)) return Fail(error);
  std::string presetName;
  if (!Configure(loaded, o, &presetName, &error)) return Fail(error, kExitUsage);

  AudioBuffer material = MakeDemoMaterial(kDemoRate);
  AudioBuffer dry;
  dry.sampleRate = material.sampleRate;
  dry.channels = 2;
  dry.samples.reserve(material.samples.size() * 2);
  for (float v : material.samples) dry.samples.insert(dry.samples.end(), {v, v});

  // Said in full when done, so the files are found whatever the working folder.
  const fs::path where = fs::absolute(folder, ec).lexically_normal();
  const std::string dryPath = ((ec ? folder : where) / "demo-dry.wav").string();
  const std::string wetPath = ((ec ? folder : where) / "demo-duv.wav").string();
  auto wet = AudioFileWriter::Create(wetPath, Wav16Format(), kDemoRate, 2, &error);
  if (!wet) return Fail(error);
  MemorySource source(material);
  if (!Render(loaded.Effect(), source, *wet, render, [](std::int64_t, std::int64_t) { return !gStop; },
              &error))
    return Fail(error, gStop ? kExitStopped : kExitFailed);
  auto dryWriter = AudioFileWriter::Create(dryPath, Wav16Format(), kDemoRate, 2, &error);
  if (!dryWriter) return Fail(error);
  if (!dryWriter->write(dry.samples.data(), dry.frames()))
    return Fail(dryWriter->error());
  auto keepGoing = [] { return !gStop; };
  if (!dryWriter->Commit(keepGoing)) return Fail(dryWriter->error());
  if (!wet->Commit(keepGoing)) return Fail(wet->error());
  if (!o.quiet)
    std::printf("duv-render: demo written to %s (dry) and %s (through DUV, preset %s)\n",
                dryPath.c_str(), wetPath.c_str(), presetName.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!ParseArgs(argc, argv, &o, &error)) return Fail(error, kExitUsage);
  if (o.help) {
    PrintUsage(stdout);
    return 0;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A reader of standard output or a FIFO that goes away is reported as a
  // write error (and the temporary file removed), not a silent death.
  signal(SIGPIPE, SIG_IGN);

  if (o.list) {
    LoadedPlugin loaded;
    if (!LoadPlugin(o, kDemoRate, o.render.blockFrames, 2, &loaded, &error)) return Fail(error);
    std::string presetName;
    if (!Configure(loaded, o, &presetName, &error)) return Fail(error, kExitUsage);
    std::fputs(Listing(loaded).c_str(), stdout);
    return 0;
  }
  return o.input.empty() ? RunDemo(o) : RunFile(o);
}

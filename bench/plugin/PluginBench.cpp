// Host-facing costs of the module: what an instance costs a host that scans,
// renders or loads a session (time and resident memory, with and without
// drawing the editor), the first editor window, building and tearing down an
// instance, and one dispatcher round trip for a parameter's display text.
//
// A process pays for its first instance what later ones share (process-wide
// tables, decoded images), so the first-instance figures come from fresh
// child processes: this program runs itself with --child=MODE, and the child
// prints "<ms> <KiB>" lines that the parent reports as manual times and
// counters. Each figure is a repetition; the aggregates give the median.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/EditorDriver.h"
#include "host/VstHost.h"
#include "host/X11TestWindow.h"
#include "plugin/vst2/EditorProbe.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Resident set size in KiB (second field of /proc/self/statm, in pages).
double ResidentKiB() {
  long size = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0.0;
  if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
  std::fclose(f);
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

// The module built beside the bench, or the one DUV_BENCH_MODULE names (to
// compare builds in one session).
const char* ModulePath() {
  const char* path = std::getenv("DUV_BENCH_MODULE");
  return path && *path ? path : DUV_MODULE_PATH;
}

std::unique_ptr<VstModule> LoadModuleOrExit() {
  std::string error;
  auto m = VstModule::Load(ModulePath(), &error);
  if (!m) {
    std::fprintf(stderr, "cannot load %s: %s\n", ModulePath(), error.c_str());
    std::exit(1);
  }
  return m;
}

VstModule& Module() {
  static std::unique_ptr<VstModule> module = LoadModuleOrExit();
  return *module;
}

// What a host does before it processes: entry point, effOpen, rate, block size, mains on.
std::unique_ptr<VstPlugin> CreateAsHost(VstModule& module) {
  std::string error;
  auto p = VstPlugin::Create(module, HostConfig{}, &error);
  if (!p) {
    std::fprintf(stderr, "cannot create an instance: %s\n", error.c_str());
    std::exit(1);
  }
  p->Open();
  p->SetSampleRate(44100.0f);
  p->SetBlockSize(512);
  p->MainsChanged(true);
  return p;
}

bool Snapshot(VstPlugin& p) {
  int w = 0, h = 0;
  std::vector<std::uint32_t> pixels;
  return EditorDriver(p).Snapshot(&w, &h, &pixels);
}

// ---- the child's side ----

std::uint64_t PictureHash(const std::uint32_t* pixels, std::size_t count) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a over the RGB of each pixel
  for (std::size_t i = 0; i < count; ++i) h = (h ^ (pixels[i] & 0xFFFFFF)) * 1099511628211ull;
  return h;
}

// Waits until the server shows the picture whose hash is expected in window w.
bool WaitForPicture(X11TestWindow& host, Window w, std::uint64_t expected, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < end) {
    int cw = 0, ch = 0;
    std::vector<std::uint32_t> shot = host.Capture(w, &cw, &ch);
    if (!shot.empty() && PictureHash(shot.data(), shot.size()) == expected) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return false;
}

constexpr int kLaterInstances = 16;

// Prints "<ms> <KiB>" lines. "instance": the first instance. "snapshot": the
// first instance, then its editor's first offscreen picture. "later" and
// "later-snapshot": one line per instance after the first, each with its
// picture in the second. "reference": the picture's hash. "window HASH": the
// first instance, then its first window, until the server shows that picture.
int RunChild(const std::string& mode, const char* arg) {
  auto module = LoadModuleOrExit();
  double kib0 = ResidentKiB();
  auto t0 = Clock::now();
  auto p = CreateAsHost(*module);
  std::printf("%.4f %.1f\n", MsSince(t0), ResidentKiB() - kib0);
  if (mode == "snapshot") {
    kib0 = ResidentKiB();
    t0 = Clock::now();
    if (!Snapshot(*p)) return 2;
    std::printf("%.4f %.1f\n", MsSince(t0), ResidentKiB() - kib0);
  } else if (mode == "later" || mode == "later-snapshot") {
    const bool draw = mode == "later-snapshot";
    if (draw && !Snapshot(*p)) return 2;
    std::vector<std::unique_ptr<VstPlugin>> alive;
    for (int i = 0; i < kLaterInstances; ++i) {
      kib0 = ResidentKiB();
      t0 = Clock::now();
      alive.push_back(CreateAsHost(*module));
      if (draw && !Snapshot(*alive.back())) return 2;
      std::printf("%.4f %.1f\n", MsSince(t0), ResidentKiB() - kib0);
    }
  } else if (mode == "reference") {
    int w = 0, h = 0;
    std::vector<std::uint32_t> pixels;
    if (!EditorDriver(*p).Snapshot(&w, &h, &pixels)) return 2;
    std::printf("%llu\n", static_cast<unsigned long long>(PictureHash(pixels.data(), pixels.size())));
  } else if (mode == "window") {
    const std::uint64_t expected = std::strtoull(arg ? arg : "0", nullptr, 10);
    X11TestWindow host(800, 300);
    if (!host.Dpy()) return 3;
    kib0 = ResidentKiB();
    t0 = Clock::now();
    if (p->Dispatch(effEditOpen, 0, 0, host.IdAsPointer()) != 1) return 4;
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(host.Dpy(), host.Id(), &root, &parent, &children, &n);
    if (n != 1) return 5;
    Window editor = children[0];
    XFree(children);
    if (!WaitForPicture(host, editor, expected, 5000)) return 6;
    std::printf("%.4f %.1f\n", MsSince(t0), ResidentKiB() - kib0);
    p->Dispatch(effEditClose);
  }
  std::fflush(stdout);
  p.reset();
  return 0;
}

// ---- the parent's side ----

std::string gSelf;

// Runs a child and parses its lines; false when it failed.
bool ChildFigures(const std::string& args, std::vector<double>* ms, std::vector<double>* kib) {
  std::string cmd = gSelf + " --child=" + args;
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return false;
  double t = 0, m = 0;
  while (std::fscanf(pipe, "%lf %lf", &t, &m) == 2) {
    ms->push_back(t);
    kib->push_back(m);
  }
  return pclose(pipe) == 0;
}

// One fresh process per iteration; the figures from index `first` on are
// averaged into the iteration (time) and the counter (resident memory).
void InFreshProcess(benchmark::State& state, const std::string& args, std::size_t first) {
  double kibSum = 0;
  for (auto _ : state) {
    std::vector<double> ms, kib;
    if (!ChildFigures(args, &ms, &kib) || ms.size() <= first) {
      state.SkipWithError("the child process failed");
      return;
    }
    double t = 0, m = 0;
    for (std::size_t i = first; i < ms.size(); ++i) {
      t += ms[i];
      m += kib[i];
    }
    const double n = static_cast<double>(ms.size() - first);
    state.SetIterationTime(t / n / 1000.0);
    kibSum += m / n;
  }
  state.counters["rss_KiB"] = kibSum / static_cast<double>(state.iterations());
}

// The hash of the editor's picture, for the window figure to wait for.
std::string ReferenceHash() {
  std::string cmd = gSelf + " --child=reference";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return "";
  double t = 0, m = 0;
  unsigned long long hash = 0;
  if (std::fscanf(pipe, "%lf %lf %llu", &t, &m, &hash) != 3) hash = 0;
  return pclose(pipe) == 0 && hash ? std::to_string(hash) : "";
}

void BM_FirstInstance(benchmark::State& state) { InFreshProcess(state, "instance", 0); }
void BM_FirstInstanceSnapshot(benchmark::State& state) { InFreshProcess(state, "snapshot", 1); }
void BM_LaterInstance(benchmark::State& state) { InFreshProcess(state, "later", 1); }
void BM_LaterInstanceWithSnapshot(benchmark::State& state) { InFreshProcess(state, "later-snapshot", 1); }
void BM_FirstWindowOpen(benchmark::State& state) {
  if (!X11TestServer::Instance().Available()) {
    state.SkipWithError("no X server");
    return;
  }
  static const std::string hash = ReferenceHash();
  if (hash.empty()) {
    state.SkipWithError("no reference picture");
    return;
  }
  InFreshProcess(state, "window " + hash, 1);
}
#define DUV_FRESH_PROCESS(bm) \
  BENCHMARK(bm)->UseManualTime()->Iterations(1)->Repetitions(9)->ReportAggregatesOnly()->Unit(benchmark::kMillisecond)
DUV_FRESH_PROCESS(BM_FirstInstance);          // entry point to mains on, in a fresh process
DUV_FRESH_PROCESS(BM_FirstInstanceSnapshot);  // then its editor's first offscreen picture
DUV_FRESH_PROCESS(BM_LaterInstance);          // each later instance, kept alive
DUV_FRESH_PROCESS(BM_LaterInstanceWithSnapshot);  // each later instance with its picture
DUV_FRESH_PROCESS(BM_FirstWindowOpen);        // effEditOpen until the server shows the picture

// Entry point, effOpen, rate and block size, effClose.
void BM_CreateOpenClose(benchmark::State& state) {
  std::string error;
  for (auto _ : state) {
    auto p = VstPlugin::Create(Module(), HostConfig{}, &error);
    p->SetSampleRate(44100.0f);
    p->SetBlockSize(512);
    p->Open();
    p->Close();
    benchmark::DoNotOptimize(p.get());
  }
}
BENCHMARK(BM_CreateOpenClose)->Unit(benchmark::kMicrosecond);

// effGetParamDisplay on a double parameter ("delay 1") and an enum ("knob action").
void BM_GetParamDisplay(benchmark::State& state) {
  std::string error;
  auto p = VstPlugin::Create(Module(), HostConfig{}, &error);
  p->Open();
  const int index = static_cast<int>(state.range(0));
  char text[64];
  for (auto _ : state) {
    p->Dispatch(effGetParamDisplay, index, 0, text);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_GetParamDisplay)->Arg(2)->Arg(8);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--child=", 8) == 0) return RunChild(argv[i] + 8, i + 1 < argc ? argv[i + 1] : nullptr);
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  gSelf = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(argv[0]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

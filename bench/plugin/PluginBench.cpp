// Host-facing costs of the module: what an instance costs a host that scans,
// renders or loads a session (time and resident memory, with and without
// drawing the editor), the first editor window, building and tearing down an
// instance, and one dispatcher round trip for a parameter's display text.
//
// A process pays for its first instance what later ones share (process-wide
// tables, decoded images), so the first-instance figures come from fresh
// child processes: this program runs itself with --child=MODE, and the child
// prints "<ms> <cpu ms> <KiB>" lines that the parent reports as manual times
// and counters. Each figure is a repetition; the aggregates give the median.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/EditorDriver.h"
#include "host/VstHost.h"
#include "host/X11DamageRecorder.h"
#include "host/X11TestWindow.h"

#include <X11/Xutil.h>  // after Xlib.h, which X11TestWindow.h brings
#include "plugin/vst2/EditorProbe.h"

namespace {

using Clock = std::chrono::steady_clock;

// CPU time of the whole process (every thread: a window has its own), in ms.
// On this shared machine it says more than the wall clock about the work done.
double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
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

// Wall time, CPU time and resident growth of one step, printed as a line.
// The clocks run only around the step: reading /proc (tens of microseconds,
// a tenth of a later instance) stays outside them.
struct Step {
  double kib0 = ResidentKiB();
  double cpu0 = CpuMs();
  Clock::time_point t0 = Clock::now();
  void Print() const { Print(Clock::now()); }
  // The step ended at `end` (wall time); CPU and memory count until now.
  void Print(Clock::time_point end) const {
    const double ms = std::chrono::duration<double, std::milli>(end - t0).count(), cpuMs = CpuMs() - cpu0;
    std::printf("%.4f %.4f %.1f\n", ms, cpuMs, ResidentKiB() - kib0);
  }
};

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

// One pixel of window w as the server shows it (0x00RRGGBB on a 24-bit
// screen), or ~0 when it cannot be read: cheap enough to poll while the
// window's thread works.
std::uint32_t ServerPixel(X11TestWindow& host, Window w, int x, int y) {
  XImage* img = XGetImage(host.Dpy(), w, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!img) return ~0u;
  const std::uint32_t p = static_cast<std::uint32_t>(XGetPixel(img, 0, 0)) & 0xFFFFFF;
  XDestroyImage(img);
  return p;
}

// Points whose pixels tell a painted editor from an empty window: the inner
// wheel's centre and the bypass button.
constexpr int kProbePoints[2][2] = {{98, 137}, {477, 85}};

// Waits until the server shows the expected picture in window w. It sleeps
// on the DAMAGE events of the window's drawings (polling the server would
// take a core from the editor's decoding on a small machine), and after each
// one compares two pixels, then the whole picture once they match. *shownAt
// is when the drawing that completed the picture was reported: reading the
// picture back and hashing it (a few milliseconds) is the bench's work. The
// picture is checked once before the first wait, for a drawing made before
// the recorder began watching.
bool WaitForPicture(X11TestWindow& host, X11DamageRecorder& damage, Window w, std::uint64_t expected,
                    const std::uint32_t (&points)[2], int timeoutMs, Clock::time_point* shownAt) {
  if (!damage.Watch(w)) return false;
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  Clock::time_point drawn = Clock::now();
  for (;;) {
    if (ServerPixel(host, w, kProbePoints[0][0], kProbePoints[0][1]) == points[0] &&
        ServerPixel(host, w, kProbePoints[1][0], kProbePoints[1][1]) == points[1]) {
      int cw = 0, ch = 0;
      std::vector<std::uint32_t> shot = host.Capture(w, &cw, &ch);
      if (!shot.empty() && PictureHash(shot.data(), shot.size()) == expected) {
        *shownAt = drawn;
        return true;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0 || damage.Wait(static_cast<int>(left)).empty()) return false;
    drawn = Clock::now();
  }
}

constexpr int kLaterInstances = 16;

// Prints one Step line per figure. "instance": the first instance. "snapshot": the
// first instance, then its editor's first offscreen picture. "later" and
// "later-snapshot": one line per instance after the first, each with its
// picture in the second. "reference": "HASH,PIXEL,PIXEL" of the picture.
// "window REFERENCE": the first instance, then its first window, until the
// server shows that picture.
int RunChild(const std::string& mode, const char* arg) {
  auto module = LoadModuleOrExit();
  Step step;
  auto p = CreateAsHost(*module);
  step.Print();
  if (mode == "snapshot") {
    step = Step();
    if (!Snapshot(*p)) return 2;
    step.Print();
  } else if (mode == "later" || mode == "later-snapshot") {
    const bool draw = mode == "later-snapshot";
    if (draw && !Snapshot(*p)) return 2;
    std::vector<std::unique_ptr<VstPlugin>> alive;
    for (int i = 0; i < kLaterInstances; ++i) {
      step = Step();
      alive.push_back(CreateAsHost(*module));
      if (draw && !Snapshot(*alive.back())) return 2;
      step.Print();
    }
  } else if (mode == "reference") {
    int w = 0, h = 0;
    std::vector<std::uint32_t> pixels;
    if (!EditorDriver(*p).Snapshot(&w, &h, &pixels)) return 2;
    auto at = [&](int i) { return pixels[static_cast<std::size_t>(kProbePoints[i][1]) * 716 + kProbePoints[i][0]] & 0xFFFFFF; };
    std::printf("%llu,%u,%u\n", static_cast<unsigned long long>(PictureHash(pixels.data(), pixels.size())), at(0), at(1));
  } else if (mode == "window") {
    unsigned long long expected = 0;
    std::uint32_t points[2] = {};
    if (!arg || std::sscanf(arg, "%llu,%u,%u", &expected, &points[0], &points[1]) != 3) return 7;
    X11TestWindow host(800, 300);
    X11DamageRecorder damage;  // connected before the clock starts
    if (!host.Dpy()) return 3;
    step = Step();
    if (p->Dispatch(effEditOpen, 0, 0, host.IdAsPointer()) != 1) return 4;
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(host.Dpy(), host.Id(), &root, &parent, &children, &n);
    if (n != 1) return 5;
    Window editor = children[0];
    XFree(children);
    Clock::time_point shown;
    if (!WaitForPicture(host, damage, editor, expected, points, 5000, &shown)) return 6;
    step.Print(shown);
    p->Dispatch(effEditClose);
  }
  std::fflush(stdout);
  p.reset();
  return 0;
}

// ---- the parent's side ----

std::string gSelf;

// Runs a child and parses its lines; false when it failed.
struct Figure {
  double ms, cpuMs, kib;
};

bool ChildFigures(const std::string& args, std::vector<Figure>* figures) {
  std::string cmd = gSelf + " --child=" + args;
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return false;
  Figure f{};
  while (std::fscanf(pipe, "%lf %lf %lf", &f.ms, &f.cpuMs, &f.kib) == 3) figures->push_back(f);
  return pclose(pipe) == 0;
}

// One fresh process per iteration; the figures from index `first` on are
// averaged into the iteration (time) and the counter (resident memory).
void InFreshProcess(benchmark::State& state, const std::string& args, std::size_t first) {
  double kibSum = 0, cpuSum = 0;
  for (auto _ : state) {
    std::vector<Figure> figures;
    if (!ChildFigures(args, &figures) || figures.size() <= first) {
      state.SkipWithError("the child process failed");
      return;
    }
    Figure sum{};
    for (std::size_t i = first; i < figures.size(); ++i) {
      sum.ms += figures[i].ms;
      sum.cpuMs += figures[i].cpuMs;
      sum.kib += figures[i].kib;
    }
    const double n = static_cast<double>(figures.size() - first);
    state.SetIterationTime(sum.ms / n / 1000.0);
    cpuSum += sum.cpuMs / n;
    kibSum += sum.kib / n;
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = cpuSum / iterations;
  state.counters["rss_KiB"] = kibSum / iterations;
}

// The hash of the editor's picture, for the window figure to wait for.
std::string ReferenceHash() {
  std::string cmd = gSelf + " --child=reference";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (!pipe) return "";
  double t = 0, c = 0, m = 0;
  char reference[96] = {};
  if (std::fscanf(pipe, "%lf %lf %lf %95s", &t, &c, &m, reference) != 4) reference[0] = '\0';
  return pclose(pipe) == 0 ? std::string(reference) : "";
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

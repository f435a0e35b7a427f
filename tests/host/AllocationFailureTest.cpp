// Memory running out while a host talks to the module: creation, effOpen,
// rate and block size, the chunks, effEditOpen and the editor's first full
// drawing (where images are decoded and text is set). For each call the
// allocation budget N sweeps from 0 upward until the call runs through:
// every answer must be clean (0, or what success answers), and afterwards,
// with memory back, the same instance must still process audio, give its
// chunk, draw the same picture as an untouched one and close.
//
// The module is dlopened and carries its own C++ runtime, so an operator new
// here would not reach it; its operator new calls malloc dynamically, and the
// malloc defined below (forwarding to glibc's) takes precedence over libc's.
// It fails only on the calling thread, only while armed, and only calls made
// from the module's own code (its C++ runtime, image codecs and zlib are
// inside it): the system libraries it calls are not under test, and libX11's
// XOpenDisplay itself crashes when one of its first allocations fails.
// Sanitizer builds own malloc: there the tests are skipped.
#include <gtest/gtest.h>  // before the X headers, whose macros clash with it

#include <X11/Xlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/X11TestWindow.h"
#include "plugin/vst2/EditorProbe.h"
#include "tests/host/ModuleSupport.h"
#include "tests/Polling.h"

#if DUV_FAILING_MALLOC

extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t n, std::size_t size);
extern "C" void* __libc_realloc(void* p, std::size_t size);

namespace {
// Per thread, constant-initialised: reading them allocates nothing.
thread_local long tBudget = -1;  // allocations left before failing; -1: not armed
thread_local long tFailures = 0;
// The module's mapped addresses, [gModuleLo, gModuleHi).
std::uintptr_t gModuleLo = 0, gModuleHi = 0;

__attribute__((noinline)) bool FailNow(std::uintptr_t caller) {
  if (tBudget < 0 || caller < gModuleLo || caller >= gModuleHi) return false;
  if (tBudget > 0) {
    --tBudget;
    return false;
  }
  ++tFailures;
  errno = ENOMEM;
  return true;
}
}  // namespace

#define DUV_CALLER reinterpret_cast<std::uintptr_t>(__builtin_return_address(0))
extern "C" void* malloc(std::size_t size) {
  return FailNow(DUV_CALLER) ? nullptr : __libc_malloc(size);
}
extern "C" void* calloc(std::size_t n, std::size_t size) {
  return FailNow(DUV_CALLER) ? nullptr : __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, std::size_t size) {
  return FailNow(DUV_CALLER) ? nullptr : __libc_realloc(p, size);
}

#endif  // DUV_FAILING_MALLOC

namespace {

// Runs call with n allocations allowed on this thread; answers whether any
// allocation was refused.
bool WithBudget(long n, const std::function<void()>& call) {
#if DUV_FAILING_MALLOC
  tFailures = 0;
  tBudget = n;
  call();
  tBudget = -1;
  return tFailures > 0;
#else
  (void)n;
  call();
  return false;
#endif
}

// A private copy of the module, loaded afresh for each budget: its image
// cache starts empty, so every sweep also runs through image decoding. Only
// allocations made from its code can fail while it is loaded.
class FreshModule {
 public:
  FreshModule() {
    static const std::string path = [] {
      std::string copy = testing::TempDir() + "duv-alloc-" + std::to_string(getpid()) + ".so";
      std::ifstream in(DUV_MODULE_PATH, std::ios::binary);
      std::ofstream(copy, std::ios::binary) << in.rdbuf();
      return copy;
    }();
    std::string error;
    mModule = VstModule::Load(path, &error);
    if (!mModule) {
      ADD_FAILURE() << "cannot load " << path << ": " << error;
      return;
    }
#if DUV_FAILING_MALLOC
    char real[4096];
    const std::string name = realpath(path.c_str(), real) ? real : path;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
      if (line.size() < name.size() || line.compare(line.size() - name.size(), name.size(), name)) continue;
      std::uintptr_t lo = std::stoull(line, nullptr, 16);
      std::uintptr_t hi = std::stoull(line.substr(line.find('-') + 1), nullptr, 16);
      if (!gModuleLo || lo < gModuleLo) gModuleLo = lo;
      if (hi > gModuleHi) gModuleHi = hi;
    }
    if (!gModuleHi) ADD_FAILURE() << "the module's mappings are not in /proc/self/maps";
#endif
  }
  ~FreshModule() {
#if DUV_FAILING_MALLOC
    gModuleLo = gModuleHi = 0;
#endif
  }
  VstModule& Get() { return *mModule; }
  std::unique_ptr<VstPlugin> NewPlugin() {
    std::string error;
    auto p = VstPlugin::Create(*mModule, HostConfig{}, &error);
    EXPECT_TRUE(p) << error;
    return p;
  }

 private:
  std::unique_ptr<VstModule> mModule;
};

#define REQUIRE_FAILING_MALLOC()                                                          \
  do {                                                                                    \
    if (!DUV_FAILING_MALLOC) GTEST_SKIP() << "sanitizer build: the sanitizer owns malloc"; \
  } while (0)

constexpr long kMaxBudget = 200000;  // far beyond any call here: the sweep must end before

std::vector<std::uint32_t> Snapshot(VstPlugin& p) {
  std::vector<std::uint32_t> pixels(716 * 227);
  EditorProbeImage image{716, 227, pixels.data()};
  if (p.Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeSnapshot, &image) != 1) return {};
  return pixels;
}

// With memory back: audio comes out finite (also in blocks beyond the one
// announced), the chunk is whole, the picture is an untouched instance's.
void ExpectStillWorks(VstPlugin& p, const std::vector<std::uint32_t>& picture, long n) {
  SCOPED_TRACE("budget " + std::to_string(n));
  std::vector<float> l(4096), r(4096), ol(4096), orr(4096);
  for (int i = 0; i < 4096; ++i) l[i] = r[i] = static_cast<float>(0.5 * std::sin(i * 0.05));
  float* in[] = {l.data(), r.data()};
  float* out[] = {ol.data(), orr.data()};
  for (int b = 0; b < 3; ++b) p.ProcessReplacing(in, out, 4096);
  for (int i = 0; i < 4096; ++i) ASSERT_TRUE(std::isfinite(ol[i]) && std::isfinite(orr[i])) << i;
  EXPECT_EQ(p.GetChunk(true).size(), 96u);
  EXPECT_EQ(Snapshot(p) == picture, true) << "the editor's picture changed";
}

struct Case {
  const char* name;
  std::function<void(VstPlugin&)> prepare;  // unarmed
  std::function<VstIntPtr(VstPlugin&)> call;
  std::vector<VstIntPtr> clean;  // the answers allowed under failure; the first is success's
};

std::vector<Case> DispatcherCases() {
  // What the calls read, made before they are armed: the test's own
  // allocations must not fail.
  static std::vector<std::uint8_t> chunk;
  static std::vector<std::uint32_t> pixels(716 * 227);
  return {
      {"effOpen", [](VstPlugin&) {}, [](VstPlugin& p) { return p.Dispatch(effOpen); }, {0}},
      {"effSetSampleRate", [](VstPlugin& p) { StartUp(p); },
       [](VstPlugin& p) { return p.Dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f); }, {0}},
      {"effSetBlockSize", [](VstPlugin& p) { StartUp(p); },
       [](VstPlugin& p) { return p.Dispatch(effSetBlockSize, 0, 4096); }, {0}},
      {"effGetChunk", [](VstPlugin& p) { StartUp(p); },
       [](VstPlugin& p) {
         void* data = nullptr;
         VstIntPtr size = p.Dispatch(effGetChunk, 0, 0, &data);
         return size == 96 && data ? 1 : size;
       },
       {1, 0}},
      {"effSetChunk",
       [](VstPlugin& p) {
         StartUp(p);
         chunk = p.GetChunk(true);
       },
       [](VstPlugin& p) {
         return p.Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data());
       },
       {1, 0}},
      {"editor snapshot", [](VstPlugin& p) { StartUp(p); },
       [](VstPlugin& p) {
         EditorProbeImage image{716, 227, pixels.data()};
         return p.Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeSnapshot, &image);
       },
       {1, 0}},
  };
}

TEST(AllocationFailure, DispatcherCallsAnswerCleanlyAndLeaveAWorkingInstance) {
  REQUIRE_FAILING_MALLOC();
  std::vector<std::uint32_t> picture;
  {
    auto reference = NewPlugin();
    StartUp(*reference);
    picture = Snapshot(*reference);
    ASSERT_FALSE(picture.empty());
  }
  for (const Case& c : DispatcherCases()) {
    SCOPED_TRACE(c.name);
    long n = 0;
    for (; n < kMaxBudget; ++n) {
      FreshModule module;
      auto p = module.NewPlugin();
      ASSERT_TRUE(p);
      c.prepare(*p);
      VstIntPtr answer = -1;
      bool failed = WithBudget(n, [&] { answer = c.call(*p); });
      ASSERT_NE(std::find(c.clean.begin(), c.clean.end(), answer), c.clean.end())
          << "budget " << n << " answered " << answer;
      ExpectStillWorks(*p, picture, n);
      if (HasFatalFailure()) return;
      p->Close();
      if (!failed) {
        EXPECT_EQ(answer, c.clean.front()) << "with every allocation granted";
        break;
      }
    }
    std::printf("%-18s runs through with %ld allocations\n", c.name, n);
    EXPECT_LT(n, kMaxBudget);
  }
}

// Creation: the entry point answers null or a whole instance.
TEST(AllocationFailure, CreationAnswersNullOrAWholeInstance) {
  REQUIRE_FAILING_MALLOC();
  std::vector<std::uint32_t> picture;
  {
    auto reference = NewPlugin();
    StartUp(*reference);
    picture = Snapshot(*reference);
  }
  static long budget;
  static bool failed;
  static VstModule::EntryProc entry;
  auto armedEntry = [](audioMasterCallback cb) -> AEffect* {
    AEffect* e = nullptr;
    failed = WithBudget(budget, [&] { e = entry(cb); });
    return e;
  };
  int madeUnderFailure = 0;
  for (budget = 0; budget < kMaxBudget; ++budget) {
    FreshModule module;
    entry = module.Get().Entry();
    std::string error;
    auto p = VstPlugin::Create(module.Get(), HostConfig{}, &error, armedEntry);
    if (p) {
      madeUnderFailure += failed;
      StartUp(*p);
      ExpectStillWorks(*p, picture, budget);
      if (HasFatalFailure()) return;
    }
    if (!failed) {
      EXPECT_TRUE(p) << "with every allocation granted";
      break;
    }
  }
  std::printf("creation runs through with %ld allocations (%d instances made despite a refusal)\n",
              budget, madeUnderFailure);
}

// The editor's window: 0 leaves no window and no thread behind, and a later
// open with memory back works.
TEST(AllocationFailure, EditorOpenAnswersZeroWithNothingLeftOrOpens) {
  REQUIRE_FAILING_MALLOC();
  if (!X11TestServer::Instance().Available())
    GTEST_SKIP() << "no X server: " << X11TestServer::Instance().Reason();
  X11TestWindow host(800, 300);
  ASSERT_NE(host.Dpy(), nullptr);
  auto children = [&] {
    Window root, parent, *list = nullptr;
    unsigned count = 0;
    XQueryTree(host.Dpy(), host.Id(), &root, &parent, &list, &count);
    if (list) XFree(list);
    return count;
  };
  FreshModule module;
  auto p = module.NewPlugin();
  StartUp(*p);
  const int threads = ThreadCount();
  long n = 0;
  for (; n < kMaxBudget; ++n) {
    VstIntPtr answer = -1;
    bool failed = WithBudget(n, [&] { answer = p->Dispatch(effEditOpen, 0, 0, host.IdAsPointer()); });
    ASSERT_TRUE(answer == 0 || answer == 1) << "budget " << n;
    if (answer == 0) {
      ASSERT_EQ(children(), 0u) << "budget " << n << ": a window was left behind";
      ASSERT_EQ(ThreadCount(), threads) << "budget " << n << ": a thread was left behind";
      ASSERT_EQ(p->Dispatch(effEditOpen, 0, 0, host.IdAsPointer()), 1) << "budget " << n;
    }
    ASSERT_EQ(children(), 1u) << "budget " << n;
    ASSERT_EQ(p->Dispatch(effEditClose), 1);
    ASSERT_EQ(children(), 0u);
    if (!failed) {
      EXPECT_EQ(answer, 1) << "with every allocation granted";
      break;
    }
  }
  std::printf("effEditOpen runs through with %ld allocations\n", n);
  EXPECT_LT(n, kMaxBudget);
}

}  // namespace

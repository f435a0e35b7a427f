// What hosts and desktops really do around an open editor: the X server goes
// away under it, and the host unloads the module without closing it. Each
// case runs in a child process with X servers of its own (started and
// stopped by process id), so a module that ends or crashes the process shows
// as the child's exit status instead of taking the test runner down.
#include <gtest/gtest.h>  // before the X headers, whose macros clash with it

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/VstHost.h"
#include "host/X11TestWindow.h"
#include "tests/Polling.h"
#include "tests/x11/X11PrivateServer.h"

namespace {

using namespace std::chrono_literals;

unsigned Children(Display* dpy, Window w) {
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(dpy, w, &root, &parent, &children, &n)) return 0;
  if (children) XFree(children);
  return n;
}

// The test host's own connection dies with the server too: like a host that
// survives it, it answers Xlib's lost-connection calls by returning.
int HostIOError(Display*) { return 0; }
void HostConnectionExit(Display*, void*) {}

struct HostSide {
  std::unique_ptr<X11TestWindow> window;
  std::unique_ptr<VstModule> module;
  std::unique_ptr<VstPlugin> plug;

  std::string Start() {
    window = std::make_unique<X11TestWindow>(800, 300);
    if (!window->Dpy()) return "cannot connect to the private server";
    XSetIOErrorExitHandler(window->Dpy(), HostConnectionExit, nullptr);
    std::string error;
    module = VstModule::Load(DUV_MODULE_PATH, &error);
    if (!module) return "cannot load the module: " + error;
    plug = VstPlugin::Create(*module, HostConfig{}, &error);
    if (!plug) return error;
    plug->SetSampleRate(44100.0f);
    plug->SetBlockSize(512);
    plug->Open();
    plug->MainsChanged(true);
    return "";
  }
  // Some blocks of a sine; false when any output sample is not finite.
  bool Process(int blocks) {
    std::vector<float> l(512), r(512), ol(512), orr(512);
    float* in[] = {l.data(), r.data()};
    float* out[] = {ol.data(), orr.data()};
    for (int b = 0; b < blocks; ++b) {
      for (int i = 0; i < 512; ++i) l[i] = r[i] = static_cast<float>(0.5 * std::sin((b * 512 + i) * 0.05));
      plug->ProcessReplacing(in, out, 512);
      for (int i = 0; i < 512; ++i)
        if (!std::isfinite(ol[i]) || !std::isfinite(orr[i])) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
};

TEST(X11HostFault, ServerGoingAwayClosesOnlyTheEditor) {
  ExpectChildSucceeds([]() -> std::string {
    XSetIOErrorHandler(HostIOError);
    PrivateXServer first;
    if (!first.Start()) return "cannot start Xvfb";
    setenv("DISPLAY", first.Name().c_str(), 1);
    HostSide host;
    if (std::string e = host.Start(); !e.empty()) return e;
    const int threads = ThreadCount();
    if (host.plug->Dispatch(effEditOpen, 0, 0, host.window->IdAsPointer()) != 1) return "effEditOpen failed";
    if (!Eventually([&] { return ThreadCount() == threads + 1; })) return "no editor thread";
    std::this_thread::sleep_for(150ms);  // some redraw cycles on the live server

    first.Kill();
    if (!host.Process(200)) return "audio output not finite after the server went away";
    // The editor's thread ends by itself, without spinning on the dead socket.
    if (!Eventually([&] { return ThreadCount() == threads; })) return "the editor thread still runs";
    if (host.plug->Dispatch(effEditOpen, 0, 0, host.window->IdAsPointer()) != 0)
      return "effEditOpen on the dead server did not answer 0";
    if (host.plug->Dispatch(effEditClose) != 1) return "effEditClose failed";

    // The desktop comes back: the editor opens on the new server.
    PrivateXServer second;
    if (!second.Start()) return "cannot start the second Xvfb";
    setenv("DISPLAY", second.Name().c_str(), 1);
    X11TestWindow window(800, 300);
    if (host.plug->Dispatch(effEditOpen, 0, 0, window.IdAsPointer()) != 1)
      return "effEditOpen on the new server failed";
    if (!Eventually([&] { return Children(window.Dpy(), window.Id()) == 1; })) return "no editor window";
    if (!host.Process(20)) return "audio output not finite";
    if (host.plug->Dispatch(effEditClose) != 1) return "effEditClose failed";
    if (Children(window.Dpy(), window.Id()) != 0) return "the editor window stayed";
    host.plug->Close();
    host.plug.reset();
    host.module.reset();
    host.window.reset();  // its connection is the dead one: it closes quietly
    return "";
  });
}

TEST(X11HostFault, UnloadingWithAnEditorOpenStopsItFirst) {
  ExpectChildSucceeds([]() -> std::string {
    PrivateXServer server;
    if (!server.Start()) return "cannot start Xvfb";
    setenv("DISPLAY", server.Name().c_str(), 1);
    HostSide host;
    if (std::string e = host.Start(); !e.empty()) return e;
    const int threads = ThreadCount();
    if (host.plug->Dispatch(effEditOpen, 0, 0, host.window->IdAsPointer()) != 1) return "effEditOpen failed";
    if (!Eventually([&] { return ThreadCount() == threads + 1; })) return "no editor thread";
    std::this_thread::sleep_for(150ms);

    // The host forgets the instance (no effEditClose, no effClose) and unloads.
    (void)host.plug.release();
    host.module.reset();
    if (void* still = dlopen(DUV_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD)) {
      dlclose(still);
      return "the module stayed mapped: nothing was unloaded";
    }
    std::this_thread::sleep_for(300ms);  // several redraw periods: a thread left behind would have run
    if (ThreadCount() != threads) return "the editor thread outlived the module";
    if (Children(host.window->Dpy(), host.window->Id()) != 0) return "the editor window stayed";
    return "";
  });
}

}  // namespace

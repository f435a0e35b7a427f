// A small Windows host for testing the editor under a real window system: it
// loads DUV.dll with LoadLibrary, creates one instance, opens its editor in a
// top-level window of its own and runs a message loop. It knows only the
// module's binary interface.
//
// Standard output, one line per event (flushed):
//   ready <host window title>
//   child <class> <title> <x> <y> <width> <height>   (the editor inside the host window)
//   beginEdit <index> / automate <index> <value> / endEdit <index>
//   origin <x> <y>                                   (the editor's screen position)
//   param <index> <value>                            (answer to "param")
//   text <index> <display text>                      (answer to "text")
//   popup <class> <text>                              (answer to "popup"; "popup none" without one)
//   snapshot <path> <width> <height>                  (answer to "snapshot")
// Standard input, one command per line: "param <index>", "text <index>", "popup",
// "snapshot <path>" (the editor's offscreen picture as a binary PPM), "quit".
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/vst2/EditorProbe.h"
#include "plugin/vst2/VstApi.h"

namespace {

const char kHostClass[] = "DUVTestHostWindow";
const char kHostTitle[] = "DUV test host";
constexpr UINT kCommandMessage = WM_APP + 1;

AEffect* gEffect = nullptr;
HWND gHostWindow = nullptr;

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

VstIntPtr HostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr,
                                   void* ptr, float opt) {
  switch (opcode) {
    case audioMasterVersion:
      return 2400;
    case audioMasterAutomate:
      Say("automate %d %.6f", index, static_cast<double>(opt));
      return 1;
    case audioMasterBeginEdit:
      Say("beginEdit %d", index);
      return 1;
    case audioMasterEndEdit:
      Say("endEdit %d", index);
      return 1;
    case audioMasterGetProductString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "DUV Windows test host");
      return 1;
    default:
      return 0;
  }
}

VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
  return gEffect->dispatcher(gEffect, opcode, index, value, ptr, opt);
}

bool WriteSnapshot(const std::string& path) {
  EditorProbeImage image{1024, 1024, nullptr};
  std::vector<std::uint32_t> pixels(1024 * 1024);
  image.pixels = pixels.data();
  if (Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeSnapshot, &image) != 1) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", image.width, image.height);
  // Rows keep the buffer's capacity as their stride.
  for (int i = 0; i < image.width * image.height; ++i) {
    const std::uint32_t p = pixels[static_cast<std::size_t>(i / image.width * 1024 + i % image.width)];
    const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                  static_cast<unsigned char>(p)};
    std::fwrite(rgb, 1, 3, f);
  }
  std::fclose(f);
  Say("snapshot %s %d %d", path.c_str(), image.width, image.height);
  return true;
}

BOOL CALLBACK FindPopup(HWND child, LPARAM result) {
  if (GetDlgCtrlID(child) == 99) {
    *reinterpret_cast<HWND*>(result) = child;
    return FALSE;
  }
  return TRUE;
}

void RunCommand(const std::string& line) {
  if (line.rfind("param ", 0) == 0) {
    const int index = std::atoi(line.c_str() + 6);
    Say("param %d %.6f", index, static_cast<double>(gEffect->getParameter(gEffect, index)));
  } else if (line.rfind("text ", 0) == 0) {
    const int index = std::atoi(line.c_str() + 5);
    char text[64] = {};
    Dispatch(effGetParamDisplay, index, 0, text);
    Say("text %d %s", index, text);
  } else if (line == "popup") {
    HWND popup = nullptr;
    EnumChildWindows(gHostWindow, FindPopup, reinterpret_cast<LPARAM>(&popup));
    if (!popup) {
      Say("popup none");
      return;
    }
    char cls[64] = {}, text[64] = {};
    GetClassNameA(popup, cls, sizeof cls);
    GetWindowTextA(popup, text, sizeof text);
    Say("popup %s %s", cls, text);
  } else if (line.rfind("snapshot ", 0) == 0) {
    if (!WriteSnapshot(line.substr(9))) Say("snapshot failed");
  } else if (line == "quit") {
    DestroyWindow(gHostWindow);
  } else {
    Say("unknown %s", line.c_str());
  }
}

// Reads commands on its own thread and hands them to the window's thread.
DWORD WINAPI ReadCommands(LPVOID) {
  char line[512];
  while (std::fgets(line, sizeof line, stdin)) {
    std::size_t n = std::strlen(line);
    while (n && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
    PostMessageA(gHostWindow, kCommandMessage, 0, reinterpret_cast<LPARAM>(new std::string(line)));
  }
  PostMessageA(gHostWindow, kCommandMessage, 0, reinterpret_cast<LPARAM>(new std::string("quit")));
  return 0;
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case kCommandMessage: {
      std::string* line = reinterpret_cast<std::string*>(lParam);
      RunCommand(*line);
      delete line;
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: duv-win-host DUV.dll\n");
    return 2;
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (!module) {
    std::fprintf(stderr, "cannot load %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  using Entry = AEffect* (*)(audioMasterCallback);
  auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")));
  auto alias = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "main")));
  if (!entry || !alias) {
    std::fprintf(stderr, "entry points missing\n");
    return 1;
  }
  gEffect = entry(HostCallback);
  if (!gEffect || gEffect->magic != kEffectMagic) {
    std::fprintf(stderr, "no effect\n");
    return 1;
  }
  Dispatch(effOpen);
  Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  Dispatch(effSetBlockSize, 0, 512);
  Dispatch(effMainsChanged, 0, 1);

  ERect* rect = nullptr;
  Dispatch(effEditGetRect, 0, 0, &rect);
  const int width = rect ? rect->right - rect->left : 716;
  const int height = rect ? rect->bottom - rect->top : 227;

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kHostClass;
  RegisterClassA(&wc);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, width, height};
  AdjustWindowRect(&frame, style, FALSE);
  gHostWindow = CreateWindowExA(0, kHostClass, kHostTitle, style, 40, 40, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  if (!gHostWindow) return 1;
  if (Dispatch(effEditOpen, 0, 0, gHostWindow) != 1) {
    std::fprintf(stderr, "effEditOpen failed\n");
    return 1;
  }
  ShowWindow(gHostWindow, SW_SHOWNORMAL);
  UpdateWindow(gHostWindow);

  HWND child = FindWindowExA(gHostWindow, nullptr, "IPluginWndClass", nullptr);
  if (child) {
    char cls[64] = {}, title[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, title, sizeof title);
    RECT r{};
    GetWindowRect(child, &r);
    POINT origin{r.left, r.top};
    ScreenToClient(gHostWindow, &origin);
    Say("child %s %s %ld %ld %ld %ld", cls, title, origin.x, origin.y, r.right - r.left,
        r.bottom - r.top);
    Say("origin %ld %ld", r.left, r.top);
  } else {
    Say("child none");
  }
  Say("ready %s", kHostTitle);
  CreateThread(nullptr, 0, ReadCommands, nullptr, 0, nullptr);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  Dispatch(effEditClose);
  Dispatch(effMainsChanged, 0, 0);
  Dispatch(effClose);
  Say("closed");
  // The reader thread may still wait on standard input: end without waiting for it.
  std::fflush(stdout);
  ExitProcess(0);
}

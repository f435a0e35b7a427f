#include "graphics/platform/linux/IGraphicsLinux.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <new>
#include <string>
#include <vector>

#include "graphics/platform/linux/DesktopProcess.h"
#include "graphics/platform/linux/FontRenderer.h"
#include "raster/Blit.h"
#include "raster/RasterBitmap.h"

namespace {

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

IGraphicsLinux::IGraphicsLinux(IPluginBase* plug, int width, int height, int fps)
    : IGraphicsRaster(plug, width, height, fps) {}

bool IGraphicsLinux::DrawScreen(const IRect*) { return true; }  // no window to copy to

bool IGraphicsLinux::DrawText(const IText* text, const char* str, const IRect* r) {
  if (!text || !str || !r || !mDrawBitmap) return true;
  IRect clipped = r->Intersect(mDrawRect);
  if (clipped.Empty()) return true;
  std::vector<std::uint8_t> coverage, part;
  if (!FontRenderer::Instance().RenderLine(text->face, text->size, text->style, text->align, str,
                                           r->W(), r->H(), &coverage))
    return true;
  // Only the part inside the redraw's clip is drawn. Without the memory for
  // it the text is left out: drawing runs on threads with no one to catch.
  try {
    part.resize(static_cast<std::size_t>(clipped.W()) * clipped.H());
  } catch (const std::bad_alloc&) {
    return true;
  }
  for (int y = 0; y < clipped.H(); ++y)
    for (int x = 0; x < clipped.W(); ++x)
      part[static_cast<std::size_t>(y) * clipped.W() + x] =
          coverage[static_cast<std::size_t>(clipped.T - r->T + y) * r->W() + (clipped.L - r->L + x)];
  duv::drawGlyph(mDrawBitmap, clipped.L, clipped.T, text->color.Packed(), part.data(), clipped.W(),
                 clipped.H(), text->color.A / 255.0f, duv::kCombinerCopy);
  return true;
}

void IGraphicsLinux::PromptParameterEntry(IControl*, IParam*) {}

void IGraphicsLinux::GetHostDirectory(std::string* out) {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  *out = n > 0 ? FolderOf(std::string(path, static_cast<std::size_t>(n))) : std::string();
}

void IGraphicsLinux::GetPluginDirectory(std::string* out) {
  // Found once per load of the module: every instance's editor asks, and
  // resolving the path walks the file system.
  static const std::string folder = [] {
    // Any address inside this module names the file it was loaded from.
    Dl_info info{};
    static const int kAnchor = 0;
    if (!dladdr(&kAnchor, &info) || !info.dli_fname) return std::string();
    char resolved[PATH_MAX];
    return FolderOf(realpath(info.dli_fname, resolved) ? resolved : info.dli_fname);
  }();
  *out = folder;
}

void IGraphicsLinux::PromptForFile(std::string* out, int, const char*, const char*) {
  out->clear();
}

bool IGraphicsLinux::PromptForColor(IColor*, const char*) { return false; }

bool IGraphicsLinux::OpenURL(const char* url, const char*, const char* confirm, const char*) {
  if (!url || !*url) return false;
  if (confirm && *confirm) return false;  // no one to ask
  int status = duv_desktop::StartWatched({"xdg-open", url});
  if (status < 0) return false;
  close(status);  // no one waits for the opener's verdict here
  return true;
}

void* IGraphicsLinux::OpenWindow(void*) { return nullptr; }

void IGraphicsLinux::CloseWindow() {}

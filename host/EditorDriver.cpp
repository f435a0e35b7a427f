#include "host/EditorDriver.h"

#include <sstream>

#include "plugin/vst2/EditorProbe.h"

bool EditorDriver::Snapshot(int* width, int* height, std::vector<std::uint32_t>* pixels) {
  ERect rect{};
  if (!mPlugin.EditorRect(&rect)) return false;
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0) return false;
  pixels->assign(static_cast<std::size_t>(w) * h, 0);
  EditorProbeImage image{w, h, pixels->data()};
  if (mPlugin.Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeSnapshot, &image) != 1)
    return false;
  *width = image.width;
  *height = image.height;
  return true;
}

bool EditorDriver::Mouse(const MouseStep& s) {
  EditorProbeMouse m{};
  m.kind = static_cast<std::int32_t>(s.kind);
  m.x = s.x;
  m.y = s.y;
  m.left = s.left;
  m.right = s.right;
  m.shift = s.shift;
  m.ctrl = s.ctrl;
  m.alt = s.alt;
  m.delta = s.delta;
  return mPlugin.Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeMouse, &m) == 1;
}

bool EditorDriver::Tick(int rect[4]) {
  int local[4] = {};
  return mPlugin.Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeTick, rect ? rect : local) == 1;
}

bool EditorDriver::ParseGesture(const std::string& text, std::vector<MouseStep>* steps,
                                std::string* error) {
  std::stringstream all(text);
  std::string part;
  MouseStep last;
  while (std::getline(all, part, ';')) {
    std::stringstream words(part);
    std::string kind, point;
    if (!(words >> kind)) continue;  // empty step
    MouseStep s = last;
    s.delta = 0;
    if (kind == "down") s.kind = MouseStep::kDown;
    else if (kind == "up") s.kind = MouseStep::kUp;
    else if (kind == "drag") s.kind = MouseStep::kDrag;
    else if (kind == "dbl") s.kind = MouseStep::kDoubleClick;
    else if (kind == "wheel") s.kind = MouseStep::kWheel;
    else {
      *error = "unknown gesture step '" + kind + "' (down, up, drag, dbl, wheel)";
      return false;
    }
    char comma = 0;
    std::stringstream xy(words >> point ? point : "");
    if (!(xy >> s.x >> comma >> s.y) || comma != ',') {
      *error = "gesture step '" + part + "' needs a point x,y";
      return false;
    }
    bool pressing = s.kind == MouseStep::kDown || s.kind == MouseStep::kDoubleClick;
    if (pressing) s.left = s.right = s.shift = s.ctrl = s.alt = false;
    bool anyButton = false;
    for (std::string w; words >> w;) {
      if (w == "left") s.left = anyButton = true;
      else if (w == "right") s.right = anyButton = true;
      else if (w == "shift") s.shift = true;
      else if (w == "ctrl") s.ctrl = true;
      else if (w == "alt") s.alt = true;
      else if (s.kind == MouseStep::kWheel && (std::stringstream(w) >> s.delta)) {
      } else {
        *error = "unknown word '" + w + "' in gesture step '" + part + "'";
        return false;
      }
    }
    if (pressing && !anyButton) s.left = true;
    steps->push_back(s);
    if (pressing) last = s;
  }
  return true;
}

// Text for the editor: faces found through fontconfig (a face name such as
// "Arial" resolves to whatever matching face the machine has), glyphs
// rasterised by FreeType into a coverage mask. When no face can be found,
// nothing is drawn and nothing fails. Process-wide, guarded by its own lock.
#pragma once

#include <cstdint>
#include <vector>

class FontRenderer {
 public:
  static FontRenderer& Instance();

  // Coverage (0..255) of one line of text in a box of boxW x boxH pixels,
  // aligned left (0), centred (1) or right (2), its ascent at the box's top.
  // Answers false (coverage left empty) when no face is available or memory
  // runs out; never throws.
  bool RenderLine(const char* face, int sizePx, int style, int align, const char* text, int boxW,
                  int boxH, std::vector<std::uint8_t>* coverage);

  // Sets the font machinery up now, on the calling thread. A window opener
  // calls it first, so that the editor's own thread never enters the dynamic
  // loader: a host unloading the module holds the loader's lock while it
  // waits for that thread to stop.
  static void Prepare() { Instance().GetImpl(); }
  // Reads the machine's font configuration now, once per process, so that
  // the first text drawn does not wait for it: a window's thread runs it
  // beside the first showing's image decoding. Drawing meanwhile waits.
  static void LoadConfiguration();

  ~FontRenderer();

 private:
  FontRenderer() = default;
  struct Impl;
  Impl* GetImpl();  // made on first use; null when memory runs out
  bool Render(const char* face, int sizePx, int style, int align, const char* text, int boxW,
              int boxH, std::vector<std::uint8_t>* coverage);  // may throw std::bad_alloc
  Impl* mImpl = nullptr;
};

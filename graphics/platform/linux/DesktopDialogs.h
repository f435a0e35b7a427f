// The desktop's own dialog tools for the colour chooser and the open and
// save dialogs: zenity when installed, else kdialog. Each call starts the
// tool without a shell and blocks the calling thread until the user closes
// it; with neither tool installed nothing opens. Any thread, but the caller
// should not hold the instance lock for longer than a user takes to choose.
#pragma once

#include <string>

#include "graphics/IGraphicsTypes.h"

namespace duv_desktop {

// Offers *color (R, G, B; alpha is left alone) as the start and writes the
// choice back. prompt, when not null or empty, is the dialog's title. False
// with *color unchanged when no tool is installed, the user cancels, or the
// tool's answer is neither "#rrggbb", "rgb(r,g,b)" nor "rgba(r,g,b,a)".
bool ChooseColor(IColor* color, const char* prompt);

// action 1: save (the tool asks before overwriting), else open. directory is
// where the dialog starts ("/" is added when missing; empty: the tool's
// default). Answers the chosen path without its line end; empty when no tool
// is installed or the user cancels.
std::string ChooseFile(int action, const std::string& directory);

}  // namespace duv_desktop

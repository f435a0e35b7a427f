// Starting the desktop's helper programs (the opener, dialog tools) without a
// shell. Arguments are passed as they are, so a URL or path can never be read
// as shell syntax. Any thread; after fork only async-signal-safe calls run.
#pragma once

#include <string>
#include <vector>

namespace duv_desktop {

// Starts argv (argv[0] looked up on PATH) detached from this process; waits
// only until the program has been executed. Answers the read end of a pipe
// (non-blocking, close-on-exec) that receives one int, the program's exit
// status (127 when it was killed), when it ends; the caller polls and closes
// it. Answers -1 when the program could not be started.
int StartWatched(const std::vector<std::string>& argv);

// Reads the exit status from a StartWatched pipe without waiting: true with
// *status set when the program has ended (the pipe is then done); false while
// it still runs.
bool PollExitStatus(int fd, int* status);

// Whether a program of that name is on PATH and executable.
bool ProgramOnPath(const char* name);

// Runs argv to completion, collecting its standard output (up to 64 KiB).
// Answers whether it started and exited with status 0. Blocks the caller.
bool RunForOutput(const std::vector<std::string>& argv, std::string* out);

}  // namespace duv_desktop

// File-system helpers for the tools' inputs and outputs: where a path
// really leads, anonymous temporary files, and copying between descriptors.
// POSIX only. Each call works on the caller's thread and keeps no state.
#pragma once

#include <functional>
#include <string>

// What an output path is, once symbolic links are followed.
struct OutputTarget {
  enum Kind {
    kRegular,  // an ordinary file, or nothing yet: write beside it and rename onto it
    kStream,   // a FIFO, device or socket: write into it as it is, never replace it
  } kind = kRegular;
  std::string path;  // the final path: the link's target, resolved through a chain
  unsigned mode = 0;  // kRegular: the existing file's permission bits; 0 when new
};

// Follows the symbolic links that `path` (and each link's target) names, as
// open() would, but keeps the last name even when nothing exists there (a
// link to a file not yet written is written at its target). False with
// *error set for a folder, a link loop or an unreadable link.
bool ResolveOutput(const std::string& path, OutputTarget* target, std::string* error);

// An open read-write descriptor of a new, already unlinked file in the
// temporary folder ($TMPDIR, else /tmp): it vanishes when closed, whatever
// happens to the process. -1 with *error set on failure.
int AnonymousTempFile(std::string* error);

// Copies from `from` (read to its end) into `to`, whole. A write or read cut
// short by a signal continues unless keepGoing (when given) answers false.
// False with *error set ("stopped" when keepGoing said so; else the
// system's reason, "Broken pipe" when a reader has gone: callers ignore
// SIGPIPE so that it is reported rather than fatal).
bool CopyAll(int from, int to, const std::function<bool()>& keepGoing, std::string* error);

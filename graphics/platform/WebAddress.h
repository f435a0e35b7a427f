// The one rule both window layers apply before opening an address: only a web
// address (http:// or https://, in any case) needs a network connection. A
// path, a file:// address or a network share opens offline, so asking for a
// connection would refuse the manual on a machine without one. Pure text
// test, no system calls; any thread.
#pragma once

namespace duv_platform {

// Whether url (NUL-terminated) starts with "http://" or "https://", compared
// without regard to ASCII case. False for null and for anything shorter than
// the prefix.
bool NeedsConnection(const char* url);

}  // namespace duv_platform

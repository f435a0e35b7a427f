#include "graphics/platform/WebAddress.h"

#include <gtest/gtest.h>

namespace {

TEST(WebAddress, OnlyHttpAndHttpsAddressesNeedAConnection) {
  struct Case {
    const char* url;
    bool needs;
  };
  const Case kCases[] = {
      {"https://pelko.audio/duv", true},
      {"http://example.org", true},
      {"HTTPS://EXAMPLE.ORG", true},
      {"HtTp://mixed.case", true},
      {"http://", true},  // the bare prefix is still a web address
      {"/usr/lib/vst/Pelko-DUV.pdf", false},
      {"C:\\Program Files\\DUV\\DUV manual.pdf", false},
      {"file:///C:/DUV/manual.pdf", false},
      {"\\\\server\\share\\manual.pdf", false},
      {"ftp://example.org/file", false},
      {"httpx://example.org", false},
      {"https:/example.org", false},
      {" http://example.org", false},  // no trimming: the opener gets the text as it is
      {"http:", false},                 // shorter than the prefix
      {"https", false},
      {"", false},
      {nullptr, false},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(duv_platform::NeedsConnection(c.url), c.needs) << (c.url ? c.url : "(null)");
}

}  // namespace

#include "graphics/platform/WebAddress.h"

#include <cctype>
#include <cstddef>

namespace duv_platform {

bool NeedsConnection(const char* url) {
  if (!url) return false;
  auto startsWith = [url](const char* prefix) {
    // A shorter url meets its NUL first, which matches no prefix letter.
    for (std::size_t i = 0; prefix[i]; ++i)
      if (std::tolower(static_cast<unsigned char>(url[i])) != prefix[i]) return false;
    return true;
  };
  return startsWith("http://") || startsWith("https://");
}

}  // namespace duv_platform

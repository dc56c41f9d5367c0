#include "sys/Version.h"

#include <rastra/version.h>

namespace rastra {

const char* VersionString() noexcept { return RASTRA_VERSION_STRING; }

namespace sys {

const std::string& VersionText() {
  static const std::string text = RASTRA_VERSION_STRING;
  return text;
}

const char* DisplayName() { return "Rastra Bitmap Converter for Lumar"; }

}  // namespace sys

}  // namespace rastra

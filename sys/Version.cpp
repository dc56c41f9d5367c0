#include "sys/Version.h"

#include <cstdio>

namespace rastra {

namespace sys {
namespace {
constexpr int kVersionMajor = 5;
constexpr int kVersionMinor = 50;

std::string FormVersionText() {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%.2d", kVersionMajor, kVersionMinor);
  return text;
}
}  // namespace

const std::string& VersionText() {
  static const std::string text = FormVersionText();
  return text;
}

const char* DisplayName() { return "Rastra Bitmap Converter for Lumar"; }

}  // namespace sys

}  // namespace rastra

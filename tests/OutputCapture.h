// Runs a writer against a real file through an OutBuffer of its own and hands
// back what reached the file, for the writer tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "sys/File.h"
#include "writers/TextOutput.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace testing_support {

// write(out) fills the buffer; every byte of it must reach the file.
template <class WriteFn>
std::string CaptureOutput(WriteFn&& write) {
  TempDir dir;
  const std::string path = dir.File("out.txt");
  {
    auto file = sys::File::Create(path);
    EXPECT_TRUE(file.has_value());
    if (!file) return {};
    OutBuffer out(*file);
    write(out);
    EXPECT_TRUE(OutComplete(out));
    EXPECT_TRUE(file->Close());
  }
  return ReadText(path);
}

// Splits generated text at its CR LF line ends.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const auto end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

// The generated text after the banner's includes.
inline std::string AfterBanner(const std::string& text) {
  const std::string marker = "#ifndef GUI_CONST_STORAGE\r\n  #define GUI_CONST_STORAGE const\r\n#endif\r\n\r\n";
  const auto at = text.find(marker);
  return at == std::string::npos ? std::string() : text.substr(at + marker.size());
}

}  // namespace testing_support

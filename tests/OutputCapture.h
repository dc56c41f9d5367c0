// Runs a writer against a real file through OutBuffer and hands back what
// reached the file, for the writer tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/Report.h"
#include "app/Settings.h"
#include "sys/File.h"
#include "writers/TextOutput.h"

namespace testing_support {

template <class WriteFn>
std::string CaptureOutput(WriteFn&& write) {
  TempDir dir;
  const std::string path = dir.File("out.txt");
  {
    auto file = sys::File::Create(path);
    EXPECT_TRUE(file.has_value());
    if (!file) return {};
    OutAttach(*file);
    write(*file);
    OutFlush();
    OutDetach();
    file->Close();
  }
  return ReadText(path);
}

// Collects the texts of ReportText while it lives (interactive mode, no log).
class ReportCollector {
 public:
  ReportCollector() : previous_(GetMessageBoxHook()) {
    Texts().clear();
    SetMessageBoxHook([](const std::string&, const std::string& text) { Texts().push_back(text); });
  }
  ~ReportCollector() { SetMessageBoxHook(previous_); }
  ReportCollector(const ReportCollector&) = delete;
  ReportCollector& operator=(const ReportCollector&) = delete;
  static std::vector<std::string>& Texts() {
    static std::vector<std::string> texts;
    return texts;
  }

 private:
  MessageBoxHook previous_;
};

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

// Restores the process-wide ARGB setting after a test changes it.
class UseArgbScope {
 public:
  explicit UseArgbScope(bool on) : saved_(GetSettings().UseARGB) { GetSettings().UseARGB = on ? 1 : 0; }
  ~UseArgbScope() { GetSettings().UseARGB = saved_; }
  UseArgbScope(const UseArgbScope&) = delete;
  UseArgbScope& operator=(const UseArgbScope&) = delete;

 private:
  std::uint32_t saved_;
};

// The generated text after the banner's includes.
inline std::string AfterBanner(const std::string& text) {
  const std::string marker = "#ifndef GUI_CONST_STORAGE\r\n  #define GUI_CONST_STORAGE const\r\n#endif\r\n\r\n";
  const auto at = text.find(marker);
  return at == std::string::npos ? std::string() : text.substr(at + marker.size());
}

}  // namespace testing_support

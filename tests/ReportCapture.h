// Collects the texts the code under test reports, instead of showing them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Report.h"
#include "image/Bitmap.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace testing_support {

// Installs itself for one test: the application's reports (interactive
// path, no batch run) and progress notes land in the two lists.
class ReportCapture {
 public:
  ReportCapture() {
    ResetRunState();
    Texts().clear();
    Notes().clear();
    SetMessageBoxHook([](const std::string&, const std::string& text) { Texts().push_back(text); });
    SetProgressHook([](const std::string& text) { Notes().push_back(text); });
  }
  ~ReportCapture() {
    SetMessageBoxHook(nullptr);
    SetProgressHook(nullptr);
  }
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  static std::vector<std::string>& Texts() {
    static std::vector<std::string> texts;
    return texts;
  }
  static std::vector<std::string>& Notes() {
    static std::vector<std::string> notes;
    return notes;
  }
  static bool Reported(const std::string& text) {
    return std::find(Texts().begin(), Texts().end(), text) != Texts().end();
  }
  static bool ReportedStartingWith(const std::string& prefix) {
    return std::any_of(Texts().begin(), Texts().end(),
                       [&](const std::string& t) { return t.rfind(prefix, 0) == 0; });
  }
  void Clear() {
    Texts().clear();
    Notes().clear();
  }
};

}  // namespace testing_support

// A command line with several images, run in-process: the jobs on their
// threads give the files and the log that one image after the other gives.
// Built with ThreadSanitizer by scripts/tsan.sh.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "TestSupport.h"
#include "app/CommandLine.h"
#include "app/ImageDocument.h"
#include "app/ImageJobs.h"
#include "app/Report.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::ReadText;
using testing_support::TempDir;
namespace fs = std::filesystem;

std::map<std::string, std::string> FilesBelow(const fs::path& dir) {
  std::map<std::string, std::string> files;
  if (!fs::exists(dir)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = ReadText(entry.path().string());
  }
  return files;
}

class CliThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string source = RASTRA_SOURCE_DIR;
    const char* const pictures[] = {"samples/logo.bmp", "examples/firmware/images/badge.png",
                                    "examples/firmware/images/ramp.bmp", "examples/firmware/images/flag.gif"};
    for (int copy = 0; copy < 3; ++copy) {
      for (const char* picture : pictures) {
        const fs::path from = fs::path(source) / picture;
        const std::string image = dir_.File(std::to_string(copy) + "_" + from.filename().string());
        fs::copy_file(from, image);
        images_.push_back(image);
      }
    }
    images_.push_back(dir_.File("missing.png"));
  }
  void TearDown() override {
    ResetRunState();
    ResetDocument();
  }
  std::vector<std::string> Commands(const std::string& out) const {
    return {"-convertintobestpalette", "-saveas" + out + "/%n,1,7", "-reducecolors7", "-fliph",
            "-saveas" + out + "/%n,3",  "-scale50%,200%",          "-saveas" + out + "/%n,2", "-exit"};
  }
  // One command line in-process; returns the log.
  std::string Process(const std::vector<std::string>& args) {
    ResetRunState();
    ResetDocument();
    GetRunState().echoToStderr = false;
    const std::string log = dir_.File("Rastra.log");
    fs::remove(log);
    EXPECT_TRUE(ProcessCommandLine("Rastra", log, args));
    ResetRunState();  // closes the log
    return fs::exists(log) ? ReadText(log) : "";
  }
  TempDir dir_;
  std::vector<std::string> images_;
};

TEST_F(CliThreads, SeveralImagesGiveWhatOneAfterTheOtherGives) {
  std::string singleLog;
  for (const std::string& image : images_) {
    std::vector<std::string> args = {image};
    const auto commands = Commands(dir_.File("single"));
    args.insert(args.end(), commands.begin(), commands.end());
    singleLog += Process(args);
  }
  std::vector<std::string> args = images_;
  const auto commands = Commands(dir_.File("together"));
  args.insert(args.end(), commands.begin(), commands.end());
  EXPECT_EQ(Process(args), singleLog);
  EXPECT_NE(singleLog.find("File not found."), std::string::npos);
  const auto single = FilesBelow(dir_.File("single"));
  EXPECT_EQ(single.size(), 3 * (images_.size() - 1));
  EXPECT_EQ(FilesBelow(dir_.File("together")), single);
}

// More workers than cores and than images, and one: the same bytes.
TEST_F(CliThreads, TheNumberOfWorkersChangesNothing) {
  std::map<std::string, std::string> first;
  std::string firstLog;
  for (unsigned workers : {1u, 3u, 16u, 40u}) {
    const std::string out = dir_.File("w" + std::to_string(workers));
    std::vector<QueuedCommand> queue;
    for (const std::string& argument : Commands(out)) {
      const CommandEntry* entry = LookupCommand(argument.substr(1));
      ASSERT_NE(entry, nullptr);
      queue.push_back({entry, argument.substr(1 + std::strlen(entry->keyword)), argument});
    }
    ResetRunState();
    RunState& state = GetRunState();
    state.batchActive = true;
    state.exitQueued = true;
    state.echoToStderr = false;
    state.logFileName = dir_.File("w" + std::to_string(workers) + ".log");
    const ImageJobsResult result = RunImageJobs(images_, queue, OutputOptions{}, JobReadOptions(), true, workers);
    EXPECT_TRUE(result.exitRequested);
    ASSERT_TRUE(result.lastDocument.sourcePath.empty());  // the last image is missing
    const int exitCode = state.exitCode;
    ResetRunState();
    const std::string log = ReadText(dir_.File("w" + std::to_string(workers) + ".log"));
    const auto files = FilesBelow(out);
    if (workers == 1) {
      first = files;
      firstLog = log;
      EXPECT_EQ(exitCode, 1);  // the missing image's last report: a conversion without image
    }
    EXPECT_EQ(files, first) << workers;
    EXPECT_EQ(log, firstLog) << workers;
  }
}

}  // namespace

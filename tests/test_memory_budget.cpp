// Sharing memory among the images of a run: the header a file's first bytes
// give, the estimate of an image's peak made from it, and the gate that lets
// images start only within the budget.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>

#include "CoreTestSupport.h"
#include "TestSupport.h"
#include "app/CommandTable.h"
#include "app/ImageJobs.h"
#include "app/MemoryEstimate.h"
#include "app/MemoryGate.h"
#include "app/Report.h"
#include "readers/ImageHeader.h"
#include "readers/ImageReaders.h"
#include "sys/Memory.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// ------------------------------------------------------------------ headers

// Every picture the readers take: the header says the size and kind of
// picture the reader makes of it.
TEST(ImageHeader, AgreesWithWhatTheReaderMakes) {
  std::vector<fs::path> files = {fs::path(RASTRA_SOURCE_DIR) / "samples/logo.bmp"};
  for (const auto& entry : fs::directory_iterator(fs::path(RASTRA_SOURCE_DIR) / "examples/firmware/images")) {
    files.push_back(entry.path());
  }
  if (const auto corpus = testing_support::CorpusDir()) {
    for (const char* sub : {"bmp/g", "png", "gif", "jpeg"}) {
      if (!fs::is_directory(*corpus / sub)) continue;
      for (const auto& entry : fs::directory_iterator(*corpus / sub)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    }
  }
  int compared = 0;
  for (const fs::path& file : files) {
    const Bytes bytes = testing_support::ReadBytes(file.string());
    sys::Context ctx;
    const ReadResult read = LoadImageBytes(bytes, file.string(), {}, ctx);
    if (!read) continue;
    const std::optional<ImageHeader> header =
        PeekImageHeader(std::span(bytes).first(std::min(bytes.size(), kImageHeaderBytes)));
    ASSERT_TRUE(header) << file;
    EXPECT_EQ(header->fileType, read.fileType) << file;
    EXPECT_EQ(header->width, read.image->XSize) << file;
    EXPECT_EQ(header->height, read.image->YSize) << file;
    EXPECT_EQ(header->palette, read.image->NumColors != 0) << file;
    ++compared;
  }
  EXPECT_GE(compared, 5);
}

Bytes Jpeg(std::uint8_t frameMarker, std::size_t appBytes, std::size_t cut = 0) {
  Bytes b = {0xFF, 0xD8, 0xFF, 0xE1};
  b.push_back(static_cast<std::uint8_t>((appBytes + 2) >> 8));
  b.push_back(static_cast<std::uint8_t>(appBytes + 2));
  b.insert(b.end(), appBytes, 0);
  // Fill bytes may stand before a marker.
  const Bytes frame = {0xFF, 0xFF, frameMarker, 0x00, 0x11, 8, 0x01, 0x00, 0x02, 0x00, 3};
  b.insert(b.end(), frame.begin(), frame.end() - static_cast<std::ptrdiff_t>(cut));
  return b;
}

TEST(ImageHeader, JpegFrameHeaderBehindItsSegments) {
  const struct {
    Bytes bytes;
    bool found;
    std::uint64_t workBytes;  // 512 x 256 pixels of three components
  } cases[] = {
      {Jpeg(0xC0, 100), true, 512 * 256 * 3},
      {Jpeg(0xC2, 100), true, 3 * 512 * 256 * 3},  // progressive: the coefficients too
      {Jpeg(0xCA, 100), true, 3 * 512 * 256 * 3},  // and so with arithmetic coding
      {Jpeg(0xC1, 60000), true, 512 * 256 * 3},
      {Jpeg(0xC4, 100), false, 0},  // a Huffman table, no frame
      {Jpeg(0xC0, 100, 4), false, 0},  // cut inside the frame header
      {Jpeg(0xC0, kImageHeaderBytes), false, 0},  // beyond what is looked at
  };
  for (const auto& c : cases) {
    const std::span<const std::uint8_t> head(c.bytes.data(), std::min(c.bytes.size(), kImageHeaderBytes));
    const std::optional<ImageHeader> header = PeekImageHeader(head);
    ASSERT_EQ(header.has_value(), c.found) << c.bytes.size();
    if (!header) continue;
    EXPECT_EQ(header->width, 512);
    EXPECT_EQ(header->height, 256);
    EXPECT_FALSE(header->palette);
    EXPECT_EQ(header->workBytes, c.workBytes);
  }
}

TEST(ImageHeader, NoPictureNoHeader) {
  Bytes bmpWithoutPixels = testing_support::ReadBytes(std::string(RASTRA_SOURCE_DIR) + "/samples/logo.bmp");
  std::fill(bmpWithoutPixels.begin() + 18, bmpWithoutPixels.begin() + 22, 0);  // width 0
  for (const Bytes& bytes : {Bytes{}, Bytes{'G', 'I', 'F', '8', '9', 'a'}, Bytes(100, 7), bmpWithoutPixels,
                             Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D'}}) {
    EXPECT_FALSE(PeekImageHeader(bytes)) << bytes.size();
  }
}

// ---------------------------------------------------------------- estimates

std::vector<QueuedCommand> Queue(const std::vector<std::string>& arguments) {
  std::vector<QueuedCommand> queue;
  for (const std::string& argument : arguments) {
    const CommandEntry* entry = LookupCommand(argument.substr(1));
    EXPECT_NE(entry, nullptr) << argument;
    if (entry != nullptr) queue.push_back({entry, argument.substr(1 + std::strlen(entry->keyword)), argument});
  }
  return queue;
}

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kFile = 1000;

// A picture of 1024 x 1024: 4 MiB in true colour, 1 MiB on a palette. The
// numbers are the peaks in MiB, each with the 1 MiB every job takes and
// rounded down (the file and the readers' row tables add a little).
TEST(MemoryEstimate, FollowsThePictureThroughTheCommands) {
  const ImageHeader png{kFileTypePng, 1024, 1024, false, 0};
  const ImageHeader gif{kFileTypeGif, 1024, 1024, true, 0};
  const struct {
    ImageHeader header;
    std::vector<std::string> commands;
    std::uint64_t mib;
  } cases[] = {
      {png, {}, 5},
      {png, {"-convertinto565"}, 9},                           // the new picture beside the old
      {png, {"-convertinto8666", "-fliph"}, 6},                // a palette picture is a quarter
      {png, {"-convertinto8666", "-convertintorgb"}, 6},       // and so is its way back
      {png, {"-convertintocustompalettex.GUIPal", "-convertintorgb"}, 11},  // the undo copy stays
      {png, {"-scale200%,200%"}, 29},                          // 16 MiB, through 8 MiB of one new side
      {png, {"-rotate90cw"}, 9},
      {gif, {"-saveasout,1,8,1"}, 10},                         // the undo copy, true colour, the writer's copy
      {gif, {"-saveasout,2"}, 6},
      {png, {"-saveasout,4"}, 11},                             // the GIF writer's palette picture replaces it
      {png, {"-saveasout,6"}, 17},
  };
  for (const auto& c : cases) {
    const std::vector<QueuedCommand> queue = Queue(c.commands);
    const std::uint64_t bytes = EstimateJobBytes(c.header, kFile, queue, ReadOptions{});
    EXPECT_EQ(bytes / kMiB, c.mib) << ::testing::PrintToString(c.commands);
  }
}

TEST(MemoryEstimate, WhatIsKeptBesideThePicture) {
  const ImageHeader gif{kFileTypeGif, 1024, 1024, true, 0};
  const ImageHeader jpeg{kFileTypeJpeg, 1024, 1024, false, 3 * kMiB};
  // A GIF's bytes stay with the document for an animation save.
  EXPECT_EQ(EstimateJobBytes(gif, 8 * kMiB, Queue({"-convertintorgb"}), {}) -
                EstimateJobBytes(gif, 0, Queue({"-convertintorgb"}), {}),
            8 * kMiB);
  // A picture turned upright by its EXIF tag is made twice.
  ReadOptions upright;
  upright.applyOrientation = true;
  EXPECT_EQ(EstimateJobBytes(jpeg, 0, {}, upright) - EstimateJobBytes(jpeg, 0, {}, {}), 4 * kMiB);
  // A file no header is recognised in: a few times its size.
  EXPECT_EQ(EstimateJobBytes(std::nullopt, 10 * kMiB, Queue({"-convertintorgb"}), {}), 41 * kMiB);
}

// -------------------------------------------------------------------- gate

bool EntersWithin(std::future<MemoryGate::Pass>& entered, int ms) {
  return entered.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
}

TEST(MemoryGate, StartsImagesOnlyWithinTheBudget) {
  MemoryGate gate(25);
  const MemoryGate::Pass first = gate.Enter(0, 10);
  const MemoryGate::Pass second = gate.Enter(1, 10);
  auto third = std::async(std::launch::async, [&] { return gate.Enter(2, 10); });
  EXPECT_FALSE(EntersWithin(third, 100));
  EXPECT_TRUE(gate.Leave(first));  // the second came while it ran
  ASSERT_TRUE(EntersWithin(third, 5000));
  EXPECT_TRUE(gate.Leave(second));
  EXPECT_TRUE(gate.Leave(third.get()));
  EXPECT_EQ(gate.MostAtOnce(), 2u);
}

// An image larger than the budget still runs, alone; one that came alone and
// met nobody ran without company.
TEST(MemoryGate, AnyImageRunsWhenNoneElseDoes) {
  MemoryGate gate(5);
  const MemoryGate::Pass large = gate.Enter(0, 100);
  auto next = std::async(std::launch::async, [&] { return gate.Enter(1, 1); });
  EXPECT_FALSE(EntersWithin(next, 100));
  EXPECT_FALSE(gate.Leave(large));
  ASSERT_TRUE(EntersWithin(next, 5000));
  EXPECT_FALSE(gate.Leave(next.get()));
  // What is kept counts against the budget, yet never keeps an image out
  // when none runs.
  gate.Keep(5);
  const MemoryGate::Pass kept = gate.Enter(2, 1);
  auto beside = std::async(std::launch::async, [&] { return gate.Enter(3, 1); });
  EXPECT_FALSE(EntersWithin(beside, 100));
  gate.Leave(kept);
  ASSERT_TRUE(EntersWithin(beside, 5000));
  gate.Leave(beside.get());
}

// The lowest number waiting goes first: a small image that would fit does
// not overtake a large one that waits for room.
TEST(MemoryGate, NoImageOvertakesALowerNumber) {
  MemoryGate gate(20);
  const MemoryGate::Pass running = gate.Enter(0, 10);
  auto large = std::async(std::launch::async, [&] { return gate.Enter(1, 15); });
  EXPECT_FALSE(EntersWithin(large, 100));
  auto small = std::async(std::launch::async, [&] { return gate.Enter(2, 5); });
  EXPECT_FALSE(EntersWithin(small, 100));
  gate.Leave(running);
  ASSERT_TRUE(EntersWithin(large, 5000));
  ASSERT_TRUE(EntersWithin(small, 5000));  // 15 + 5 fit together
  gate.Leave(large.get());
  gate.Leave(small.get());
}

TEST(MemoryGate, AloneWaitsForTheOthersAndKeepsThemOut) {
  MemoryGate gate(1000);
  const MemoryGate::Pass running = gate.Enter(1, 1);
  auto alone = std::async(std::launch::async, [&] { return gate.EnterAlone(0); });
  EXPECT_FALSE(EntersWithin(alone, 100));
  gate.Leave(running);
  ASSERT_TRUE(EntersWithin(alone, 5000));
  const MemoryGate::Pass pass = alone.get();
  auto later = std::async(std::launch::async, [&] { return gate.Enter(2, 1); });
  EXPECT_FALSE(EntersWithin(later, 100));
  EXPECT_FALSE(gate.Leave(pass));
  ASSERT_TRUE(EntersWithin(later, 5000));
  gate.Leave(later.get());
  EXPECT_EQ(gate.MostAtOnce(), 1u);
}

// ------------------------------------------------------------- a whole run

// With no room for two, the images run one at a time, and give what they
// give side by side.
TEST(ImageJobsMemory, ABudgetForOneRunsOneAtATime) {
  testing_support::TempDir dir;
  std::vector<std::string> images;
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) {
    fs::copy_file(std::string(RASTRA_SOURCE_DIR) + "/samples/logo.bmp", dir.File(name));
    images.push_back(dir.File(name));
  }
  std::vector<std::string> logs;
  for (const std::uint64_t budget : {std::uint64_t{0}, std::uint64_t{1} << 40}) {
    const std::string out = dir.File("out" + std::to_string(budget));
    ResetRunState();
    RunState& state = GetRunState();
    state.batchActive = true;
    state.exitQueued = true;
    state.echoToStderr = false;
    state.logFileName = out + ".log";
    ImageJobsExtras extras;
    extras.memoryBudget = budget;
    const ImageJobsResult result =
        RunImageJobs(images, Queue({"-convertinto565", "-saveas" + out + "/%n,1", "-reducecolors1"}), {}, JobReadOptions(), true, 3,
                     extras);
    ResetRunState();
    if (budget == 0) {
      EXPECT_EQ(result.mostAtOnce, 1u);
    }
    // The window would show the last image as the commands left it.
    ASSERT_TRUE(result.lastDocument.current);
    EXPECT_EQ(result.lastDocument.sourcePath, images.back());
    EXPECT_EQ(result.lastDocument.current->NumColors, 0);
    EXPECT_EQ(result.ranAlone, 0u);
    for (const char* name : {"a.c", "b.c", "c.c", "d.c"}) EXPECT_TRUE(fs::exists(out + "/" + name)) << name;
    logs.push_back(testing_support::ReadText(out + ".log"));
  }
  EXPECT_EQ(logs[0], logs[1]);
  std::string fourTimes;
  for (int i = 0; i < 4; ++i) fourTimes += "Illegal number of colors.\n";
  EXPECT_EQ(logs[0], fourTimes);
}

// Under an address-space limit the budget is half the room left under it.
TEST(MemoryBudget, HalfTheRoomUnderAnAddressSpaceLimit) {
  RASTRA_SKIP_UNDER_SANITIZER();
  const pid_t child = fork();
  if (child == 0) {
    const std::uint64_t limit = std::uint64_t{1} << 33;
    const struct rlimit rl { limit, limit };
    ::unsetenv(kMemoryBudgetVariable);
    if (setrlimit(RLIMIT_AS, &rl) != 0) _exit(2);
    const std::uint64_t budget = MemoryBudgetBytes();
    const std::uint64_t used = sys::AddressSpaceInUseBytes();
    // The address space used may grow a little between the two looks.
    const bool half = budget <= (limit - used) / 2 + (16 << 20) && budget + (16 << 20) >= (limit - used) / 2;
    _exit(used != 0 && half ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(MemoryBudget, TheVariableSetsIt) {
  ::setenv(kMemoryBudgetVariable, "12345", 1);
  EXPECT_EQ(MemoryBudgetBytes(), 12345u);
  ::setenv(kMemoryBudgetVariable, "12x", 1);  // not a number: the machine's
  const std::uint64_t machine = MemoryBudgetBytes();
  ::unsetenv(kMemoryBudgetVariable);
  EXPECT_EQ(MemoryBudgetBytes(), machine);
  EXPECT_GT(machine, 0u);
}

}  // namespace

// The core library holds no state of its own: two jobs (read, convert, write
// C source) on two threads give exactly the bytes they give one after the
// other. Built with ThreadSanitizer by scripts/tsan.sh.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "CoreTestSupport.h"
#include "TestSupport.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "readers/ImageReaders.h"
#include "writers/ImageWriters.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

struct Job {
  std::string image;      // a file of the source tree
  int type;               // file type of the image
  int conversion;         // ColorFormatId, or -1 for the best palette
  bool dither;
  OutputSpec spec;
  int outputType;
  OutputOptions options;
};

// Everything a job produces: the written bytes and what the context recorded.
struct Outcome {
  std::vector<std::uint8_t> bytes;
  std::vector<std::string> texts;
  sys::Code code = sys::Code::kInternal;
};

Outcome RunJob(const Job& job) {
  Outcome outcome;
  sys::Context ctx;
  const std::vector<std::uint8_t> data = testing_support::ReadBytes(std::string(RASTRA_SOURCE_DIR) + "/" + job.image);
  ReadResult read = LoadImageData(data, job.type, ReadOptions{}, ctx);
  BitmapPtr image = std::move(read.image);
  if (job.conversion < 0) {
    image = ConvertToBestPalette(*image, job.options, ctx);
  } else if (job.dither) {
    image = DitherToFormat(*image, GetColorFormat(job.conversion), job.options, ctx);
  } else {
    image = ConvertToFormat(*image, GetColorFormat(job.conversion), job.options, ctx);
  }
  sys::MemorySink sink;
  const WriteResult written = WriteImageFile(image.get(), sink, "out/Logo.c", job.spec, job.outputType, job.options, ctx);
  outcome.bytes = sink.Bytes();
  outcome.code = written.code;
  for (const sys::Message& m : ctx.Messages()) outcome.texts.push_back(m.text);
  return outcome;
}

TEST(CoreThreads, TwoJobsAtOnceGiveTheBytesTheyGiveOneAfterTheOther) {
  OutputOptions argb;
  argb.useArgb = true;
  argb.bigEndian = true;
  OutputOptions plain;
  const std::vector<Job> jobs = {
      {"samples/logo.bmp", kFileTypeBmp, kFormat565, true, {8, 1}, kOutputCBitmap, plain},
      {"samples/logo.bmp", kFileTypeBmp, -1, false, {7, 0}, kOutputCBitmap, argb},
      {"samples/logo.bmp", kFileTypeBmp, kFormat8666, false, {5, 0}, kOutputCStream, argb},
      {"samples/logo.bmp", kFileTypeBmp, kFormat444_12, false, {12, 1}, kOutputCStream, plain},
  };
  std::vector<Outcome> alone;
  for (const Job& job : jobs) alone.push_back(RunJob(job));
  for (const Outcome& o : alone) {
    ASSERT_EQ(o.code, sys::Code::kOk);
    ASSERT_GT(o.bytes.size(), 1000u);
  }
  // The two option sets must lead to different output, or the comparison
  // below could not tell one job's options leaking into the other.
  ASSERT_NE(alone[1].bytes, RunJob({jobs[1].image, jobs[1].type, -1, false, {7, 0}, kOutputCBitmap, plain}).bytes);

  for (int round = 0; round < 3; ++round) {
    std::vector<Outcome> together(jobs.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      threads.emplace_back([&, i] { together[i] = RunJob(jobs[i]); });
    }
    for (std::thread& t : threads) t.join();
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      EXPECT_EQ(together[i].bytes, alone[i].bytes) << "job " << i << ", round " << round;
      EXPECT_EQ(together[i].texts, alone[i].texts) << "job " << i;
    }
  }
}

// Failures stay in the context of the job that met them.
TEST(CoreThreads, EachJobHearsOnlyOfItsOwnProblems) {
  std::vector<std::uint8_t> broken = {'B', 'M', 0, 0};
  std::vector<sys::Context> contexts(2);
  std::thread failing([&] { LoadImageData(broken, kFileTypeBmp, ReadOptions{}, contexts[0]); });
  std::thread working([&] {
    const auto data = testing_support::ReadBytes(std::string(RASTRA_SOURCE_DIR) + "/samples/logo.bmp");
    LoadImageData(data, kFileTypeBmp, ReadOptions{}, contexts[1]);
  });
  failing.join();
  working.join();
  EXPECT_EQ(contexts[0].LastFailure(), sys::Code::kTruncated);
  EXPECT_TRUE(contexts[1].Messages().empty());
}

// A picture large enough that mapping it onto its best palette takes a helper
// thread for half the rows: the same indexes on every run and with the
// progress reports of the calling thread only (ThreadSanitizer watches the
// two share the picture).
TEST(CoreThreads, LargePicturesShareTheirMappingWithAHelperThread) {
  auto convert = [] {
    sys::Context ctx;
    int reports = 0;
    ctx.SetProgress([&reports](const std::string&) { ++reports; });
    BitmapPtr picture = testing_support::MakeBitmap(1024, 600, 0);
    std::uint32_t state = 99;
    for (int y = 0; y < picture->YSize; ++y) {
      std::uint8_t* row = picture->Row(y);
      for (int x = 0; x < picture->XSize; ++x) {
        state = state * 1664525u + 1013904223u;
        row[4 * x] = static_cast<std::uint8_t>(x / 4);
        row[4 * x + 1] = static_cast<std::uint8_t>(y / 3);
        row[4 * x + 2] = static_cast<std::uint8_t>(state >> 26);
      }
    }
    BitmapPtr result = ConvertToBestPalette(*picture, OutputOptions{}, ctx);
    EXPECT_GT(reports, 0);
    return result ? result->pData : std::vector<std::uint8_t>{};
  };
  const std::vector<std::uint8_t> first = convert();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(convert(), first);
}

}  // namespace

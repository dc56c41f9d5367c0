// Files when the disk refuses bytes: a write or the closing flush that fails
// must be seen, and a safe output file must then keep the file it would have
// replaced. The refusal comes from the process's file size limit, which makes
// the system fail writes beyond it as a full disk does.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "SaveFaultSupport.h"
#include "TestSupport.h"
#include "sys/Context.h"
#include "sys/File.h"
#include "sys/Sha256.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {
using testing_support::FileSizeLimit;
using testing_support::NamesIn;
using testing_support::ReadText;
using testing_support::TempDir;
using testing_support::WriteBytes;

constexpr rlim_t kLimit = 1000;
// Fewer bytes than the write buffer holds: they reach the disk only when the
// file is closed. More than the limit, so that flush fails.
const std::vector<char> kBufferedBytes(4000, 'n');
// More than the write buffer: the write itself goes to the disk and fails.
const std::vector<char> kUnbufferedBytes(256 * 1024, 'n');

TEST(FileFaults, AWriteTheDiskRefusesIsReported) {
  TempDir dir;
  auto file = sys::File::Create(dir.File("out.bin"));
  ASSERT_TRUE(file);
  const FileSizeLimit limit(kLimit);
  ASSERT_TRUE(limit.Active());
  EXPECT_FALSE(file->Write(kUnbufferedBytes.data(), kUnbufferedBytes.size()));
  EXPECT_TRUE(file->Failed());
  EXPECT_FALSE(file->Close());
}

TEST(FileFaults, AFlushTheDiskRefusesFailsTheClose) {
  TempDir dir;
  auto file = sys::File::Create(dir.File("out.bin"));
  ASSERT_TRUE(file);
  const FileSizeLimit limit(kLimit);
  ASSERT_TRUE(limit.Active());
  EXPECT_TRUE(file->Write(kBufferedBytes.data(), kBufferedBytes.size()));  // still in the buffer
  EXPECT_FALSE(file->Close());
  EXPECT_TRUE(file->Failed());
}

// A save whose bytes the disk refuses, in the write itself or in the closing
// flush that writes the last of them: the old file must stay and no temporary
// file may be left behind.
TEST(FileFaults, ACommitAfterARefusedWriteOrCloseKeepsTheOldFile) {
  for (const std::vector<char>* bytes : {&kBufferedBytes, &kUnbufferedBytes}) {
    SCOPED_TRACE(bytes == &kBufferedBytes ? "refused by the close" : "refused by the write");
    TempDir dir;
    const std::string target = dir.File("picture.c");
    WriteBytes(target, {'o', 'l', 'd'});
    auto out = sys::SafeOutputFile::Create(target);
    ASSERT_TRUE(out);
    const FileSizeLimit limit(kLimit);
    ASSERT_TRUE(limit.Active());
    const bool written = out->Output().Write(bytes->data(), bytes->size());
    if (bytes == &kBufferedBytes) {
      EXPECT_TRUE(written);  // still in the buffer
    }
    EXPECT_FALSE(out->Commit());
    EXPECT_EQ(ReadText(target), "old");
    EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"picture.c"});
  }
}

// The published SHA-256 examples, with messages that end just before, on and
// after the block boundaries where the padding takes a second block.
TEST(Sha256, GivesThePublishedDigests) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
       "rstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sys::Sha256Hex(c.message.data(), c.message.size()), c.digest) << c.message.size();
  }
  testing_support::TempDir dir;
  std::filesystem::create_directory(dir.File("folder"));
  EXPECT_EQ(sys::Sha256OfFile(dir.File("folder")), std::nullopt);
  EXPECT_EQ(sys::Sha256OfFile(dir.File("missing")), std::nullopt);
}

}  // namespace

namespace {

// Reports promise one line each: whatever a library or a file name brings
// along, a recorded text has no line break and no control character.
TEST(ReportText, EveryRecordedTextIsOneLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"libpng error: IDAT: CRC error\n", "libpng error: IDAT: CRC error"},
      {"Error writing GIF: disk full\r\n", "Error writing GIF: disk full"},
      {"first\nsecond\r\nthird", "first second third"},
      {"Could not write file a\tb\x1b.c", "Could not write file a?b?.c"},
      {"plain", "plain"},
  };
  for (const auto& [text, line] : cases) {
    sys::Context ctx;
    ctx.Fail(sys::Code::kIo, text);
    ctx.Warn(sys::Code::kCorrupt, text);
    ASSERT_EQ(ctx.Messages().size(), 2u);
    EXPECT_EQ(ctx.Messages()[0].text, line);
    EXPECT_EQ(ctx.Messages()[1].text, line);
    EXPECT_EQ(sys::OneLine(text), line);
  }
}

// A digest taken piece by piece, in pieces that split the blocks anywhere,
// and of a file larger than one read, is the digest of the whole.
TEST(Sha256, PiecesAndLargeFilesGiveTheDigestOfTheWhole) {
  std::string message(200001, 'x');
  for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i * 7 + i / 251);
  const std::string whole = sys::Sha256Hex(message.data(), message.size());
  for (const std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{4099}}) {
    sys::Sha256 sum;
    for (std::size_t at = 0; at < message.size(); at += piece) {
      sum.Update(message.data() + at, std::min(piece, message.size() - at));
    }
    EXPECT_EQ(sum.Hex(), whole) << piece;
  }
  testing_support::TempDir dir;
  testing_support::WriteBytes(dir.File("big"), std::vector<std::uint8_t>(message.begin(), message.end()));
  EXPECT_EQ(sys::Sha256OfFile(dir.File("big")), whole);
}

}  // namespace

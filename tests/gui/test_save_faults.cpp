// The window's saves under faults: the image in each of the five file types,
// the palette file and the animations, on a full disk (a file size limit)
// and through a path one of whose directories is a file. Each failure shows
// a message and leaves the old file as it was, with nothing beside it.
#include <QtTest/QtTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../GifTestFiles.h"
#include "../SaveFaultSupport.h"
#include "GuiTestSupport.h"
#include "gui/MainWindow.h"

using gui_test::FakePrompts;
using testing_support::FileSizeLimit;
using testing_support::NamesIn;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace {

// More than any message needs, less than any file saved below.
constexpr rlim_t kLimitBytes = 512;
const std::vector<std::uint8_t> kOldContent = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};

struct Save {
  const char* filter;
  const char* name;
};
const Save kSaves[] = {{"C files (*.c)", "out.c"},
                       {"DTA files (*.dta)", "out.dta"},
                       {"BMP files (*.bmp)", "out.bmp"},
                       {"PNG files (*.png)", "out.png"},
                       {"GIF files (*.gif)", "out.gif"}};

// 32 x 32 pixels of 256 colours in no order a compressor could use: every
// file saved from it, the palette file too (1040 bytes), is larger than the
// limit.
BitmapPtr ManyColours() {
  std::vector<Color> colours;
  for (int i = 0; i < 256; ++i) colours.push_back(static_cast<Color>(i * 0x010305));
  BitmapPtr image = gui_test::MakePaletteImage(32, 32, colours);
  std::uint32_t state = 1;
  for (int y = 0; y < image->YSize; ++y) {
    for (int x = 0; x < image->XSize; ++x) {
      state = state * 1664525u + 1013904223u;
      image->Row(y)[x] = static_cast<std::uint8_t>(state >> 24);
    }
  }
  return image;
}

gif_test::Bytes TwoFrameGif() {
  gif_test::GifBuilder gif;
  gif.Header().ScreenWithTable(16, 16, {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00});
  for (int frame = 0; frame < 2; ++frame) {
    std::vector<std::uint8_t> pixels(16 * 16);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>((i / 3 + frame) % 4);
    gif.GraphicControl(5).Image(0, 0, 16, 16).Pixels(pixels, 2);
  }
  return gif.Trailer().Get();
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

class TestSaveFaults : public QObject {
  Q_OBJECT

 private:
  FakePrompts* prompts_ = nullptr;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<testing_support::TempDir> dir_;

  MainWindow& NewWindow() {
    window_.reset();
    auto prompts = std::make_unique<FakePrompts>();
    prompts_ = prompts.get();
    window_ = std::make_unique<MainWindow>(std::move(prompts));
    GetDocument().current = ManyColours();
    window_->ShowResult(GetDocument().current.get());
    prompts_->formatAnswer = [](SpecResult& spec) {
      spec.format = 7;
      return true;
    };
    return *window_;
  }

  std::string File(const std::string& name) const { return dir_->File(name); }

 private slots:
  void init() {
    gui_test::ResetProcessState();
    dir_ = std::make_unique<testing_support::TempDir>();
  }

  void cleanup() {
    window_.reset();
    gui_test::ResetProcessState();
  }

  void saveAsOnAFullDiskKeepsTheOldFileOfEveryType() {
    MainWindow& window = NewWindow();
    for (const Save& save : kSaves) {
      const std::string path = File(save.name);
      WriteBytes(path, kOldContent);
      prompts_->messages.clear();
      prompts_->saveAnswers.push_back({Q(path), save.filter});
      {
        FileSizeLimit limit(kLimitBytes);
        QVERIFY(limit.Active());
        window.OnSaveAs();
      }
      QCOMPARE(prompts_->messages, QStringList{Q("Could not write file " + path)});
      QVERIFY2(ReadBytes(path) == kOldContent, save.name);
      QCOMPARE(NamesIn(dir_->Path()), std::vector<std::string>{save.name});
      std::filesystem::remove(path);
    }
  }

  void saveAsThroughAFileOnThePathFailsEveryType() {
    MainWindow& window = NewWindow();
    WriteBytes(File("plain"), kOldContent);
    for (const Save& save : kSaves) {
      const std::string path = File(std::string("plain/") + save.name);
      prompts_->messages.clear();
      prompts_->saveAnswers.push_back({Q(path), save.filter});
      window.OnSaveAs();
      QCOMPARE(prompts_->messages, QStringList{Q("Could not create file " + path)});
      QVERIFY(ReadBytes(File("plain")) == kOldContent);
      QCOMPARE(NamesIn(dir_->Path()), std::vector<std::string>{"plain"});
    }
  }

  void paletteOnAFullDiskKeepsTheOldFile() {
    MainWindow& window = NewWindow();
    const std::string path = File("colours.GUIPal");
    WriteBytes(path, kOldContent);
    prompts_->saveAnswers.push_back({Q(path), "Lumar palette file (*.GUIPal)"});
    {
      FileSizeLimit limit(kLimitBytes);
      QVERIFY(limit.Active());
      window.OnSavePalette();
    }
    QCOMPARE(prompts_->messages, QStringList{Q("Could not write file " + path)});
    QVERIFY(ReadBytes(path) == kOldContent);
    QCOMPARE(NamesIn(dir_->Path()), std::vector<std::string>{"colours.GUIPal"});
    // With room the same save replaces it.
    prompts_->saveAnswers.push_back({Q(path), "Lumar palette file (*.GUIPal)"});
    window.OnSavePalette();
    QCOMPARE(ReadBytes(path).size(), std::size_t{16 + 256 * 4});
  }

  void paletteThroughAFileOnThePathFails() {
    MainWindow& window = NewWindow();
    WriteBytes(File("plain"), kOldContent);
    const std::string path = File("plain/colours.GUIPal");
    prompts_->saveAnswers.push_back({Q(path), "Lumar palette file (*.GUIPal)"});
    window.OnSavePalette();
    QCOMPARE(prompts_->messages, QStringList{Q("Could not create file " + path)});
    QVERIFY(ReadBytes(File("plain")) == kOldContent);
    QCOMPARE(NamesIn(dir_->Path()), std::vector<std::string>{"plain"});
  }

  void animationsOnAFullDiskKeepTheOldFile() {
    MainWindow& window = NewWindow();
    const std::string gif = File("anim.gif");
    WriteBytes(gif, TwoFrameGif());
    const std::string path = File("anim.c");
    for (auto create : {&MainWindow::OnCreateAnimSprite, &MainWindow::OnCreateAnimCursor}) {
      WriteBytes(path, kOldContent);
      prompts_->messages.clear();
      prompts_->openAnswers.push_back(Q(gif));
      prompts_->saveAnswers.push_back({Q(path), "C files (*.c)"});
      {
        FileSizeLimit limit(kLimitBytes);
        QVERIFY(limit.Active());
        (window.*create)();
      }
      QCOMPARE(prompts_->messages, QStringList{Q("Could not write file " + path)});
      QVERIFY(ReadBytes(path) == kOldContent);
      QCOMPARE(NamesIn(dir_->Path()), (std::vector<std::string>{"anim.c", "anim.gif"}));
    }
  }

  void animationsThroughAFileOnThePathFail() {
    MainWindow& window = NewWindow();
    const std::string gif = File("anim.gif");
    WriteBytes(gif, TwoFrameGif());
    WriteBytes(File("plain"), kOldContent);
    for (auto create : {&MainWindow::OnCreateAnimSprite, &MainWindow::OnCreateAnimCursor}) {
      prompts_->messages.clear();
      prompts_->openAnswers.push_back(Q(gif));
      prompts_->saveAnswers.push_back({Q(File("plain/anim.c")), "C files (*.c)"});
      (window.*create)();
      QCOMPARE(prompts_->messages, QStringList{"Error opening file."});
      QVERIFY(ReadBytes(File("plain")) == kOldContent);
      QCOMPARE(NamesIn(dir_->Path()), (std::vector<std::string>{"anim.gif", "plain"}));
    }
  }
};

RASTRA_GUI_TEST_MAIN(TestSaveFaults)
#include "test_save_faults.moc"

using namespace rastra;  // NOLINT(google-build-using-namespace)

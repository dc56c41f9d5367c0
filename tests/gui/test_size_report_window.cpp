// The size report in the window: the dialog shows the numbers the command
// line prints, and choosing a row saves the picture in that FORMAT the way
// -saveas would.
#include <QPushButton>
#include <QTableWidget>
#include <QtTest/QtTest>
#include <filesystem>

#include "GuiTestSupport.h"
#include "gui/MainWindow.h"
#include "gui/SizeReportDlg.h"
#include "writers/SizeReport.h"

using gui_test::FakePrompts;
using gui_test::MakePaletteImage;
using gui_test::MakeTrueColorImage;

namespace {

// Answers the size report with a FORMAT, or cancels it with 0.
class SizeReportPrompts : public FakePrompts {
 public:
  int chosenFormat = 0;
  std::vector<FormatSize> shownRows;
  std::string shownHeading;

  bool SizeReport(QWidget*, const std::string& heading, const std::vector<FormatSize>& rows, int& format) override {
    asked << "sizereport";
    shownHeading = heading;
    shownRows = rows;
    if (chosenFormat == 0) return false;
    format = chosenFormat;
    return true;
  }
};

std::vector<FormatSize> ReportOf(const Bitmap& image) {
  sys::Context ctx;
  std::vector<FormatSize> rows;
  ComputeSizeReport(image, OutputOptions{}, rows, ctx);
  return rows;
}

// Two colour bands with a few odd pixels: short and long runs.
BitmapPtr Bands() {
  std::vector<Color> pixels;
  for (int i = 0; i < 40 * 10; ++i) pixels.push_back(i % 40 < 25 ? 0x000000FF : (i % 13 == 0 ? 0x0000FF00 : 0x00FF0000));
  return MakeTrueColorImage(40, 10, pixels);
}

}  // namespace

class TestSizeReport : public QObject {
  Q_OBJECT

 private:
  SizeReportPrompts* prompts_ = nullptr;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<testing_support::TempDir> dir_;

  MainWindow& NewWindow(BitmapPtr image) {
    auto prompts = std::make_unique<SizeReportPrompts>();
    prompts_ = prompts.get();
    window_ = std::make_unique<MainWindow>(std::move(prompts));
    GetDocument().current = std::move(image);
    GetDocument().sourcePath = dir_->File("bands.png");
    window_->ShowResult(GetDocument().current.get());
    return *window_;
  }

 private slots:
  void init() {
    gui_test::ResetProcessState();
    dir_ = std::make_unique<testing_support::TempDir>();
  }

  void cleanup() {
    window_.reset();
    gui_test::ResetProcessState();
  }

  // --- the dialog ------------------------------------------------------------

  void dialogShowsTheCommandLineTextsAndSelectsTheSmallestRow() {
    BitmapPtr image = Bands();
    const std::vector<FormatSize> rows = ReportOf(*image);
    int format = 0;
    SizeReportDlg dialog(SizeReportHeading(*image), rows, format);
    QTableWidget* table = dialog.Table();
    QCOMPARE(table->rowCount(), static_cast<int>(rows.size()));
    QCOMPARE(table->columnCount(), static_cast<int>(kSizeReportColumns));
    const SizeReportLine headers = SizeReportHeaders();
    for (std::size_t c = 0; c < kSizeReportColumns; ++c) {
      QCOMPARE(table->horizontalHeaderItem(static_cast<int>(c))->text(), QString::fromStdString(headers[c]));
    }
    int marked = -1;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const SizeReportLine cells = SizeReportCells(rows[r]);
      for (std::size_t c = 0; c < kSizeReportColumns; ++c) {
        // The byte counts (columns 3 to 6) carry the status bar's thousands separators.
        QString shown = table->item(static_cast<int>(r), static_cast<int>(c))->text();
        if (c >= 3 && c <= 6) shown.remove(',');
        QCOMPARE(shown, QString::fromStdString(cells[c]));
      }
      QCOMPARE(table->item(static_cast<int>(r), 0)->font().bold(), rows[r].smallest);
      QCOMPARE(table->verticalHeaderItem(static_cast<int>(r))->text(), QString(rows[r].smallest ? "*" : ""));
      if (rows[r].smallest) marked = static_cast<int>(r);
    }
    QVERIFY(marked >= 0);
    QCOMPARE(table->selectedItems().first()->row(), marked);
  }

  void saveAsButtonAndDoubleClickHandBackTheRowsFormat() {
    BitmapPtr image = Bands();
    const std::vector<FormatSize> rows = ReportOf(*image);
    int format = 0;
    SizeReportDlg dialog(SizeReportHeading(*image), rows, format);
    dialog.Table()->selectRow(3);
    QTest::mouseClick(dialog.SaveAsButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(format, rows[3].format);

    int doubleClicked = 0;
    SizeReportDlg second(SizeReportHeading(*image), rows, doubleClicked);
    emit second.Table()->cellDoubleClicked(5, 2);
    QCOMPARE(second.result(), static_cast<int>(QDialog::Accepted));
    QCOMPARE(doubleClicked, rows[5].format);

    int untouched = 0;
    SizeReportDlg closed(SizeReportHeading(*image), rows, untouched);
    QTest::mouseClick(closed.CloseButton(), Qt::LeftButton);
    QCOMPARE(closed.result(), static_cast<int>(QDialog::Rejected));
    QCOMPARE(untouched, 0);
  }

  // --- the window ------------------------------------------------------------

  void reportOfTheCurrentPictureAndNothingSavedOnCancel() {
    MainWindow& window = NewWindow(Bands());
    window.OnSizeReport();
    QCOMPARE(prompts_->asked, QStringList({"sizereport"}));
    QCOMPARE(prompts_->shownHeading, SizeReportHeading(*GetDocument().current));
    const std::vector<FormatSize> expected = ReportOf(*GetDocument().current);
    QCOMPARE(prompts_->shownRows.size(), expected.size());
    for (std::size_t r = 0; r < expected.size(); ++r) {
      QVERIFY(SizeReportCells(prompts_->shownRows[r]) == SizeReportCells(expected[r]));
    }
    QVERIFY(!CanUndo());
  }

  // The file is the converted picture the row counted; the window's picture
  // stays as it was, and the Save as dialog says which FORMAT it writes.
  void choosingAConvertingRowSavesTheConvertedCopy() {
    MainWindow& window = NewWindow(Bands());
    const FormatSize rle4 = [] {
      for (const FormatSize& row : ReportOf(*GetDocument().current))
        if (row.format == 6) return row;
      return FormatSize{};
    }();
    QCOMPARE(ConversionName(rle4.step), std::string("Gray16"));
    prompts_->chosenFormat = 6;
    const QString name = QString::fromStdString(dir_->File("bands.dta"));
    prompts_->saveAnswers.push_back({name, "DTA files (*.dta)"});
    window.OnSizeReport();
    QCOMPARE(prompts_->asked, QStringList({"sizereport", "save:Save file as FORMAT 6 (Compressed, RLE4)|" +
                                                             QString::fromStdString(dir_->File("bands.c")) +
                                                             "|C files (*.c);;DTA files (*.dta)"}));
    QVERIFY2(prompts_->messages.isEmpty(), qPrintable(prompts_->messages.join("; ")));
    QCOMPARE(static_cast<std::int64_t>(std::filesystem::file_size(name.toStdString())), *rle4.streamBytes);
    QCOMPARE(GetDocument().current->NumColors, 0);
    QVERIFY(!CanUndo());
  }

  void formatWithoutStreamFormOffersOnlyCFiles() {
    MainWindow& window = NewWindow(MakePaletteImage(6, 4, {0x0000FF, 0x00FF00, 0xFF0000}));
    const std::vector<FormatSize> rows = ReportOf(*GetDocument().current);
    prompts_->chosenFormat = 99;
    const QString name = QString::fromStdString(dir_->File("both.c"));
    prompts_->saveAnswers.push_back({name, "C files (*.c)"});
    window.OnSizeReport();
    QVERIFY(prompts_->asked.last().endsWith("|C files (*.c)"));
    QCOMPARE(GetDocument().current->NumColors, 3);  // saved from a true-colour copy, as -saveas does
    const std::string text = testing_support::ReadText(name.toStdString());
    QVERIFY(text.find("GUI_DRAW_BMPM8888I") != std::string::npos);
    QVERIFY(prompts_->messages.isEmpty());
  }
};

RASTRA_GUI_TEST_MAIN(TestSizeReport)
#include "test_size_report_window.moc"

using namespace rastra;  // NOLINT(google-build-using-namespace)

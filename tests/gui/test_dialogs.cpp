// The dialogs: what they list, how their fields react and what they hand back.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QtTest>

#include "GuiTestSupport.h"
#include "app/CommandLine.h"
#include "app/Startup.h"
#include "gui/AboutDialog.h"
#include "gui/AlphaDlg.h"
#include "gui/CmdOptionsDlg.h"
#include "gui/ColorField.h"
#include "gui/InfoDlg.h"
#include "gui/OptionsDialog.h"
#include "gui/ScaleDlg.h"
#include "gui/SpecDlg.h"
#include "gui/TransDlg.h"

using gui_test::MakePaletteImage;
using gui_test::MakeTrueColorImage;

namespace {

QStringList ListTexts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

QList<int> ListFormats(const QListWidget* list) {
  QList<int> formats;
  for (int i = 0; i < list->count(); ++i) formats << list->item(i)->data(Qt::UserRole).toInt();
  return formats;
}

QStringList LabelTexts(const QWidget* dialog) {
  QStringList texts;
  for (const QLabel* label : dialog->findChildren<QLabel*>()) texts << label->text();
  return texts;
}

const QStringList kOpaqueEntries = {
    "16bpp (444_12)",
    "16bpp (444_12), red and blue swapped",
    "16bpp (444_12_1)",
    "16bpp (444_12_1), red and blue swapped",
    "16bpp (444_16)",
    "16bpp (444_16), red and blue swapped",
    "High color (555)",
    "High color (555), red and blue swapped",
    "High color (565)",
    "High color (565), red and blue swapped",
    "High color (565), compressed",
    "High color (565), red and blue swapped, compressed",
    "True color 24bpp",
    "True color with alpha",
    "True color with alpha, r/b swapped, alpha inverted",
};
const QList<int> kOpaqueFormats = {19, 20, 21, 22, 23, 24, 10, 11, 8, 9, 12, 13, 17, 16, 29};

}  // namespace

class TestDialogs : public QObject {
  Q_OBJECT

 private slots:
  // --- format dialog -------------------------------------------------------

  void formatListForSixteenColourImageAsCFile() {
    BitmapPtr image = MakePaletteImage(4, 4, std::vector<Color>(16, 0));
    SpecResult result;
    result.type = 1;
    SpecDlg dialog(*image, result);
    QCOMPARE(dialog.windowTitle(), QString("Format specifications"));
    const QStringList expected = QStringList{"4 bit per pixel", "8 bit per pixel", "Compressed, RLE4", "Compressed, RLE8"} +
                                 kOpaqueEntries + QStringList{"True color with alpha, (Both variants)"};
    QCOMPARE(ListTexts(dialog.List()), expected);
    QCOMPARE(ListFormats(dialog.List()), QList<int>({4, 5, 6, 7}) + kOpaqueFormats + QList<int>{99});
    QVERIFY(!dialog.WithoutPalette()->isChecked());
    QCOMPARE(dialog.WithoutPalette()->text(), QString("&Without palette"));
    QVERIFY(LabelTexts(&dialog).contains("Select format"));
  }

  void formatListForSixteenColourImageAsStream() {
    BitmapPtr image = MakePaletteImage(4, 4, std::vector<Color>(16, 0));
    SpecResult result;
    result.type = 3;
    SpecDlg dialog(*image, result);
    QCOMPARE(ListTexts(dialog.List()),
             QStringList({"4 bit per pixel", "8 bit per pixel", "Compressed, RLE4", "Compressed, RLE8"}) + kOpaqueEntries);
  }

  void formatListForTwoColourImageHasEveryPaletteEntry() {
    BitmapPtr image = MakePaletteImage(4, 4, {0, 0xFFFFFF});
    SpecResult result;
    SpecDlg dialog(*image, result);
    QCOMPARE(ListFormats(dialog.List()).mid(0, 6), QList<int>({1, 2, 4, 5, 6, 7}));
    QCOMPARE(dialog.List()->count(), 6 + 16);
  }

  void formatListForSeventeenColoursStartsAtEightBit() {
    BitmapPtr image = MakePaletteImage(4, 4, std::vector<Color>(17, 0));
    SpecResult result;
    SpecDlg dialog(*image, result);
    QCOMPARE(ListFormats(dialog.List()).mid(0, 3), QList<int>({5, 7, 19}));
  }

  void formatListForAlphaImage() {
    BitmapPtr image = MakeTrueColorImage(1, 1, {0}, true);
    const QStringList cFile = {"True color with alpha",
                               "True color with alpha, r/b swapped, alpha inverted",
                               "True color with alpha, compressed",
                               "True color with alpha, (Both variants)",
                               "Alpha channel, compressed",
                               "High color with Alpha(555)",
                               "High color with Alpha(555), red and blue swapped",
                               "High color with Alpha(565)",
                               "High color with Alpha(565), red and blue swapped"};
    SpecResult asC;
    asC.type = 1;
    SpecDlg cDialog(*image, asC);
    QCOMPARE(ListTexts(cDialog.List()), cFile);
    QCOMPARE(ListFormats(cDialog.List()), QList<int>({16, 29, 15, 99, 18, 25, 26, 27, 28}));

    SpecResult asStream;
    asStream.type = 3;
    SpecDlg streamDialog(*image, asStream);
    QStringList stream = cFile;
    stream.removeAt(3);
    QCOMPARE(ListTexts(streamDialog.List()), stream);
  }

  void formatListForOpaqueTrueColourImage() {
    BitmapPtr image = MakeTrueColorImage(1, 1, {0});
    SpecResult result;
    SpecDlg dialog(*image, result);
    QCOMPARE(ListFormats(dialog.List()), kOpaqueFormats + QList<int>{99});
  }

  // Fault 9: the row that suits the picture is selected from the start, the
  // one the command line takes when no FORMAT is given.
  void formatPreselectsTheFittingRow() {
    struct Case {
      BitmapPtr image;
      int format;
    };
    std::vector<Case> cases;
    cases.push_back({MakePaletteImage(2, 2, {0, 0xFFFFFF}), 1});
    cases.push_back({MakePaletteImage(2, 2, std::vector<Color>(3, 0)), 2});
    cases.push_back({MakePaletteImage(2, 2, std::vector<Color>(16, 0)), 4});
    cases.push_back({MakePaletteImage(2, 2, std::vector<Color>(200, 0)), 5});
    cases.push_back({MakeTrueColorImage(1, 1, {0}), 8});
    cases.push_back({MakeTrueColorImage(1, 1, {0}, true), 16});
    for (const Case& c : cases) {
      SpecResult result;
      SpecDlg dialog(*c.image, result);
      QCOMPARE(dialog.List()->selectedItems().size(), 1);
      QCOMPARE(dialog.List()->currentItem()->data(Qt::UserRole).toInt(), c.format);
      QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);  // taken at once
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      QCOMPARE(result.format, c.format);
    }
  }

  void formatEnterAcceptsAndTheListShowsWholeTexts() {
    BitmapPtr image = MakeTrueColorImage(1, 1, {0}, true);
    SpecResult result;
    SpecDlg dialog(*image, result);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.OkButton()->isDefault());
    const QFontMetrics metrics(dialog.List()->font());
    int widest = 0;
    for (const QString& text : ListTexts(dialog.List())) widest = std::max(widest, metrics.horizontalAdvance(text));
    QVERIFY2(dialog.List()->viewport()->width() >= widest,
             qPrintable(QString("%1 < %2").arg(dialog.List()->viewport()->width()).arg(widest)));
    dialog.List()->setFocus();
    QTest::keyClick(dialog.List(), Qt::Key_Return);
    QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(result.format, 16);
  }

  void formatOkHandsBackSelectionAndPaletteChoice() {
    BitmapPtr image = MakePaletteImage(4, 4, std::vector<Color>(16, 0));
    SpecResult result;
    SpecDlg dialog(*image, result);
    dialog.List()->setCurrentRow(2);  // "Compressed, RLE4"
    dialog.WithoutPalette()->setChecked(true);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(result.format, 6);
    QCOMPARE(result.noPalette, 1);
  }

  void formatCancelRejects() {
    BitmapPtr image = MakeTrueColorImage(1, 1, {0});
    SpecResult result;
    SpecDlg dialog(*image, result);
    dialog.List()->setCurrentRow(0);
    dialog.show();
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(result.format, 0);
  }

  // --- scale dialog --------------------------------------------------------

  void scaleKeepsProportionsInPixels() {
    ScaleValues values{200, 100, 200, 100};
    ScaleDlg dialog(values);
    QCOMPARE(dialog.windowTitle(), QString("Scale Image"));
    QVERIFY(LabelTexts(&dialog).contains("Original Size: 200 x 100"));
    QVERIFY(dialog.PixelRadio()->isChecked());
    QVERIFY(dialog.KeepProportions()->isChecked());
    QCOMPARE(dialog.WidthEdit()->text(), QString("200"));
    QCOMPARE(dialog.HeightEdit()->text(), QString("100"));

    dialog.WidthEdit()->clear();
    QTest::keyClicks(dialog.WidthEdit(), "50");
    QCOMPARE(dialog.HeightEdit()->text(), QString("25"));
    dialog.HeightEdit()->clear();
    QTest::keyClicks(dialog.HeightEdit(), "33");
    QCOMPARE(dialog.WidthEdit()->text(), QString("66"));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(values.newWidth, 66);
    QCOMPARE(values.newHeight, 33);
  }

  void scaleInPercent() {
    ScaleValues values{200, 100, 200, 100};
    ScaleDlg dialog(values);
    dialog.WidthEdit()->clear();
    QTest::keyClicks(dialog.WidthEdit(), "50");
    QTest::mouseClick(dialog.PercentRadio(), Qt::LeftButton);
    QVERIFY(dialog.PercentRadio()->isChecked());
    QCOMPARE(dialog.WidthEdit()->text(), QString("100"));
    QCOMPARE(dialog.HeightEdit()->text(), QString("100"));
    dialog.WidthEdit()->clear();
    QTest::keyClicks(dialog.WidthEdit(), "50");
    QCOMPARE(dialog.HeightEdit()->text(), QString("50"));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(values.newWidth, 100);
    QCOMPARE(values.newHeight, 50);

    QTest::mouseClick(dialog.PixelRadio(), Qt::LeftButton);
    QCOMPARE(dialog.WidthEdit()->text(), QString("200"));
    QCOMPARE(dialog.HeightEdit()->text(), QString("100"));
  }

  void scaleWithoutProportionsLeavesTheOtherField() {
    ScaleValues values{200, 100, 200, 100};
    ScaleDlg dialog(values);
    dialog.KeepProportions()->setChecked(false);
    dialog.WidthEdit()->clear();
    QTest::keyClicks(dialog.WidthEdit(), "7");
    QCOMPARE(dialog.HeightEdit()->text(), QString("100"));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(values.newWidth, 7);
    QCOMPARE(values.newHeight, 100);
  }

  void scaleFieldsTakeWholeNumbersUpTo99999() {
    ScaleValues values{3, 7, 3, 7};
    ScaleDlg dialog(values);
    dialog.KeepProportions()->setChecked(false);
    dialog.WidthEdit()->clear();
    QTest::keyClicks(dialog.WidthEdit(), "12a-3456789");
    QCOMPARE(dialog.WidthEdit()->text(), QString("12345"));
  }

  void scalePercentOfLargeImageDoesNotOverflow() {
    ScaleValues values{90000, 90000, 90000, 90000};
    ScaleDlg dialog(values);
    QTest::mouseClick(dialog.PercentRadio(), Qt::LeftButton);
    dialog.WidthEdit()->setText("99999");
    dialog.HeightEdit()->setText("1");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(values.newWidth, 89999100);
    QCOMPARE(values.newHeight, 900);
  }

  void scaleCancelKeepsTheRecord() {
    ScaleValues values{200, 100, 200, 100};
    ScaleDlg dialog(values);
    dialog.WidthEdit()->setText("5");
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(values.newWidth, 200);
  }

  // --- transparency dialog -------------------------------------------------

  void transparencyListsNoneAndEveryEntry() {
    BitmapPtr image = MakePaletteImage(2, 2, {0x0000FF, 0x00ABCDEF});
    int selection = -1;
    TransDlg dialog(*image, selection);
    QCOMPARE(dialog.windowTitle(), QString("Transparency"));  // fault 10: the titles were swapped
    QVERIFY(LabelTexts(&dialog).contains("Color used as transparency:"));
    QCOMPARE(dialog.Combo()->count(), 3);
    QCOMPARE(dialog.Combo()->itemText(0), QString("No transparency"));
    QCOMPARE(dialog.Combo()->itemText(1), QString("0: 0x0000ff"));
    QCOMPARE(dialog.Combo()->itemText(2), QString("1: 0xabcdef"));
    QVERIFY(dialog.Combo()->minimumWidth() >= 180);
    dialog.Combo()->setCurrentIndex(2);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(selection, 2);
  }

  void transparencyCancelWritesNothing() {
    BitmapPtr image = MakePaletteImage(2, 2, {0, 1});
    int selection = -1;
    TransDlg dialog(*image, selection);
    dialog.Combo()->setCurrentIndex(1);
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    QCOMPARE(selection, -1);
  }

  // --- options dialog ------------------------------------------------------

  void optionsStartFromTheSettings() {
    Settings values;
    values.BkColor = 0x112233;
    values.ViewOption = 1;
    values.BigEndianMode = 1;
    OptionsDialog dialog("Options", values);
    QCOMPARE(dialog.windowTitle(), QString("Options"));
    QVERIFY(!dialog.PreserveBox()->isChecked());
    QVERIFY(dialog.EndianBox()->isChecked());
    QVERIFY(!dialog.ArgbBox()->isChecked());
    QVERIFY(dialog.TilesRadio()->isChecked());
    QVERIFY(!dialog.ColorButton()->isEnabled());
    QVERIFY(!dialog.Swatch()->isEnabled());
    QCOMPARE(dialog.Swatch()->GetColor(), 0x112233u);
    QCOMPARE(dialog.PreserveBox()->text(), QString("P&reserve transparency"));
    QCOMPARE(dialog.EndianBox()->text(), QString("Bi&g endian mode"));
    QCOMPARE(dialog.ArgbBox()->text(), QString("Sa&ve colors in ARGB mode"));
    QCOMPARE(dialog.AlternateRadio()->text(), QString("Alternating &tiled background"));
    QCOMPARE(dialog.TilesRadio()->text(), QString("Tiled &background"));
    QCOMPARE(dialog.ColoredRadio()->text(), QString("&Colored background"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
  }

  void optionsCollectChangedValues() {
    Settings values;
    values.BigEndianMode = 1;
    OptionsDialog dialog("Options", values);
    QVERIFY(dialog.AlternateRadio()->isChecked());
    QTest::mouseClick(dialog.EndianBox(), Qt::LeftButton);  // unchecking turns it off
    QTest::mouseClick(dialog.PreserveBox(), Qt::LeftButton);
    QTest::mouseClick(dialog.ArgbBox(), Qt::LeftButton);
    dialog.ColoredRadio()->setChecked(true);
    QVERIFY(dialog.ColorButton()->isEnabled());
    QVERIFY(dialog.Swatch()->isEnabled());
    dialog.SetColorChooser([](std::uint32_t current, QWidget*, std::uint32_t& chosen) {
      chosen = current + 0x0A0B0C;
      return true;
    });
    QTest::mouseClick(dialog.ColorButton(), Qt::LeftButton);
    QCOMPARE(dialog.Swatch()->GetColor(), 0x0A0B0Cu);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const Settings& chosen = dialog.Values();
    QCOMPARE(chosen.BigEndianMode, 0u);
    QCOMPARE(chosen.PreserveTrans, 1u);
    QCOMPARE(chosen.UseARGB, 1u);
    QCOMPARE(chosen.ViewOption, 2u);
    QCOMPARE(chosen.BkColor, 0x0A0B0Cu);

    dialog.TilesRadio()->setChecked(true);
    QCOMPARE(dialog.Values().ViewOption, 1u);
    QVERIFY(!dialog.ColorButton()->isEnabled());
  }

  void optionsColourChoiceCancelledKeepsTheColour() {
    Settings values;
    values.ViewOption = 2;
    values.BkColor = 0x445566;
    OptionsDialog dialog("Options", values);
    dialog.SetColorChooser([](std::uint32_t, QWidget*, std::uint32_t&) { return false; });
    QTest::mouseClick(dialog.ColorButton(), Qt::LeftButton);
    QCOMPARE(dialog.Values().BkColor, 0x445566u);
    QCOMPARE(dialog.Swatch()->GetColor(), 0x445566u);
  }

  void colorFieldPaintsItsColour() {
    ColorField field(0x00FF8000);
    field.resize(20, 10);
    QCOMPARE(field.grab().toImage().pixel(10, 5), qRgb(0xFF, 0x80, 0x00));
    field.SetColor(0x000080FF);
    QCOMPARE(field.grab().toImage().pixel(3, 3), qRgb(0x00, 0x80, 0xFF));
  }

  // --- alpha dialog --------------------------------------------------------

  // Each row says which picture it takes; the fields can be typed into; a
  // cancelled Browse keeps the name chosen before; Ok needs every name.
  void alphaCreateModeHasTwoRows() {
    AlphaDlg dialog(nullptr, AlphaDlg::kCreateAlpha);
    QCOMPARE(dialog.windowTitle(), QString("Create alpha"));  // fault 10
    QVERIFY(LabelTexts(&dialog).contains("Image1, the picture over a &black background (*.bmp):"));
    QVERIFY(LabelTexts(&dialog).contains("Image2, the same picture over a &white background (*.bmp):"));
    QVERIFY(dialog.SecondEdit() != nullptr);
    QVERIFY(!dialog.FirstEdit()->isReadOnly());
    QVERIFY(!dialog.OkButton()->isEnabled());
    QStringList captions;
    dialog.SetFileChooser([&captions](QWidget*, const QString& caption, const QString& filter) {
      captions << caption + "|" + filter;
      return captions.size() == 1 ? QString("/tmp/black.bmp") : QString();
    });
    QTest::mouseClick(dialog.FirstBrowse(), Qt::LeftButton);
    QTest::mouseClick(dialog.FirstBrowse(), Qt::LeftButton);  // cancelled: the name stays
    QTest::mouseClick(dialog.SecondBrowse(), Qt::LeftButton);  // cancelled: still nothing
    QCOMPARE(captions, QStringList({"Select first image|BMP files (*.bmp)", "Select first image|BMP files (*.bmp)",
                                    "Select second image|BMP files (*.bmp)"}));
    QCOMPARE(dialog.FirstEdit()->text(), QString("/tmp/black.bmp"));
    QVERIFY(dialog.Choice().firstChosen);
    QVERIFY(!dialog.Choice().secondChosen);
    QVERIFY(!dialog.OkButton()->isEnabled());
    QTest::keyClicks(dialog.SecondEdit(), "/tmp/white.bmp");
    QVERIFY(dialog.OkButton()->isEnabled());
    QCOMPARE(dialog.Choice().secondName, std::string("/tmp/white.bmp"));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void alphaMaskModeHasOneRowAndCutsLongNames() {
    AlphaDlg dialog(nullptr, AlphaDlg::kLoadAlphaMask);
    QCOMPARE(dialog.windowTitle(), QString("Load alpha mask"));
    QVERIFY(LabelTexts(&dialog).contains("Image, a grey mask: &black opaque, white transparent (*.bmp):"));
    QVERIFY(dialog.SecondEdit() == nullptr);
    QVERIFY(dialog.SecondBrowse() == nullptr);
    QVERIFY(!dialog.Choice().firstChosen);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);  // nothing named: Ok does not accept
    QVERIFY(dialog.result() != int(QDialog::Accepted));
    QString captionSeen;
    dialog.SetFileChooser([&captionSeen](QWidget*, const QString& caption, const QString&) {
      captionSeen = caption;
      return QString(300, QChar('m'));
    });
    QTest::mouseClick(dialog.FirstBrowse(), Qt::LeftButton);
    QCOMPARE(captionSeen, QString("Select alpha mask"));
    QCOMPARE(dialog.Choice().firstName.size(), std::size_t{300});  // a long path is kept whole
    QVERIFY(dialog.Choice().firstChosen);
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
  }

  // --- info, help and about ------------------------------------------------

  void infoShowsTheColourCount() {
    InfoDlg dialog(1234);
    QCOMPARE(dialog.windowTitle(), QString("Info"));
    QVERIFY(LabelTexts(&dialog).contains("Number of colors in image: 1234"));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void commandLineOptionsShowTheHelpText() {
    CmdOptionsDlg dialog;
    QCOMPARE(dialog.windowTitle(), QString("Command line options"));
    QVERIFY(dialog.Text()->isReadOnly());
    // The composed text, word for word; only the blanks between words move.
    const QString expected = QString::fromStdString(ComposeHelpText());
    QCOMPARE(dialog.Text()->toPlainText().split('\n', Qt::SkipEmptyParts).join(' ').simplified(),
             expected.split("\r\n", Qt::SkipEmptyParts).join(' ').simplified());
    QVERIFY(dialog.Text()->toPlainText().contains("-saveas"));
    QCOMPARE(dialog.minimumSize(), QSize(500, 300));
    // Columns set with tabs line up: a fixed-pitch font, tab stops of eight
    // characters, no wrapping.
    const QFontMetricsF metrics(dialog.Text()->font());
    QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('M'));
    QCOMPARE(dialog.Text()->tabStopDistance(), 8 * QFontMetricsF(dialog.Text()->font()).horizontalAdvance(' '));
    QCOMPARE(dialog.Text()->lineWrapMode(), QPlainTextEdit::NoWrap);
  }

  void aboutNamesTheProgramAndTheToolkitLicence() {
    AboutDialog dialog(DisplayName());
    QCOMPARE(dialog.windowTitle(), QString("About"));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(dialog.isModal());
    const QString texts = LabelTexts(&dialog).join("\n");
    QVERIFY(texts.contains(QString(DisplayName()) + "\nCompiled: "));
    QVERIFY(texts.contains("Qt"));
    QVERIFY(texts.contains("LGPL v3"));
    QVERIFY(texts.contains("1998-" + BuildYear(__DATE__)));
    QCOMPARE(dialog.OkButton()->text(), QString("&OK"));
  }

  void aboutClosesOnItsSignal() {
    AboutDialog dialog(DisplayName());
    dialog.show();
    QVERIFY(dialog.isVisible());
    emit dialog._Sig_CloseDlg();
    QVERIFY(dialog.isVisible());  // queued
    QTRY_VERIFY(!dialog.isVisible());
  }

  void buildYearIsTheLastFourCharacters() {
    QCOMPARE(BuildYear("Dec  7 2026"), QString("2026"));
    QCOMPARE(BuildYear("ab"), QString());
  }
};

RASTRA_GUI_TEST_MAIN(TestDialogs)
#include "test_dialogs.moc"

using namespace rastra;  // NOLINT(google-build-using-namespace)

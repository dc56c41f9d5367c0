// The output format selection dialog: the FORMAT codes that suit the current
// image, and whether the palette is left out.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "image/Bitmap.h"

class QCheckBox;
class QListWidget;
class QPushButton;

namespace rastra {

struct FormatChoice {
  const char* text;
  int format;
};

// The list entries, in order, for an image with numColors palette entries
// (0 for true colour) and the given alpha flag, saved as output type 1 or 3.
std::vector<FormatChoice> FormatChoices(int numColors, bool hasAlpha, int type);
// The list's text for a FORMAT (translated, without the trailing comma some
// carry), or "FORMAT n" for one the list never shows.
QString FormatChoiceText(int format);

// FORMAT and NOPALETTE are written on acceptance; TYPE is read.
struct SpecResult {
  int format = 0;
  int noPalette = 0;
  int type = 1;
};

class SpecDlg : public QDialog {
  Q_OBJECT

 public:
  SpecDlg(const Bitmap& image, SpecResult& result, QWidget* parent = nullptr);

  QListWidget* List() const { return list_; }
  QCheckBox* WithoutPalette() const { return withoutPalette_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 public slots:
  void OnButtonOk();
  void OnButtonCancel();

 private:
  SpecResult& result_;
  QListWidget* list_;
  QCheckBox* withoutPalette_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace rastra

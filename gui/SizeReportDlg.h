// The size report of the current picture: what each FORMAT costs, the
// smallest row marked, as the command line's -sizereport prints it. Choosing a
// row hands its FORMAT back, for the window to save the picture in it.
#pragma once

#include <QDialog>
#include <QSize>
#include <string>
#include <vector>

#include "writers/SizeReport.h"

class QPushButton;
class QTableWidget;

namespace rastra {

class SizeReportDlg : public QDialog {
  Q_OBJECT

 public:
  // format receives the chosen row's FORMAT when the dialog is accepted.
  SizeReportDlg(const std::string& heading, const std::vector<FormatSize>& rows, int& format,
                QWidget* parent = nullptr);

  // The whole table, heading and footnote; fitted to the screen before it
  // shows.
  QSize sizeHint() const override { return preferred_; }

  QTableWidget* Table() const { return table_; }
  QPushButton* SaveAsButton() const { return saveAs_; }
  QPushButton* CloseButton() const { return close_; }

 public slots:
  // Accepts with the selected row's FORMAT; nothing while no row is selected.
  void OnSaveAs();
  void OnRowActivated(int row);

 private:
  std::vector<int> formats_;  // per table row
  int& format_;
  QTableWidget* table_;
  QPushButton* saveAs_;
  QPushButton* close_;
  QSize preferred_;
};

}  // namespace rastra

#include "gui/UserPrompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "gui/AboutDialog.h"
#include "gui/CmdOptionsDlg.h"
#include "gui/InfoDlg.h"
#include "gui/OptionsDialog.h"
#include "gui/ReportBox.h"
#include "gui/ScreenFit.h"
#include "gui/SizeReportDlg.h"
#include "gui/TransDlg.h"

namespace rastra {

namespace {
// Every dialog opens at a size the screen holds, whatever its scale factor.
int RunFitted(QDialog& dialog) {
  FitToScreen(&dialog);
  return dialog.exec();
}
}  // namespace

QString UserPrompts::OpenFileName(QWidget* parent, const QString& caption, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString UserPrompts::SaveFileName(QWidget* parent, const QString& caption, const QString& suggestion,
                                  const QString& filter, QString& selectedFilter) {
  return QFileDialog::getSaveFileName(parent, caption, suggestion, filter, &selectedFilter);
}

bool UserPrompts::FormatSpec(QWidget* parent, const Bitmap& image, SpecResult& result) {
  SpecDlg dialog(image, result, parent);
  return RunFitted(dialog) == QDialog::Accepted;
}

bool UserPrompts::Scale(QWidget* parent, ScaleValues& values) {
  ScaleDlg dialog(values, parent);
  return RunFitted(dialog) == QDialog::Accepted;
}

bool UserPrompts::Transparency(QWidget* parent, const Bitmap& image, int& selection) {
  TransDlg dialog(image, selection, parent);
  return RunFitted(dialog) == QDialog::Accepted;
}

bool UserPrompts::Options(QWidget* parent, const QString& title, Settings& values) {
  OptionsDialog dialog(title, values, parent);
  if (RunFitted(dialog) != QDialog::Accepted) return false;
  values = dialog.Values();
  return true;
}

bool UserPrompts::Alpha(QWidget* parent, int mode, AlphaChoice& choice) {
  AlphaDlg dialog(parent, mode);
  dialog.SetChoice(choice);
  if (RunFitted(dialog) != QDialog::Accepted) return false;
  choice = dialog.Choice();
  return true;
}

void UserPrompts::Info(QWidget* parent, int usedColors) {
  InfoDlg dialog(usedColors, parent);
  RunFitted(dialog);
}

bool UserPrompts::SizeReport(QWidget* parent, const std::string& heading, const std::vector<FormatSize>& rows,
                             int& format) {
  SizeReportDlg dialog(heading, rows, format, parent);
  return RunFitted(dialog) == QDialog::Accepted;
}

void UserPrompts::CommandLineOptions(QWidget* parent) {
  CmdOptionsDlg dialog(parent);
  RunFitted(dialog);
}

void UserPrompts::About(QWidget* parent, const QString& displayName) {
  AboutDialog dialog(displayName, parent);
  RunFitted(dialog);
}

void UserPrompts::Message(QWidget* parent, const QString& title, const QString& text) {
  ReportBox box(ReportBox::Kind::kInformation, title, text, QString(), QString(), parent);
  RunFitted(box);
}

void UserPrompts::Error(QWidget* parent, const QString& title, const QString& text, const QString& detail,
                        const QString& fileName) {
  ReportBox box(ReportBox::Kind::kError, title, text, detail, fileName, parent);
  RunFitted(box);
}

bool UserPrompts::Confirm(QWidget* parent, const QString& title, const QString& text) {
  return QMessageBox::warning(parent, title, text, QMessageBox::Save | QMessageBox::Cancel, QMessageBox::Cancel) ==
         QMessageBox::Save;
}

bool UserPrompts::ReadAgain(QWidget* parent, const QString& name, const QString& how) {
  QMessageBox box(QMessageBox::Question, tr("Options"), tr("%1 is shown as it was read before.").arg(name),
                  QMessageBox::NoButton, parent);
  box.setInformativeText(tr("Read it again %1, or keep it as shown?").arg(how));
  QPushButton* again = box.addButton(tr("&Read again"), QMessageBox::AcceptRole);
  box.addButton(tr("&Keep as shown"), QMessageBox::RejectRole);
  box.setDefaultButton(again);
  box.exec();
  return box.clickedButton() == again;
}

bool UserPrompts::TurnUpright(QWidget* parent, const QString& name, int orientation) {
  QMessageBox box(QMessageBox::Question, tr("Turned picture"),
                  tr("The orientation tag of %1 says the picture is stored turned.").arg(name), QMessageBox::NoButton,
                  parent);
  box.setInformativeText(tr("Turn it upright (%1), or keep it as stored?").arg(TurnText(orientation)));
  QPushButton* turn = box.addButton(tr("&Turn upright"), QMessageBox::AcceptRole);
  box.addButton(tr("&Keep as stored"), QMessageBox::RejectRole);
  box.setDefaultButton(turn);
  box.exec();
  return box.clickedButton() == turn;
}

QString UserPrompts::TurnText(int orientation) {
  switch (orientation) {
    case 2: return tr("mirrored left to right");
    case 3: return tr("turned half round");
    case 4: return tr("turned upside down");
    case 5: return tr("mirrored along its diagonal");
    case 6: return tr("turned a quarter clockwise");
    case 7: return tr("mirrored along its other diagonal");
    case 8: return tr("turned a quarter anticlockwise");
    default: return tr("as it is");
  }
}

UserPrompts::UnsavedChoice UserPrompts::AskUnsavedChanges(QWidget* parent, const QString& name) {
  QMessageBox box(QMessageBox::Warning, tr("Unsaved changes"),
                  tr("The picture %1 has changes that were not saved.").arg(name),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
  box.setInformativeText(tr("Do you want to save them?"));
  box.setDefaultButton(QMessageBox::Save);
  switch (box.exec()) {
    case QMessageBox::Save:
      return UnsavedChoice::kSave;
    case QMessageBox::Discard:
      return UnsavedChoice::kDiscard;
    default:
      return UnsavedChoice::kCancel;
  }
}

}  // namespace rastra

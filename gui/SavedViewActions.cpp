// The window's "as saved" view: the View menu's entries and the picture they
// show (see SavedView.h).
#include <QAction>
#include <QMenu>
#include <QStatusBar>

#include <rastra/write.h>

#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Settings.h"
#include "app/Session.h"
#include "gui/MainWindow.h"
#include "gui/SpecDlg.h"

namespace rastra {

// Zoom keeps I, O, F and 1; the new entries take S, M and D.
void MainWindow::BuildSavedViewItems() {
  viewMenu_->addSeparator();
  asSavedAction_ = viewMenu_->addAction(tr("As &saved"));
  asSavedAction_->setCheckable(true);
  // Like the rest of the View menu, these wait for a picture.
  imageActions_.push_back(asSavedAction_);
  connect(asSavedAction_, &QAction::toggled, this, [this](bool on) {
    savedView_.shown = on;
    ShowResult(GetDocument().current.get());
  });
  savedFormatAction_ = AddImageAction(viewMenu_, tr("FOR&MAT as saved..."), &MainWindow::OnSavedViewFormat);
  ditheredSavesAction_ = viewMenu_->addAction(tr("&Dither when saving"));
  ditheredSavesAction_->setCheckable(true);
  imageActions_.push_back(ditheredSavesAction_);
  connect(ditheredSavesAction_, &QAction::toggled, this, [this](bool on) {
    savedView_.dithered = on;
    ShowResult(GetDocument().current.get());
  });
}

void MainWindow::OnSavedViewFormat() {
  const ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  SpecResult spec;
  spec.type = kOutputCStream;
  spec.format = savedView_.FormatFor(*doc.current);
  if (!prompts_->FormatSpec(this, *doc.current, spec)) return;
  ChooseSavedViewFormat(spec.format);
  // Choosing the FORMAT to look at means looking at it.
  asSavedAction_->setChecked(true);
}

void MainWindow::ChooseSavedViewFormat(int format) {
  savedView_.format = format;
  if (savedView_.shown) ShowResult(GetDocument().current.get());
}

bool MainWindow::RefreshSavedPicture() {
  savedPicture_.reset();
  const ImageDocument& doc = GetDocument();
  if (!savedView_.shown || !doc.current) return false;
  sys::Context ctx = MakeJobContext();
  savedPicture_ = AsSavedPicture(*doc.current, savedView_.FormatFor(*doc.current),
                                 savedView_.OptionsFrom(CurrentOutputOptions()), ctx);
  if (!savedPicture_) {
    CommandSession session = ProcessSession();
    session.ReportJob(ctx);
    statusBar()->showMessage(tr("The picture could not be shown as saved; it is shown as opened."), kSavedMessageMs);
  }
  return savedPicture_ != nullptr;
}

const Bitmap* MainWindow::ShownPicture() const {
  const ImageDocument& doc = GetDocument();
  if (savedPicture_ && savedView_.shown && doc.current) return savedPicture_.get();
  return doc.current.get();
}

}  // namespace rastra

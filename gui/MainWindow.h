// The program's only top-level window: the image view and every operation
// behind the menus File, Edit, View, Image and Help.
//
// The class is kept in four rooms: MainWindow.cpp builds the window and its
// menus and keeps the actions, title and status in step with the document;
// WindowFileActions.cpp opens and saves; WindowImageActions.cpp changes the
// picture (the Image and Edit menus); BackgroundJobs runs the long work of
// both off the window's thread.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QString>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <rastra/options.h>

#include "gui/BackgroundJobs.h"
#include "gui/SavedView.h"
#include "gui/UserPrompts.h"
#include "image/Bitmap.h"

class QAction;
class QImage;
class QLabel;
class QMenu;

namespace rastra {

class ShowImage;
struct CommandSession;
struct SaveTarget;
class HeldSink;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kConvertCount = 18;  // conversion selector 0 to 17
  static constexpr int kDitherCount = 14;   // dither selector 0 to 13
  // How long the status bar names the file just written.
  static constexpr int kSavedMessageMs = 15000;

  // Shows the window at the size and place it had when it was last closed,
  // or fitted to the screen the first time; an image the command line left
  // in the document appears at once. Without prompts the real dialogs ask.
  explicit MainWindow(std::unique_ptr<UserPrompts> prompts = nullptr);
  ~MainWindow() override;

  // Shows the document's current image (image must be it), its title and
  // status, and enables the actions that need an image. Null changes nothing.
  // rendered, when given, is the picture already rendered for the view.
  void ShowResult(const Bitmap* image, const QImage* rendered = nullptr);
  // Opens path into the document, after asking about unsaved changes, and
  // enters it into the recent-file list. A file that cannot be opened is
  // reported and leaves document, view and list as they were. An empty path
  // does nothing.
  void OpenByName(const QString& path);
  // A report of the application's jobs: a box with the error icon that names
  // the file the running job concerns and what to act on.
  void ShowReport(const QString& title, const QString& text, const QString& detail);

  ShowImage* View() const { return view_; }
  QString BaseTitle() const { return title_; }
  // The recent-file entries of the File menu, slot 0 first.
  const std::array<QAction*, 10>& RecentFileActions() const { return recentActions_; }
  // The status bar's picture summary and the pixel under the pointer.
  QLabel* ImageStatus() const { return imageStatus_; }
  QLabel* PixelStatus() const { return pixelStatus_; }
  BackgroundJobs* Jobs() const { return jobs_; }
  // The picture the view shows: the current one, or as a save would write it
  // (View > As saved); null without a picture.
  const Bitmap* ShownPicture() const;
  const SavedViewChoice& SavedView() const { return savedView_; }
  QAction* AsSavedAction() const { return asSavedAction_; }
  QAction* SavedFormatAction() const { return savedFormatAction_; }
  QAction* DitheredSavesAction() const { return ditheredSavesAction_; }

 signals:
  void ErrorMessage(const QString& text);

 public slots:
  void OnOpen();
  void OnSave();
  void OnSaveAs();
  void OnMRU();
  void OnClearRecentFiles();
  void OnCreateAlpha();
  void OnLoadAlpha();
  void OnCreateAnimSprite();
  void OnCreateAnimCursor();
  void OnSavePalette();
  void OnSaveNormalMap();
  void OnOptions();
  void OnExit();
  void OnUndo();
  void OnRedo();
  void OnCopy();
  void OnPaste();
  void OnZoomIn();
  void OnZoomOut();
  void OnZoomFit();
  void OnZoomActual();
  void OnSavedViewFormat();
  void OnPixelHovered(QPoint pixel);
  void OnHoverLeft();
  void OnCMDOpt();
  void OnAbout();
  void OnErrorMsg(const QString& text);
  void OnTrans();
  void OnCvtBW();
  void OnCvtGray4();
  void OnCvtGray16();
  void OnCvtGray64();
  void OnCvtGray256();
  void OnCvt111();
  void OnCvt222();
  void OnCvt233();
  void OnCvt323();
  void OnCvt332();
  void OnCvt8666();
  void OnCvt444();
  void OnCvt555();
  void OnCvt565();
  void OnCvtRGB();
  void OnCvtBestPal();
  void OnCvtBestPalTrans();
  void OnCvtCustPal();
  void OnDithBW();
  void OnDithGray4();
  void OnDithGray16();
  void OnDithGray64();
  void OnDithGray256();
  void OnDith111();
  void OnDith222();
  void OnDith233();
  void OnDith323();
  void OnDith332();
  void OnDith8666();
  void OnDith444();
  void OnDith555();
  void OnDith565();
  void OnFlipH();
  void OnFlipV();
  void OnRotateCW();
  void OnRotateCCW();
  void OnRotate180();
  void OnInvertIndices();
  void OnInvertColor();
  void OnShrink();
  void OnReduce4();
  void OnReduce16();
  void OnReduce256();
  void OnScale();
  void OnInfo();
  void OnSizeReport();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Asks about unsaved changes, then remembers size and position. While a
  // job runs, closing cancels it first.
  void closeEvent(QCloseEvent* event) override;

 private:
  // Runs on a job's thread: turns the job's picture (its own copy) into the
  // new one, reporting to the session; null when nothing changed.
  using Operation = std::function<BitmapPtr(BitmapPtr image, CommandSession& session)>;
  // How an operation's result takes the picture's place: as a step Undo takes
  // back, or as the last part of opening the file (no step, no change).
  enum class PictureChange { kStep, kPartOfOpening };
  // What "Dither to" dithers with (its Method submenu).
  DitherMethod ditherMethod_ = DitherMethod::kFloydSteinberg;

  // Menus and the state of their actions (MainWindow.cpp).
  void BuildMenus();
  void BuildFileMenu();
  void BuildEditMenu();
  void BuildViewMenu();
  void BuildImageMenu();
  void BuildHelpMenu();
  QAction* AddAction(QMenu* menu, const QString& text, void (MainWindow::*slot)(),
                     const QList<QKeySequence>& shortcuts = {});
  QAction* AddImageAction(QMenu* menu, const QString& text, void (MainWindow::*slot)(),
                          const QList<QKeySequence>& shortcuts = {});
  QAction* AddFileAction(QMenu* menu, const QString& text, void (MainWindow::*slot)(),
                         const QList<QKeySequence>& shortcuts = {});
  void BuildStatusBar();
  // The View menu's "as saved" entries (SavedView.cpp's choice).
  void BuildSavedViewItems();
  // Takes format for the "as saved" view and shows the picture again.
  void ChooseSavedViewFormat(int format);
  // Makes savedPicture_ from the current picture when the view shows it as
  // saved; false (and savedPicture_ empty) when it does not.
  bool RefreshSavedPicture();
  void PlaceWindow();
  // Moves the framed window wholly onto its screen's free area.
  void KeepFrameOnScreen();
  void SaveWindowPlace() const;
  void RefreshRecentFiles();
  // Enables what the document and the running job allow.
  void RefreshActions();
  void ShowMessage(const QString& text);
  // What the title calls the shown picture: its file, or where it came from.
  QString ShownName() const;
  void UpdateTitle();
  // Shows what a job left to say (reports, naming files) and commits its
  // finished files; returns the targets replaced.
  std::vector<std::string> ShowJobOutcome(HeldSink& sink, const QString& file);
  // A private copy of the current picture for a job; null after reporting why.
  BitmapPtr CopyForJob();

  // Opening and saving (WindowFileActions.cpp).
  // True when the picture may be replaced: nothing unsaved, or the user
  // saved or discarded it.
  bool MayReplacePicture();
  // The Save as dialog and what follows; true when a file was written.
  bool SaveAsInteractive();
  bool ConfirmFirstFrameOnly();
  // Saves a copy of the current picture; the document keeps its picture and
  // takes the file as its save target. True when the file was written.
  bool SaveCurrentImage(const QString& name, int type, const SpecResult& spec);
  // Save as with the FORMAT chosen in the size report; false when the user
  // cancelled the save dialog.
  bool SaveAsFormat(int format);
  void CreateAnimation(int type);
  QString SuggestedName(const QString& suffix) const;
  // The picture just opened is stored turned (its EXIF orientation tag says
  // so): asks once per file whether to turn it upright, and does so as part
  // of opening it. The answer holds for the file until the window closes.
  void OfferToTurnUpright();
  // After the options changed how the shown picture's file is read: offers
  // to read it again.
  void OfferToReadAgain(const Settings& before, const Settings& after);

  // Changing the picture (WindowImageActions.cpp).
  // Runs op on a copy of the current picture off the window's thread; its
  // result becomes the current picture after an undo state of the one
  // before (or, for kPartOfOpening, in its place). A cancelled or failed
  // operation leaves no step. True when the picture changed.
  bool RunImageOperation(const QString& title, Operation op, PictureChange change = PictureChange::kStep);
  // A flip, rotation or inversion, as the command line runs it.
  void RunEditOperation(const QString& title, int commandId);
  // Makes image the current one after an undo state of the one before.
  void ReplacePicture(BitmapPtr image);
  void Reduce(int colours);
  void Convert(int selector);
  void Dither(int index);

  SavedViewChoice savedView_;
  BitmapPtr savedPicture_;  // the current picture as saved, while the view shows it

  std::unique_ptr<UserPrompts> prompts_;
  QString title_;
  ShowImage* view_;
  QLabel* imageStatus_ = nullptr;
  QLabel* pixelStatus_ = nullptr;
  BackgroundJobs* jobs_ = nullptr;
  QString reportFile_;  // the file the running job concerns
  std::map<std::string, bool> turnAnswers_;  // per file: turn it upright when opened
  std::array<AlphaChoice, 2> alphaNames_;    // the alpha dialog's names, by mode
  bool closeWhenIdle_ = false;
  QMenu* fileMenu_ = nullptr;
  QMenu* editMenu_ = nullptr;
  QMenu* viewMenu_ = nullptr;
  QMenu* imageMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  std::array<QAction*, 10> recentActions_{};
  // The Image menu, "Load alpha mask..." and "Save palette": they need a
  // picture and an idle window.
  std::vector<QAction*> imageActions_;
  // The rest of the File menu: they need an idle window.
  std::vector<QAction*> fileActions_;

  QAction* openAction_ = nullptr;
  QAction* saveAction_ = nullptr;
  QAction* saveAsAction_ = nullptr;
  QAction* clearRecentAction_ = nullptr;
  QAction* createAlphaAction_ = nullptr;
  QAction* loadAlphaAction_ = nullptr;
  QAction* animSpriteAction_ = nullptr;
  QAction* animCursorAction_ = nullptr;
  QAction* savePaletteAction_ = nullptr;
  QAction* optionsAction_ = nullptr;
  QAction* exitAction_ = nullptr;
  QAction* undoAction_ = nullptr;
  QAction* redoAction_ = nullptr;
  QAction* copyAction_ = nullptr;
  QAction* pasteAction_ = nullptr;
  QAction* zoomInAction_ = nullptr;
  QAction* zoomOutAction_ = nullptr;
  QAction* zoomFitAction_ = nullptr;
  QAction* zoomActualAction_ = nullptr;
  QAction* asSavedAction_ = nullptr;
  QAction* savedFormatAction_ = nullptr;
  QAction* ditheredSavesAction_ = nullptr;
  QAction* transAction_ = nullptr;
  std::array<QAction*, kConvertCount> convertActions_{};
  std::array<QAction*, kDitherCount> ditherActions_{};
  QAction* flipHAction_ = nullptr;
  QAction* flipVAction_ = nullptr;
  QAction* rotateCWAction_ = nullptr;
  QAction* rotateCCWAction_ = nullptr;
  QAction* rotate180Action_ = nullptr;
  QAction* invertIndicesAction_ = nullptr;
  QAction* invertColorAction_ = nullptr;
  QAction* shrinkAction_ = nullptr;
  QAction* reduce4Action_ = nullptr;
  QAction* reduce16Action_ = nullptr;
  QAction* reduce256Action_ = nullptr;
  QAction* scaleAction_ = nullptr;
  QAction* infoAction_ = nullptr;
  QAction* sizeReportAction_ = nullptr;
  QAction* cmdOptAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
};

}  // namespace rastra

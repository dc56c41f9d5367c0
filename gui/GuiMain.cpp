#include "gui/GuiMain.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>

#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Startup.h"

namespace {
QWidget* mainWindow = nullptr;

void ShowMessageBox(const std::string& title, const std::string& text) {
  QMessageBox::information(mainWindow, QString::fromStdString(title), QString::fromStdString(text));
}
}  // namespace

int RunMainWindow(int& argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  mainWindow = &window;
  SetMessageBoxHook(ShowMessageBox);
  QString title = QString("%1 V%2").arg(DisplayName(), QString::fromStdString(VersionText()));
  const std::string& path = GetDocument().sourcePath;
  if (!path.empty()) title += " - " + QString::fromStdString(path);
  window.setWindowTitle(title);
  window.resize(800, 600);
  window.show();
  const int result = app.exec();
  SetMessageBoxHook(nullptr);
  mainWindow = nullptr;
  return result;
}

#include "gui/GuiMain.h"

#include <QApplication>
#include <QClipboard>
#include <QString>

#include "app/ModuleExport.h"
#include "gui/MainWindow.h"

#ifdef Q_OS_WIN
#include <windows.h>

#include <cstring>
#endif

namespace rastra {

namespace {

#ifdef Q_OS_WIN
// Qt's clipboard data goes with the application object, so text copied while
// the window was open is handed to the system clipboard as plain text.
void KeepClipboardTextAfterExit() {
  constexpr qsizetype kMaxText = 4095;
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QString text = clipboard->text();
  if (text.isEmpty()) return;
  const QByteArray bytes = text.left(kMaxText).toLocal8Bit();
  clipboard->clear();
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(bytes.size()) + 1);
  if (block != nullptr) {
    void* target = GlobalLock(block);
    if (target != nullptr) {
      std::memcpy(target, bytes.constData(), static_cast<std::size_t>(bytes.size()) + 1);
      GlobalUnlock(block);
      if (SetClipboardData(CF_TEXT, block) == nullptr) GlobalFree(block);  // else the clipboard owns it
    } else {
      GlobalFree(block);
    }
  }
  CloseClipboard();
}
#else
// On X11 Qt hands its clipboard to the clipboard manager when the application
// ends, and Wayland compositors keep the selection themselves.
void KeepClipboardTextAfterExit() {}
#endif

}  // namespace

int RunMainWindow(int& argc, char** argv) {
  QApplication app(argc, argv);
  // Wayland compositors find the window's entry, and with it the icon, by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("rastra"));
  int result = 0;
  {
    MainWindow window;
    result = app.exec();
  }
  KeepClipboardTextAfterExit();
  return result;
}

// The entry point of the window module the program loads when a window opens.
extern "C" RASTRA_MODULE_EXPORT int RastraRunMainWindow(int* argc, char** argv) { return RunMainWindow(*argc, argv); }

}  // namespace rastra

// Grabs the main window with an image loaded, for the documentation.
// Built and run by scripts/screenshot.sh:  screenshot IMAGE OUTPUT.png [ZOOM_IN_STEPS]
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "app/ImageDocument.h"
#include "app/Settings.h"
#include "gui/MainWindow.h"
#include "gui/ShowImage.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s IMAGE OUTPUT.png [ZOOM_IN_STEPS]\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  if (OpenImageFile(argv[1]) == nullptr) {
    std::fprintf(stderr, "could not open %s\n", argv[1]);
    return 1;
  }
  MainWindow window;
  GetSettings().ViewOption = 1;  // a still tile pattern; the alternating one would blink between grabs
  window.View()->SetViewOption(1, 0);
  const int steps = argc > 3 ? std::atoi(argv[3]) : 0;
  for (int i = 0; i < steps; ++i) window.View()->ZoomIn();
  QApplication::processEvents();
  if (!window.grab().save(argv[2])) {
    std::fprintf(stderr, "could not write %s\n", argv[2]);
    return 1;
  }
  return 0;
}

// Grabs the main window with a palette picture loaded, its palette strip and
// the status bar telling about the pixel under the pointer, for the
// documentation. Built and run by scripts/screenshot.sh:
//   screenshot IMAGE OUTPUT.png [ZOOM_PERCENT]
#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "app/DocumentActions.h"
#include "app/ImageDocument.h"
#include "app/Settings.h"
#include "gui/ImageCanvas.h"
#include "gui/MainWindow.h"
#include "gui/ShowImage.h"

using namespace rastra;  // NOLINT(google-build-using-namespace)

namespace {

// As if the pointer rested on the middle of the picture.
void HoverPictureMiddle(ImageCanvas* canvas) {
  const QPoint middle = canvas->ImageOrigin() + QPoint(canvas->ScaledSize().width() / 2, canvas->ScaledSize().height() / 2);
  QMouseEvent move(QEvent::MouseMove, QPointF(middle), QPointF(canvas->mapToGlobal(middle)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(canvas, &move);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s IMAGE OUTPUT.png [ZOOM_PERCENT]\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  if (OpenImageFile(argv[1]) == nullptr) {
    std::fprintf(stderr, "could not open %s\n", argv[1]);
    return 1;
  }
  GetSettings().ViewOption = 1;  // a still tile pattern; the alternating one would blink between grabs
  MainWindow window;
  window.View()->SetViewOption(1, 0);
  window.resize(960, 600);
  if (GetDocument().current->NumColors == 0) window.OnCvtBestPal();  // a palette for the strip
  const int percent = argc > 3 ? std::atoi(argv[3]) : 400;
  window.View()->SetZoom(percent * 10);
  QApplication::processEvents();
  HoverPictureMiddle(window.View()->Canvas());
  QApplication::processEvents();
  if (!window.grab().save(argv[2])) {
    std::fprintf(stderr, "could not write %s\n", argv[2]);
    return 1;
  }
  return 0;
}

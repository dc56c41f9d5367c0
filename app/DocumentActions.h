// What a session does to its document: open a file into it, keep an undo
// state of it. The overloads without a session work on the process-wide
// document for the main window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/Bitmap.h"

namespace rastra {

struct CommandSession;
struct ImageDocument;

// A picture read from a file, not yet in any document.
struct OpenedImage {
  BitmapPtr image;
  std::uint32_t frames = 0;  // pictures in the file (a GIF animation holds several)
  int fileType = -1;         // the reader that ran (an ImageFileType)
  // The EXIF orientation the picture is still stored in (see OrientBitmap):
  // 1 when the file has no tag, or the read turned it upright.
  int storedOrientation = 1;
  std::shared_ptr<const std::vector<std::uint8_t>> bytes;  // a GIF's, kept for animation saves
};

// Saves a copy of the current image, transparent entry included, as the
// newest undo state. The current image counts as unchanged until
// MarkChanged.
void PushUndo();
void PushUndo(CommandSession& session);
// Opens path with the reader its content (and name) select, with the
// session's read options. On success the
// picture becomes the current image with a history of its own (no undo
// states), and path the source path. A file that cannot be opened or read is
// reported and changes nothing. Returns the new image, null after a failure.
Bitmap* OpenImageFile(const std::string& path);
// The same for a session's document; its reports name the file.
Bitmap* OpenImageFile(CommandSession& session, const std::string& path);
// The two halves of OpenImageFile, for the window, which reads on a thread of
// its own: the reading, whose reports go to the session, which keeps its
// document as it was; and the taking over into a document. The taking over
// also makes the file the document's save target where its type can be
// written (BMP, GIF, PNG).
OpenedImage ReadImageFile(CommandSession& session, const std::string& path);
Bitmap* AdoptOpenedImage(ImageDocument& doc, OpenedImage opened, const std::string& path);

}  // namespace rastra

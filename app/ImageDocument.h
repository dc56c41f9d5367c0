// The one current image with its undo stack, shared by the command line and
// the main window.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "image/Palette.h"

namespace rastra {

inline constexpr int kUndoSlots = 10;

// Where the shown picture came from, so the window can say what it shows.
enum class ImageOrigin : std::uint8_t {
  kFile,       // the source path, as opened (and changed since)
  kClipboard,  // pasted
  kAlpha,      // made by Create alpha from two pictures
};

// What the document knows of one picture besides its pixels. An undo step
// brings it back with the picture, so the title and the unsaved-changes
// question follow Undo.
struct ImageState {
  ImageOrigin origin = ImageOrigin::kFile;
  std::uint64_t revision = 0;  // a new number for every change
};

// Where the window's Save writes without asking: the file the picture came
// from or was last saved as, with the output TYPE, FORMAT and NOPALETTE of
// that file. TYPE 0: no file of a type that can be written (a JPEG, say).
struct SaveTarget {
  std::string path;
  int type = 0;
  int format = 0;
  int noPalette = 0;
};

struct ImageDocument {
  BitmapPtr current;
  std::array<BitmapPtr, kUndoSlots> undo;  // slot 0 the newest saved state
  // What Undo took back, slot 0 the newest; a new change empties it.
  std::array<BitmapPtr, kUndoSlots> redo;
  std::array<ImageState, kUndoSlots> redoStates;
  std::string sourcePath;                  // last image opened successfully
  std::string customPalettePath;
  PaletteRef customPalette;                // the palette file last loaded
  ImageState state;                        // of current
  std::array<ImageState, kUndoSlots> undoStates;  // of undo, slot by slot
  // Pictures in the file last opened: a GIF animation holds several, of
  // which only the first is read.
  std::uint32_t sourceFrames = 0;
  // The EXIF orientation the picture opened last is still stored in (see
  // OrientBitmap): 1 when it is upright, was turned when read, or commands
  // have worked on it since. The window asks about any other.
  int sourceOrientation = 1;
  // The bytes of the GIF file last opened (none for other types): an
  // animation save takes its frames from what was read, never from the file
  // again, which a save of the run may have replaced since.
  std::shared_ptr<const std::vector<std::uint8_t>> sourceBytes;
  std::uint64_t savedRevision = 0;  // the revision last written to a file or opened
  std::uint64_t lastRevision = 0;   // the highest revision handed out
  SaveTarget saveTarget;            // of the window; the command line leaves it alone
};

ImageDocument& GetDocument();
// Empties the document (tests and a new start).
void ResetDocument();

// Drops every undo and redo state: the document starts a history of its own.
void StartNewHistory(ImageDocument& doc);
// Saves image (the current one, handed over) as the newest undo state. A new
// change ends what could be redone.
void PushUndoImage(BitmapPtr image);
void PushUndoImage(ImageDocument& doc, BitmapPtr image);
// Brings back the newest undo state, with its origin and revision; the image
// it replaces is lost.
void PopUndo();
bool CanUndo();
// Undo and Redo as the window offers them: each moves the current image with
// its state onto the other stack, so the two walk the history both ways.
void UndoStep(ImageDocument& doc);
void RedoStep(ImageDocument& doc);
bool CanRedo(const ImageDocument& doc);
// The current image differs from what was last opened or saved.
void MarkChanged();
// The current image is what the file just written holds.
void MarkSaved();
bool HasUnsavedChanges();

}  // namespace rastra

// The one current image with its undo stack, shared by the command line and
// the main window.
#pragma once

#include <array>
#include <string>

#include "image/Bitmap.h"
#include "image/Palette.h"

inline constexpr int kUndoSlots = 10;

struct ImageDocument {
  BitmapPtr current;
  std::array<BitmapPtr, kUndoSlots> undo;  // slot 0 the newest saved state
  std::string sourcePath;                  // last image opened successfully
  std::string customPalettePath;
  PaletteRef customPalette;                // the palette file last loaded
};

ImageDocument& GetDocument();
// Empties the document (tests and a new start).
void ResetDocument();

struct CommandSession;

// Saves a copy of the current image as the newest undo state.
void PushUndo();
void PushUndo(CommandSession& session);
// Saves image (the current one, handed over) as the newest undo state.
void PushUndoImage(BitmapPtr image);
void PushUndoImage(ImageDocument& doc, BitmapPtr image);
void PopUndo();
bool CanUndo();
// Opens path with the reader its name selects and makes the result (also
// none) the current image. Returns the current image.
Bitmap* OpenImageFile(const std::string& path);
// The same for a session's document; its reports name the file.
Bitmap* OpenImageFile(CommandSession& session, const std::string& path);

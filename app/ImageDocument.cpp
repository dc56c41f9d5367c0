#include "app/ImageDocument.h"

#include <utility>

namespace rastra {

namespace {
ImageDocument document;
}  // namespace

ImageDocument& GetDocument() { return document; }

void StartNewHistory(ImageDocument& doc) {
  for (int i = 0; i < kUndoSlots; ++i) {
    doc.undo[i].reset();
    doc.undoStates[i] = ImageState{};
  }
}

void ResetDocument() { document = ImageDocument{}; }

void PushUndoImage(BitmapPtr image) { PushUndoImage(document, std::move(image)); }

void PushUndoImage(ImageDocument& doc, BitmapPtr image) {
  if (!image) return;
  for (int i = kUndoSlots - 1; i > 0; --i) {
    doc.undo[i] = std::move(doc.undo[i - 1]);
    doc.undoStates[i] = doc.undoStates[i - 1];
  }
  doc.undo[0] = std::move(image);
  doc.undoStates[0] = doc.state;
}

void PopUndo() {
  if (!document.undo[0]) return;
  document.current = std::move(document.undo[0]);
  document.state = document.undoStates[0];
  for (int i = 0; i < kUndoSlots - 1; ++i) {
    document.undo[i] = std::move(document.undo[i + 1]);
    document.undoStates[i] = document.undoStates[i + 1];
  }
  document.undoStates[kUndoSlots - 1] = ImageState{};
}

bool CanUndo() { return document.undo[0] != nullptr; }

void MarkChanged() { document.state.revision = ++document.lastRevision; }

void MarkSaved() { document.savedRevision = document.state.revision; }

bool HasUnsavedChanges() { return document.current && document.state.revision != document.savedRevision; }

}  // namespace rastra

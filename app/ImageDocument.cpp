#include "app/ImageDocument.h"

#include <utility>

namespace rastra {

namespace {
ImageDocument document;

using Images = std::array<BitmapPtr, kUndoSlots>;
using States = std::array<ImageState, kUndoSlots>;

// Puts image and state on top of a stack; the oldest entry drops out.
void Push(Images& images, States& states, BitmapPtr image, const ImageState& state) {
  for (int i = kUndoSlots - 1; i > 0; --i) {
    images[i] = std::move(images[i - 1]);
    states[i] = states[i - 1];
  }
  images[0] = std::move(image);
  states[0] = state;
}

// Takes the top of a stack off into image and state.
void Pop(Images& images, States& states, BitmapPtr& image, ImageState& state) {
  image = std::move(images[0]);
  state = states[0];
  for (int i = 0; i < kUndoSlots - 1; ++i) {
    images[i] = std::move(images[i + 1]);
    states[i] = states[i + 1];
  }
  states[kUndoSlots - 1] = ImageState{};
}

void ClearRedo(ImageDocument& doc) {
  for (int i = 0; i < kUndoSlots; ++i) {
    doc.redo[i].reset();
    doc.redoStates[i] = ImageState{};
  }
}
}  // namespace

ImageDocument& GetDocument() { return document; }

void StartNewHistory(ImageDocument& doc) {
  for (int i = 0; i < kUndoSlots; ++i) {
    doc.undo[i].reset();
    doc.undoStates[i] = ImageState{};
  }
  ClearRedo(doc);
}

void ResetDocument() { document = ImageDocument{}; }

void PushUndoImage(BitmapPtr image) { PushUndoImage(document, std::move(image)); }

void PushUndoImage(ImageDocument& doc, BitmapPtr image) {
  if (!image) return;
  Push(doc.undo, doc.undoStates, std::move(image), doc.state);
  ClearRedo(doc);
}

void PopUndo() {
  if (!document.undo[0]) return;
  Pop(document.undo, document.undoStates, document.current, document.state);
}

bool CanUndo() { return document.undo[0] != nullptr; }

void UndoStep(ImageDocument& doc) {
  if (!doc.undo[0]) return;
  Push(doc.redo, doc.redoStates, std::move(doc.current), doc.state);
  Pop(doc.undo, doc.undoStates, doc.current, doc.state);
}

void RedoStep(ImageDocument& doc) {
  if (!doc.redo[0]) return;
  Push(doc.undo, doc.undoStates, std::move(doc.current), doc.state);
  Pop(doc.redo, doc.redoStates, doc.current, doc.state);
}

bool CanRedo(const ImageDocument& doc) { return doc.redo[0] != nullptr; }

void MarkChanged() { document.state.revision = ++document.lastRevision; }

void MarkSaved() { document.savedRevision = document.state.revision; }

bool HasUnsavedChanges() { return document.current && document.state.revision != document.savedRevision; }

}  // namespace rastra

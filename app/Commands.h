// The operations the queued commands run on the image document.
#pragma once

#include <string>

void SaveAsCommand();
// Conversion selector 0 to 17, shared with the main window's Convert menu.
// It saves no undo state; the main window pushes one first.
void RunConversion(int selector);
void CustomPaletteCommand();
// Flips, rotations, inversions, scale, reducecolors and transparency.
void RunImageCommand(int id);

// The main window's branch of the custom palette command asks for a file;
// an empty answer means the user cancelled.
using PaletteFileDialog = std::string (*)();
void SetPaletteFileDialog(PaletteFileDialog dialog);

// The operations the queued commands run on a session's image document, and
// the dispatch of a queued command to its operation. The overloads without a
// session work on the process-wide document for the main window.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/CommandTable.h"
#include "image/Bitmap.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"

namespace rastra {

struct CommandSession;
struct ImageDocument;

// Runs the queue on the session's document, in order; conversions and edits
// are remembered in the session's history for animation saves.
void RunCommands(CommandSession& session, const std::vector<QueuedCommand>& queue);
void ExecuteCommand(CommandSession& session, int id);

// The name -saveas takes, as given (the directory it is completed with is
// not counted).
inline constexpr std::size_t kMaxSaveName = 255;

void SaveAsCommand(CommandSession& session);
// "%n" in a save name stands for baseName, the name of the image the
// commands run on.
std::string ExpandBaseName(const std::string& name, const std::string& baseName);
// Fills in drive, directory and name from sourcePath (the document's) and
// the default extension of the output type. The result is never cut nor
// given up for being long: a path the system refuses fails when the file is
// created, with the system's reason.
std::string CompleteOutputPath(const std::string& path, int type, const std::string& sourcePath);
// Writes image to path with the writer of type and the output options, and
// shows what went wrong. The file is written beside the target and replaces
// it only when the writer succeeded and every write reached it, so a failed
// save leaves an existing file as it was. Returns whether the file was
// replaced (or, for a session whose sink commits later, is due to be). A GIF
// or PNG writer's replacement image (see WriteImageFile) goes to *replacement
// when asked for.
bool SaveImageFile(const Bitmap* image, const std::string& path, int type, const OutputSpec& spec,
                   BitmapPtr* replacement = nullptr);
bool SaveImageFile(CommandSession& session, const Bitmap* image, const std::string& path, int type,
                   const OutputSpec& spec, BitmapPtr* replacement = nullptr);
// The detail a failed save's "FORMAT does not match image." gets: the save's
// TYPE and FORMAT and the colours of the image it was given.
std::vector<std::pair<int, std::string>> FormatMismatchDetails(int type, int format, int numColors);
// Makes a writer's replacement the current image, the one before it the
// newest undo state; nothing for a null replacement.
void ApplyReplacement(ImageDocument& doc, BitmapPtr replacement);

// A frame of the opened GIF through the conversions and edits that ran on
// the image before the save, as an animation save repeats them.
BitmapPtr EditFrame(CommandSession& session, BitmapPtr frame, int index);
// Conversion selector 0 to 17, shared with the main window's Convert menu.
// It saves no undo state; the main window pushes one first.
void RunConversion(int selector);
void RunConversion(CommandSession& session, int selector);
// Opens a palette file named by a command, once (a pipe gives its bytes only
// once); reports message 16 with the reason when it cannot be opened.
std::optional<sys::File> OpenPaletteFile(CommandSession& session, const std::string& name);
void CustomPaletteCommand();
void CustomPaletteCommand(CommandSession& session);
// Prints the bytes each FORMAT takes for the current image to standard
// output: a table, or CSV when the parameter text is "csv".
void SizeReportCommand(CommandSession& session);
// Flips, rotations, inversions, scale, reducecolors and transparency.
void RunImageCommand(CommandSession& session, int id);

// The main window's branch of the custom palette command asks for a file;
// an empty answer means the user cancelled.
using PaletteFileDialog = std::string (*)();
void SetPaletteFileDialog(PaletteFileDialog dialog);

}  // namespace rastra

// -sharedpalette: one palette for every image of a run. Before the images'
// jobs start, a first pass opens each image, runs the commands queued before
// -sharedpalette on it (writing and showing nothing) and tallies its colours;
// the palette is built from the tallies in image order, or read from the
// palette file once. The jobs then map their images onto it at the place of
// the command, and the -saveas forms P and G write it once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/CommandTable.h"
#include "image/OutputOptions.h"
#include "image/SharedPalette.h"
#include "writers/SharedPaletteWriter.h"

namespace rastra {

struct CommandSession;

struct SharedPaletteRun {
  std::optional<SharedPalette> palette;  // none when it could not be made (reported once)
  // The C bitmap files' view: the identifier of the first palette C file the
  // run writes (-saveas...,P); empty when there is none, and then every file
  // carries the shared palette itself.
  SharedPaletteRef reference;
  std::string firstImage;  // where the palette's files go without a directory, and what %n stands for
  // How it came about, for the manifest.
  int maxColors = 256;
  std::string paletteFile;  // -sharedpaletteFNAME
};

// The parameter of -sharedpalette: a number of colours, or a palette file.
struct SharedPaletteRequest {
  int maxColors = 256;
  std::string paletteFile;
};

// Digits give the number of colours, anything else names the file; nothing
// for a number outside 2 to 256 (the caller reports message 26).
inline constexpr int kSharedPaletteColorsMessage = 26;
std::optional<SharedPaletteRequest> ParseSharedPaletteParameter(const std::string& parameter);

// The first pass over images with the queue's -sharedpalette at commandIndex;
// reports what went wrong with the palette (not with the images: their jobs
// report that), reading the images as their jobs will. workers: the threads
// that open and tally images.
SharedPaletteRun PrepareSharedPalette(const std::vector<std::string>& images, const std::vector<QueuedCommand>& queue,
                                      std::size_t commandIndex, const OutputOptions& options,
                                      const ReadOptions& readOptions, unsigned workers);

// The -saveas TYPEs P (the palette as C source) and G (as palette file).
bool IsPaletteSaveType(char type);
// Saves the run's shared palette (from the first image's session only), or
// else the palette of the current image.
void SavePaletteCommand(CommandSession& session, const std::string& name, char type);

// -sharedpalette in an image's job.
void SharedPaletteCommand(CommandSession& session);

}  // namespace rastra

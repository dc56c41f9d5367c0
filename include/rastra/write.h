// Writing: C bitmap files, C streams (.dta), BMP, GIF and PNG files, and the
// animated sprites and cursors made of an animated GIF's frames; into memory
// or into a file.
//
// A save fits the image to the FORMAT first, on a copy (the caller's image
// never changes): a palette image that a true-colour FORMAT needs becomes
// true colour, an image whose palette does not fit a palette FORMAT is
// converted into BW, Gray4, Gray16 or 8666. Without a FORMAT the palette size
// chooses one, by the rule of DefaultFormat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include <rastra/image.h>
#include <rastra/options.h>
#include <rastra/status.h>

namespace rastra {

enum OutputType : int {
  kOutputCBitmap = 1,      // C source declaring a GUI_BITMAP (.c)
  kOutputBmp = 2,          // Windows bitmap (.bmp)
  kOutputCStream = 3,      // streamed bitmap (.dta)
  kOutputGif = 4,          // GIF (.gif)
  kOutputPng = 5,          // PNG (.png)
  kOutputAnimSprite = 6,   // C source of an animated sprite (.c), from an animated GIF
  kOutputAnimCursor = 7,   // C source of an animated cursor (.c), from an animated GIF
};

struct WriteOptions {
  int type = kOutputCBitmap;
  // FORMAT code of C files, streams and animations: 1, 2, 4, 5 palette data
  // of 1 to 8 bits, 6 and 7 RLE4 and RLE8, 8 to 13 high colour, 15 and 16
  // true colour with alpha, 17 true colour, 18 alpha channel, 19 to 24 the
  // 444 formats, 25 to 28 high colour with alpha, 29 and 99 true colour with
  // alpha variants. 0: DefaultFormat (animations: 5).
  int format = 0;
  // The palette only as a disabled reference.
  bool noPalette = false;
  // What the C identifiers are made of (bm<name>, _ac<name>, ...): a name
  // or a file name, whose directory, extension and characters a C name
  // cannot hold are dropped. Empty: the file's name for WriteFile, "image"
  // otherwise.
  std::string name;
  OutputOptions output;
  // Animations: an edit made on every frame before it is fitted to the
  // FORMAT and written (none: the frames as they are). A failure ends the
  // write with the status it gives.
  std::function<Result<Image>(const Image& frame, int index)> editFrame;
};

// What the C identifiers are made of for a name or file name: its name
// without directory and extension, less every character a C name cannot
// hold ("icons/cône-1.png" gives "cne1"); "" when nothing is left.
std::string CIdentifierOf(const std::string& name) noexcept;

// The FORMAT a save without one uses: by the palette size 1 (2 colours), 2
// (4), 4 (16) or 5 (256); true colour 8 (565), or 16 with alpha.
int DefaultFormat(const Image& image) noexcept;
// The image as a save in format would write it (see the top of this file).
Result<Image> FitToFormat(const Image& image, int format, const OutputOptions& options = {}) noexcept;

// Types 1 to 5 of image, into memory (the bytes in a string) or a file. The
// file is written beside its target and replaces it only when complete.
Result<std::string> Write(const Image& image, const WriteOptions& options) noexcept;
Status WriteFile(const Image& image, const std::string& path, const WriteOptions& options) noexcept;

// Types 6 and 7 from the bytes of an animated GIF.
Result<std::string> WriteAnimation(const void* gifData, std::size_t size, const WriteOptions& options,
                                   const ReadLimits& limits = {}) noexcept;
Status WriteAnimationFile(const void* gifData, std::size_t size, const std::string& path,
                          const WriteOptions& options, const ReadLimits& limits = {}) noexcept;

}  // namespace rastra

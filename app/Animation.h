// Animated sprites and cursors: an animated GIF becomes C source, written by
// the main window's animation action and by -saveas TYPE 6 and 7.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "api/GifAnimation.h"
#include "app/Report.h"
#include "image/Bitmap.h"
#include "readers/ReadOptions.h"
#include "writers/ImageWriters.h"

namespace rastra {

struct CommandSession;

struct AnimationRequest {
  std::string gifPath;  // reports name it; read only when gifBytes is null
  std::string outPath;
  int type = kOutputAnimSprite;
  OutputSpec spec{5, 0};
  FramePreparation prepare;  // none: the frames as decoded
  // The command line refuses what is not an animation: a file that is no GIF
  // (message 28) and a GIF of one frame (message 29).
  bool requireAnimation = false;
  // The command line's save takes the frames from the bytes read when its
  // image was opened (gifBytes, null when that was no GIF), never from the
  // file again, which a save of the run may have replaced since. The
  // window's action reads gifPath, the file the user chose.
  bool fromOpenedImage = false;
  std::shared_ptr<const std::vector<std::uint8_t>> gifBytes;
};

// Reads the GIF with the session's read options (or takes the opened image's
// bytes), scans it for its frame count and playing time, then decodes its
// frames one after the other in one pass and writes each with the request's
// type and spec. The output replaces outPath only when every frame was
// written (through the session's sink, which may do so later). Returns true
// when it was; problems are reported. The current image is untouched.
bool SaveAnimation(CommandSession& session, const AnimationRequest& request);

// The main window's action: type 6 (sprite) or 7 (cursor), FORMAT 5 and
// NOPALETTE 0, the frames as decoded, reports shown at once.
bool CreateAnimationFile(const std::string& gifPath, const std::string& outPath, int type,
                         const ReadLimits& limits = JobLimits());

// Whether the GIF at path can be read as an animation (reported when not).
bool CheckGifForAnimation(const std::string& path, const ReadLimits& limits = JobLimits());
// The window's check before it asks where to write, reported to session: as
// the command line does, it refuses a file that is no GIF ("Animation needs a
// GIF file.") and a GIF of one picture ("GIF file is not animated.").
bool CheckGifIsAnimation(CommandSession& session, const std::string& path);

}  // namespace rastra

// The first step of the animation actions: the GIF the user picked is read
// and scanned before the output name is asked for, so a file that cannot
// become an animation is refused at once.
#pragma once

#include <string>

// False after a report: the file is missing, longer than 8000000 bytes
// ("File too long"), or not a GIF with at least one frame.
bool CheckGifForAnimation(const std::string& path);

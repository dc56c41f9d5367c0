// Rastra's core library: reads BMP, SBMP, GIF, JPEG and PNG files, converts
// pictures into the colour formats of small displays, and writes them as C
// source for the Lumar graphics library, streams, BMP, GIF and PNG files.
//
//   #include <rastra/rastra.h>
//
//   rastra::Result<rastra::Image> loaded = rastra::Load("logo.png");
//   if (!loaded) { std::puts(loaded.text.c_str()); return 1; }
//   auto dithered = rastra::Dither(loaded.value, rastra::kFormat565);
//   rastra::WriteOptions c;  // a C bitmap file; FORMAT chosen by the picture
//   c.name = "logo";
//   rastra::Result<std::string> source = rastra::Write(dithered.value, c);
//
// Every call is noexcept and says how it ended in what it returns; the
// library keeps no state between calls, so threads need nothing but their
// own images. docs/library.md is the tutorial and the reference.
#pragma once

#include <rastra/convert.h>
#include <rastra/image.h>
#include <rastra/load.h>
#include <rastra/lvgl.h>
#include <rastra/options.h>
#include <rastra/palette.h>
#include <rastra/size_report.h>
#include <rastra/status.h>
#include <rastra/version.h>
#include <rastra/write.h>

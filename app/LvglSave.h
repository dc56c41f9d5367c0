// -saveas for LVGL: TYPE 8 (C source) and 9 (.bin), the colour format by its
// LVGL name and LVGL's own options after it:
//   -saveas<FNAME>,8,<CF>[,RLE|,LZ4][,ALIGN<N>][,PREMULTIPLY][,DITHER][,BG<RRGGBB>][,FRAMES]
#pragma once

#include <optional>
#include <string>

#include <rastra/lvgl.h>

namespace rastra {

struct CommandSession;

inline constexpr int kOutputLvglC = 8;
inline constexpr int kOutputLvglBin = 9;

bool IsLvglType(int type);

struct LvglSpec {
  LvglOptions options;
  bool frames = false;  // FRAMES: every frame of the opened GIF and an array of them
};

// The colour format and options of the parameter text after TYPE's ','
// ("RGB565,LZ4,ALIGN4"); nullopt with the reason in why.
std::optional<LvglSpec> ParseLvglSpec(const std::string& text, std::string& why);

// -sizereportlvgl and -sizereportlvglcsv: the LVGL formats' rows.
void LvglSizeReportCommand(CommandSession& session, bool csv);

// The rest of -saveas once FNAME and TYPE 8 or 9 are read.
void SaveLvglCommand(CommandSession& session, const std::string& name, int type);

}  // namespace rastra

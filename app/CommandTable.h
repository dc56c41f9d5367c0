// The commands of the command line: their words, ids and help texts, and a
// command as it is queued for a run.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace rastra {

struct CommandEntry {
  const char* keyword;
  int id;  // 0 marks the help commands
  const char* help;
};

// The ids of the table's rows.
enum CommandId : int {
  kCmdSaveAs = 1203,
  kCmdExit = 1210,
  kCmdTransparency = 1501,
  kCmdConvertBW = 1502,  // to kCmdConvert332 = 1511: the colour formats BW to 332 in their order
  kCmdConvert332 = 1511,
  kCmdConvert8666 = 1513,
  kCmdConvert444 = 1514,  // 444, 555 and 565
  kCmdConvert565 = 1516,
  kCmdConvertRGB = 1518,  // then best palette, best palette with transparency, custom palette
  kCmdConvertBestPalette = 1519,
  kCmdConvertTransPalette = 1520,
  kCmdConvertCustomPalette = 1521,
  kCmdFlipH = 1700,
  kCmdFlipV = 1701,
  kCmdRotateCW = 1702,
  kCmdRotateCCW = 1703,
  kCmdRotate180 = 1704,
  kCmdInvertIndices = 1705,
  kCmdInvertPalette = 1706,
  kCmdReduceColors = 1711,
  kCmdScale = 1713,
  kCmdHide = 1810,
  kCmdUseArgb = 1811,
  kCmdBigEndian = 1812,
  kCmdPreserveTrans = 1813,
  kCmdDefaultSettings = 1814,
  kCmdSizeReport = 1815,
  kCmdSharedPalette = 1816,
  kCmdFlashBudget = 1817,
  kCmdManifest = 1818,
  kCmdMaxOutput = 1819,
  kCmdPngGamma = 1820,
  kCmdSmoothChroma = 1821,
  kCmdAutoOrient = 1822,
  kCmdDither = 1823,
  kCmdConvertFinePalette = 1824,
};

inline constexpr int kCommandCount = 47;
extern const std::array<CommandEntry, kCommandCount> CommandTable;

inline constexpr int kQueueSlots = 20;
inline constexpr std::size_t kMaxParameterText = 499;

// The first row whose keyword is a prefix of word (case-sensitive), or null.
const CommandEntry* LookupCommand(std::string_view word);
std::string ComposeHelpText();

// A command as queued: its row, the text after its keyword, and the
// argument as given (reports name it).
struct QueuedCommand {
  const CommandEntry* entry = nullptr;
  std::string parameter;
  std::string argument;
};

}  // namespace rastra

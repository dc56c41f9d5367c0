#include "app/CommandTable.h"

namespace rastra {

const std::array<CommandEntry, kCommandCount> CommandTable = {{
    {"convertintobw", 1502, "\t\tConverts image into BW"},
    {"convertintogray4", 1503, "\tConverts image into Gray4"},
    {"convertintogray16", 1504, "\tConverts image into Gray16"},
    {"convertintogray64", 1505, "\tConverts image into Gray64"},
    {"convertintogray256", 1506, "\tConverts image into Gray256"},
    {"convertinto111", 1507, "\t\tConverts image into 111"},
    {"convertinto222", 1508, "\t\tConverts image into 222"},
    {"convertinto233", 1509, "\t\tConverts image into 233"},
    {"convertinto323", 1510, "\t\tConverts image into 323"},
    {"convertinto332", 1511, "\t\tConverts image into 332"},
    {"convertinto8666", 1513, "\tConverts image into 8666"},
    {"convertinto444", 1514, "\t\tConverts image into 444"},
    {"convertinto555", 1515, "\t\tConverts image into 555"},
    {"convertinto565", 1516, "\t\tConverts image into 565"},
    {"convertintorgb", 1518, "\t\tConverts image into RGB"},
    {"convertintobestpalette", 1519, "\tConverts image into best palette"},
    {"convertintotranspalette", 1520, "\tConverts image into best palette + transparency"},
    {"convertintocustompalette", 1521,
     "\t<FNAME>\r\n\t\tConverts image into custom palette\r\n\t\t- FNAME:\r\n\t\tName of palette file to be used"},
    {"fliph", 1700, "\t\tFlips image horizontally"},
    {"flipv", 1701, "\t\tFlips image vertically"},
    {"hide", 1810, "\t\tHides the application window"},
    {"rotate90cw", 1702, "\t\tRotates image by 90 degrees CW"},
    {"rotate90ccw", 1703, "\t\tRotates image by 90 degrees CCW"},
    {"rotate180", 1704, "\t\tRotates image by 180 degrees"},
    {"invertindices", 1705, "\t\tInverts indices"},
    {"invertpalette", 1706, "\t\tInverts palette entries"},
    {"saveas", 1203,
     "\t\t<FNAME>,<TYPE>[,<FORMAT>[,<NOPALETTE>]]\r\n\t\tSave image file\r\n\t\t- FNAME:\r\n\t\tFilename to be "
     "used\r\n\t\t %n \t - Name of the image without extension\r\n\t\t- TYPE:\r\n\t\t 1  \t- C-bitmap "
     "file\r\n\t\t 2  \t- Windows Bitmap file\r\n\t\t 3  \t- C-stream\r\n\t\t 4  \t- GIF file\r\n\t\t 5  \t- "
     "PNG file\r\n\t\t 6  \t- Animated sprite (from a GIF)\r\n\t\t 7  \t- Animated cursor (from a GIF)\r\n\t\t 8  "
     "\t- LVGL image, C file (FORMAT: CF,[options])\r\n\t\t 9  \t- LVGL image, binary file\r\n\t\t- "
     "FORMAT: [C, C-stream or animation: 1, 2, 4, 5]\r\n\t\t 1  \t- "
     "1bpp\r\n\t\t 2  \t- 2bpp\r\n\t\t 4  \t- 4bpp\r\n\t\t 5  \t- 8bpp\r\n\t\t 6  \t- RLE4 compression\r\n\t\t 7  "
     "\t- RLE8 compression\r\n\t\t 8  \t- High color (565)\r\n\t\t 9  \t- High color (565), RB swap\r\n\t\t 10 "
     "\t- High color (555)\r\n\t\t 11 \t- High color (555), RB swap\r\n\t\t 12 \t- High color (565), "
     "compressed\r\n\t\t 13 \t- High color (565), RB swap, compr.\r\n\t\t 15 \t- True color with alpha, "
     "compr.\r\n\t\t 16 \t- True color with alpha\r\n\t\t 18 \t- Alpha channel, compr.\r\n\t\t 19 \t- 16bpp "
     "(444_12)\r\n\t\t 20 \t- 16bpp (444_12), RB swap\r\n\t\t 21 \t- 16bpp (444_12_1)\r\n\t\t 22 \t- 16bpp "
     "(444_12_1), RB swap\r\n\t\t 23 \t- 16bpp (444_16)\r\n\t\t 24 \t- 16bpp (444_16), RB swap\r\n\t\t 25 \t- High "
     "color with alpha (555)\r\n\t\t 26 \t- High color with alpha (555), RB swap\r\n\t\t 27 \t- High color with "
     "alpha (565)\r\n\t\t 28 \t- High color with alpha (565), RB swap\r\n\t\t 29 \t- True color with alpha, RB "
     "swap, alpha inverted\r\n\t\t 99 \t- True color with alpha, both variants\r\n\t\t- NOPALETTE:\r\n\t\t 0  \t - "
     "Save with palette (default)\r\n\t\t 1  \t - Save without palette\r\n\t\t- CF: [LVGL: 8, 9]\r\n\t\t L8, I1, I2, I4, I8, "
     "A1, A2, A4, A8, AL88, RGB565, RGB565_SWAPPED,\r\n\t\t RGB565A8, ARGB8565, RGB888, ARGB8888, XRGB8888,\r\n\t\t "
     "ARGB8888_PREMULTIPLIED, then any of\r\n\t\t RLE or LZ4, ALIGN<N> (stride), PREMULTIPLY,\r\n\t\t DITHER (565 "
     "colours), BG<RRGGBB> (background)"},
    {"scale", 1713,
     "\t\t<WIDTH[%]>,<HEIGHT[%]>\r\n\t\tScale image to desired size\r\n\t\t- WIDTH/HEIGHT:\r\n\t\tSize in pixels to "
     "be used\r\n\t\t [%] \t - Size in percent"},
    {"reducecolors", 1711,
     "\t\t<NUM_COLORS>\r\n\t\tReduce number of colors\r\n\t\t- NUM_COLORS:\r\n\t\tNumber of colors to be used"},
    {"transparency", 1501,
     "\t\t<COLOR>\r\n\t\tSets image transparency\r\n\t\t- COLOR:\r\n\t\tColor to be used as transparent color"},
    {"exit", 1210, "\t\tTerminates the Rastra"},
    {"help", 0, "\t\tDisplays this box"},
    {"?", 0, "\t\tDisplays this box"},
    {"useargb", 1811,
     "\t\t<0|1>\r\n\t\tSets ARGB palettes for this run\r\n\t\t 0  \t - Palette entries as ABGR\r\n\t\t 1  \t - "
     "Palette entries as ARGB"},
    {"bigendian", 1812,
     "\t<0|1>\r\n\t\tSets the byte order of C-streams for this run\r\n\t\t 0  \t - Little endian\r\n\t\t 1  \t - "
     "Big endian"},
    {"preservetrans", 1813,
     "\t<0|1>\r\n\t\tSets preserve transparency for this run\r\n\t\t 0  \t - Off\r\n\t\t 1  \t - Transparent "
     "pixels keep index 0"},
    {"defaultsettings", 1814, "\tIgnores the stored settings in this run"},
    {"sizereport", 1815,
     "\t\t[csv]\r\n\t\tPrints the bytes each FORMAT takes for the image\r\n\t\t- csv:\r\n\t\tComma-separated "
     "values instead of a table\r\n\t\t- lvgl, lvglcsv:\r\n\t\tThe bytes of each LVGL colour format"},
    {"sharedpalette", 1816,
     "\t[<N>|<FNAME>]\r\n\t\tConverts every image of the run onto one palette\r\n\t\t- N:\r\n\t\tBest palette of "
     "all images, 2 to 256 colors (default 256)\r\n\t\t- FNAME:\r\n\t\tName of palette file to be used\r\n\t\t"
     "-saveas<FNAME>,P saves it as C file,\r\n\t\t-saveas<FNAME>,G as palette file"},
    {"flashbudget", 1817,
     "\t<BYTES>[,<TOTAL>]\r\n\t\tFails the run, writing nothing, when C files need more flash\r\n\t\t- BYTES:\r\n\t\t"
     "Budget of each C file (may be left empty)\r\n\t\t- TOTAL:\r\n\t\tBudget of all C files of the run"},
    {"manifest", 1818, "\t<FNAME>\r\n\t\tWrites a JSON manifest of the run's outputs"},
    {"maxoutput", 1819,
     "\t<BYTES>\r\n\t\tSets the largest file a save may write in this run\r\n\t\t(default 1073741824)"},
    {"pnggamma", 1820,
     "\t<0|1>\r\n\t\tSets the gamma of PNG files for this run\r\n\t\t 0  \t - Colors as stored\r\n\t\t 1  \t - "
     "Corrected for a display of gamma 2.2"},
    {"smoothchroma", 1821,
     "\t<0|1>\r\n\t\tSets the chroma of JPEG files for this run\r\n\t\t 0  \t - Each sample repeated\r\n\t\t 1  "
     "\t - Interpolated between samples"},
    {"autoorient", 1822,
     "\t<0|1>\r\n\t\tSets the use of EXIF orientation tags for this run\r\n\t\t 0  \t - Pictures as stored\r\n\t\t 1  \t - "
     "Turned upright as the tag says"},
    {"dither", 1823,
     "\t\t[<METHOD>]\r\n\t\tDithers every color reduction of the run\r\n\t\t(conversions, palettes, saves in 565, 555, 444)\r\n\t\t- METHOD:\r\n\t\t fs \t - "
     "Floyd-Steinberg (default)\r\n\t\t serpentine - Floyd-Steinberg, alternate rows reversed\r\n\t\t bayer4 \t - "
     "Ordered, 4x4 matrix (animations, RLE)\r\n\t\t bayer8 \t - Ordered, 8x8 matrix\r\n\t\t none \t - No dithering"},
    {"convertintofinepalette", 1824,
     "\tConverts image into a palette of up to 256 colors\r\n\t\tchosen for the least error (slower than best palette)"},
}};

const CommandEntry* LookupCommand(std::string_view word) {
  for (const CommandEntry& entry : CommandTable) {
    if (word.starts_with(entry.keyword)) return &entry;
  }
  return nullptr;
}

std::string ComposeHelpText() {
  std::string text;
  for (const CommandEntry& entry : CommandTable) {
    text += "-";
    text += entry.keyword;
    text += entry.help;
    text += "\r\n";
  }
  return text;
}

}  // namespace rastra

#include "app/Commands.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "app/CommandLine.h"
#include "app/ImageDocument.h"
#include "app/Report.h"
#include "app/Settings.h"
#include "image/ColorConvert.h"
#include "image/ColorFormat.h"
#include "image/ImageOps.h"
#include "image/Palette.h"
#include "readers/PaletteFile.h"
#include "sys/File.h"
#include "writers/ImageWriters.h"
#include "writers/SizeReport.h"

namespace {

// Runs one piece of core work on the current image and shows what it had to
// say right after it, so reports keep the order in which they arose.
template <class Work>
auto RunJob(Work&& work) {
  sys::Context ctx = MakeJobContext();
  auto result = work(ctx);
  ReportJob(ctx);
  return result;
}

PaletteFileDialog paletteFileDialog = nullptr;

constexpr std::size_t kMaxFileName = 255;
constexpr std::size_t kOutputPathCapacity = 500;

int DefaultFormat(const Bitmap& image) {
  const int n = image.NumColors;
  if (n == 0) return image.HasAlpha != 0 ? 16 : 8;
  if (n <= 2) return 1;
  if (n <= 4) return 2;
  if (n <= 16) return 4;
  return 5;
}

bool IsFormatCode(int format) { return (format >= 1 && format <= 29) || format == 99; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads FORMAT and NOPALETTE for TYPE 1 and 3; false after a report.
bool ReadFormatAndPalette(int n, OutputSpec& spec) {
  ImageDocument& doc = GetDocument();
  if (ReadChar() != ',') {
    spec.Format = DefaultFormat(*doc.current);
    if (n > 256) {
      ReportMessage(15);
      return false;
    }
    return true;
  }
  int format = ReadChar() - '0';
  char next = ReadChar();
  for (int digits = 0; digits < 2 && IsDigit(next); ++digits) {
    format = format * 10 + (next - '0');
    next = ReadChar();
  }
  if (!IsFormatCode(format)) {
    ReportMessage(1);
    return false;
  }
  spec.Format = format;
  if (n != 0 && FormatNeedsTrueColor(format)) {
    PushUndo();
    doc.current = RunJob([&](sys::Context& ctx) { return Bitmap_ToTrueColor(std::move(doc.current), ctx); });
  }
  const int fitting = FittingColorFormat(format, n);
  if (fitting >= 0) RunConversion(fitting);
  if (next != ',') return true;
  const char flag = ReadChar();
  if (flag == 0) {
    ReportMessage(14);
    return false;
  }
  spec.NoPalette = flag - '0';
  if (spec.NoPalette > 1 || spec.NoPalette < 0) {
    ReportMessage(12);
    return false;
  }
  if (format >= 8 && spec.NoPalette == 0) {
    ReportMessage(13);
    return false;
  }
  return true;
}


constexpr long kMaxScaledSize = 99999;
// Any percentage beyond this gives more than the largest size even of a one
// pixel image; capping it keeps the product below from overflowing.
constexpr long kMaxPercent = 100 * (kMaxScaledSize + 1);

// One size of -scale: pixels, or with "%" a percentage of the current size.
// Returns -1 after a report.
long ReadScaleSize(int currentSize) {
  long size = ReadDecimal();
  if (ParseErrorFlag()) return -1;
  if (GetParameterChar() == '%') {
    ReadChar();
    const long percent = std::clamp(size, -kMaxPercent, kMaxPercent);
    size = static_cast<long>((static_cast<long long>(currentSize) * percent) / 100);
  }
  if (size <= 0 || size > kMaxScaledSize) {
    ReportMessage(25);
    return -1;
  }
  return size;
}

void ScaleCommand() {
  ImageDocument& doc = GetDocument();
  const long width = ReadScaleSize(doc.current->XSize);
  if (width < 0) return;
  if (ReadChar() != ',') {
    ReportMessage(9);
    return;
  }
  const long height = ReadScaleSize(doc.current->YSize);
  if (height < 0) return;
  // A scale that fails keeps nothing: the image went into it.
  doc.current = RunJob([&](sys::Context& ctx) {
    return ScaleBitmap(std::move(doc.current), static_cast<int>(width), static_cast<int>(height), ctx);
  });
}

void ReduceColorsCommand() {
  const long colours = ReadDecimal();
  if (ParseErrorFlag()) return;
  if (colours < 2 || colours > 256) {
    ReportMessage(26);
    return;
  }
  ImageDocument& doc = GetDocument();
  doc.current = RunJob([&](sys::Context& ctx) {
    return ReduceColors(std::move(doc.current), static_cast<int>(colours), CurrentOutputOptions(), ctx);
  });
}

// The colour is written RRGGBB, the way colours are usually given; palette
// entries hold 0xBBGGRR.
void TransparencyCommand() {
  const long rgb = ReadHex();
  if (ParseErrorFlag()) return;
  if (rgb < 0 || rgb > 0xFFFFFF) {
    ReportMessage(18);
    return;
  }
  Bitmap& image = *GetDocument().current;
  if (image.NumColors == 0) {
    ReportMessage(17);
    return;
  }
  const Color wanted = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
  for (int i = 0; i < image.NumColors; ++i) {
    if ((Bitmap_GetPalColor(image, i) & 0xFFFFFF) == wanted) {
      SetTransIndex(image, i);
      return;
    }
  }
  ReportMessage(19);
}

}  // namespace

void SetPaletteFileDialog(PaletteFileDialog dialog) { paletteFileDialog = dialog; }

bool FormatNeedsTrueColor(int format) { return FormatTakesTrueColor(format); }

bool SaveImageFile(const Bitmap* image, const std::string& path, int type, const OutputSpec& spec,
                   BitmapPtr* replacement) {
  if (replacement != nullptr) replacement->reset();
  auto output = sys::SafeOutputFile::Create(path);
  if (!output) {
    ReportText("Could not create file " + path);
    return false;
  }
  sys::Context ctx = MakeJobContext();
  WriteResult result = WriteImageFile(image, output->Output(), path, spec, type, CurrentOutputOptions(), ctx);
  ReportJob(ctx);
  if (replacement != nullptr) *replacement = std::move(result.replacement);
  if (!result.Ok()) return false;  // the writer said what went wrong; the old file stays
  if (!output->Commit()) {
    ReportText(CouldNotWriteText(path));
    return false;
  }
  return true;
}

void ApplyReplacement(ImageDocument& doc, BitmapPtr replacement) {
  if (!replacement) return;
  PushUndoImage(std::move(doc.current));
  doc.current = std::move(replacement);
}

void SaveAsCommand() {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  const int n = doc.current->NumColors;
  const std::string name = ReadString(kMaxFileName);
  if (ReadChar() != ',') {
    ReportMessage(9);
    return;
  }
  const int type = ReadChar() - '0';
  if (type < 1 || type > 5) {
    ReportMessage(10);
    return;
  }
  OutputSpec spec;
  if ((type == kOutputCBitmap || type == kOutputCStream) && !ReadFormatAndPalette(n, spec)) return;
  if (!doc.current) return;  // a conversion on the way failed and said so
  const std::string path = CompleteOutputPath(name, kOutputPathCapacity, type);
  BitmapPtr replacement;
  SaveImageFile(doc.current.get(), path, type, spec, &replacement);
  ApplyReplacement(doc, std::move(replacement));
}

void RunConversion(int selector) {
  ImageDocument& doc = GetDocument();
  const OutputOptions options = CurrentOutputOptions();
  if (selector >= kFormatBW && selector <= kFormatRGB) {
    doc.current = RunJob([&](sys::Context& ctx) {
      return ConvertToFormat(std::move(doc.current), GetColorFormat(selector), options, ctx);
    });
  } else if (selector == 15) {
    BitmapPtr result = RunJob([&](sys::Context& ctx) { return ConvertToBestPalette(doc.current, options, ctx); });
    if (result) doc.current = std::move(result);
  } else if (selector == 16) {
    BitmapPtr result =
        RunJob([&](sys::Context& ctx) { return ConvertToBestPaletteTrans(doc.current, 0xFFFFFF, options, ctx); });
    if (result) doc.current = std::move(result);
  } else if (selector == 17) {
    CustomPaletteCommand();
  }
}

void CustomPaletteCommand() {
  ImageDocument& doc = GetDocument();
  if (GetRunState().batchActive) {
    const std::string name = ReadString(kMaxParameterText);
    if (!sys::File::OpenRead(name)) {
      ReportMessage(16);
      return;
    }
    doc.customPalettePath = name;
  } else {
    const std::string chosen = paletteFileDialog != nullptr ? paletteFileDialog() : std::string();
    if (chosen.empty()) return;
    doc.customPalettePath = chosen.substr(0, kMaxParameterText);
  }
  if (RunJob([&](sys::Context& ctx) { return _LoadPalette(doc.customPalettePath, doc.customPalette, ctx); }) != 0) {
    return;
  }
  if (!doc.current) return;
  PushUndo();
  doc.current = RunJob([&](sys::Context& ctx) {
    return ConvertToPalette(doc.customPalette, doc.current, doc.customPalette.count, true, CurrentOutputOptions(), ctx);
  });
}

void SizeReportCommand() {
  std::string form;
  for (char c = ReadChar(); c != 0; c = ReadChar()) form += c;
  if (!form.empty() && form != "csv") {
    ReportText("\"" + form + "\": the size report is a table, or CSV with -sizereportcsv");
    return;
  }
  ImageDocument& doc = GetDocument();
  if (!doc.current) {
    ReportText("An image needs to be opened before its sizes can be reported.");
    return;
  }
  std::vector<FormatSize> rows;
  const sys::Code code = RunJob([&](sys::Context& ctx) {
    return ComputeSizeReport(*doc.current, CurrentOutputOptions(), rows, ctx);
  });
  if (code != sys::Code::kOk) return;
  const std::string text = form.empty() ? SizeReportTable(*doc.current, rows) : SizeReportCsv(rows);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void RunImageCommand(int id) {
  ImageDocument& doc = GetDocument();
  if (!doc.current) return;
  sys::Context ctx = MakeJobContext();
  switch (id) {
    case 1700: FlipH(*doc.current); break;
    case 1701: FlipV(*doc.current); break;
    case 1702: doc.current = RotateCW(std::move(doc.current), ctx); break;
    case 1703: doc.current = RotateCCW(std::move(doc.current), ctx); break;
    case 1704: Rotate180(*doc.current); break;
    case 1705: InvertIndices(*doc.current, ctx); break;
    case 1706: InvertPalette(*doc.current, ctx); break;
    case 1713: ScaleCommand(); break;
    case 1711: ReduceColorsCommand(); break;
    case 1501: TransparencyCommand(); break;
    default: break;
  }
  ReportJob(ctx);
}

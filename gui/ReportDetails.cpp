#include "gui/ReportDetails.h"

#include <QLocale>
#include <QRegularExpression>
#include <array>

#include "app/Report.h"

namespace rastra {

namespace {

constexpr int kNotAGifMessage = 28;
constexpr int kNotAnimatedMessage = 29;

QLocale GroupingLocale() {
  QLocale locale;
  // The C locale leaves thousands ungrouped; sizes read better grouped.
  locale.setNumberOptions(QLocale::DefaultNumberOptions);
  return locale;
}

QString AsSentence(QString text) {
  text = text.trimmed();
  if (text.isEmpty()) return text;
  text[0] = text[0].toUpper();
  if (!text.endsWith('.') && !text.endsWith('!') && !text.endsWith('?')) text += '.';
  return text;
}

}  // namespace

QString ReportDetails::Count(std::uint64_t count) {
  return GroupingLocale().toString(static_cast<qulonglong>(count));
}

QString ReportDetails::Bytes(std::uint64_t bytes) {
  const QLocale locale = GroupingLocale();
  const QString count = tr("%1 bytes").arg(locale.toString(static_cast<qulonglong>(bytes)));
  constexpr std::uint64_t kKiB = 1024;
  if (bytes < 10 * kKiB) return count;
  static const std::array<const char*, 4> kUnits = {QT_TR_NOOP("KiB"), QT_TR_NOOP("MiB"), QT_TR_NOOP("GiB"),
                                                    QT_TR_NOOP("TiB")};
  double value = static_cast<double>(bytes) / kKiB;
  std::size_t unit = 0;
  while (value >= kKiB && unit + 1 < kUnits.size()) {
    value /= kKiB;
    ++unit;
  }
  return tr("%1 (%2 %3)").arg(count, locale.toString(value, 'f', 1), tr(kUnits[unit]));
}

QString ReportDetails::ForWindow(const QString& text, const QString& detail) {
  const std::string plain = text.toStdString();
  if (plain == MessageTable[kNotAnimatedMessage]) {
    return tr("It holds one picture. Open it with Open... and save it with Save as... instead.");
  }
  if (plain == MessageTable[kNotAGifMessage]) return tr("Animated sprites and cursors are made from animated GIF files.");
  if (detail.isEmpty()) return detail;
  // Every byte count in decimal, grouped, with its unit.
  static const QRegularExpression kByteCount(R"((\d+) bytes)");
  QString result;
  qsizetype last = 0;
  QRegularExpressionMatchIterator it = kByteCount.globalMatch(detail);
  while (it.hasNext()) {
    const QRegularExpressionMatch match = it.next();
    result += detail.mid(last, match.capturedStart() - last);
    result += Bytes(match.captured(1).toULongLong());
    last = match.capturedEnd();
  }
  result += detail.mid(last);
  return AsSentence(result);
}

QString ReportDetails::UnreadableFile(const std::string& description, const QString& cause) {
  if (description.empty()) return cause;
  const QString what = QString::fromStdString(description);
  static const std::array<const char*, 4> kReadable = {"a PNG picture", "a GIF picture", "a JPEG picture",
                                                       "a Windows bitmap"};
  for (const char* readable : kReadable) {
    if (description != readable) continue;
    const QString begins = tr("The file begins as %1, but it cannot be read.").arg(what);
    return cause.isEmpty() ? begins : begins + " " + AsSentence(cause);
  }
  return tr("The file is %1, not a picture Rastra reads (BMP, SBMP, GIF, JPEG or PNG).").arg(what);
}

QString ReportDetails::SizeLimits(int width, int height) {
  return tr("Width and height must each be 1 to 99999 pixels; %1 x %2 was asked for.").arg(width).arg(height);
}

}  // namespace rastra

// What the window's message boxes say below the system's text: what to act
// on, in words for people rather than for build logs. Sizes are decimal with
// their unit ("19,998,744,644 bytes (18.6 GiB)"), never hexadecimal.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <cstdint>
#include <string>

namespace rastra {

class ReportDetails {
  Q_DECLARE_TR_FUNCTIONS(ReportDetails)

 public:
  // The detail for a report of text: detail made readable (a sentence, its
  // byte counts grouped and with a unit), or the window's own words where
  // the command line's detail speaks of TYPE numbers.
  static QString ForWindow(const QString& text, const QString& detail);
  // "9,216 bytes", "48,000,054 bytes (45.8 MiB)".
  static QString Bytes(std::uint64_t bytes);
  // A count with the same thousands separators as Bytes: "161,934".
  static QString Count(std::uint64_t count);
  // What a file that could not be read is, from its content description
  // ("text", "a ZIP archive"), followed by the reader's cause where the file
  // is a picture of a kind Rastra reads; cause alone for an empty
  // description.
  static QString UnreadableFile(const std::string& description, const QString& cause);
  // The limits of a new picture size, for "Illegal size.".
  static QString SizeLimits(int width, int height);
};

// The shorter name used where the class would be long-winded.
inline QString WindowDetail(const QString& text, const QString& detail) {
  return ReportDetails::ForWindow(text, detail);
}

}  // namespace rastra

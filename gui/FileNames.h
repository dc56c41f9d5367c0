// Path texts between Qt and the rest of the program, which holds paths as
// 8-bit text in the local encoding (UTF-8 on Linux).
#pragma once

#include <QString>
#include <cstddef>
#include <string>

namespace rastra {

// At most maxChars characters of name, cut before the conversion so no
// character is split.
inline std::string ToFileName(const QString& name, std::size_t maxChars) {
  return name.left(static_cast<qsizetype>(maxChars)).toLocal8Bit().toStdString();
}

inline QString FromFileName(const std::string& name) { return QString::fromLocal8Bit(name.c_str()); }

}  // namespace rastra

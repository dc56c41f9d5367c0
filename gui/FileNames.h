// Path texts between Qt and the rest of the program, which holds paths as
// 8-bit text in the local encoding (UTF-8 on Linux).
#pragma once

#include <QString>
#include <string>

namespace rastra {

// The whole name, however long: a path the system refuses fails where the
// file is opened or created, with the system's reason, rather than naming
// another file after a cut.
inline std::string ToFileName(const QString& name) { return name.toLocal8Bit().toStdString(); }

inline QString FromFileName(const std::string& name) { return QString::fromLocal8Bit(name.c_str()); }

}  // namespace rastra

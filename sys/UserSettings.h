// Reads the per-user settings the window stores, without the toolkit that
// wrote them, so that a batch run never loads it: on Windows the registry
// (HKEY_CURRENT_USER\Software\ORGANISATION\APPLICATION\GROUP, then the same
// key under HKEY_LOCAL_MACHINE), elsewhere the INI files of the XDG layout
// ($XDG_CONFIG_HOME/ORGANISATION/APPLICATION.conf, then ORGANISATION.conf,
// then the same two in each folder of $XDG_CONFIG_DIRS). The first file or key
// that holds a value gives it.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace rastra {

namespace sys {

// The values of one group by name, as text: numbers stored as registry
// numbers come in decimal. A store that is missing or unreadable gives none.
std::map<std::string, std::string> ReadUserSettingsGroup(const std::string& organisation,
                                                         const std::string& application, const std::string& group);

// The values of group in the text of one INI file as the settings store
// writes it ([Group] lines, key=value lines, ';' comments, "quoted" values
// with backslash escapes). Keys outside any group belong to "General".
std::map<std::string, std::string> ParseIniGroup(std::string_view text, std::string_view group);

}  // namespace sys

}  // namespace rastra

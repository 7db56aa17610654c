// Where the guard's files lie: the settings file is named like the library, beside it, with the
// extension ".ini"; the statistics files and a copy of unread settings take their names from the
// settings file's.
#pragma once

#include <string_view>

namespace zt::settings {

constexpr std::string_view kSettingsExtension = ".ini";

// Sets guard.settingsPath from the library's own file path: the file name's extension (from its
// last '.', and only within the file name) becomes ".ini"; a name without one gets ".ini"
// appended. "C:\T\zentravo.dll" gives "C:\T\zentravo.ini", "/x.dll/ZENTRAVO.DLL" gives
// "/x.dll/ZENTRAVO.ini", "/opt/zentravo.so" gives "/opt/zentravo.ini". Where the result does not
// fit the 256-byte field, the field holds the path's start, cut after at most 251 bytes on a whole
// UTF-8 character, and ".ini"; the platform seam keeps the full location and opens every file
// whose path starts with that cut start (the settings file, the statistics files) beside the
// library. When the module path is empty or names a folder, settingsPath is left empty and the
// library persists nothing for this load: reads give their defaults and writes are skipped.
void DeriveSettingsPath(std::string_view modulePath);

// settingsPath without its final ".ini": the start every other file of the guard's is named from.
std::string_view SettingsStem();

// The path of a file beside the settings file named for what it is and when, into out
// (core::kSideFilePathSize bytes): "<stem>-<kind>-YYYY.MM.DD hh-mm<extension>" for localTime
// ("YYYY.MM.DD hh:mm"; a file name may hold no ':'), and from the second attempt on "-<attempt>"
// before the extension, for a name already taken.
void SideFilePath(char* out, std::string_view kind, std::string_view localTime, int attempt,
                  std::string_view extension);

}  // namespace zt::settings

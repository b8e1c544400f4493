// The user's special folders, such as the application-data folder, on this platform.
#pragma once

#include <QString>

namespace quillon {

// The user's roaming application-data folder.
constexpr int CSIDL_APPDATA = 26;

// The path of the special folder ACsidl, without a trailing separator, and whether it could be
// determined. Only CSIDL_APPDATA is known here: $XDG_CONFIG_HOME, or ~/.config.
bool GetSpecialFolder(int ACsidl, QString& APath);

}  // namespace quillon

// The user's special folders, such as the application-data folder, on this platform.
#include "infra/platform/Win.ShellFolders.h"

#include "infra/platform/Support.Paths.h"

namespace quillon {

bool GetSpecialFolder(int ACsidl, QString& APath) {
  if (ACsidl != CSIDL_APPDATA)
    return false;
  const QString Folder = XdgBaseFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
  if (Folder.isEmpty())
    return false;
  APath = Folder;
  return true;
}

}  // namespace quillon

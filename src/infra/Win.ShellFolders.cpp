#include "infra/Win.ShellFolders.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

#include <array>

namespace quillon {

namespace {

QString HomeFolder() {
  const QString Home = qEnvironmentVariable("HOME");
  if (!Home.isEmpty())
    return Home;
  std::array<char, 1024> Buffer{};
  passwd Entry{};
  passwd* Found = nullptr;
  if (getpwuid_r(geteuid(), &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found && Found->pw_dir)
    return QString::fromLocal8Bit(Found->pw_dir);
  return QString();
}

}  // namespace

bool GetSpecialFolder(int ACsidl, QString& APath) {
  if (ACsidl != CSIDL_APPDATA)
    return false;
  // The base-directory convention says a relative value is invalid and must be ignored.
  QString Folder = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (Folder.isEmpty() || QDir::isRelativePath(Folder)) {
    const QString Home = HomeFolder();
    if (Home.isEmpty())
      return false;
    Folder = Home + QStringLiteral("/.config");
  }
  APath = QDir::cleanPath(Folder);
  return true;
}

}  // namespace quillon

// The running program's path and folder, files beside it, and the user's configuration and
// state folders.
#include "infra/platform/Support.Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quillon {

namespace {

const QString ProgramFolderName = QStringLiteral("quillon/");

// Without a home folder (no HOME and no account entry) the root folder stands in, so that no
// file lands in the current folder by accident: an ordinary account cannot write there, and
// each attempt names the folder.
QString ProgramFolderIn(const QString& ABaseFolder) {
  return IncludeTrailingPathDelimiter(ABaseFolder.isEmpty() ? QStringLiteral("/") : ABaseFolder) + ProgramFolderName;
}

}  // namespace

QString ExePath() {
  const QFileInfo Info(QStringLiteral("/proc/self/exe"));
  const QString Target = Info.symLinkTarget();
  return Target.isEmpty() ? QCoreApplication::applicationFilePath() : Target;
}

QString ExeFolder() { return IncludeTrailingPathDelimiter(QFileInfo(ExePath()).absolutePath()); }

QString ExeName() { return QFileInfo(ExePath()).completeBaseName(); }

QString ExeSiblingFileName(const QString& AExtension) {
  const QFileInfo Exe(ExePath());
  return IncludeTrailingPathDelimiter(Exe.absolutePath()) + Exe.completeBaseName() + AExtension;
}

QString IncludeTrailingPathDelimiter(const QString& APath) {
  return APath.endsWith(u'/') ? APath : APath + u'/';
}

bool RunsInstalledFrom(const QString& AExeFolder) {
  QDir Folder(AExeFolder);
  if (Folder.exists(QStringLiteral("portable")))
    return false;
  do {
    if (Folder.exists(QStringLiteral("CMakeCache.txt")))
      return false;
  } while (Folder.cdUp());
  return true;
}

bool RunsInstalled() {
  static const bool Installed = RunsInstalledFrom(ExeFolder());
  return Installed;
}

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

QString XdgBaseFolder(const char* AVariable, const QString& AHomeRelativeDefault) {
  const QString Value = qEnvironmentVariable(AVariable);
  if (!Value.isEmpty() && QDir::isAbsolutePath(Value) && !QFileInfo(Value).isFile())
    return QDir::cleanPath(Value);
  const QString Home = HomeFolder();
  return Home.isEmpty() ? QString() : QDir::cleanPath(Home + u'/' + AHomeRelativeDefault);
}

QString UserConfigFolder() { return ProgramFolderIn(XdgBaseFolder("XDG_CONFIG_HOME", QStringLiteral(".config"))); }

QString UserStateFolder() { return ProgramFolderIn(XdgBaseFolder("XDG_STATE_HOME", QStringLiteral(".local/state"))); }

QString UserDataFolder() { return ProgramFolderIn(XdgBaseFolder("XDG_DATA_HOME", QStringLiteral(".local/share"))); }

QString MachineConfigFolder() { return QStringLiteral("/etc/") + ProgramFolderName; }

QString ProgramStateFolder() { return RunsInstalled() ? UserStateFolder() : ExeFolder(); }

QString FirstExistingFile(const QString& AName, const QStringList& AFolders) {
  for (const QString& Folder : AFolders)
    if (QFileInfo::exists(IncludeTrailingPathDelimiter(Folder) + AName))
      return IncludeTrailingPathDelimiter(Folder) + AName;
  return AFolders.isEmpty() ? AName : IncludeTrailingPathDelimiter(AFolders.first()) + AName;
}

bool ForceUserFolder(const QString& AFolder, const QString& APurpose) {
  errno = 0;
  if (QDir().mkpath(AFolder))
    return true;
  const int Error = errno;
  const QByteArray Reason = Error != 0 ? QByteArray(std::strerror(Error)) : QByteArray("the folder cannot be created");
  std::fprintf(stderr, "%s: cannot create the folder %s for %s: %s\n", ExeName().toLocal8Bit().constData(),
               AFolder.toLocal8Bit().constData(), APurpose.toLocal8Bit().constData(), Reason.constData());
  return false;
}

}  // namespace quillon

// Where the program keeps files beside the executable, such as its log.
#include "infra/logging/Logging.FileNames.h"

#include "infra/platform/Support.Paths.h"
#include "infra/platform/Win.User.h"

namespace quillon {

QString TLogFileNaming::GetSubfolder(const QString& ASubfolderName) {
  return IncludeTrailingPathDelimiter(ExeFolder() + ASubfolderName);
}

QString TLogFileNaming::GetExeName() { return ExeName(); }

QString TLogFileNaming::GetStdFileName(const QString& AExtension) {
  const QString Folder = RunsInstalled() ? UserStateFolder() : GetSubfolder(QStringLiteral("LOGS"));
  return Folder + GetExeName() + u'-' + GetWindowsUserName() + AExtension;
}

}  // namespace quillon

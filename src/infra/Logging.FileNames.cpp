#include "infra/Logging.FileNames.h"

#include "infra/Support.Paths.h"
#include "infra/Win.User.h"

namespace quillon {

QString TLogFileNaming::GetSubfolder(const QString& ASubfolderName) {
  return IncludeTrailingPathDelimiter(ExeFolder() + ASubfolderName);
}

QString TLogFileNaming::GetExeName() { return ExeName(); }

QString TLogFileNaming::GetStdFileName(const QString& AExtension) {
  return GetSubfolder(QStringLiteral("LOGS")) + GetExeName() + u'-' + GetWindowsUserName() + AExtension;
}

}  // namespace quillon

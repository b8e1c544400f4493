#include "infra/Support.Paths.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace quillon {

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

QString ProgramStateFolder() { return ExeFolder(); }

QString IncludeTrailingPathDelimiter(const QString& APath) {
  return APath.endsWith(u'/') ? APath : APath + u'/';
}

}  // namespace quillon

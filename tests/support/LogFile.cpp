#include "support/LogFile.h"

#include "infra/logging/Logging.Backend.h"
#include "infra/platform/Support.Paths.h"
#include "infra/platform/Win.User.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace quillon::test {

QList<TLoggedEntry> ParseLog(const QByteArray& AUtf8) {
  static const QRegularExpression EntryLine(
      QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  (\w+) *  (#[0-9A-F]{6})  (.*)$)"));
  QList<TLoggedEntry> Entries;
  const QStringList Lines = QString::fromUtf8(AUtf8).split(u'\n', Qt::SkipEmptyParts);
  for (const QString& Line : Lines) {
    if (Line.startsWith(QStringLiteral("    ")) && !Entries.isEmpty()) {
      QString& Body = Entries.last().Body;
      Body += (Body.isEmpty() ? QString() : QStringLiteral("\n")) + Line.mid(4);
      continue;
    }
    const QRegularExpressionMatch Match = EntryLine.match(Line);
    if (!Match.hasMatch()) {
      ADD_FAILURE() << "not a log line: " << Line.toStdString();
      continue;
    }
    Entries.append({Match.captured(1) + u' ' + Match.captured(2) + u' ' + Match.captured(3), QString()});
  }
  return Entries;
}

QList<TLoggedEntry> BufferedEntries() {
  if (!Si)
    return {};
  QBuffer Buffer;
  Buffer.open(QIODevice::WriteOnly);
  Si->Dispatch(QStringLiteral("mem"), 0, Buffer);
  return ParseLog(Buffer.data());
}

QStringList Heads(const QList<TLoggedEntry>& AEntries) {
  QStringList Result;
  for (const TLoggedEntry& Entry : AEntries)
    Result.append(Entry.Head);
  return Result;
}

TLogsFolder::TLogsFolder() : FCreated(!QDir(Path()).exists()) {
  QFile::remove(LogFileName());
  if (FCreated)
    QDir().mkpath(Path());
}

TLogsFolder::~TLogsFolder() {
  QFile::remove(LogFileName());
  if (FCreated)
    QDir(Path()).removeRecursively();
}

QString TLogsFolder::Path() { return ExeFolder() + QStringLiteral("LOGS"); }

QString TLogsFolder::LogFileName() {
  return Path() + u'/' + ExeName() + u'-' + GetWindowsUserName() + QStringLiteral(".sil");
}

QByteArray TLogsFolder::ReadLogFile() const {
  QFile File(LogFileName());
  if (!File.open(QIODevice::ReadOnly))
    return QByteArray();
  return File.readAll();
}

}  // namespace quillon::test

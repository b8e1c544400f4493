#pragma once

#include "support/QtPrinters.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace quillon::test {

// One entry of the program's log as written out: level, colour and title, plus the body.
struct TLoggedEntry {
  QString Head;  // "Level #RRGGBB title"
  QString Body;  // the indented lines, unindented and joined by line feeds

  bool operator==(const TLoggedEntry&) const = default;
};

// Parses the log text; a line that is neither an entry nor indented is a test failure.
QList<TLoggedEntry> ParseLog(const QByteArray& AUtf8);
// The entries the running back-end holds in memory.
QList<TLoggedEntry> BufferedEntries();
// The heads of the entries, for comparing whole sequences in one assertion.
QStringList Heads(const QList<TLoggedEntry>& AEntries);

// The LOGS folder beside the running test: created if absent and, at the end, the log file
// removed and the folder too when the test created it.
class TLogsFolder {
public:
  TLogsFolder();
  ~TLogsFolder();
  TLogsFolder(const TLogsFolder&) = delete;
  TLogsFolder& operator=(const TLogsFolder&) = delete;

  static QString Path();
  static QString LogFileName();
  QByteArray ReadLogFile() const;

private:
  bool FCreated;
};

}  // namespace quillon::test

// The log's back-end: timestamped, coloured entries kept in memory and written out as text.
#pragma once

#include "infra/logging/Logging.Color.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <typeinfo>
#include <vector>

class QIODevice;

namespace quillon {

// The structured log back-end behind the log adapter: a process-wide object that stamps every
// entry with the time and keeps it in an in-memory buffer until the program asks for it to be
// written out as readable UTF-8 text, one entry per line:
//   2026-03-01 14:02:11.356  Warning  #FFE380  the title's first line
//       further title lines and the body, indented
// Only the in-memory protocol "mem" is built; any other protocol named in the connection text
// (such as "pipe") is accepted and receives nothing.

// Levels of the back-end, ordinal-compatible with TLogLevel.
enum TSiLevel : quint8 { lvDebug, lvVerbose, lvMessage, lvWarning, lvError, lvFatal };

QString SiLevelName(TSiLevel ALevel);

struct TSiPacket {
  QDateTime Timestamp;
  TSiLevel Level;
  TLogColor Color;
  QString Title;
  QString Data;
};

class TSmartInspect;

// A named log channel. Entries below the back-end's level, and every entry while the back-end
// is disabled, are dropped.
class TSiSession {
public:
  TSiSession(TSmartInspect& AParent, QString AName);

  const QString& Name() const { return FName; }
  // The level of the operations that take none.
  TSiLevel DefaultLevel() const { return FDefaultLevel; }
  void SetDefaultLevel(TSiLevel Value) { FDefaultLevel = Value; }
  // The colour of entries that have none of their own.
  TLogColor ColorBackground() const { return FColorBackground; }
  void SetColorBackground(TLogColor Value) { FColorBackground = Value; }

  void LogColored(TSiLevel ALevel, TLogColor AColor, const QString& ATitle);
  void LogColored(TLogColor AColor, const QString& ATitle);
  void LogText(TSiLevel ALevel, const QString& ATitle, const QString& AText);
  void LogStringList(const QString& ATitle, const QStringList& AStrings);
  void EnterMethod(const std::type_info& AInstance, const QString& AMethodName);
  void LeaveMethod(const std::type_info& AInstance, const QString& AMethodName);
  void LogSeparator();
  // Describes the machine and the process.
  void LogSystem();

private:
  void Send(TSiLevel ALevel, TLogColor AColor, const QString& ATitle, const QString& AData = QString());

  TSmartInspect& FParent;
  QString FName;
  TSiLevel FDefaultLevel = lvMessage;
  TLogColor FColorBackground = LogWhite;
};

class TSmartInspect {
public:
  explicit TSmartInspect(QString AAppName);
  ~TSmartInspect();
  TSmartInspect(const TSmartInspect&) = delete;
  TSmartInspect& operator=(const TSmartInspect&) = delete;

  const QString& AppName() const { return FAppName; }
  // A comma-separated list of protocols with their options in parentheses, e.g. "mem()".
  // Setting it rebuilds the protocols, so a buffer held so far is dropped.
  const QString& Connections() const { return FConnections; }
  void SetConnections(const QString& Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value) { FEnabled = Value; }
  TSiLevel Level() const { return FLevel; }
  void SetLevel(TSiLevel Value) { FLevel = Value; }
  bool IsOn(TSiLevel ALevel) const { return FEnabled && ALevel >= FLevel; }

  // The back-end owns every channel it adds; the result stays valid as long as the back-end.
  TSiSession* AddSession(const QString& AName);
  // Hands AAction to the protocol named ACaption. Action 0 of "mem" writes every buffered
  // entry to AState; a failing write raises Exception. Other captions and actions do nothing.
  void Dispatch(const QString& ACaption, qint32 AAction, QIODevice& AState);

  void SendPacket(TSiPacket APacket);

private:
  QString FAppName;
  QString FConnections;
  bool FEnabled = false;
  TSiLevel FLevel = lvDebug;
  bool FMemoryProtocol = false;
  // Entries come from the window's thread and from the worker a check runs on.
  std::mutex FBufferLock;
  QList<TSiPacket> FBuffer;
  std::vector<std::unique_ptr<TSiSession>> FSessions;
};

// The process-wide back-end and its channel "Main"; both nullptr outside SiInitialize/SiFinalize.
inline TSmartInspect* Si = nullptr;
inline TSiSession* SiMain = nullptr;

// Creates the back-end with AAppName and its stored channel "Main".
void SiInitialize(const QString& AAppName);
// Drops the channel and frees the back-end with everything it still buffers.
void SiFinalize();

}  // namespace quillon

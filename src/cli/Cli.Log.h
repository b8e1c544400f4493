// The command line's log: entries passed on to the program's log, what a publish run sent kept for
// its output, echoed when verbose.
#pragma once

#include "infra/logging/Logging.Base.h"

#include <QStringList>

#include <functional>
#include <mutex>

namespace quillon::cli {

// The log the command line hands to the core: passes everything on to the program's log when
// there is one (nothing is kept when ATarget is nullptr, as for a fleet member, whose parent
// keeps the log file) and keeps the lines that say what a publish run changed, so that the
// command can print them. Targets checked side by side on threads of their own share it: one
// call at a time is passed on, so lines never mix.
class TCliLog : public TLogAdapter {
public:
  explicit TCliLog(ILog* ATarget) : FTarget(ATarget) {}

  // --verbose: every event and message line is also handed to AEcho, as written to the log.
  void SetEcho(std::function<void(const QString&)> AEcho) { FEcho = std::move(AEcho); }

  // "... Published for version N" and "... Updated for version N", in order: what was sent.
  const QStringList& PublishedLines() const { return FPublished; }
  // "...: Skipped, ...": what a publish run would not send.
  const QStringList& SkippedLines() const { return FSkipped; }

  qint32 GetCalls() override;
  bool GetEnabled() override;
  void SetEnabled(bool Value) override;
  void LogDestroy(const std::type_info& AInstance) override;
  void LogSqlQuery(const QString& s) override;
  void LogSqlCommand(const QString& s) override;
  QString StdFileName() override { return FTarget ? FTarget->StdFileName() : QString(); }
  void EnterMethod(const std::type_info& AInstance, const QString& AMethodName) override;
  void LeaveMethod(const std::type_info& AInstance, const QString& AMethodName) override;
  void AddStrings(const QString& ATitle, const QStringList& AStrings) override;
  using TLogAdapter::Event;
  void Event(const QString& s, TLogLevel ALogLevel) override;
  using TLogAdapter::SilentError;
  using TLogAdapter::SilentSuccess;
  using TLogAdapter::SilentWarning;
  void SilentError(const QString& s, const QVariantList& AParams) override;
  void SilentWarning(const QString& s, const QVariantList& AParams) override;
  void SilentSuccess(const QString& s, const QVariantList& AParams) override;

private:
  void Echo(const QString& ALine) const;

  std::mutex FLock;
  ILog* FTarget;
  std::function<void(const QString&)> FEcho;
  QStringList FPublished;
  QStringList FSkipped;
};

}  // namespace quillon::cli

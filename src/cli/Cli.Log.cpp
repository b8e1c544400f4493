// The command line's log: entries passed on to the program's log, what a publish run sent kept for
// its output, echoed when verbose.
#include "cli/Cli.Log.h"

#include "infra/text/Support.Format.h"

#include <QRegularExpression>

namespace quillon::cli {

qint32 TCliLog::GetCalls() {
  const std::lock_guard Lock(FLock);
  return FTarget ? FTarget->GetCalls() : 0;
}

bool TCliLog::GetEnabled() {
  const std::lock_guard Lock(FLock);
  return FTarget && FTarget->GetEnabled();
}

void TCliLog::SetEnabled(bool Value) {
  const std::lock_guard Lock(FLock);
  if (FTarget)
    FTarget->SetEnabled(Value);
}

void TCliLog::LogDestroy(const std::type_info& AInstance) {
  const std::lock_guard Lock(FLock);
  if (FTarget)
    FTarget->LogDestroy(AInstance);
}

void TCliLog::LogSqlQuery(const QString& s) {
  const std::lock_guard Lock(FLock);
  if (FTarget)
    FTarget->LogSqlQuery(s);
}

void TCliLog::LogSqlCommand(const QString& s) {
  const std::lock_guard Lock(FLock);
  if (FTarget)
    FTarget->LogSqlCommand(s);
}

void TCliLog::EnterMethod(const std::type_info& AInstance, const QString& AMethodName) {
  const std::lock_guard Lock(FLock);
  if (FTarget)
    FTarget->EnterMethod(AInstance, AMethodName);
}

void TCliLog::LeaveMethod(const std::type_info& AInstance, const QString& AMethodName) {
  const std::lock_guard Lock(FLock);
  if (FTarget)
    FTarget->LeaveMethod(AInstance, AMethodName);
}

void TCliLog::AddStrings(const QString& ATitle, const QStringList& AStrings) {
  const std::lock_guard Lock(FLock);
  if (FTarget)
    FTarget->AddStrings(ATitle, AStrings);
}

void TCliLog::Event(const QString& s, TLogLevel ALogLevel) {
  const std::lock_guard Lock(FLock);
  static const QRegularExpression PublishLine(QStringLiteral(": (Published|Updated) for version -?\\d+$"));
  static const QRegularExpression SkipLine(QStringLiteral(": Skipped, "));
  if (PublishLine.match(s).hasMatch())
    FPublished.append(s);
  else if (SkipLine.match(s).hasMatch())
    FSkipped.append(s);
  Echo(s);
  if (FTarget)
    FTarget->Event(QStringLiteral("%s"), {s}, ALogLevel);
}

void TCliLog::Echo(const QString& ALine) const {
  if (FEcho)
    FEcho(ALine);
}

void TCliLog::SilentError(const QString& s, const QVariantList& AParams) {
  const std::lock_guard Lock(FLock);
  Echo(Format(s, AParams));
  if (FTarget)
    FTarget->SilentError(s, AParams);
}

void TCliLog::SilentWarning(const QString& s, const QVariantList& AParams) {
  const std::lock_guard Lock(FLock);
  Echo(Format(s, AParams));
  if (FTarget)
    FTarget->SilentWarning(s, AParams);
}

void TCliLog::SilentSuccess(const QString& s, const QVariantList& AParams) {
  const std::lock_guard Lock(FLock);
  Echo(Format(s, AParams));
  if (FTarget)
    FTarget->SilentSuccess(s, AParams);
}

}  // namespace quillon::cli

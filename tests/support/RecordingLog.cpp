#include "support/RecordingLog.h"

#include "infra/text/Support.Format.h"

namespace quillon::test {

QString ToString(const TLogEntry& AEntry) {
  static const char* const KindNames[] = {"Event", "SilentError", "SilentWarning", "SilentSuccess", "SqlQuery",
                                          "SqlCommand", "Enter", "Leave", "Destroy", "Strings"};
  return QStringLiteral("%1/%2: %3").arg(QLatin1String(KindNames[AEntry.Kind])).arg(int(AEntry.Level)).arg(AEntry.Text);
}

qint32 TRecordingPresenter::ShowMessageBox(const QString& AText, TMsgDlgType AType, TMsgDlgButtons AButtons) {
  Boxes.append({AText, AType, AButtons});
  if (OnShow)
    OnShow(Boxes.last());
  if (!Answers.isEmpty())
    return Answers.takeFirst();
  if (AButtons & mbYes)
    return mrYes;
  return mrOk;
}

TRecordingLog::TRecordingLog() { SetMessageBoxPresenter(&Presenter); }

QStringList TRecordingLog::Texts(TLogEntry::TKind AKind) const {
  const std::lock_guard Lock(FLock);
  QStringList Result;
  for (const TLogEntry& Entry : Entries)
    if (Entry.Kind == AKind)
      Result.append(Entry.Text);
  return Result;
}

QString TRecordingLog::Dump() const {
  const std::lock_guard Lock(FLock);
  QStringList Lines;
  for (const TLogEntry& Entry : Entries)
    Lines.append(ToString(Entry));
  return Lines.join(u'\n');
}

void TRecordingLog::Add(TLogEntry::TKind AKind, TLogLevel ALevel, const QString& AText) {
  const std::lock_guard Lock(FLock);
  if (FEnabled)
    Entries.append({AKind, ALevel, AText});
}

void TRecordingLog::LogDestroy(const std::type_info& AInstance) {
  Add(TLogEntry::Destroy, ltDebug, QStringLiteral("Destroying ") + QualifiedClassNameOf(AInstance));
}
void TRecordingLog::LogSqlQuery(const QString& s) { Add(TLogEntry::SqlQuery, ltDebug, s); }
void TRecordingLog::LogSqlCommand(const QString& s) { Add(TLogEntry::SqlCommand, ltDebug, s); }

void TRecordingLog::EnterMethod(const std::type_info& AInstance, const QString& AMethodName) {
  if (LogCallStack())
    Add(TLogEntry::Enter, ltDebug, ClassNameOf(AInstance) + u'.' + AMethodName);
}
void TRecordingLog::LeaveMethod(const std::type_info& AInstance, const QString& AMethodName) {
  if (LogCallStack())
    Add(TLogEntry::Leave, ltDebug, ClassNameOf(AInstance) + u'.' + AMethodName);
}
void TRecordingLog::AddStrings(const QString& ATitle, const QStringList& AStrings) {
  Add(TLogEntry::Strings, ltDebug, ATitle + u'\n' + AStrings.join(u'\n'));
}

void TRecordingLog::Event(const QString& s, TLogLevel ALogLevel) {
  ++FCalls;
  if (ALogLevel < Threshold()) {
    ResetButtonSet();
    return;
  }
  Add(TLogEntry::Event, ALogLevel, s);
  ShowDialogStep(s, ALogLevel);
}

void TRecordingLog::SilentError(const QString& s, const QVariantList& AParams) {
  Add(TLogEntry::SilentError, ltError, Format(s, AParams));
}
void TRecordingLog::SilentWarning(const QString& s, const QVariantList& AParams) {
  Add(TLogEntry::SilentWarning, ltWarning, Format(s, AParams));
}
void TRecordingLog::SilentSuccess(const QString& s, const QVariantList& AParams) {
  Add(TLogEntry::SilentSuccess, ltDebug, Format(s, AParams));
}

TGlobalLogGuard::TGlobalLogGuard(ILog* ALog) : FPrevious(GlobalLog) { GlobalLog = ALog; }
TGlobalLogGuard::~TGlobalLogGuard() { GlobalLog = FPrevious; }

}  // namespace quillon::test

#pragma once

#include <atomic>
#include <mutex>

#include "infra/logging/Logging.Base.h"
#include "support/QtPrinters.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace quillon::test {

// One thing the recording log received, in order.
struct TLogEntry {
  enum TKind { Event, SilentError, SilentWarning, SilentSuccess, SqlQuery, SqlCommand, Enter, Leave, Destroy, Strings };
  TKind Kind;
  TLogLevel Level;  // for Event entries; ltDebug otherwise
  QString Text;

  bool operator==(const TLogEntry&) const = default;
};

QString ToString(const TLogEntry& AEntry);
inline void PrintTo(const TLogEntry& AEntry, std::ostream* AOut) { *AOut << ToString(AEntry).toStdString(); }

// Answers message boxes as scripted (default: the first button offered) and records each box.
class TRecordingPresenter : public IMessageBoxPresenter {
public:
  struct TBox {
    QString Text;
    TMsgDlgType Type;
    TMsgDlgButtons Buttons;
  };
  QList<TBox> Boxes;
  QList<qint32> Answers;  // consumed front first
  // Called as each box is shown, to look at the windows around it at that moment.
  std::function<void(const TBox&)> OnShow;

  qint32 ShowMessageBox(const QString& AText, TMsgDlgType AType, TMsgDlgButtons AButtons) override;
};

// An ILog for unit tests: filters by Threshold as the real adapter does and keeps every entry
// that passes, with the silent ones, in order. Boxes go to Presenter.
class TRecordingLog : public TLogAdapter {
public:
  TRecordingLog();

  QList<TLogEntry> Entries;
  TRecordingPresenter Presenter;

  // The texts of the recorded entries of one kind (Event entries of every level by default).
  QStringList Texts(TLogEntry::TKind AKind = TLogEntry::Event) const;
  // Every entry as "Kind/Level: text", one per line: handy in a failing assertion.
  QString Dump() const;

  qint32 GetCalls() override { return FCalls; }
  bool GetEnabled() override { return FEnabled; }
  void SetEnabled(bool Value) override { FEnabled = Value; }
  void LogDestroy(const std::type_info& AInstance) override;
  void LogSqlQuery(const QString& s) override;
  void LogSqlCommand(const QString& s) override;
  QString StdFileName() override { return QString(); }
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
  void Add(TLogEntry::TKind AKind, TLogLevel ALevel, const QString& AText);
  // The window's compare runs log from their worker thread.
  mutable std::mutex FLock;
  std::atomic<qint32> FCalls = 0;
  bool FEnabled = true;
};

// Installs a log as GlobalLog for the lifetime of the guard, restoring the previous one after.
class TGlobalLogGuard {
public:
  explicit TGlobalLogGuard(ILog* ALog);
  ~TGlobalLogGuard();
  TGlobalLogGuard(const TGlobalLogGuard&) = delete;
  TGlobalLogGuard& operator=(const TGlobalLogGuard&) = delete;

private:
  ILog* FPrevious;
};

}  // namespace quillon::test

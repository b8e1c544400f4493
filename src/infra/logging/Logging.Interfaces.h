// The log every component writes to: levels, ILog and the process-wide GlobalLog.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <typeinfo>
#include <utility>

namespace quillon {

// Ordered by seriousness; every level comparison is by ordinal.
enum TLogLevel : quint8 { ltDebug, ltInfo, ltMessage, ltWarning, ltError, ltCritical };

// The one interface every component writes its diagnostics, warnings and yes/no questions
// through. Components hold a non-owning ILog*; none sees the adapter behind it.
// An "instance" argument is the dynamic type of the object concerned: pass typeid(*this).
class ILog {
public:
  virtual ~ILog() = default;

  // Number of calls of Event received so far, whatever their level.
  virtual qint32 GetCalls() = 0;
  virtual bool GetEnabled() = 0;
  virtual bool GetLogCallStack() = 0;
  virtual TLogLevel GetThreshold() = 0;
  virtual TLogLevel GetThresholdForDialog() = 0;
  virtual void SetLogCallStack(bool Value) = 0;
  virtual void SetThreshold(TLogLevel Value) = 0;
  virtual void SetThresholdForDialog(TLogLevel Value) = 0;
  virtual void SetEnabled(bool Value) = 0;
  virtual void LogDestroy(const std::type_info& AInstance) = 0;
  virtual void LogSqlQuery(const QString& s) = 0;
  virtual void LogSqlCommand(const QString& s) = 0;
  // Asks a yes/no (or yes/no/cancel) question through Event; true only for "Yes", or when the
  // level is below either threshold and nothing was asked.
  virtual bool LogYesNo(const QString& s, TLogLevel ALevel, bool ACancel) = 0;
  virtual QString StdFileName() = 0;
  virtual void EnterMethod(const std::type_info& AInstance, const QString& AMethodName) = 0;
  virtual void LeaveMethod(const std::type_info& AInstance, const QString& AMethodName) = 0;
  virtual void AddStrings(const QString& ATitle, const QStringList& AStrings) = 0;
  // Formats s with AParams (see Format), then Event(result, ALogLevel). A formatting error
  // reaches the caller as EConvertError and nothing is recorded.
  virtual void Event(const QString& s, const QVariantList& AParams, TLogLevel ALogLevel) = 0;
  // Filtered by the threshold, recorded, then the message-box step.
  virtual void Event(const QString& s, TLogLevel ALogLevel) = 0;
  // The silent operations record without threshold, box or counting. The forms without
  // parameters still format with an empty list, so "%%" comes out as "%".
  virtual void SilentError(const QString& s) = 0;
  virtual void SilentError(const QString& s, const QVariantList& AParams) = 0;
  virtual void SilentWarning(const QString& s) = 0;
  virtual void SilentWarning(const QString& s, const QVariantList& AParams) = 0;
  virtual void SilentSuccess(const QString& s) = 0;
  virtual void SilentSuccess(const QString& s, const QVariantList& AParams) = 0;
  virtual void ShowMessage(const QString& AMessage, TLogLevel ALevel, qint32 AMaxTimes) = 0;
};

// Logs entry into a method now and its exit however the scope ends, exceptions included.
class TMethodLog {
public:
  TMethodLog(ILog* ALog, const std::type_info& AInstance, QString AMethod)
      : FLog(ALog), FInstance(AInstance), FMethod(std::move(AMethod)) {
    FLog->EnterMethod(FInstance, FMethod);
  }
  ~TMethodLog() { FLog->LeaveMethod(FInstance, FMethod); }
  TMethodLog(const TMethodLog&) = delete;
  TMethodLog& operator=(const TMethodLog&) = delete;

private:
  ILog* FLog;
  const std::type_info& FInstance;
  QString FMethod;
};

class ILogXmlData {
public:
  virtual ~ILogXmlData() = default;
  virtual void LogXmlData(TLogLevel ALevel, const QString& ATitle, const QString& AXmlData) = 0;
};

// The process-wide log: set first at start-up, cleared last at shut-down. Not owned here.
inline ILog* GlobalLog = nullptr;

// The class name of a type as the log shows it: "TSimpleDatabase" for quillon::TSimpleDatabase.
QString ClassNameOf(const std::type_info& AType);
// The unit-qualified class name: namespace path with points, e.g. "quillon.TSimpleDatabase".
QString QualifiedClassNameOf(const std::type_info& AType);

}  // namespace quillon

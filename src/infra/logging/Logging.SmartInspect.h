// The program's log adapter, the colours of its entries, and starting and stopping logging.
#pragma once

#include "infra/logging/Logging.Base.h"
#include "infra/logging/Logging.Color.h"

namespace quillon {

// The program's log: filters each event by level, hands it with a colour for its level to the
// back-end channel "Main", then runs the message-box step. Only one may live at a time.
class TSmartInspectAdapter : public TLogAdapter, public ILogXmlData {
public:
  // Raises EAssertionFailed while another adapter lives.
  TSmartInspectAdapter();
  ~TSmartInspectAdapter() override;
  TSmartInspectAdapter(const TSmartInspectAdapter&) = delete;
  TSmartInspectAdapter& operator=(const TSmartInspectAdapter&) = delete;

  qint32 GetCalls() override { return FCalls; }
  bool GetEnabled() override;
  void SetEnabled(bool Value) override;
  void LogDestroy(const std::type_info& AInstance) override;
  void LogSqlQuery(const QString& s) override;
  void LogSqlCommand(const QString& s) override;
  QString StdFileName() override;
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

  // Always at the verbose level, whatever ALevel says.
  void LogXmlData(TLogLevel ALevel, const QString& ATitle, const QString& AXmlData) override;

  void EventColor(TLogColor AColor, const QString& s);
  void EventColor(TLogColor AColor, const QString& s, const QVariantList& AParams);

private:
  qint32 FCalls = 0;
};

// Entries of the lower levels carry the colour of a window's background: white unless the
// window program says otherwise once its palette is known. StartLogging sets it back to white.
void SetWindowBackgroundColor(TLogColor AColor);

// Events of level ltError or ltCritical that passed the threshold since logging started.
qint32 ErrorEventCount();

// Creates the back-end, buffering in memory, and the adapter, and makes it GlobalLog.
// Raises EAssertionFailed while logging runs.
void StartLogging();
// Clears GlobalLog, frees the adapter, writes the closing entries and saves the whole run to
// StdFileName when its folder exists (any failure to save is ignored), then frees the back-end.
void StopLogging();

// Logging for the lifetime of the object.
class TLoggingScope {
public:
  TLoggingScope() { StartLogging(); }
  ~TLoggingScope() { StopLogging(); }
  TLoggingScope(const TLoggingScope&) = delete;
  TLoggingScope& operator=(const TLoggingScope&) = delete;
};

}  // namespace quillon

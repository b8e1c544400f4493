// The program's log adapter, the colours of its entries, and starting and stopping logging.
#include "infra/logging/Logging.SmartInspect.h"

#include "infra/logging/Logging.Backend.h"
#include "infra/logging/Logging.FileNames.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"
#include "infra/platform/Support.Paths.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace quillon {

namespace {

qint32 TheErrorEventCount = 0;
qint32 LiveAdapters = 0;
std::unique_ptr<TSmartInspectAdapter> TheAdapter;

constexpr TLogColor ClassNameColor{255, 165, 0};
constexpr TLogColor DestroyColor{255, 245, 238};
constexpr TLogColor SqlQueryColor{217, 203, 243};
constexpr TLogColor SqlCommandColor{255, 234, 213};
constexpr TLogColor SilentErrorColor{255, 213, 223};
constexpr TLogColor SilentWarningColor{255, 252, 213};
constexpr TLogColor SilentSuccessColor{218, 246, 206};
constexpr TLogColor FarewellColor{127, 255, 0};
constexpr TLogColor ApologyColor{220, 20, 60};

TLogColor TheWindowBackgroundColor = LogWhite;

TLogColor EventColorOf(TLogLevel ALevel) {
  switch (ALevel) {
    case ltMessage:
      return {116, 214, 107};
    case ltWarning:
      return {255, 227, 128};
    case ltError:
      return {255, 128, 128};
    case ltCritical:
      return {255, 0, 0};
    default:
      return TheWindowBackgroundColor;
  }
}

void LogColored(TSiLevel ALevel, TLogColor AColor, const QString& ATitle) {
  if (SiMain)
    SiMain->LogColored(ALevel, AColor, ATitle);
}

void LogColored(TLogColor AColor, const QString& ATitle) {
  if (SiMain)
    SiMain->LogColored(AColor, ATitle);
}

void SaveLog() {
  QFile File(TLogFileNaming::GetStdFileName(QStringLiteral(".sil")));
  // A missing LOGS folder beside the program means no log file is wanted; it is never created.
  // Installed, the log goes to the user's state folder, made at start.
  if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return;
  try {
    Si->Dispatch(QStringLiteral("mem"), 0, File);
  } catch (const std::exception&) {
    // A full disk must not turn a clean exit into a crash; the run's log is lost.
  }
}

}  // namespace

TSmartInspectAdapter::TSmartInspectAdapter() {
  Assert(LiveAdapters == 0, QStringLiteral("Only one TSmartInspectAdapter may live at a time"));
  ++LiveAdapters;
  SetLogCallStack(true);
  if (SiMain) {
    SiMain->LogSeparator();
    SiMain->LogColored(ClassNameColor, ClassNameOf(typeid(*this)));
    SiMain->LogSystem();
  }
}

TSmartInspectAdapter::~TSmartInspectAdapter() {
  LogColored(ClassNameColor, ClassNameOf(typeid(*this)) + QStringLiteral(".Destroy. Should precede final message in log."));
  --LiveAdapters;
}

bool TSmartInspectAdapter::GetEnabled() { return Si && Si->Enabled(); }

void TSmartInspectAdapter::SetEnabled(bool Value) {
  if (Si)
    Si->SetEnabled(Value);
}

void TSmartInspectAdapter::LogDestroy(const std::type_info& AInstance) {
  LogColored(lvVerbose, DestroyColor, QStringLiteral("Destroying ") + QualifiedClassNameOf(AInstance));
}

void TSmartInspectAdapter::LogSqlQuery(const QString& s) { LogColored(lvVerbose, SqlQueryColor, s); }

void TSmartInspectAdapter::LogSqlCommand(const QString& s) { LogColored(lvVerbose, SqlCommandColor, s); }

QString TSmartInspectAdapter::StdFileName() { return TLogFileNaming::GetStdFileName(QStringLiteral(".sil")); }

void TSmartInspectAdapter::EnterMethod(const std::type_info& AInstance, const QString& AMethodName) {
  if (LogCallStack() && SiMain)
    SiMain->EnterMethod(AInstance, AMethodName);
}

void TSmartInspectAdapter::LeaveMethod(const std::type_info& AInstance, const QString& AMethodName) {
  if (LogCallStack() && SiMain)
    SiMain->LeaveMethod(AInstance, AMethodName);
}

void TSmartInspectAdapter::AddStrings(const QString& ATitle, const QStringList& AStrings) {
  if (SiMain)
    SiMain->LogStringList(ATitle, AStrings);
}

void TSmartInspectAdapter::Event(const QString& s, TLogLevel ALogLevel) {
  ++FCalls;
  if (ALogLevel < Threshold()) {
    ResetButtonSet();
    return;
  }
  if (ALogLevel == ltError || ALogLevel == ltCritical)
    ++TheErrorEventCount;
  LogColored(static_cast<TSiLevel>(ALogLevel), EventColorOf(ALogLevel), s);
  ShowDialogStep(s, ALogLevel);
}

void TSmartInspectAdapter::SilentError(const QString& s, const QVariantList& AParams) {
  LogColored(lvError, SilentErrorColor, Format(s, AParams));
}

void TSmartInspectAdapter::SilentWarning(const QString& s, const QVariantList& AParams) {
  LogColored(lvWarning, SilentWarningColor, Format(s, AParams));
}

void TSmartInspectAdapter::SilentSuccess(const QString& s, const QVariantList& AParams) {
  LogColored(lvVerbose, SilentSuccessColor, Format(s, AParams));
}

void TSmartInspectAdapter::LogXmlData(TLogLevel, const QString& ATitle, const QString& AXmlData) {
  if (SiMain)
    SiMain->LogText(lvVerbose, ATitle, AXmlData);
}

void TSmartInspectAdapter::EventColor(TLogColor AColor, const QString& s) { LogColored(lvVerbose, AColor, s); }

void TSmartInspectAdapter::EventColor(TLogColor AColor, const QString& s, const QVariantList& AParams) {
  EventColor(AColor, Format(s, AParams));
}

void SetWindowBackgroundColor(TLogColor AColor) { TheWindowBackgroundColor = AColor; }

qint32 ErrorEventCount() { return TheErrorEventCount; }

void StartLogging() {
  Assert(!TheAdapter, QStringLiteral("Logging has already started"));
  SiInitialize(QFileInfo(ExePath()).fileName());
  Si->SetConnections(QStringLiteral("mem()"));
  Si->SetEnabled(true);
  TheErrorEventCount = 0;
  TheWindowBackgroundColor = LogWhite;
  TheAdapter = std::make_unique<TSmartInspectAdapter>();
  GlobalLog = TheAdapter.get();
}

void StopLogging() {
  GlobalLog = nullptr;
  TheAdapter.reset();
  if (!Si)
    return;
  if (ErrorEventCount() < 1)
    LogColored(FarewellColor, QCoreApplication::translate("quillon::Logging", "So long, and thanks for all the fish!"));
  else
    LogColored(ApologyColor, QCoreApplication::translate("quillon::Logging", "WE APOLOGIZE FOR THE INCONVIENCE"));
  SiMain->LogSeparator();
  SaveLog();
  Si->SetEnabled(false);
  SiFinalize();
}

}  // namespace quillon

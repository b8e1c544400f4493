// Counts live instances per class and reports the classes that outlive the program's run.
#include "infra/logging/Classes.Auditing.h"

#include <QCoreApplication>

namespace quillon {

namespace {

const QString BeforeDestruction = QStringLiteral("BeforeDestruction");

// Classes of the other applications that share this unit; nothing here creates them.
const char* const ClassesOfOtherApplications[] = {
    "Ulmora.Reports.TReportCache",     "Ulmora.Reports.TReportPage",      "Ulmora.Reports.TReportPrinter",
    "Ulmora.Billing.TInvoiceBatch",    "Ulmora.Billing.TInvoiceLine",     "Ulmora.Billing.TPaymentTerms",
    "Ulmora.Scheduler.TJobQueue",      "Ulmora.Scheduler.TJobRunner",     "Ulmora.Scheduler.TCalendarSlot",
    "Ulmora.Import.TCsvReader",        "Ulmora.Import.TFieldMapping",     "Ulmora.Import.TImportSession",
    "Ulmora.Export.TExportWriter",     "Ulmora.Export.TSheetBuilder",     "Ulmora.Mail.TMailQueue",
    "Ulmora.Mail.TMailTemplate",       "Ulmora.Archive.TArchiveFolder",   "Ulmora.Archive.TDocumentStore",
    "Ulmora.Archive.TRetentionRule",   "Ulmora.Inventory.TStockItem",     "Ulmora.Inventory.TStockMovement",
    "Ulmora.Inventory.TWarehouseBin",  "Ulmora.Planner.TRouteStop",       "Ulmora.Planner.TVehicleRoster",
    "Ulmora.Portal.TSessionToken",     "Ulmora.Portal.TUserProfile",      "Ulmora.Portal.TPageCache",
};

std::unique_ptr<TClassCounter> TheClassCounter;

QString CounterClassName() { return ClassNameOf(typeid(TClassCounter)); }

}  // namespace

TClassCounter::~TClassCounter() {
  if (!GlobalLog)
    return;
  GlobalLog->EnterMethod(typeid(*this), BeforeDestruction);
  qint32 Remaining = 0;
  for (auto It = FClassCatalog.cbegin(); It != FClassCatalog.cend(); ++It) {
    if (It.value() != 0) {
      GlobalLog->SilentWarning(QStringLiteral("%s: n=%d"), {It.key(), It.value()});
      ++Remaining;
    }
  }
  if (Remaining > 0)
    GlobalLog->SilentError(QStringLiteral("%s.%s: Instances of %d classes remain"),
                           {CounterClassName(), BeforeDestruction, Remaining});
  else
    GlobalLog->SilentSuccess(QStringLiteral("%s.%s: All instances destroyed successfully!"),
                             {CounterClassName(), BeforeDestruction});
  GlobalLog->LeaveMethod(typeid(*this), BeforeDestruction);
}

void TClassCounter::LogChange(const QString& AFormat, const QString& AClassName, qint32 ACount) {
  if (FLogEverything && GlobalLog && !FIgnoreClass.contains(AClassName))
    GlobalLog->Event(AFormat, {CounterClassName(), AClassName, ACount}, ltInfo);
}

void TClassCounter::AddInstance(const QString& AFullyQualifiedClassName) {
  const qint32 Count = ++FClassCatalog[AFullyQualifiedClassName];
  LogChange(QStringLiteral("%s.AddInstance: %s Create(n=%d)"), AFullyQualifiedClassName, Count);
}

void TClassCounter::RemoveInstance(const QString& AFullyQualifiedClassName) {
  const qint32 Count = --FClassCatalog[AFullyQualifiedClassName];
  LogChange(QStringLiteral("%s.RemoveInstance: %s ( n = %d )"), AFullyQualifiedClassName, Count);
}

qint32 TClassCounter::GetClassInstanceCount(const QString& AClassName) const {
  return FClassCatalog.value(AClassName, 0);
}

void TClassCounter::DoNotLog(const QString& AFullyQualifiedClassName) { FIgnoreClass.insert(AFullyQualifiedClassName); }

void StartClassAuditing() {
  TheClassCounter = std::make_unique<TClassCounter>();
  for (const char* Name : ClassesOfOtherApplications)
    TheClassCounter->DoNotLog(QString::fromLatin1(Name));
  GlobalClassCounter = TheClassCounter.get();
}

void StopClassAuditing() {
  // The application object's class stands for the application, which may already be gone.
  const std::type_info& Application = typeid(QCoreApplication);
  if (GlobalLog)
    GlobalLog->EnterMethod(Application, QStringLiteral("Finalizing Ulmora.Classes.Auditing"));
  GlobalClassCounter = nullptr;
  TheClassCounter.reset();
  if (GlobalLog)
    GlobalLog->LeaveMethod(Application, QStringLiteral("Finalized Ulmora.Classes.Auditing"));
}

void SafeFree(QObject* AObject) {
  if (!AObject)
    return;
  const QString Name = ClassNameOf(typeid(*AObject));
  if (QObject* Owner = AObject->parent()) {
    if (GlobalLog)
      GlobalLog->SilentWarning(
          QStringLiteral("SafeFree: Somebody else (%s) owns %s, free is unsafe. Not freed, young Zaphod plays it safe."),
          {ClassNameOf(typeid(*Owner)), Name});
    return;
  }
  if (GlobalLog)
    GlobalLog->Event(QStringLiteral("SafeFree: Nobody owns %s, should be safe to free."), {Name}, ltInfo);
  auditing_detail::FreeLoggingErrors(AObject);
}

namespace auditing_detail {
void LogFreeFailed(const QString& AClassName, const QString& AMessage) {
  if (GlobalLog)
    GlobalLog->SilentError(QStringLiteral("SafeFree(%s) failed: %s"), {AClassName, AMessage});
}
}  // namespace auditing_detail

}  // namespace quillon

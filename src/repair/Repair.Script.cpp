// A repair planned before anything is sent, its script text, and running it step by step.
#include "repair/Repair.Script.h"

#include "database/Database.Interfaces.h"
#include "database/Database.Odbc.h"
#include "infra/platform/Support.Exceptions.h"
#include "infra/text/Support.Format.h"
#include "repair/Repair.Alter.h"
#include "model/Constraints.h"
#include "model/Indices.h"
#include "model/Routines.h"
#include "model/Tables.h"

#include <QFile>

#include <algorithm>

namespace quillon {

namespace {

QString KindOf(const TDatabaseObject* AObject) {
  if (dynamic_cast<const TDatabaseView*>(AObject) != nullptr)
    return QStringLiteral("View");
  if (dynamic_cast<const TDatabaseRoutine*>(AObject) != nullptr)
    return QStringLiteral("Routine");
  if (dynamic_cast<const TDatabaseCheckConstraint*>(AObject) != nullptr)
    return QStringLiteral("Check constraint");
  if (dynamic_cast<const TDatabaseIndex*>(AObject) != nullptr)
    return QStringLiteral("Index");
  return QStringLiteral("Object");
}

QString IndexRefusal(const TDatabaseIndex& AIndex) {
  // An index anomaly means only that the uniqueness differs; the gold standard holds nothing
  // else about the index (columns, options), so its text cannot be built from it.
  return Format(QStringLiteral("The gold standard only says whether the index is unique (it should be %s); "
                               "recreate it by hand."),
                {UniquenessCaption(!AIndex.Unique())});
}

QString ServerMessage(const Exception& AError) {
  if (const auto* Odbc = dynamic_cast<const EOdbcError*>(&AError))
    return Odbc->ServerMessages();
  return AError.Message();
}

// Comment lines for a script: every line of AText after "-- ".
QString Commented(const QString& AText) {
  QString Result;
  for (const QString& Line : AText.split(u'\n'))
    Result += QStringLiteral("-- ") + Line + QStringLiteral("\r\n");
  return Result;
}

}  // namespace

QString RepairOutcomeText(TRepairOutcome AOutcome) {
  switch (AOutcome) {
    case TRepairOutcome::Repaired:
      return QStringLiteral("repaired");
    case TRepairOutcome::Failed:
      return QStringLiteral("failed");
    case TRepairOutcome::NotAttempted:
      return QStringLiteral("not attempted");
    case TRepairOutcome::CannotRepair:
      return QStringLiteral("cannot be repaired");
  }
  return {};
}

void TRepairScript::Add(TDatabaseObject* AObject) {
  TRepairStep Step{AObject, AObject->FullName(), KindOf(AObject), {}, {}};
  const auto* View = dynamic_cast<const TDatabaseView*>(AObject);
  if (const auto* Index = dynamic_cast<const TDatabaseIndex*>(AObject)) {
    Step.Refusal = IndexRefusal(*Index);
  } else if (View != nullptr && View->Indexed() && !View->IndexLossAllowed()) {
    Step.Refusal = QStringLiteral("It is an indexed view: altering it drops all its indexes, so it is altered only "
                                  "when the loss of its indexes is allowed.");
  } else if (IsAlterable(*AObject)) {
    try {
      Step.Batch = AlterCommand(*AObject);
      if (Step.Batch.trimmed().isEmpty())
        Step.Refusal = QStringLiteral("The gold standard holds no text for it.");
    } catch (const Exception& E) {
      Step.Batch.clear();
      Step.Refusal = E.Message();
    }
  } else {
    Step.Refusal = QStringLiteral("Objects of this kind are not repaired.");
  }
  FSteps.append(Step);
}

qint32 TRepairScript::RepairableCount() const {
  return static_cast<qint32>(std::count_if(FSteps.cbegin(), FSteps.cend(), [](const TRepairStep& AStep) {
    return AStep.Repairable();
  }));
}

QString TRepairScript::Text() const {
  QString Result;
  for (const TRepairStep& Step : FSteps) {
    Result += Commented(Format(QStringLiteral("%s %s"), {Step.Kind, Step.ObjectName}));
    if (Step.Repairable())
      Result += Step.Batch + QStringLiteral("\r\nGO\r\n\r\n");
    else
      Result += Commented(QStringLiteral("Cannot be repaired: ") + Step.Refusal) + QStringLiteral("\r\n");
  }
  return Result;
}

void TRepairScript::SaveToFile(const QString& AFileName) const {
  QFile File(AFileName);
  if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate) || File.write(Text().toUtf8()) < 0 || !File.flush())
    throw Exception(Format(QStringLiteral("Cannot write the script to %s: %s"), {AFileName, File.errorString()}));
}

QList<TRepairResult> TRepairScript::Run(ISQL* ASQL,
                                        const std::function<void(qsizetype AStep, const TRepairResult& AResult)>& AStepDone,
                                        const std::atomic<bool>* AStop) const {
  QList<TRepairResult> Results;
  bool Stopped = false;
  for (const TRepairStep& Step : FSteps) {
    Stopped = Stopped || (AStop != nullptr && *AStop);
    if (!Step.Repairable()) {
      Results.append({TRepairOutcome::CannotRepair, Step.Refusal});
    } else if (Stopped) {
      Results.append({TRepairOutcome::NotAttempted, {}});
    } else {
      try {
        ExecuteAlter(ASQL, *Step.Object, Step.Batch);
        Results.append({TRepairOutcome::Repaired, {}});
      } catch (const Exception& E) {
        QString Message = ServerMessage(E);
        // A fatal error (or a broken link) ends the session, and the server rolls back the
        // transaction a repair batch runs in; the user needs to know the connection is gone.
        if (!ASQL->GetConnected())
          Message += QStringLiteral("\nThe connection to the server was lost: the server rolled back what this "
                                    "repair had begun, and nothing after it was attempted. Connect again to go on.");
        Results.append({TRepairOutcome::Failed, Message});
        Stopped = true;
      }
    }
    if (AStepDone)
      AStepDone(Results.size() - 1, Results.last());
  }
  return Results;
}

}  // namespace quillon
